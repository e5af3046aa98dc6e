#include <cstring>
#include <new>

#include "base/str.h"
#include "base/utils.h"

namespace {

int hexDigit(unsigned int c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

template <typename T>
int hexPair(const T* s) {
  if (!s) return -1;
  int high = hexDigit(s[0]);
  // The second unit is only looked at when the first is a digit, so a
  // terminator in first place is never read past.
  int low = high < 0 ? -1 : hexDigit(s[1]);
  return low < 0 ? -1 : high * 16 + low;
}

template <typename T>
bool hexText(const T* text, _typebuf<unsigned char>& out) {
  if (!text) return false;
  long long length = 0;
  while (text[length]) ++length;
  if (length == 0 || length % 2) return false;
  try {
    out.set(length / 2);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (long long i = 0; i < out.count; ++i) {
    int v = hexPair(text + 2 * i);
    if (v < 0) return false;
    out.ptr[i] = static_cast<unsigned char>(v);
  }
  return true;
}

unsigned long long magnitude(long long v) {
  return v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
}

}  // namespace

int getHexb(const char* s) { return hexPair(reinterpret_cast<const unsigned char*>(s)); }
int getHexb(const unsigned short* s) { return hexPair(s); }

bool hexToBytes(const char* text, _typebuf<unsigned char>& out) {
  return hexText(reinterpret_cast<const unsigned char*>(text), out);
}
bool hexToBytes(const unsigned short* text, _typebuf<unsigned char>& out) { return hexText(text, out); }

bool parseGUID(unsigned char* text, unsigned char* out) {
  if (!text || !out) return false;
  // A shorter text ends before the dashes would be looked for.
  for (int i = 0; i < 36; ++i)
    if (!text[i]) return false;
  if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
  static const int kGroupBytes[5] = {4, 2, 2, 2, 6};
  const unsigned char* at = text;
  for (int group : kGroupBytes) {
    for (int i = 0; i < group; ++i, at += 2) {
      int v = hexPair(at);
      if (v < 0) return false;
      *out++ = static_cast<unsigned char>(v);
    }
    ++at;  // the dash
  }
  return true;
}

int bitsCount(unsigned long long x) { return __builtin_popcountll(x); }

int highestBit(unsigned long long x) { return x ? 63 - __builtin_clzll(x) : 0; }

int lowestBit(unsigned long long x) { return x ? __builtin_ctzll(x) : 64; }

long long minDiff(long long a, long long b) { return magnitude(a) < magnitude(b) ? a : b; }

bool iszero(unsigned char* buf, long long n) {
  if (!buf) return false;
  long long i = 0;
  for (; i + 8 <= n; i += 8) {
    unsigned long long word;
    std::memcpy(&word, buf + i, sizeof word);
    if (word) return false;
  }
  for (; i < n; ++i)
    if (buf[i]) return false;
  return true;
}
