#include <climits>
#include <cstring>
#include <new>

#include "base/casemap.h"
#include "base/str.h"
#include "base/textconv.h"
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

// The characters that count: the first n, but never past the terminator.
template <typename T>
int countedLength(const T* s, int n) {
  int length = 0;
  while ((n < 0 || length < n) && s[length]) ++length;
  return length;
}

template <typename T>
int firstNonSpace(const T* s, int n) {
  if (!s || (n < 1 && n != -1)) return -1;
  int length = countedLength(s, n);
  for (int i = 0; i < length; ++i)
    if (!__acp_isspace(s[i])) return i;
  return -1;
}

template <typename T>
int lengthWithoutTrailingSpace(const T* s, int n) {
  if (!s || (n < 1 && n != -1)) return 0;
  int length = countedLength(s, n);
  while (length > 0 && __acp_isspace(s[length - 1])) --length;
  return length;
}

long long asSigned(unsigned long long v) {
  return static_cast<long long>(v) < 0 ? LLONG_MIN : static_cast<long long>(v);
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

unsigned long long strToU64(const char* s) {
  if (!s) return 0;
  while (__acp_isspace(*s)) ++s;
  if (!*s) return 0;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    unsigned long long value = ~0ull;
    return _sscanf_s(s + 2, "%llx", &value) == 1 ? value : ~0ull;
  }
  long long value = 0;
  return _sscanf_s(s, "%lld", &value) == 1 ? static_cast<unsigned long long>(value) : ~0ull;
}

unsigned long long strToU64(const unsigned short* s) {
  _guardchar<char> text;
  _w2pc(s, -1, text);
  return strToU64(text.ptr);
}

long long strToInt64(const char* s) {
  if (!s) return 0;
  while (__acp_isspace(*s)) ++s;
  if (!*s) return 0;
  if (*s != '-') return asSigned(strToU64(s));
  long long magnitude = asSigned(strToU64(s + 1));
  return magnitude == LLONG_MIN ? LLONG_MIN : -magnitude;
}

long long strToInt64(const unsigned short* s) {
  _guardchar<char> text;
  _w2pc(s, -1, text);
  return strToInt64(text.ptr);
}

int str_offset(const char* s, int n) { return firstNonSpace(s, n); }
int wcs_offset(const unsigned short* s, int n) { return firstNonSpace(s, n); }
int stre_offset(const char* s, int n) { return lengthWithoutTrailingSpace(s, n); }
int wcse_offset(const unsigned short* s, int n) { return lengthWithoutTrailingSpace(s, n); }
