#include "picts/tifffax.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

class cFaxBits {
 public:
  cFaxBits(cPullInput& source, bool lsbFirst) : mySource(source), myLsbFirst(lsbFirst) { take(); }

  // The next `n` bits (at most 16), zeros past the end. Eight bytes at a
  // time are kept in reading order, since codes take a few bits each.
  unsigned int peek(int n) {
    unsigned long long byte = myPos >> 3;
    if (byte < myCacheByte || byte - myCacheByte > 5) fillCache(byte);
    int skip = static_cast<int>((byte - myCacheByte) * 8 + (myPos & 7));
    return static_cast<unsigned int>((myCache << skip) >> (64 - n));
  }
  void skip(int n) { myPos += static_cast<unsigned long long>(n); }
  bool atEnd() { return myPos >= myBits && !reach(myPos); }
  // Past an EOL (eleven or more zeros, then a one) when one comes next.
  bool skipEol() {
    unsigned long long at = myPos, zeros = 0;
    while ((at < myBits || reach(at)) && !bitAt(at)) ++at, ++zeros;
    if (zeros < 11 || at >= myBits) return false;
    myPos = at + 1;
    return true;
  }

 private:
  unsigned int bitAt(unsigned long long pos) const {
    if (pos >= myBits) return 0;
    return ordered(myData[pos >> 3]) >> (7 - (pos & 7)) & 1;
  }
  unsigned int ordered(unsigned char b) const { return myLsbFirst ? reversedBits(b) : b; }

  // Pulls the input up to bit `pos` and a little past it; whether it holds that bit.
  bool reach(unsigned long long pos) {
    if (pos >= myBits && mySource.pull(static_cast<size_t>((pos >> 3) + 8))) take();
    return pos < myBits;
  }
  void take() {
    myData = mySource.data;
    myBits = static_cast<unsigned long long>(mySource.size) * 8;
    myCacheByte = ~0ULL;
  }

  void fillCache(unsigned long long byte) {
    reach((byte + 7) * 8);
    unsigned long long bytes = myBits >> 3;
    myCache = 0;
    for (unsigned long long i = byte; i < byte + 8; ++i)
      myCache = myCache << 8 | (i < bytes ? ordered(myData[i]) : 0);
    myCacheByte = byte;
  }

  cPullInput& mySource;
  const unsigned char* myData = nullptr;
  unsigned long long myBits = 0;
  unsigned long long myPos = 0;
  unsigned long long myCache = 0;
  unsigned long long myCacheByte = ~0ULL;
  bool myLsbFirst;
};

enum eRun { kRunBad, kRunDone, kRunEol };

// One run of `black` pixels: makeup codes then a terminating code. An
// end-of-line code met instead is left for the caller.
eRun readRun(cFaxBits& bits, bool black, long long limit, long long& run) {
  const sFaxCode* table = black ? kFaxBlackCodes : kFaxWhiteCodes;
  run = 0;
  for (;;) {
    const sFaxCode& code = table[bits.peek(13)];
    // Fill bits may stretch the code's eleven zeros.
    if (code.value == kFaxEOL || code.length == 0) return bits.peek(11) == 0 ? kRunEol : kRunBad;
    bits.skip(code.length);
    run += code.value;
    if (run > limit) return kRunBad;
    if (code.value < 64) return kRunDone;
  }
}

// A row being decoded: its bits for the first `columns` pixels only, the
// ones the picture shows, so that a unit far wider than its picture costs
// its codes, not its width.
struct sOutRow {
  unsigned char* bits;
  long long columns;
};

void fillBlack(const sOutRow& out, long long from, long long to) {
  unsigned char* row = out.bits;
  to = std::min(to, out.columns);
  for (; from < to && (from & 7); ++from)
    row[from >> 3] = static_cast<unsigned char>(row[from >> 3] | (0x80 >> (from & 7)));
  if (to - from >= 8) {
    std::memset(row + (from >> 3), 0xFF, static_cast<size_t>((to - from) >> 3));
    from += (to - from) & ~7LL;
  }
  for (; from < to; ++from)
    row[from >> 3] = static_cast<unsigned char>(row[from >> 3] | (0x80 >> (from & 7)));
}

// A row that an end-of-line code cuts short ends there and the page goes
// on with the next row: senders do that to drop a row they could not
// finish. As the common readers of such pages do, a one-dimensional row is
// white to its end (a black run cut to nothing still counts as a change for
// the row coded against it), a two-dimensional one keeps its current colour.
bool endsRow(cFaxBits& bits, eRun run, const sOutRow& row, std::vector<long long>& changes, long long at,
             long long width, bool twoD, bool black) {
  if (run != kRunEol || !bits.skipEol()) return false;
  if (twoD && black) fillBlack(row, at, width);
  if (!twoD && changes.size() % 2 == 1 && at < width) changes.push_back(at);
  return true;
}

