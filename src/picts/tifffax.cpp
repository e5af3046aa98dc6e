#include "picts/tifffax.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

class cFaxBits {
 public:
  cFaxBits(const unsigned char* data, long long size, bool lsbFirst)
      : myData(data), myBits(static_cast<unsigned long long>(size) * 8), myLsbFirst(lsbFirst) {}

  // The next `n` bits (at most 16), zeros past the end.
  unsigned int peek(int n) const {
    unsigned long long byte = myPos >> 3, bytes = myBits >> 3;
    unsigned int window = 0;
    for (int i = 0; i < 4; ++i) window = window << 8 | (byte + i < bytes ? ordered(myData[byte + i]) : 0);
    return (window << (myPos & 7)) >> (32 - n);
  }
  void skip(int n) { myPos += static_cast<unsigned long long>(n); }
  bool atEnd() const { return myPos >= myBits; }
  // Past an EOL (eleven or more zeros, then a one) when one comes next.
  bool skipEol() {
    unsigned long long at = myPos, zeros = 0;
    while (at < myBits && !bitAt(at)) ++at, ++zeros;
    if (zeros < 11 || at >= myBits) return false;
    myPos = at + 1;
    return true;
  }

 private:
  unsigned int bitAt(unsigned long long pos) const {
    if (pos >= myBits) return 0;
    return ordered(myData[pos >> 3]) >> (7 - (pos & 7)) & 1;
  }
  unsigned int ordered(unsigned char b) const {
    if (!myLsbFirst) return b;
    b = static_cast<unsigned char>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<unsigned char>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<unsigned char>((b & 0xAA) >> 1 | (b & 0x55) << 1);
  }

  const unsigned char* myData;
  unsigned long long myBits;
  unsigned long long myPos = 0;
  bool myLsbFirst;
};

// One run of `black` pixels: makeup codes then a terminating code.
bool readRun(cFaxBits& bits, bool black, long long limit, long long& run) {
  const sFaxCode* table = black ? kFaxBlackCodes : kFaxWhiteCodes;
  run = 0;
  for (;;) {
    const sFaxCode& code = table[bits.peek(13)];
    if (code.length == 0 || code.value == kFaxEOL) return false;
    bits.skip(code.length);
    run += code.value;
    if (run > limit) return false;
    if (code.value < 64) return true;
  }
}

void fillBlack(unsigned char* row, long long from, long long to) {
  for (; from < to && (from & 7); ++from)
    row[from >> 3] = static_cast<unsigned char>(row[from >> 3] | (0x80 >> (from & 7)));
  if (to - from >= 8) {
    std::memset(row + (from >> 3), 0xFF, static_cast<size_t>((to - from) >> 3));
    from += (to - from) & ~7LL;
  }
  for (; from < to; ++from)
    row[from >> 3] = static_cast<unsigned char>(row[from >> 3] | (0x80 >> (from & 7)));
}

// Changing elements: positions where the colour changes, white first; an
// element at an even index turns to black.
bool decode1D(cFaxBits& bits, long long width, unsigned char* row, std::vector<long long>& changes) {
  long long a0 = 0;
  bool black = false;
  while (a0 < width) {
    long long run;
    if (!readRun(bits, black, width - a0, run)) return false;
    if (black) fillBlack(row, a0, a0 + run);
    a0 += run;
    if (a0 < width) changes.push_back(a0);
    black = !black;
  }
  return true;
}

bool decode2D(cFaxBits& bits, long long width, const std::vector<long long>& ref, unsigned char* row,
              std::vector<long long>& changes) {
  long long a0 = -1;
  bool black = false;
  size_t hint = 0;
  while (a0 < width) {
    // b1: the first reference element right of a0 that turns to the other colour.
    while (hint > 0 && ref[hint - 1] > a0) --hint;
    size_t i = hint;
    while (i < ref.size() && (ref[i] <= a0 || (i % 2 == 1) != black)) ++i;
    hint = i;
    long long b1 = i < ref.size() ? ref[i] : width, b2 = i + 1 < ref.size() ? ref[i + 1] : width;
    long long start = a0 < 0 ? 0 : a0;
    const sFaxCode& mode = kFaxModeCodes[bits.peek(7)];
    if (mode.length == 0) return false;
    bits.skip(mode.length);
    switch (mode.value) {
      case kModePass:
        if (b2 < start) return false;
        if (black) fillBlack(row, start, b2);
        a0 = b2;
        break;
      case kModeHorizontal: {
        long long r1, r2;
        if (!readRun(bits, black, width - start, r1) || !readRun(bits, !black, width - start - r1, r2))
          return false;
        long long a1 = start + r1, a2 = a1 + r2;
        fillBlack(row, black ? start : a1, black ? a1 : a2);
        if (a1 < width) changes.push_back(a1);
        if (a2 < width) changes.push_back(a2);
        a0 = a2;
        break;
      }
      case kModeExtension:
        return false;
      default: {
        static const int kOffset[] = {0, 1, 2, 3, -1, -2, -3};
        long long a1 = b1 + kOffset[mode.value - kModeV0];
        // A changing element before the current one or past the row is damage.
        if (a1 < start || a1 > width) return false;
        if (black) fillBlack(row, start, a1);
        if (a1 < width) changes.push_back(a1);
        a0 = a1;
        black = !black;
      }
    }
  }
  return true;
}

}  // namespace

bool decodeFax(const sFax3DecodeCtx& ctx, unsigned char* out) {
  if (ctx.width < 1 || ctx.rows < 1) return false;
  long long rowBytes = (ctx.width + 7) / 8;
  std::memset(out, 0, static_cast<size_t>(rowBytes * ctx.rows));
  cFaxBits bits(ctx.data, ctx.size, ctx.lsbFirst);
  std::vector<long long> ref, cur;
  try {
    for (long long y = 0; y < ctx.rows; ++y) {
      unsigned char* row = out + y * rowBytes;
      cur.clear();
      bool twoD = ctx.group4;
      if (!ctx.group4) {
        bits.skipEol();
        if (ctx.twoD) {
          twoD = bits.peek(1) == 0;
          bits.skip(1);
        }
      }
      if (bits.atEnd()) return false;
      if (!(twoD ? decode2D(bits, ctx.width, ref, row, cur) : decode1D(bits, ctx.width, row, cur)))
        return false;
      ref.swap(cur);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}
