// The UTF-8 codec: one pass, no allocation, and never a read outside the
// source range nor a write outside the destination.
#include "base/utf8codec.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "base/str.h"
#include "base/textconv.h"

namespace {

// A source is either an exact range or a terminated string measured first.
// The two differ only for a sequence that reaches the end: in a range it is
// cut (the caller may come back with the rest), before a terminator it is
// malformed.
template <typename T>
struct Source {
  const T* p;
  long long n;
  bool terminated;
};

Source<unsigned char> bytesOf(const char* src, long long srcLen) {
  const auto* p = reinterpret_cast<const unsigned char*>(src);
  if (srcLen < 0) return {p, static_cast<long long>(std::strlen(src)), true};
  return {p, srcLen, false};
}

Source<unsigned short> unitsOf(const unsigned short* src, long long srcLen) {
  if (srcLen < 0) return {src, _wcslen(src), true};
  return {src, srcLen, false};
}

struct Progress {
  long long read;
  long long written;
};

constexpr int kCut = 0;
constexpr int kMalformed = -1;

// The length of the valid sequence led by s[i] (a byte of 0x80 or above),
// with its value. Two- and three-byte forms are taken as they come, overlong
// or surrogate, because older files hold them; a four-byte form must name a
// character above U+FFFF, or it could not round-trip through a pair.
inline int readSequence(const Source<unsigned char>& src, long long i, unsigned* value) {
  const unsigned lead = src.p[i];
  int length;
  unsigned v;
  unsigned low = 0x80, high = 0xBF;
  if (lead >= 0xC0 && lead <= 0xDF) {
    length = 2;
    v = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    v = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    v = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return kMalformed;
  }
  // Byte by byte, so that a byte proving the sequence malformed is never
  // swallowed with it.
  for (int k = 1; k < length; ++k) {
    if (src.n - i <= k) return src.terminated ? kMalformed : kCut;
    const unsigned b = src.p[i + k];
    if (b < low || b > high) return kMalformed;
    v = (v << 6) | (b & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  *value = v;
  return length;
}

// Text is mostly ASCII: runs of it are copied a 64-bit word at a time. The
// lowest bits of the word must be the first lane in memory.
static_assert(std::endian::native == std::endian::little);
template <bool kWrite, typename From, typename To>
void copyAscii(const Source<From>& src, To* dst, long long dstLen, long long& i, long long& o) {
  constexpr int kLanes = 8 / sizeof(From);
  constexpr uint64_t kNotAscii = sizeof(From) == 1 ? 0x8080808080808080ULL : 0xFF80FF80FF80FF80ULL;
  while (src.n - i >= kLanes && (!kWrite || dstLen - o >= kLanes)) {
    uint64_t word;
    std::memcpy(&word, src.p + i, 8);
    // The ASCII lanes before the first other one are taken too.
    const int lanes = word & kNotAscii ? std::countr_zero(word & kNotAscii) / (8 * sizeof(From)) : kLanes;
    if constexpr (kWrite)
      for (int k = 0; k < lanes; ++k) dst[o + k] = static_cast<To>(src.p[i + k]);
    i += lanes;
    o += lanes;
    if (lanes < kLanes) break;
  }
}

// Walks the source a character at a time. `step` converts the character at
// i, moving i and o past it, and answers false to end the conversion there.
template <bool kWrite, bool kMap, typename From, typename To, typename Step>
Progress walk(const Source<From>& src, To* dst, long long dstLen, Step step) {
  long long i = 0, o = 0;
  while (i < src.n) {
    if constexpr (!kMap) {
      copyAscii<kWrite>(src, dst, dstLen, i, o);
      if (i == src.n || (kWrite && o == dstLen)) break;
    }
    if (!step(i, o)) break;
    if (kWrite && o == dstLen) break;
  }
  return {i, o};
}

template <bool kWrite, bool kMap>
Progress decode(const Source<unsigned char>& src, unsigned short* dst, long long dstLen, int* byteMap) {
  return walk<kWrite, kMap>(src, dst, dstLen, [&](long long& i, long long& o) {
    unsigned value = src.p[i];
    int length = 1;
    if (value >= 0x80) {
      length = readSequence(src, i, &value);
      if (length == kCut) return false;
      if (length == kMalformed) {
        if (kMap && value >= 0xC0 && value <= 0xF4) return false;
        length = 1;
      }
    }
    const long long before = o;
    if (value >= 0x10000) {
      // Half a pair would name another character: stop before it instead.
      if (kWrite && dstLen - o < 2) return false;
      if constexpr (kWrite) {
        value -= 0x10000;
        dst[o] = static_cast<unsigned short>(0xD800 | (value >> 10));
        dst[o + 1] = static_cast<unsigned short>(0xDC00 | (value & 0x3FF));
      }
      o += 2;
    } else {
      if constexpr (kWrite) dst[o] = static_cast<unsigned short>(value);
      ++o;
    }
    if constexpr (kMap) {
      for (int k = 0; k + 1 < length; ++k) byteMap[i + k] = static_cast<int>(before);
      byteMap[i + length - 1] = static_cast<int>(o);
    }
    i += length;
    return true;
  });
}

template <bool kWrite, bool kMap>
Progress encode(const Source<unsigned short>& src, char* dst, long long dstLen, int* unitMap) {
  return walk<kWrite, kMap>(src, dst, dstLen, [&](long long& i, long long& o) {
    const unsigned short* s = src.p;
    const unsigned u = s[i];
    unsigned char bytes[4];
    int length;
    int units = 1;
    if (u < 0x80) {
      bytes[0] = static_cast<unsigned char>(u);
      length = 1;
    } else if (u < 0x800) {
      bytes[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
      bytes[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
      length = 2;
    } else if (u >= 0xD800 && u <= 0xDBFF && src.n - i >= 2 && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      const unsigned c = 0x10000 + ((u - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
      bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
      bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      length = 4;
      units = 2;
    } else {
      // Lone surrogates keep their three-byte form so the text survives a
      // round trip even when it is not well-formed UTF-16.
      bytes[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
      bytes[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
      length = 3;
    }
    if constexpr (kWrite) {
      // A full destination cuts even inside a sequence; that unit gets no map entry.
      if (dstLen - o < length) {
        std::memcpy(dst + o, bytes, static_cast<size_t>(dstLen - o));
        o = dstLen;
        return false;
      }
      for (int k = 0; k < length; ++k) dst[o + k] = static_cast<char>(bytes[k]);
    }
    o += length;
    if constexpr (kMap) {
      if (units == 2) unitMap[i] = static_cast<int>(o - length);
      unitMap[i + units - 1] = static_cast<int>(o);
    }
    i += units;
    return true;
  });
}

}  // namespace

long long utf82w(const char* src, long long srcLen, unsigned short* dst, long long dstLen, int* byteMap) {
  if (!src || srcLen == 0 || !dst || dstLen <= 0) return 0;
  const Source<unsigned char> source = bytesOf(src, srcLen);
  const Progress done = byteMap ? decode<true, true>(source, dst, dstLen, byteMap)
                                : decode<true, false>(source, dst, dstLen, nullptr);
  if (source.terminated && done.read == source.n && done.written < dstLen) dst[done.written] = 0;
  return done.written;
}

long long w2utf8(const unsigned short* src, long long srcLen, char* dst, long long dstLen, int* unitMap) {
  if (!src || srcLen == 0 || !dst || dstLen <= 0) return 0;
  const Source<unsigned short> source = unitsOf(src, srcLen);
  const Progress done = unitMap ? encode<true, true>(source, dst, dstLen, unitMap)
                                : encode<true, false>(source, dst, dstLen, nullptr);
  if (source.terminated && done.read == source.n && done.written < dstLen) dst[done.written] = 0;
  return done.written;
}

long long utf8UnitsRequired(const char* src, long long srcLen) {
  if (!src || srcLen == 0) return 0;
  const Source<unsigned char> source = bytesOf(src, srcLen);
  return decode<false, false>(source, nullptr, 0, nullptr).written + (source.terminated ? 1 : 0);
}

long long utf8BytesRequired(const unsigned short* src, long long srcLen) {
  if (!src || srcLen == 0) return 0;
  const Source<unsigned short> source = unitsOf(src, srcLen);
  return encode<false, false>(source, nullptr, 0, nullptr).written + (source.terminated ? 1 : 0);
}
