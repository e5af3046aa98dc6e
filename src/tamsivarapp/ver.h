// Versions travel as one 64-bit number of four 16-bit fields, major highest,
// so that comparing versions is comparing numbers. All bits set: unknown.
#pragma once

#include "base/guardchar.h"

inline constexpr unsigned long long kNoVersion = ~0ULL;

unsigned long long getCurrVerID();
// Version mode: prints the own version as 16 hexadecimal digits.
int printverinfo();
// Asks another copy of this program for its version by running it with the
// word "version"; a copy that does not answer within `timeoutMs` is ended.
unsigned long long getVerID(const char* path, int timeoutMs = 10000);
// "1.2.3.4", "1.2.3" or "1.2", dropping trailing zero fields after the second.
void strVer(unsigned long long version, _guardchar<char>& text);
