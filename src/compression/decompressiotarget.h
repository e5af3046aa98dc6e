// A read-only, seekable stream serving the plain bytes of a compressed
// source through a window: it decodes forward on demand and restarts from the
// beginning to go back, so readers are expected to read forward.
#pragma once

#include "base/buffers.h"
#include "base/targets.h"

class cDecompressIOTarget : public cFileIOTarget {
 public:
  _typebuf<unsigned char> window;  // its count is the capacity
  unsigned long long windowStart = 0;
  unsigned long long position = 0;
  unsigned long long plainSize = 0;
  cFileIOTarget* source = nullptr;
  cFileIOTarget* ownedSource = nullptr;

  cDecompressIOTarget() = default;
  cDecompressIOTarget(const cDecompressIOTarget&) = delete;
  cDecompressIOTarget& operator=(const cDecompressIOTarget&) = delete;
  ~cDecompressIOTarget() override;

  unsigned long long size() override;
  unsigned int read(void* buf, unsigned int count) override;
  bool set_fp(unsigned long long pos) override;
  bool set_fp_end(unsigned long long offset) override;
  bool set_eof(unsigned long long length) override;
  void close() override;
  bool valid() override;

  // Fills the window with the plain bytes from `pos` on; the caller then moves the window start there.
  virtual bool fillBufFrom(unsigned long long pos) = 0;
  virtual bool resetDecompression() = 0;
  // No member can find the plain size in its source: it must be given.
  virtual bool readPlainSizeFromStream(cFileIOTarget* src);
  // With `ownSource` the target deletes `src` when it goes, also when create fails.
  virtual bool create(cFileIOTarget* src, unsigned long long plainSize, long long bufSize, bool ownSource);
};
