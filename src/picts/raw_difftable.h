// Whole differences of a Huffman-coded camera body in one lookup. A table
// indexed by the next kDiffPeekBits bits gives, for every code whose length
// plus the difference bits after it fit in those bits, the bits the pair
// takes (low byte) and the signed difference (above it). Codes that do not
// fit answer 0 and take the reader's ordinary path, so the table changes
// the speed of a decode, never its result.
#pragma once

#include <bit>
#include <cstring>

// 2^14 entries stay in the first-level cache beside the row being written,
// and hold the common codes of 14-bit bodies with their difference bits.
constexpr int kDiffPeekBits = 14;
constexpr unsigned kDiffPeekMask = (1u << kDiffPeekBits) - 1;
constexpr unsigned kDiffTableSize = 1u << kDiffPeekBits;

// `codes` has 2^codeBits entries (length << 8 | symbol) indexed by the next
// codeBits bits, of which a code takes at most codeBits. `rule.rawBits(symbol)`
// is the count of difference bits after the code, `rule.diff(symbol, raw)`
// the difference they make.
template <class Rule>
void buildDiffTable(const unsigned short* codes, int codeBits, const Rule& rule, int* out) {
  for (unsigned v = 0; v < kDiffTableSize; ++v) {
    out[v] = 0;
    // A table wider than the peek would need its codes to be prefix-aligned.
    if (codeBits < 1 || codeBits > kDiffPeekBits) continue;
    const unsigned short e = codes[v >> (kDiffPeekBits - codeBits)];
    const int length = (e >> 8) < codeBits ? e >> 8 : codeBits;
    const int symbol = e & 0xFF, n = rule.rawBits(symbol);
    if (length == 0 || length + n > kDiffPeekBits) continue;
    const unsigned raw = n ? v >> (kDiffPeekBits - length - n) & ((1u << n) - 1) : 0;
    out[v] = rule.diff(symbol, raw) * 256 + length + n;
  }
}

inline unsigned long long loadBigEndian64(const unsigned char* p) {
  unsigned long long w;
  std::memcpy(&w, p, 8);
  if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
  return w;
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
