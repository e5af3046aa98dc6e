// zlib for whole packages: a deflater fed piece by piece whose output is
// collected after each piece (package items are digested and compressed in
// one pass over their source), and the strict one-call inflate and bound of
// a binary scenario's body.
#pragma once

#include <zlib.h>

#include "base/targets.h"

class cZPieceDeflater {
 public:
  explicit cZPieceDeflater(int level);
  cZPieceDeflater(const cZPieceDeflater&) = delete;
  cZPieceDeflater& operator=(const cZPieceDeflater&) = delete;
  ~cZPieceDeflater();

  bool valid() const { return started; }
  // Compresses one piece and writes all the output it gives to `out`; a
  // piece that is not the last is flushed (Z_PARTIAL_FLUSH), the last one
  // finishes the stream. False also when the stream has produced nothing.
  bool piece(const void* data, unsigned int length, bool last, cFileIOTarget& out);

 private:
  z_stream stream;
  bool started = false;
};

// The most one-call deflate can write for `plain` bytes.
unsigned long long zDeflateBound(unsigned long long plain);

// True only when the whole of `in` is one zlib stream, its check value
// right, whose plain bytes fill `out` exactly.
bool zInflateExact(const void* in, unsigned long long inLength, void* out, unsigned long long outLength);
