// Case conversion and white space for UTF-8 and UTF-16 text, the same on
// every machine: the system never asks the locale, so names compare alike
// wherever they were written.
#pragma once

#include "base/guardchar.h"

struct sCasePair {
  unsigned short from;
  unsigned short to;
};

// The one-to-one case pairs of the Basic Multilingual Plane as of Unicode
// 5.1, sorted by `from`: 973 pairs, then three zero slots. The lower map
// sends capitals to small letters; the upper map holds the same pairs swapped.
extern const sCasePair __acp_lowermap[976];
extern const sCasePair __acp_uppermap[976];

unsigned short __acp_lower(unsigned short u);
unsigned short __acp_upper(unsigned short u);
// Only A to Z and a to z change: bytes of UTF-8 sequences never do.
char __acp_lower(char c);
char __acp_upper(char c);
// Tab, line feed, carriage return and space; nothing else.
bool __acp_isspace(char c);
bool __acp_isspace(unsigned short u);

// `dst` becomes the lower-cased copy of the UTF-8 text of `src` (an empty
// string when `src` holds none). Answers true.
bool __acp_lower(const _guardchar<char>& src, _guardchar<char>& dst);
