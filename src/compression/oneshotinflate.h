// Inflating a whole deflate stream held in memory into a buffer whose size
// the caller knows (picture strips and tiles): no state survives a call, so
// the decoder keeps its bits in registers and copies matches a word at a
// time. Parts that arrive over time go through cZDecompress instead.
#pragma once

#include <cstddef>

#include "base/pullinput.h"

enum class eInflateEnd {
  finished,     // the last block ended
  outputFull,   // the buffer filled before the stream ended
  damaged,      // a code, length or distance the stream cannot hold
  truncated,    // the input ended inside a block
  badChecksum,  // the last block ended, but the zlib checksum after it is cut or wrong
};

struct sInflated {
  eInflateEnd end;
  size_t produced;  // bytes written, also before damage
};

// `zlibHeader` expects the two-byte zlib header (no preset dictionary) and
// the Adler-32 of the output after the last block.
sInflated inflateOneShot(const unsigned char* in, size_t inLen, unsigned char* out, size_t outLen,
                         bool zlibHeader);
// The same over input pulled as the stream needs it: no byte past the last
// one used (the checksum's, or the last the buffer takes) is asked for.
sInflated inflateOneShot(cPullInput& in, unsigned char* out, size_t outLen, bool zlibHeader);
