// What every zlib user of the library shares: the interface version streams
// are started with, and zlib's 32-bit counts.
#pragma once

#include <zlib.h>

#include <cstring>

inline constexpr const char* kZlibInterfaceVersion = "1.2.5";

// zlib counts in 32 bits; longer buffers are handed over in pieces of this.
inline unsigned int zlibCount(unsigned long long n) { return n > 0xFFFFFFFFull ? 0xFFFFFFFFu : unsigned(n); }

// Zero-fills the record (so ending a stream that never started is harmless)
// and starts it for inflating.
inline bool startInflate(z_stream& stream) {
  std::memset(&stream, 0, sizeof stream);
  return inflateInit_(&stream, kZlibInterfaceVersion, static_cast<int>(sizeof stream)) == Z_OK;
}
