// Case lookups through ordered maps filled from the constant pair tables on
// first use.
#include "base/casemap.h"

#include "base/btree.h"
#include "base/textconv.h"

namespace {

constexpr int kCasePairs = 973;

struct cCaseMap : cFasterTreeList<unsigned short, unsigned short> {
  explicit cCaseMap(const sCasePair* pairs) {
    for (int i = 0; i < kCasePairs; ++i) *insert(pairs[i].from) = pairs[i].to;
  }
};

unsigned short lookup(const cCaseMap& map, unsigned short u) {
  const unsigned short* to = map.find(u);
  return to ? *to : u;
}

}  // namespace

// The maps are function statics: their first fill is a one-time
// initialisation that concurrent first callers wait for instead of repeating.
// ASCII, by far the most frequent, is answered without a lookup; its pairs
// are exactly A to Z.

unsigned short __acp_lower(unsigned short u) {
  if (u < 0x80) return u >= 'A' && u <= 'Z' ? static_cast<unsigned short>(u + 32) : u;
  static const cCaseMap gLowerMap(__acp_lowermap);
  return lookup(gLowerMap, u);
}

unsigned short __acp_upper(unsigned short u) {
  if (u < 0x80) return u >= 'a' && u <= 'z' ? static_cast<unsigned short>(u - 32) : u;
  static const cCaseMap gUpperMap(__acp_uppermap);
  return lookup(gUpperMap, u);
}

// A byte of 0x80 or above, taken as a unit, lands on U+FF80 to U+FFFF, where
// no letter has a pair: only ASCII letters change.
char __acp_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

char __acp_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool __acp_isspace(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

bool __acp_isspace(unsigned short u) { return u == '\t' || u == '\n' || u == '\r' || u == ' '; }

bool __acp_lower(const _guardchar<char>& src, _guardchar<char>& dst) {
  _guardchar<unsigned short> wide;
  _pc2w(src.ptr, -1, wide);
  for (unsigned short* u = wide.ptr; *u; ++u) *u = __acp_lower(*u);
  _w2pc(wide.ptr, -1, dst);
  return true;
}
