// Byte streams that keep no file of their own: a growable paged memory
// file, a view of a caller's buffer, a window onto another stream, and a
// read cache in front of another stream. None is thread-safe.
#pragma once

#include "base/btree.h"
#include "base/buffers.h"
#include "base/targets.h"

// Pages are created whole at their first write and zero-filled, so every
// byte never written reads as zero, whether its page exists or not.
class cMemIOTarget : public cFileIOTarget {
 public:
  long long position = 0;
  long long pageSize;
  long long fileSize = 0;

  explicit cMemIOTarget(long long pageSize = 65536);
  cMemIOTarget(const cMemIOTarget&) = delete;
  cMemIOTarget& operator=(const cMemIOTarget&) = delete;

  unsigned long long size() override;
  unsigned int read(void* buf, unsigned int count) override;
  unsigned int write(void* buf, unsigned int count) override;
  bool set_fp(unsigned long long pos) override;
  bool set_fp_end(unsigned long long offset) override;
  bool set_eof(unsigned long long length) override;
  void close() override;
  bool valid() override;
  int typeOf() override;

  void reset();
  bool toBuffer(_typebuf<unsigned char>& out);
  bool fromBuffer(const void* data, long long length);
  // Duplicates `count` bytes of the content at `from` to the position.
  long long copy(long long from, long long count);

 private:
  unsigned char* page(long long index);
  unsigned char* makePage(long long index);
  void dropPagesFrom(long long index);

  // Keyed by page index (offset / page size); each value is one whole page.
  cFasterTreeList<long long, _typebuf<unsigned char>> pages;
  // The page of the last access, so byte-by-byte streams skip the lookup.
  long long lastIndex = -1;
  unsigned char* lastPage = nullptr;
};

class cBufWrapperIO : public cFileIOTarget {
 public:
  void* buffer = nullptr;
  long long bufSize = 0;
  long long position = 0;
  bool readOnly = false;

  cBufWrapperIO() = default;
  cBufWrapperIO(void* data, long long size, bool writable) { wrap(data, size, writable); }

  // The block stays the caller's, who keeps it alive while it is wrapped. A
  // negative size, or a null block with a size above 0, is refused: the
  // wrapper is left empty and the answer is false.
  bool wrap(void* data, long long size, bool writable);

  unsigned long long size() override;
  unsigned int read(void* buf, unsigned int count) override;
  // Clipped to the buffer, which never grows.
  unsigned int write(void* buf, unsigned int count) override;
  bool set_fp(unsigned long long pos) override;
  bool set_fp_end(unsigned long long offset) override;
  // Only the current size is accepted.
  bool set_eof(unsigned long long length) override;
  void close() override;
  bool valid() override;
  int typeOf() override;
};

// The window is cut to the target's size when wrapped; a window starting
// beyond the target's end is empty and not valid.
class cFileIOSubRange : public cFileIOTarget {
 public:
  unsigned long long position = 0;
  unsigned long long start = 0;
  unsigned long long length = 0;
  cFileIOTarget* target = nullptr;

  cFileIOSubRange() = default;
  cFileIOSubRange(cFileIOTarget* target, unsigned long long start, unsigned long long length) {
    wrap(target, start, length);
  }

  void wrap(cFileIOTarget* target, unsigned long long start, unsigned long long length);

  unsigned long long size() override;
  unsigned int read(void* buf, unsigned int count) override;
  unsigned int write(void* buf, unsigned int count) override;
  bool set_fp(unsigned long long pos) override;
  bool set_fp_end(unsigned long long offset) override;
  bool set_eof(unsigned long long length) override;
  void close() override;
  bool valid() override;

 private:
  unsigned int clip(unsigned int count) const;
  unsigned int transfer(void* buf, unsigned int count,
                        unsigned int (cFileIOTarget::*op)(void*, unsigned int));
};

// The cache holds the target's bytes from (position - cursor) to
// (position - cursor + filled); cursor equals the capacity when it is empty.
class cMemBufferedIO : public cFileIOTarget {
 public:
  cFileIOTarget* target = nullptr;
  cFileIOTarget* ownedTarget = nullptr;
  _typebuf<unsigned char> cache;
  long long cursor = 0;
  long long filled = 0;
  unsigned long long position = 0;
  unsigned long long targetSize = 0;

  cMemBufferedIO() = default;
  cMemBufferedIO(const cMemBufferedIO&) = delete;
  cMemBufferedIO& operator=(const cMemBufferedIO&) = delete;
  ~cMemBufferedIO() override;

  // Reads through `target` with a cache of `cacheSize` bytes; `set` also
  // takes ownership of the target.
  bool ref(cFileIOTarget* target, long long cacheSize);
  bool set(cFileIOTarget* target, long long cacheSize);

  unsigned long long size() override;
  unsigned int read(void* buf, unsigned int count) override;
  unsigned int write(void* buf, unsigned int count) override;
  bool set_fp(unsigned long long pos) override;
  bool set_fp_end(unsigned long long offset) override;
  // The stored size is not updated.
  bool set_eof(unsigned long long length) override;
  void close() override;
  bool valid() override;

 private:
  void dropCache() { cursor = cache.count; }
  unsigned int readTarget(void* buf, unsigned int count);
};