// Changing elements: positions where the colour changes, white first; an
// element at an even index turns to black.
bool decode1D(cFaxBits& bits, long long width, const sOutRow& row, std::vector<long long>& changes) {
  long long a0 = 0;
  bool black = false;
  while (a0 < width) {
    long long run;
    eRun got = readRun(bits, black, width - a0, run);
    if (got != kRunDone) return endsRow(bits, got, row, changes, a0, width, false, black);
    if (black) fillBlack(row, a0, a0 + run);
    a0 += run;
    if (a0 < width) changes.push_back(a0);
    black = !black;
  }
  return true;
}

// Pixels written as they are, from `pos` on: runs of up to four white
// pixels each ended by a black one, five white pixels at a time, and exit
// codes (up to four white pixels, then the colour the coded modes go on
// with). Colour changes join `changes` as coded rows record them.
bool decodeUncompressed(cFaxBits& bits, long long width, const sOutRow& row, std::vector<long long>& changes,
                        long long& pos, bool& black) {
  // The pixels from `pos` on are given here, whatever the coded modes said.
  if (!changes.empty() && changes.back() == pos) changes.pop_back();
  bool colour = changes.size() % 2 == 1;
  auto put = [&](bool pixelBlack) {
    if (pos >= width) return false;
    if (pixelBlack != colour) changes.push_back(pos);
    colour = pixelBlack;
    if (pixelBlack) fillBlack(row, pos, pos + 1);
    ++pos;
    return true;
  };
  for (;;) {
    int zeros = 0;
    while (zeros <= 10 && bits.peek(1) == 0 && !bits.atEnd()) bits.skip(1), ++zeros;
    if (zeros > 10 || bits.atEnd()) return false;
    bits.skip(1);
    int whites = zeros < 6 ? zeros : zeros - 6;
    for (int i = 0; i < whites; ++i)
      if (!put(false)) return false;
    if (zeros < 5 && !put(true)) return false;
    if (zeros < 6) continue;
    black = bits.peek(1) == 1;
    bits.skip(1);
    if (black != colour && pos < width) changes.push_back(pos);
    return true;
  }
}

bool decode2D(cFaxBits& bits, long long width, const std::vector<long long>& ref, const sOutRow& row,
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
    if (mode.length == 0)
      return endsRow(bits, bits.peek(11) == 0 ? kRunEol : kRunBad, row, changes, start, width, true, black);
    bits.skip(mode.length);
    switch (mode.value) {
      case kModePass:
        if (b2 < start) return false;
        if (black) fillBlack(row, start, b2);
        a0 = b2;
        break;
      case kModeHorizontal: {
        long long r1, r2;
        eRun got = readRun(bits, black, width - start, r1);
        if (got != kRunDone) return endsRow(bits, got, row, changes, start, width, true, black);
        long long a1 = start + r1;
        if (black) fillBlack(row, start, a1);
        if (a1 < width) changes.push_back(a1);
        got = readRun(bits, !black, width - a1, r2);
        if (got != kRunDone) return endsRow(bits, got, row, changes, a1, width, true, !black);
        long long a2 = a1 + r2;
        if (!black) fillBlack(row, a1, a2);
        if (a2 < width) changes.push_back(a2);
        a0 = a2;
        break;
      }
      case kModeExtension:
        // Of the extensions only uncompressed mode is defined.
        if (bits.peek(3) != 7) return false;
        bits.skip(3);
        a0 = start;
        if (!decodeUncompressed(bits, width, row, changes, a0, black)) return false;
        break;
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
  cPullInput whole(ctx.data, static_cast<size_t>(ctx.size > 0 ? ctx.size : 0));
  return decodeFax(ctx, whole, out);
}

bool decodeFax(const sFax3DecodeCtx& ctx, cPullInput& input, unsigned char* out) {
  if (ctx.width < 1 || ctx.rows < 1 || ctx.columns < 1 || ctx.columns > ctx.width) return false;
  long long rowBytes = (ctx.columns + 7) / 8;
  std::memset(out, 0, static_cast<size_t>(rowBytes * ctx.rows));
  cFaxBits bits(input, ctx.lsbFirst);
  std::vector<long long> ref, cur;
  try {
    for (long long y = 0; y < ctx.rows; ++y) {
      const sOutRow row{out + y * rowBytes, ctx.columns};
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
