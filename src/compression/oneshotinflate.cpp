#include "compression/oneshotinflate.h"

#include <cstdint>
#include <cstring>

#include "compression/adler.h"

namespace {

// A table entry: bits 0-4 the bits the code takes, bits 8-11 the extra bits
// that follow it (or a subtable's index bits), bits 16-31 the value (a
// literal, a length or distance base, or a subtable's offset), and one kind.
constexpr uint32_t kLiteral = 1u << 12;
constexpr uint32_t kEndOfBlock = 1u << 13;
constexpr uint32_t kSubtable = 1u << 14;
constexpr uint32_t kInvalid = 1u << 15;

constexpr int kLitBits = 10;
constexpr int kDistBits = 8;
// Room for the largest tables complete codes of these root sizes can need.
constexpr int kLitTableSize = 2048;
constexpr int kDistTableSize = 1024;
constexpr int kMaxCodeLength = 15;
// Output room for three literals, or the longest match and its overrun.
constexpr size_t kFastRoom = 258 + 16;

constexpr uint32_t entry(uint32_t value, uint32_t extra, uint32_t kind) { return value << 16 | extra << 8 | kind; }

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

uint32_t literalLengthEntry(int symbol) {
  if (symbol < 256) return entry(static_cast<uint32_t>(symbol), 0, kLiteral);
  if (symbol == 256) return kEndOfBlock;
  if (symbol > 285) return kInvalid;
  return entry(kLengthBase[symbol - 257], kLengthExtra[symbol - 257], 0);
}

uint32_t distanceEntry(int symbol) {
  return symbol < 30 ? entry(kDistBase[symbol], kDistExtra[symbol], 0) : kInvalid;
}

uint32_t codeLengthEntry(int symbol) { return entry(static_cast<uint32_t>(symbol), 0, 0); }

// Builds a lookup table for canonical codes of the given lengths: a root
// table of `rootBits` indexed by the next bits of the stream, with
// subtables for longer codes. Over-subscribed lengths fail, and so do
// incomplete ones except a lone one-bit code (or none at all), which a
// stream may use for its distances; unused slots decode as invalid.
bool buildTable(const uint8_t* lengths, int count, uint32_t (*entryOf)(int), int rootBits, uint32_t* table,
                int capacity, bool codeLengths) {
  int perLength[kMaxCodeLength + 1] = {};
  for (int s = 0; s < count; ++s) ++perLength[lengths[s]];
  perLength[0] = 0;
  int longest = kMaxCodeLength;
  while (longest > 0 && perLength[longest] == 0) --longest;
  int rootSize = 1 << rootBits;
  for (int i = 0; i < rootSize; ++i) table[i] = kInvalid;
  if (longest == 0) return !codeLengths;

  int left = 1;
  for (int len = 1; len <= kMaxCodeLength; ++len) {
    left = (left << 1) - perLength[len];
    if (left < 0) return false;
  }
  if (left > 0 && (codeLengths || longest != 1)) return false;

  int offsets[kMaxCodeLength + 2] = {};
  for (int len = 1; len <= kMaxCodeLength; ++len) offsets[len + 1] = offsets[len] + perLength[len];
  int sorted[288];
  for (int s = 0; s < count; ++s)
    if (lengths[s]) sorted[offsets[lengths[s]]++] = s;

  int remaining[kMaxCodeLength + 1];
  std::memcpy(remaining, perLength, sizeof remaining);
  uint32_t code = 0;  // the canonical code, most significant bit first
  int used = rootSize;
  int subPrefix = -1;
  int subBits = 0;
  uint32_t* sub = nullptr;
  int symbolIndex = 0;
  for (int len = 1; len <= longest; ++len) {
    for (int n = 0; n < perLength[len]; ++n, ++code, ++symbolIndex) {
      uint32_t reversed = 0;
      for (int b = 0; b < len; ++b) reversed |= ((code >> b) & 1u) << (len - 1 - b);
      uint32_t value = entryOf(sorted[symbolIndex]);
      if (len <= rootBits) {
        for (uint32_t i = reversed; i < static_cast<uint32_t>(rootSize); i += 1u << len)
          table[i] = value | static_cast<uint32_t>(len);
      } else {
        int prefix = static_cast<int>(reversed & static_cast<uint32_t>(rootSize - 1));
        if (prefix != subPrefix) {
          // As many index bits as the codes that still share this prefix fill.
          subBits = len - rootBits;
          int room = 1 << subBits;
          while (subBits + rootBits < longest) {
            room -= remaining[subBits + rootBits];
            if (room <= 0) break;
            ++subBits;
            room <<= 1;
          }
          if (used + (1 << subBits) > capacity) return false;
          sub = table + used;
          for (int i = 0; i < 1 << subBits; ++i) sub[i] = kInvalid;
          table[prefix] = entry(static_cast<uint32_t>(used), static_cast<uint32_t>(subBits), kSubtable) |
                          static_cast<uint32_t>(rootBits);
          used += 1 << subBits;
          subPrefix = prefix;
        }
        int subLen = len - rootBits;
        for (uint32_t i = reversed >> rootBits; i < (1u << subBits); i += 1u << subLen)
          sub[i] = value | static_cast<uint32_t>(subLen);
      }
      --remaining[len];
    }
    code <<= 1;
  }
  return true;
}

// The input after asking it for `want` bytes in all. Kept out of line and
// away from the reader, whose state then stays in registers.
struct sPulled {
  const unsigned char* data;
  size_t size;
  bool more;
};
[[gnu::noinline]] sPulled pullFrom(cPullInput& in, size_t want) {
  const bool more = in.pull(want);
  return {in.data, in.size, more};
}

class cBitReader {
 public:
  cBitReader(cPullInput& in, size_t from)
      : source(in), next(in.data + from), end(in.data + in.size), dry(in.complete) {}

