// The value syntax every section of the text scenario shares.
#pragma once

#include "base/guardchar.h"

// Tab, line feed, carriage return and space.
void skipSpace(char*& p);
// After optional white space, the end of the entry or a "#" comment.
bool atEntryEnd(char*& p);
// A double-quoted text in which a backslash takes the next character
// literally; white space after it is skipped. Refused when longer than the
// binary form's 16-bit length can carry.
bool parseStrVal(char*& p, _guardchar<char>& out);
// "=" between optional white space.
bool findSkipEq(char*& p);
// The identifier of a three-letter language code at `p`; -1 when unknown.
int langCodeAt(const char* p);
// The number reader's view of a text: true when it reads as a number
// (decimal, or hexadecimal after "0x"; an empty text reads as 0).
bool readNumber(const char* text, unsigned long long& value);
