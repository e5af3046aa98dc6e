// Free helpers used across the system: hexadecimal and GUID text, bit
// counting, number parsing, tick clocks, the local time zone, and the
// conversions between Unix times, Windows file times and calendar records.
#pragma once

#include "base/buffers.h"

// The calendar record of the system; month 1 to 12, the year in full.
struct sTimestamp {
  unsigned short year;
  unsigned char month;
  unsigned char day;
  unsigned char hour;
  unsigned char minute;
  unsigned char second;
};

// -1 when either digit is not hexadecimal or `s` is null.
int getHexb(const char* s);
int getHexb(const unsigned short* s);
// Pairs stored before the first bad one are kept; the answer says whether
// every pair was hexadecimal.
bool hexToBytes(const char* text, _typebuf<unsigned char>& out);
bool hexToBytes(const unsigned short* text, _typebuf<unsigned char>& out);
// The 36-character dashed form, 16 bytes in text order.
bool parseGUID(unsigned char* text, unsigned char* out);

int bitsCount(unsigned long long x);
// 0 for both 0 and 1.
int highestBit(unsigned long long x);
// 64 for 0.
int lowestBit(unsigned long long x);

// All bits set when nothing could be read; "0x" reads hexadecimal; empty
// or white-space-only text gives 0.
unsigned long long strToU64(const char* s);
unsigned long long strToU64(const unsigned short* s);
// The smallest signed value when nothing could be read or the value does
// not fit.
long long strToInt64(const char* s);
long long strToInt64(const unsigned short* s);
long long minDiff(long long a, long long b);

// Milliseconds since the first call, on the monotonic clock; wraps at 32 bits.
unsigned int ticks_ms();
// Wall-clock microseconds since 1970.
unsigned long long ticks_us();
long long getCurrUnixTime();
// East positive; computed once per process.
int timeZoneMin();
unsigned long long utcToLocal(unsigned long long t);
unsigned long long localToUTC(unsigned long long t);
unsigned long long localTimeFixDLT(unsigned long long t);

// The record read as UTC; 0 before 1970 or for a month outside 1 to 12.
unsigned int toUnix(sTimestamp& ts);
unsigned long long toWinTime(sTimestamp& ts);
unsigned long long toWinTime(unsigned int low, int high);
int toUnixTime(unsigned long long w);
unsigned long long toUnixBigTime(unsigned long long w);
void unixToTimestamp(unsigned int t, sTimestamp& ts);
void winToTimestamp(unsigned long long w, sTimestamp& ts);
void getCurrTimestamp(sTimestamp& ts);
// "dd.mm.yyyy hh:mm:ss" in UTC.
bool unixToStr(unsigned int t, char* buf, long long size);

bool iszero(unsigned char* buf, long long n);

// Among the first n characters (-1: the whole string): the index of the
// first that is not white space, or -1 ...
int str_offset(const char* s, int n);
int wcs_offset(const unsigned short* s, int n);
// ... and the length without the trailing white space.
int stre_offset(const char* s, int n);
int wcse_offset(const unsigned short* s, int n);