  // At least 56 bits held afterwards; past the input the stream reads as
  // zeros, which `overran` reports once they are used.
  void refill() {
    if (end - next < 8 && !dry) [[unlikely]] {
      const unsigned char* at = next;
      ahead(at, 8);
    }
    if (end - next >= 8) {
      uint64_t word;
      std::memcpy(&word, next, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
      word = __builtin_bswap64(word);
#endif
      bits |= word << held;
      next += (63 - held) >> 3;
      held |= 56;
      return;
    }
    // The stream's last few bytes, then zeros: counted once rather than
    // asked byte by byte, as a strip of a few bytes reads all of its own here.
    if (held > 56) return;
    const int bytes = ((56 - held) >> 3) + 1;
    const int real = end - next < bytes ? static_cast<int>(end - next) : bytes;
    for (int i = 0; i < real; ++i) bits |= static_cast<uint64_t>(next[i]) << (held + 8 * i);
    next += real;
    fake += bytes - real;
    held += 8 * bytes;
  }

  uint32_t peek(int n) const { return static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1)); }
  void drop(int n) {
    bits >>= n;
    held -= n;
  }
  uint32_t take(int n) {
    uint32_t v = peek(n);
    drop(n);
    return v;
  }
  bool overran() const { return fake * 8 > held; }
  // Enough input left that the refills of one symbol never run out.
  bool hasMargin() const { return end - next >= 16; }

  // Moves to the next byte boundary and hands out the unread bytes, for a
  // stored block; false when the stream ended before the boundary.
  bool alignedBytes(const unsigned char*& at, size_t& available) {
    drop(held & 7);
    if (fake * 8 > held) return false;
    at = next - (held / 8 - fake);
    available = static_cast<size_t>(end - at);
    return true;
  }
  // Asks the input for `n` bytes from `at`, one of its bytes, which follows
  // them if they move; answers how many it holds from there.
  size_t ahead(const unsigned char*& at, size_t n) {
    if (static_cast<size_t>(end - at) < n && !dry) {
      const unsigned char* base = source.data;
      const size_t atOffset = static_cast<size_t>(at - base), nextOffset = static_cast<size_t>(next - base);
      const sPulled pulled = pullFrom(source, atOffset + n);
      dry = !pulled.more || source.complete;
      next = pulled.data + nextOffset;
      end = pulled.data + pulled.size;
      at = pulled.data + atOffset;
    }
    return static_cast<size_t>(end - at);
  }
  void restartAt(const unsigned char* at) {
    next = at;
    bits = 0;
    held = 0;
    fake = 0;
  }

 private:
  cPullInput& source;
  const unsigned char* next;
  const unsigned char* end;
  uint64_t bits = 0;
  int held = 0;
  int fake = 0;
  // The input has given all it has: short streams are not asked again at every symbol.
  bool dry = false;
};

