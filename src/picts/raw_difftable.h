// Whole differences of a Huffman-coded camera body in one lookup. A table
// indexed by the next kDiffPeekBits bits gives, for every code whose length
// plus the difference bits after it fit in those bits, the bits the pair
// takes (low 7 bits) and the signed difference (above the low byte). A code
// that fits without its difference bits gives its length with bit 7 set and
// its symbol above, and the difference bits are read after it. Codes longer
// than the peek answer 0 and take the reader's ordinary path, so the table
// changes the speed of a decode, never its result.
#pragma once

#include <bit>
#include <cstring>

// 2^16 entries: the common codes of 14-bit bodies with their difference
// bits; a table in the second-level cache costs less than a branch between
// whole and split answers that the data cannot predict.
constexpr int kDiffPeekBits = 16;
constexpr unsigned kDiffTableSize = 1u << kDiffPeekBits;
// The bits a window must hold for a lookup: a code and its difference bits.
constexpr int kDiffReach = 32;

// `codes` has 2^codeBits entries (length << 8 | symbol) indexed by the next
// codeBits bits, of which a code takes at most codeBits. `Rule::rawBits(symbol)`
// is the count of difference bits after the code, `Rule::diff(symbol, raw)`
// the difference they make.
template <class Rule>
void buildDiffTable(const unsigned short* codes, int codeBits, int* out) {
  for (unsigned v = 0; v < kDiffTableSize; ++v) {
    out[v] = 0;
    // A table wider than the peek would need its codes to be prefix-aligned.
    if (codeBits < 1 || codeBits > kDiffPeekBits) continue;
    const unsigned short e = codes[v >> (kDiffPeekBits - codeBits)];
    const int length = (e >> 8) < codeBits ? e >> 8 : codeBits;
    const int symbol = e & 0xFF, n = Rule::rawBits(symbol);
    if (length == 0 || length + n > kDiffReach) continue;
    if (length + n > kDiffPeekBits) {
      out[v] = symbol * 256 + 0x80 + length;
      continue;
    }
    const unsigned raw = n ? v >> (kDiffPeekBits - length - n) & ((1u << n) - 1) : 0;
    out[v] = Rule::diff(symbol, raw) * 256 + length + n;
  }
}

// One difference off the top of `acc`, which holds `held` (at least
// kDiffReach) bits left-aligned; false, taking nothing, where the table has
// no answer.
template <class Rule>
inline bool lookupDiff(const int* table, unsigned long long& acc, int& held, int& diff) {
  const int e = table[acc >> (64 - kDiffPeekBits)];
  const int used = e & 0x7F;
  if (!(e & 0x80)) {
    if (!used) return false;
    // At most kDiffPeekBits: the shift takes them straight from the entry.
    acc <<= e & 63;
    held -= e & 63;
    diff = e >> 8;
    return true;
  }
  const int symbol = e >> 8, n = Rule::rawBits(symbol);
  acc <<= used;
  const unsigned raw = n ? static_cast<unsigned>(acc >> (64 - n)) : 0;
  acc <<= n;
  held -= used + n;
  diff = Rule::diff(symbol, raw);
  return true;
}

inline unsigned long long loadBigEndian64(const unsigned char* p) {
  unsigned long long w;
  std::memcpy(&w, p, 8);
  if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
  return w;
}

// Eight bytes from `p` ORed in under the `held` (below 64) bits of a
// left-aligned window: the same bits where they overlap, so only the whole
// bytes among them are counted. Answers the bytes taken.
inline int refillLeftAligned(unsigned long long& acc, int& held, const unsigned char* p) {
  acc |= loadBigEndian64(p) >> held;
  const int take = (63 - held) >> 3;
  held |= 56;
  return take;
}

// Appends whole bytes from `p` (eight readable) to the low end of `bits`
// until more than 56 are held, as a byte-at-a-time top-up would; `avail`
// (0..56) counts the held bits. Answers the bytes taken.
inline int topUpBits(unsigned long long& bits, int& avail, const unsigned char* p) {
  const unsigned long long w = loadBigEndian64(p);
  const int take = (64 - avail) >> 3;
  bits = bits << 1 << (8 * take - 1) | w >> (64 - 8 * take);
  avail += 8 * take;
  return take;
}
