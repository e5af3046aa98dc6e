// Double-byte pages: Shift-JIS (932), GBK (936), Unified Hangul (949) and
// Big5 (950). Decoding never stops at bytes it cannot map: each becomes "?",
// so a damaged text still reads to its end.
#include "base/codepage_tables.h"
#include "base/codepage_walk.h"
#include "base/codepages.h"

namespace {

const sDoubleBytePage* findPage(int cp) {
  switch (cp) {
    case 932:
      return &kCP932;
    case 936:
      return &kCP936;
    case 949:
      return &kCP949;
    case 950:
      return &kCP950;
    default:
      return nullptr;
  }
}

// The decoder and its count are this one walk, so a destination sized by the
// count always takes the whole text. A lead byte without a row is one "?" and
// the byte after it is read on its own, as the decoder has always done.
template <typename Out>
void walk(const sDoubleBytePage& page, const unsigned char* s, long long srcLen, Out& out) {
  const long long end = sourceEnd(srcLen);
  long long i = 0;
  while (i < end && !out.full()) {
    unsigned short u = page.base[s[i]];
    if (u != kLeadByte) {
      if (!u) {
        out.terminate();
        return;
      }
      out.put(u);
      ++i;
      continue;
    }
    const unsigned short* row = page.rows[s[i]];
    if (!row) {
      out.put('?');
      ++i;
      continue;
    }
    // A lead byte cut off by the end of the text or by its terminator is
    // dropped: its character is not there.
    if (sequenceBytes(s, i, end, 2) < 2) return;
    unsigned char trail = s[i + 1];
    out.put(trail < 0x40 ? '?' : row[trail - 0x40]);
    i += 2;
  }
}

}  // namespace

long long intrnl_JIS_a2w(unsigned short* dst, long long dstLen, const char* src, long long srcLen, int cp) {
  const sDoubleBytePage* page = findPage(cp);
  if (!page || !dst || !src || srcLen == 0 || dstLen <= 0) return 0;
  sUnitWriter out{dst, dstLen};
  walk(*page, reinterpret_cast<const unsigned char*>(src), srcLen, out);
  return out.n;
}

long long intrnl_JIS_a2w_require(const char* src, long long srcLen, int cp) {
  const sDoubleBytePage* page = findPage(cp);
  if (!page || !src || srcLen == 0) return 0;
  sUnitCounter count;
  walk(*page, reinterpret_cast<const unsigned char*>(src), srcLen, count);
  return requiredUnits(count, srcLen);
}