// Reads the two code tables of a dynamic block.
bool readDynamicTables(cBitReader& in, uint32_t* litTable, uint32_t* distTable) {
  in.refill();
  int literalCount = static_cast<int>(in.take(5)) + 257;
  int distanceCount = static_cast<int>(in.take(5)) + 1;
  int codeLengthCount = static_cast<int>(in.take(4)) + 4;
  if (literalCount > 286 || distanceCount > 30) return false;
  uint8_t codeLengthLengths[19] = {};
  for (int i = 0; i < codeLengthCount; ++i) {
    if (i % 8 == 0) in.refill();
    codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(in.take(3));
  }
  uint32_t codeLengthTable[1 << 7];
  if (!buildTable(codeLengthLengths, 19, codeLengthEntry, 7, codeLengthTable, 1 << 7, true)) return false;

  uint8_t lengths[286 + 30];
  int total = literalCount + distanceCount;
  for (int i = 0; i < total;) {
    in.refill();
    uint32_t e = codeLengthTable[in.peek(7)];
    if (e & kInvalid) return false;
    in.drop(static_cast<int>(e & 31));
    int symbol = static_cast<int>(e >> 16);
    if (symbol < 16) {
      lengths[i++] = static_cast<uint8_t>(symbol);
      continue;
    }
    int repeat;
    uint8_t value = 0;
    if (symbol == 16) {
      if (i == 0) return false;
      value = lengths[i - 1];
      repeat = 3 + static_cast<int>(in.take(2));
    } else if (symbol == 17) {
      repeat = 3 + static_cast<int>(in.take(3));
    } else {
      repeat = 11 + static_cast<int>(in.take(7));
    }
    if (repeat > total - i) return false;
    std::memset(lengths + i, value, static_cast<size_t>(repeat));
    i += repeat;
  }
  if (in.overran() || lengths[256] == 0) return false;
  return buildTable(lengths, literalCount, literalLengthEntry, kLitBits, litTable, kLitTableSize, false) &&
         buildTable(lengths + literalCount, distanceCount, distanceEntry, kDistBits, distTable, kDistTableSize,
                    false);
}

// The fixed code's tables, built once: streams of a few bytes each, as
// one-row strips make, would otherwise spend most of their time on them.
struct sFixedTables {
  uint32_t lit[kLitTableSize];
  uint32_t dist[kDistTableSize];
  sFixedTables() {
    // Distance codes 30 and 31 complete the fixed code but decode as invalid.
    uint8_t lengths[288 + 32];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    std::memset(lengths + 288, 5, 32);
    buildTable(lengths, 288, literalLengthEntry, kLitBits, lit, kLitTableSize, false);
    buildTable(lengths + 288, 32, distanceEntry, kDistBits, dist, kDistTableSize, false);
  }
};

const sFixedTables& fixedTables() {
  static const sFixedTables tables;
  return tables;
}

inline uint32_t lookup(cBitReader& in, const uint32_t* table, int rootBits) {
  uint32_t e = table[in.peek(rootBits)];
  if (e & kSubtable) {
    in.drop(rootBits);
    e = table[(e >> 16) + in.peek(static_cast<int>(e >> 8 & 15))];
  }
  in.drop(static_cast<int>(e & 31));
  return e;
}

inline void copyWord(unsigned char* to, const unsigned char* from) {
  uint64_t word;
  std::memcpy(&word, from, 8);
  std::memcpy(to, &word, 8);
}

// Copies a match a word at a time; the last word may run up to 15 bytes past
// it, into room the caller has and later codes overwrite. A match closer
// than a word repeats a pattern of `distance` bytes, which repeats as well
// at the first multiple of the distance that is a word or more away.
inline void copyMatch(unsigned char* to, const unsigned char* from, size_t distance, size_t length) {
  unsigned char* end = to + length;
  if (distance < 8) {
    if (distance == 1) {
      std::memset(to, *from, length + 8);
      return;
    }
    size_t step = distance * ((8 + distance - 1) / distance);
    for (size_t i = 0; i < step; ++i) to[i] = from[i];
    from = to;
    to += step;
  } else {
    copyWord(to, from);
    copyWord(to + 8, from + 8);
    to += 16;
    from += 16;
  }
  while (to < end) {
    copyWord(to, from);
    to += 8;
    from += 8;
  }
}

}  // namespace

sInflated inflateOneShot(const unsigned char* in, size_t inLen, unsigned char* out, size_t outLen,
                         bool zlibHeader) {
  cPullInput whole(in, inLen);
  return inflateOneShot(whole, out, outLen, zlibHeader);
}

