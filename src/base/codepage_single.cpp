// Single-byte pages: a table per page for decoding, and a reverse map per
// page for encoding, built the first time text is encoded into that page.
#include <mutex>

#include "base/btree.h"
#include "base/codepage_tables.h"
#include "base/codepages.h"

namespace {

constexpr int kLatin1 = 28591;

const sSingleBytePage* findPage(int cp) {
  int lo = 0, hi = kSingleBytePageCount;
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (kSingleBytePages[mid].cp < cp)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo < kSingleBytePageCount && kSingleBytePages[lo].cp == cp ? &kSingleBytePages[lo] : nullptr;
}

using tReverseMap = cFasterTreeList<unsigned short, char>;

// Several bytes may decode to one unit (the unassigned bytes of 1250, 1251
// and 1255 all read as "?"); the lowest of them is the one written, so "?"
// itself encodes as 0x3F and every other unit as its page's own byte.
void fillReverseMap(tReverseMap& map, const unsigned short* units) {
  for (int b = 0; b < 256; ++b)
    if (!map.find(units[b])) *map.insert(units[b]) = static_cast<char>(b);
}

// Kept until the process ends. The lock makes the first encoding into a page
// build its map exactly once however many threads arrive together; a built
// map is only read, and items of the outer map never move, so the reference
// stays valid after the lock is released.
const tReverseMap& reverseMap(int cp) {
  static std::mutex lock;
  static cFasterTreeList<int, tReverseMap> maps;
  std::lock_guard<std::mutex> hold(lock);
  if (const tReverseMap* built = maps.find(cp)) return *built;
  tReverseMap* map = maps.insert(cp);
  fillReverseMap(*map, intrnl_ACP_symtab(cp));
  return *map;
}

}  // namespace

const unsigned short* intrnl_ACP_symtab(int cp) {
  const sSingleBytePage* page = findPage(cp);
  return (page ? page : findPage(kLatin1))->units;
}

unsigned short __a2w(char c, int cp) { return intrnl_ACP_symtab(cp)[static_cast<unsigned char>(c)]; }

char __w2a(unsigned short u, int cp) {
  const char* b = reverseMap(cp).find(u);
  return b ? *b : 0;
}

long long intrnl_ACP_a2w(unsigned short* dst, long long dstLen, const char* src, long long srcLen, int cp) {
  if (!dst || !src || srcLen == 0 || dstLen <= 0) return 0;
  const unsigned short* units = intrnl_ACP_symtab(cp);
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  long long n = srcLen < 0 || srcLen > dstLen ? dstLen : srcLen;
  for (long long i = 0; i < n; ++i) {
    if (!s[i]) {
      dst[i] = 0;
      return i;
    }
    dst[i] = units[s[i]];
  }
  return n;
}

long long intrnl_ACP_w2a(const unsigned short* src, long long srcLen, char* dst, long long dstLen, int cp) {
  if (!dst || !src || srcLen == 0 || dstLen <= 0) return 0;
  const tReverseMap& map = reverseMap(cp);
  long long n = srcLen < 0 || srcLen > dstLen ? dstLen : srcLen;
  for (long long i = 0; i < n; ++i) {
    if (!src[i]) {
      dst[i] = 0;
      return i;
    }
    const char* b = map.find(src[i]);
    dst[i] = b ? *b : '?';
  }
  return n;
}
