// The system's own bounded string functions for UTF-8 (char) and UTF-16
// (unsigned short) text. Sizes count units with the terminator included;
// copies cut at the size and always terminate; null strings never fault.
#pragma once

#include <cstdarg>

long long _wcslen(const unsigned short* s);

// Copies answer 0 whatever happened: a cut text is silently cut.
int _strcpy_s(char* dst, long long size, const char* src);
int _wcscpy_s(unsigned short* dst, long long size, const unsigned short* src);
int _strncpy_s(char* dst, long long size, const char* src, long long count);
int _wcsncpy_s(unsigned short* dst, long long size, const unsigned short* src, long long count);
int _wcscat_s(unsigned short* dst, long long size, const unsigned short* src);

// The terminator is never found.
unsigned short* _wcschr(unsigned short* s, unsigned short c);
// Searches from the terminator backwards, so c = 0 finds it.
unsigned short* _wcsrchr(unsigned short* s, unsigned short c);
// A length of -1 is measured; an empty needle matches at the start.
unsigned short* _wcsstr(unsigned short* hay, unsigned short* needle, long long hayLen, long long needleLen);
unsigned short* _wcsistr(unsigned short* hay, unsigned short* needle, long long hayLen, long long needleLen);

// -1, 0 or 1. _wcscmp and __memicmp answer 1 when either side is null,
// the others -1. Case is folded through the system's own case map, never
// the locale. The bounded forms answer -1 for a bound of 0 and 0 for a
// negative one, except __wcsnicmp, which always compares the first unit.
int _wcscmp(const unsigned short* a, const unsigned short* b);
int __wcsicmp(const unsigned short* a, const unsigned short* b);
int __wcsicmp(const unsigned short* a, const unsigned short* b, long long n);
int __wcsnicmp(const unsigned short* a, const unsigned short* b, long long n);
// Bytes of 0x80 and above sort before ASCII here ...
int __stricmp(const char* a, const char* b);
// ... but after it here.
int __stricmp(const char* a, const char* b, long long n);
// Exactly n bytes, zero bytes included; signed like the unbounded __stricmp.
int __memicmp(const char* a, const char* b, long long n);

// Never writes beyond `size` bytes; answers the formatter's count.
int _sprintf_s(char* dst, long long size, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
int _vsprintf_s(char* dst, long long size, const char* fmt, va_list args)
    __attribute__((format(printf, 3, 0)));
int _sscanf_s(const char* s, const char* fmt, ...) __attribute__((format(scanf, 2, 3)));
int _vsscanf_s(const char* s, const char* fmt, va_list args) __attribute__((format(scanf, 2, 0)));

// UTF-16 formatting and scanning run the byte formatter on UTF-8: "%s"
// takes and gives UTF-8 char strings, not UTF-16 ones. The output is cut at
// `size` - 1 units and always terminated.
int _swprintf_s(unsigned short* dst, long long size, const unsigned short* fmt, ...);
int _vswprintf_s(unsigned short* dst, long long size, const unsigned short* fmt, va_list args);
int _swscanf_s(const unsigned short* s, const unsigned short* fmt, ...);
int _vswscanf_s(const unsigned short* s, const unsigned short* fmt, va_list args);