sInflated inflateOneShot(cPullInput& in, unsigned char* out, size_t outLen, bool zlibHeader) {
  unsigned char* const start = out;
  unsigned char* const outEnd = out + outLen;
  auto result = [&](eInflateEnd end) { return sInflated{end, static_cast<size_t>(out - start)}; };
  if (zlibHeader) {
    if (in.size < 2 && !in.pull(2)) return result(eInflateEnd::truncated);
    if (in.size < 2) return result(eInflateEnd::truncated);
    // Deflate with a window of at most 32 KiB, a header that checks, no
    // preset dictionary.
    const unsigned char* head = in.data;
    if ((head[0] & 15) != 8 || (head[0] >> 4) > 7 || (head[0] << 8 | head[1]) % 31 != 0 || (head[1] & 32))
      return result(eInflateEnd::damaged);
  }
  cBitReader bits(in, zlibHeader ? 2 : 0);
  uint32_t dynamicLit[kLitTableSize];
  uint32_t dynamicDist[kDistTableSize];
  const uint32_t* litTable = dynamicLit;
  const uint32_t* distTable = dynamicDist;
  for (bool last = false; !last;) {
    bits.refill();
    last = bits.take(1) != 0;
    uint32_t type = bits.take(2);
    if (bits.overran()) return result(eInflateEnd::truncated);
    if (type == 0) {
      const unsigned char* at;
      size_t available;
      if (!bits.alignedBytes(at, available)) return result(eInflateEnd::truncated);
      available = bits.ahead(at, 4);
      if (available < 4) return result(eInflateEnd::truncated);
      size_t length = static_cast<size_t>(at[0] | at[1] << 8);
      if ((length ^ static_cast<size_t>(at[2] | at[3] << 8)) != 0xFFFF) return result(eInflateEnd::damaged);
      size_t room = static_cast<size_t>(outEnd - out);
      // Only the bytes the buffer takes are asked for.
      available = bits.ahead(at, 4 + (length < room ? length : room)) - 4;
      at += 4;
      size_t n = length < available ? length : available;
      if (n > room) n = room;
      std::memcpy(out, at, n);
      out += n;
      if (n < length) return result(n == room ? eInflateEnd::outputFull : eInflateEnd::truncated);
      bits.restartAt(at + length);
      continue;
    }
    if (type == 1) {
      litTable = fixedTables().lit;
      distTable = fixedTables().dist;
    } else if (type == 2 && readDynamicTables(bits, dynamicLit, dynamicDist)) {
      litTable = dynamicLit;
      distTable = dynamicDist;
    } else {
      return result(eInflateEnd::damaged);
    }

    for (;;) {
      // One refill holds three literal codes, or the longest length and
      // distance with their extra bits (48).
      bits.refill();
      uint32_t e = lookup(bits, litTable, kLitBits);
      if (bits.hasMargin() && static_cast<size_t>(outEnd - out) >= kFastRoom) {
        // Far from both ends: no bit can be past the input, no byte past
        // the buffer.
        if (e & kLiteral) {
          *out++ = static_cast<unsigned char>(e >> 16);
          e = lookup(bits, litTable, kLitBits);
          if (e & kLiteral) {
            *out++ = static_cast<unsigned char>(e >> 16);
            e = lookup(bits, litTable, kLitBits);
            if (e & kLiteral) {
              *out++ = static_cast<unsigned char>(e >> 16);
              continue;
            }
          }
          bits.refill();
        }
      } else if (e & kLiteral) {
        if (bits.overran()) return result(eInflateEnd::truncated);
        if (out == outEnd) return result(eInflateEnd::outputFull);
        *out++ = static_cast<unsigned char>(e >> 16);
        continue;
      }
      if (e & (kEndOfBlock | kInvalid)) {
        if (bits.overran()) return result(eInflateEnd::truncated);
        if (e & kInvalid) return result(eInflateEnd::damaged);
        break;
      }
      size_t length = (e >> 16) + bits.take(static_cast<int>(e >> 8 & 15));
      uint32_t d = lookup(bits, distTable, kDistBits);
      if (d & kInvalid) return result(bits.overran() ? eInflateEnd::truncated : eInflateEnd::damaged);
      size_t distance = (d >> 16) + bits.take(static_cast<int>(d >> 8 & 15));
      if (bits.overran()) return result(eInflateEnd::truncated);
      if (distance > static_cast<size_t>(out - start)) return result(eInflateEnd::damaged);
      const unsigned char* from = out - distance;
      size_t room = static_cast<size_t>(outEnd - out);
      if (room >= length + 16) {
        copyMatch(out, from, distance, length);
        out += length;
        continue;
      }
      bool full = length > room;
      if (full) length = room;
      for (size_t i = 0; i < length; ++i) out[i] = from[i];
      out += length;
      if (full) return result(eInflateEnd::outputFull);
    }
  }
  if (zlibHeader) {
    const unsigned char* check;
    size_t left;
    if (!bits.alignedBytes(check, left) || bits.ahead(check, 4) < 4) return result(eInflateEnd::badChecksum);
    const unsigned want = static_cast<unsigned>(check[0]) << 24 | check[1] << 16 | check[2] << 8 | check[3];
    if (adlerChecksum(start, static_cast<size_t>(out - start)) != want)
      return result(eInflateEnd::badChecksum);
  }
  return result(eInflateEnd::finished);
}
