#include "base/str.h"

#include <climits>
#include <cstdio>
#include <new>

#include "base/buffers.h"
#include "base/casemap.h"
#include "base/textconv.h"

namespace {

template <typename T>
long long lengthOf(const T* s) {
  long long n = 0;
  while (s[n]) ++n;
  return n;
}

// Copies from `src` into dst[at...] while fewer than `size` units are in
// place, stopping after the terminator; a full buffer is cut at its last unit.
template <typename T>
void copyFrom(T* dst, long long size, long long at, const T* src) {
  for (; at < size; ++at, ++src) {
    dst[at] = *src;
    if (!*src) return;
  }
  dst[size - 1] = 0;
}

template <typename T>
int copyBounded(T* dst, long long size, const T* src) {
  if (dst && src && size > 0) copyFrom(dst, size, 0, src);
  return 0;
}

template <typename T>
int copyCounted(T* dst, long long size, const T* src, long long count) {
  if (!dst || !src || size <= 0 || count < 0) return 0;
  long long limit = count < size ? count : size;
  for (long long i = 0; i < limit; ++i) {
    dst[i] = src[i];
    if (!src[i]) return 0;
  }
  dst[count < size ? count : size - 1] = 0;
  return 0;
}

template <typename Same>
unsigned short* findUnits(unsigned short* hay, unsigned short* needle, long long hayLen, long long needleLen,
                          Same same) {
  if (!hay || !needle) return nullptr;
  if (hayLen < 0) hayLen = lengthOf(hay);
  if (needleLen < 0) needleLen = lengthOf(needle);
  for (long long at = 0; at + needleLen <= hayLen; ++at) {
    long long i = 0;
    while (i < needleLen && same(hay[at + i], needle[i])) ++i;
    if (i == needleLen) return hay + at;
  }
  return nullptr;
}

// Compares at most `limit` units (all when negative), each mapped by `key`
// to the value that orders it; a string that ends compares by its zero.
template <typename T, typename Key>
int compareUnits(const T* a, const T* b, long long limit, bool stopAtEnd, Key key) {
  for (long long i = 0; limit < 0 || i < limit; ++i) {
    auto x = key(a[i]), y = key(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (stopAtEnd && !a[i]) return 0;
  }
  return 0;
}

unsigned short lowerUnit(unsigned short u) { return __acp_lower(u); }
signed char lowerSigned(char c) { return static_cast<signed char>(__acp_lower(c)); }
unsigned char lowerUnsigned(char c) { return static_cast<unsigned char>(__acp_lower(c)); }

}  // namespace

long long _wcslen(const unsigned short* s) { return s ? lengthOf(s) : 0; }

int _strcpy_s(char* dst, long long size, const char* src) { return copyBounded(dst, size, src); }

int _wcscpy_s(unsigned short* dst, long long size, const unsigned short* src) {
  return copyBounded(dst, size, src);
}

int _strncpy_s(char* dst, long long size, const char* src, long long count) {
  return copyCounted(dst, size, src, count);
}

int _wcsncpy_s(unsigned short* dst, long long size, const unsigned short* src, long long count) {
  return copyCounted(dst, size, src, count);
}

int _wcscat_s(unsigned short* dst, long long size, const unsigned short* src) {
  if (!dst || !src || size <= 0) return 0;
  long long at = 0;
  while (at < size && dst[at]) ++at;
  // A destination without a terminator inside `size` is already full.
  if (at == size) {
    dst[size - 1] = 0;
    return 0;
  }
  copyFrom(dst, size, at, src);
  return 0;
}

unsigned short* _wcschr(unsigned short* s, unsigned short c) {
  if (!s || !c) return nullptr;
  for (; *s; ++s)
    if (*s == c) return s;
  return nullptr;
}

unsigned short* _wcsrchr(unsigned short* s, unsigned short c) {
  if (!s) return nullptr;
  for (long long i = lengthOf(s); i >= 0; --i)
    if (s[i] == c) return s + i;
  return nullptr;
}

unsigned short* _wcsstr(unsigned short* hay, unsigned short* needle, long long hayLen, long long needleLen) {
  return findUnits(hay, needle, hayLen, needleLen, [](unsigned short x, unsigned short y) { return x == y; });
}

unsigned short* _wcsistr(unsigned short* hay, unsigned short* needle, long long hayLen, long long needleLen) {
  return findUnits(hay, needle, hayLen, needleLen,
                   [](unsigned short x, unsigned short y) { return __acp_lower(x) == __acp_lower(y); });
}

int _wcscmp(const unsigned short* a, const unsigned short* b) {
  if (!a || !b) return 1;
  return compareUnits(a, b, -1, true, [](unsigned short u) { return u; });
}

int __wcsicmp(const unsigned short* a, const unsigned short* b) {
  if (!a || !b) return -1;
  return compareUnits(a, b, -1, true, lowerUnit);
}

int __wcsicmp(const unsigned short* a, const unsigned short* b, long long n) {
  if (!a || !b || n == 0) return -1;
  return n < 0 ? 0 : compareUnits(a, b, n, true, lowerUnit);
}

int __wcsnicmp(const unsigned short* a, const unsigned short* b, long long n) {
  if (!a || !b) return -1;
  return compareUnits(a, b, n < 1 ? 1 : n, true, lowerUnit);
}

int __stricmp(const char* a, const char* b) {
  if (!a || !b) return -1;
  return compareUnits(a, b, -1, true, lowerSigned);
}

int __stricmp(const char* a, const char* b, long long n) {
  if (!a || !b || n == 0) return -1;
  return n < 0 ? 0 : compareUnits(a, b, n, true, lowerUnsigned);
}

int __memicmp(const char* a, const char* b, long long n) {
  if (!a || !b) return 1;
  return n <= 0 ? 0 : compareUnits(a, b, n, false, lowerSigned);
}

int _sprintf_s(char* dst, long long size, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  int n = _vsprintf_s(dst, size, fmt, args);
  va_end(args);
  return n;
}

int _vsprintf_s(char* dst, long long size, const char* fmt, va_list args) {
  if (!dst || !fmt || size <= 0) return 0;
  return vsnprintf(dst, static_cast<size_t>(size), fmt, args);
}

int _sscanf_s(const char* s, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  int n = _vsscanf_s(s, fmt, args);
  va_end(args);
  return n;
}

int _vsscanf_s(const char* s, const char* fmt, va_list args) {
  if (!s || !fmt) return 0;
  return vsscanf(s, fmt, args);
}

int _swprintf_s(unsigned short* dst, long long size, const unsigned short* fmt, ...) {
  if (!dst || !fmt || size <= 0) return 0;
  va_list args;
  va_start(args, fmt);
  int n = _vswprintf_s(dst, size, fmt, args);
  va_end(args);
  return n;
}

int _vswprintf_s(unsigned short* dst, long long size, const unsigned short* fmt, va_list args) {
  // A UTF-16 unit takes at most three UTF-8 bytes.
  if (!dst || size <= 0 || size > (LLONG_MAX - 1) / 3) return 0;
  try {
    _guardchar<char> format;
    _w2pc(fmt, -1, format);
    _typebuf<char> work;
    work.set(3 * size + 1);
    int n = vsnprintf(work.ptr, static_cast<size_t>(work.count), format.ptr ? format.ptr : "", args);
    long long units = _pc2w(work.ptr, -1, dst, size);
    dst[units < size ? units : size - 1] = 0;
    return n;
  } catch (const std::bad_alloc&) {
    dst[0] = 0;
    return 0;
  }
}

int _swscanf_s(const unsigned short* s, const unsigned short* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  int n = _vswscanf_s(s, fmt, args);
  va_end(args);
  return n;
}

int _vswscanf_s(const unsigned short* s, const unsigned short* fmt, va_list args) {
  try {
    _guardchar<char> input, format;
    _w2pc(s, -1, input);
    _w2pc(fmt, -1, format);
    return vsscanf(input.ptr ? input.ptr : "", format.ptr ? format.ptr : "", args);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}
