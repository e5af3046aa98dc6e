// Test data, buffer conversions, and zlib's own compressor and inflater as the reference.
#pragma once

#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "base/buffers.h"

using tBytes = std::vector<unsigned char>;

inline _typebuf<unsigned char>& fill(_typebuf<unsigned char>& buf, const unsigned char* p, size_t n) {
  buf.set(static_cast<long long>(n));
  if (n) std::memcpy(buf.ptr, p, n);
  return buf;
}

inline _typebuf<unsigned char>& fill(_typebuf<unsigned char>& buf, const tBytes& b) {
  return fill(buf, b.data(), b.size());
}

inline tBytes bytesOf(const _typebuf<unsigned char>& buf) { return tBytes(buf.ptr, buf.ptr + buf.count); }

// Text-like bytes with repeats, so every level finds matches at every distance.
inline tBytes sampleBytes(size_t n, unsigned seed = 1) {
  std::mt19937 rng(seed);
  tBytes b(n);
  for (size_t i = 0; i < n; ++i) {
    if (i > 300 && rng() % 4 == 0) {
      size_t back = 1 + rng() % 300;
      b[i] = b[i - back];
    } else {
      b[i] = static_cast<unsigned char>('a' + rng() % 26);
    }
  }
  return b;
}

inline tBytes zlibCompress(const tBytes& plain, int level) {
  uLongf size = compressBound(plain.size());
  tBytes out(size);
  if (compress2(out.data(), &size, plain.data(), plain.size(), level) != Z_OK) return {};
  out.resize(size);
  return out;
}

inline tBytes zlibInflate(const unsigned char* data, size_t len, size_t plainSize) {
  tBytes out(plainSize + 1);
  uLongf size = out.size();
  if (uncompress(out.data(), &size, data, len) != Z_OK) return {};
  out.resize(size);
  return out;
}

// What zlib itself decodes from a stream cut short.
inline tBytes zlibInflatePrefix(const tBytes& packed) {
  z_stream zs{};
  tBytes out(1 << 20);
  if (inflateInit(&zs) != Z_OK) return {};
  zs.next_in = const_cast<unsigned char*>(packed.data());
  zs.avail_in = static_cast<unsigned int>(packed.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<unsigned int>(out.size());
  inflate(&zs, Z_SYNC_FLUSH);
  out.resize(zs.total_out);
  inflateEnd(&zs);
  return out;
}
