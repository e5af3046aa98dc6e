// The NEF sensor-data bodies: packed samples (plain, interlaced, in
// chunks), 12 bits in 16 or in 24, and the Nikon Huffman coding. Each leaves
// the strip as native 16-bit samples.
#include <new>

#include "compression/haffmantable.h"
#include "picts/nef.h"
#include "picts/nef_models.h"
#include "picts/nef_tables.h"
#include "picts/pixelalloc.h"
#include "picts/raw_difftable.h"

namespace {

// The Nikon compression kinds of maker-note tag 0x93.
enum eNikonKind {
  kLossy = 1,
  kLossless = 3,
  kLossySplit = 4,
  kChunked = 2,
  k12in16 = 7,
  k12in24 = 9,
};

enum ePacking { kPlain, kInterlaced, kChunks };

constexpr long long kChunkBytes = 16;

// The Nikon difference: `len` bits of magnitude (the symbol's low nibble),
// of which the high nibble's count come implied rather than stored.
struct sNikonRule {
  static int rawBits(int symbol) {
    const int n = (symbol & 15) - (symbol >> 4);
    return n >= 1 && n <= 25 ? n : 0;
  }
  static int diff(int symbol, unsigned raw) {
    const int len = symbol & 15, shl = symbol >> 4;
    if (len == 0) return 0;
    int d = ((static_cast<int>(raw) << 1) + 1) << shl >> 1;
    if ((d & 1 << (len - 1)) == 0) d -= (1 << len) - (shl == 0);
    return d;
  }
};

// The Huffman body's bits, most significant first, with its answers: past
// the data a read is padded with zeros once, and from then on answers 0.
// While eight bytes remain to be read a difference comes from one lookup in
// the difference table; near the end of the data every read takes the
// exact path.
class cNefHuffmanBits {
 public:
  explicit cNefHuffmanBits(const _typebuf<unsigned char>& data) : myData(data.ptr), mySize(data.count) {}

  // `codes`: 2^L + 1 entries, L first; `whole`: their difference table.
  void setTree(const unsigned short* codes, const int* whole) {
    myCodes = codes;
    myWhole = whole;
  }

  // One row of samples: the first two go on from the column predictors,
  // the rest from the row's last two. Values are 16-bit and wrap; one at or
  // past `bound` fails the row, and `curve` (every value below the bound,
  // negative ones read as 0) gives what is stored. The window is held in
  // locals here so the loop keeps it in registers.
  bool row(int (&vpred)[2], unsigned short* out, long long samples, const unsigned short* curve, int bound) {
    // Left-aligned here: the next bit is the top one, so a lookup waits on
    // one shift only.
    unsigned long long acc = myAvail > 0 ? myBits << (64 - myAvail) : 0;
    int held = myAvail;
    const unsigned char* at = myData + myPos;
    // Eight bytes can be read from anywhere before `stop`.
    const unsigned char* const stop = myData + (mySize >= 8 ? mySize - 7 : 0);
    const int* const whole = myWhole;
    auto sync = [&]() {
      myBits = held > 0 ? acc >> (64 - held) : 0;
      myAvail = held;
      myPos = at - myData;
    };
    auto diff = [&]() {
      if (held < kDiffReach && at < stop) at += refillLeftAligned(acc, held, at);
      int d;
      if (held >= kDiffReach && lookupDiff<sNikonRule>(whole, acc, held, d)) return d;
      sync();
      d = exactDiff();
      acc = myAvail > 0 ? myBits << (64 - myAvail) : 0;
      held = myAvail;
      at = myData + myPos;
      return d;
    };
    auto put = [&](int& pred, unsigned short* to) {
      pred = static_cast<unsigned short>(pred + diff());
      const int value = static_cast<short>(pred);
      if (value >= bound) return false;
      *to = curve[value < 0 ? 0 : value];
      return true;
    };
    bool ok = (samples < 1 || put(vpred[0], out)) && (samples < 2 || put(vpred[1], out + 1));
    int h0 = vpred[0], h1 = vpred[1];
    unsigned short* const end = out + samples;
    unsigned short* o = samples >= 2 ? out + 2 : end;
    for (; ok && end - o >= 2; o += 2) ok = put(h0, o) && put(h1, o + 1);
    if (ok && o < end) ok = put(h0, o);
    sync();
    return ok;
  }

 private:
  const unsigned char* myData;
  long long mySize;
  long long myPos = 0;
  unsigned long long myBits = 0;
  int myAvail = 0;  // valid bits at the bottom of myBits
  const unsigned short* myCodes = nullptr;
  const int* myWhole = nullptr;

  [[gnu::noinline]] int exactDiff() {
    const int sym = get(myCodes[0], myCodes + 1);
    return sNikonRule::diff(sym, static_cast<unsigned>(get(sNikonRule::rawBits(sym), nullptr)));
  }

  // The next n (1..25) bits; with a table of 2^n entries (length << 8 |
  // symbol), the entry's symbol, consuming its length.
  int get(int n, const unsigned short* table) {
    if (n <= 0 || n > 25 || myAvail < 0) return 0;
    if (myAvail < n) fill();
    const unsigned mask = (1u << n) - 1;
    const unsigned v = unsigned(myAvail >= n ? myBits >> (myAvail - n) : myBits << (n - myAvail)) & mask;
    if (!table) {
      myAvail -= n;
      return int(v);
    }
    myAvail -= table[v] >> 8;
    return table[v] & 0xFF;
  }

  void fill() {
    if (myAvail >= 0 && myAvail <= 56 && mySize - myPos >= 8) {
      myPos += topUpBits(myBits, myAvail, myData + myPos);
      return;
    }
    while (myAvail <= 56 && myPos < mySize) {
      myBits = myBits << 8 | myData[myPos++];
      myAvail += 8;
    }
  }
};

// Samples most significant bit first out of 32-bit words; bytes past the
// end read as zero, so a short stream yields what it has.
class cWordBits {
 public:
  cWordBits(const unsigned char* data, long long size, bool bigEndian)
      : myData(data), mySize(size), myBig(bigEndian) {}

  void restart(long long pos) {
    myPos = pos;
    myCount = 0;
    myAcc = 0;
  }

  unsigned int get(int bits) {
    if (myCount < bits) {
      unsigned int word = 0;
      for (int i = 0; i < 4; ++i) {
        const long long at = myPos + i;
        const unsigned int byte = at >= 0 && at < mySize ? myData[at] : 0;
        word |= byte << (myBig ? 8 * (3 - i) : 8 * i);
      }
      myPos += 4;
      myAcc = myAcc << 32 | word;
      myCount += 32;
    }
    myCount -= bits;
    return static_cast<unsigned int>(myAcc >> myCount & ((1ULL << bits) - 1));
  }

 private:
  const unsigned char* myData;
  long long mySize;
  bool myBig;
  long long myPos = 0;
  int myCount = 0;
  unsigned long long myAcc = 0;
};

bool sizeOutput(cPictTIFF::sDecomress& out, long long samples) {
  const long long bytes = 2 * samples * out.rows;
  if (2 * samples > 0xFFFFFFFFLL) return false;
  // Through the picture allocator for its huge pages: a whole-plane strip
  // otherwise pays a fault for every 4 KiB of it.
  if (out.data.count != bytes) {
    if (bytes <= 0)
      out.data.set(0);
    else if (!allocPictSamples(out.data, bytes))
      return false;
  }
  out.rowBytes = static_cast<unsigned int>(2 * samples);
  return true;
}

unsigned short clip16(unsigned int v) { return v > 65535 ? 65535 : static_cast<unsigned short>(v); }

}  // namespace

bool cPictNEF::decodeStripe(_typebuf<unsigned char>& in, int compression, sDecomress& out) {
  if (out.bitsPerSample == 0) return false;
  if (compression == 34713) {
    switch (myProps.compression) {
      case kLossy:
      case kLossless:
      case kLossySplit:
        return decodeHuffman(in, out);
      case kChunked:
        return unpackBits(in, out, kChunks);
      case k12in16:
        return unpack12in16(in, out);
      case k12in24:
        return unpack12in24(in, out);
      default:
        return false;
    }
  }
  if (compression == 1 && out.bitsPerSample > 8) {
    const bool interlaced = myModel == kNikonE5400 || myModel == kNikonE5700;
    if (interlaced) out.bigEndian = 1;
    return unpackBits(in, out, interlaced ? kInterlaced : kPlain);
  }
  myOrdinary = true;
  return cPictTIFF::decodeStripe(in, compression, out);
}

bool cPictNEF::unpackBits(_typebuf<unsigned char>& in, sDecomress& out, int kind) {
  const int bits = static_cast<int>(out.bitsPerSample);
  if (bits > 32) return false;
  const long long inRow = out.rowBytes, rows = out.rows;
  const long long samples = inRow * 8 / bits;
  if (kind != kChunks && in.count < inRow * rows) return false;
  const long long perChunk = (8 * kChunkBytes - 8) / bits;
  if (kind == kChunks && perChunk < 1) return false;
  const long long chunksPerRow = kind == kChunks ? (samples + perChunk - 1) / perChunk : 0;
  if (!sizeOutput(out, samples)) return false;
  auto* dst = reinterpret_cast<unsigned short*>(out.data.ptr);
  cWordBits reader(in.ptr, in.count, out.bigEndian);
  for (long long r = 0; r < rows; ++r) {
    unsigned short* row = dst + r * samples;
    if (kind == kChunks) {
      for (long long s = 0; s < samples; ++s) {
        if (s % perChunk == 0) reader.restart(chunksPerRow * kChunkBytes * r + s / perChunk * kChunkBytes);
        row[s] = clip16(reader.get(bits));
      }
      continue;
    }
    // Interlaced bodies store all even rows first, then the odd ones.
    const long long from = kind == kInterlaced ? (r & 1 ? r / 2 + rows / 2 : r / 2) : r;
    reader.restart(from * inRow);
    for (long long s = 0; s < samples; ++s) row[s] = clip16(reader.get(bits));
  }
  return true;
}

bool cPictNEF::unpack12in16(_typebuf<unsigned char>& in, sDecomress& out) {
  const long long samples = static_cast<long long>(out.rowBytes) * 8 / out.bitsPerSample;
  const long long count = samples * out.rows;
  if (in.count != 2 * count || !sizeOutput(out, samples)) return false;
  auto* dst = reinterpret_cast<unsigned short*>(out.data.ptr);
  for (long long i = 0; i < count; ++i)
    dst[i] = static_cast<unsigned short>((in.ptr[2 * i] << 8 | in.ptr[2 * i + 1]) >> 4);
  out.bitsPerSample = 12;
  return true;
}

bool cPictNEF::unpack12in24(_typebuf<unsigned char>& in, sDecomress& out) {
  const long long samples = static_cast<long long>(out.rowBytes) * 8 / out.bitsPerSample;
  const long long pairs = samples * out.rows / 2;
  if (in.count != 3 * pairs || !sizeOutput(out, samples)) return false;
  auto* dst = reinterpret_cast<unsigned short*>(out.data.ptr);
  for (long long i = 0; i < pairs; ++i) {
    const unsigned char* b = in.ptr + 3 * i;
    dst[2 * i] = static_cast<unsigned short>((b[0] << 8 | b[1]) >> 4);
    dst[2 * i + 1] = static_cast<unsigned short>((b[1] & 15) << 8 | b[2]);
  }
  out.bitsPerSample = 12;
  out.bigEndian = 0;
  return true;
}

namespace {

// The difference table of one of the Nikon trees, with its code table.
void nikonTree(int tree, _typebuf<unsigned short>& codes, _typebuf<int>& whole) {
  const unsigned char* spec = kNikonTrees[tree];
  cHaffmanTable::createIndexTable(&spec, codes);
  buildDiffTable<sNikonRule>(codes.ptr + 1, codes.ptr[0], whole.ptr);
}

}  // namespace

bool cPictNEF::decodeHuffman(_typebuf<unsigned char>& in, sDecomress& out) {
  const _typebuf<unsigned char>& block = myProps.linearization;
  const int bits = static_cast<int>(out.bitsPerSample);
  // Predictors, and for the split form the split row, must be in the block.
  if (block.count < 10 || bits > 16) return false;
  _typebuf<unsigned short> curve;
  if (!getCurveTblFromLinearizationData(block, curve, bits)) return false;
  const unsigned char a = block.ptr[0], b = block.ptr[1];
  int tree = (a == 'F' ? 2 : 0) + (bits == 14 ? 3 : 0);
  long long split = 0;
  if (myProps.compression == kLossySplit && a == 'D' && b == ' ') {
    if (block.count < 564) return false;
    split = myProps.getU16(block.ptr + 562);
  }
  int vpred[2][2];
  for (int i = 0; i < 4; ++i) vpred[i >> 1][i & 1] = myProps.getU16(block.ptr + 2 + 2 * i);
  const long long samples = static_cast<long long>(out.rowBytes) * 8 / bits;
  if (!sizeOutput(out, samples)) return false;
  auto* dst = reinterpret_cast<unsigned short*>(out.data.ptr);
  // A value must stay below the curve's length (16 more after the split
  // row); it is clamped to the sample range and read through the curve,
  // whose missing points are white. `lookup` holds that for every value
  // that can pass.
  const int top = (1 << bits) - 1;
  const int bound = static_cast<int>(curve.count);
  const int reach = split ? bound + 16 : bound;
  const int passing = reach < 32768 ? reach : 32768;
  const int size = top + 1 > passing ? top + 1 : passing;
  _typebuf<unsigned short> lookup;
  lookup.set(size);
  for (int i = 0; i < size; ++i) {
    const int index = i < top ? i : top;
    lookup.ptr[i] = index < curve.count ? curve.ptr[index] : 65535;
  }
  _typebuf<unsigned short> codes;
  _typebuf<int> whole;
  whole.set(kDiffTableSize);
  nikonTree(tree, codes, whole);
  cNefHuffmanBits reader(in);
  reader.setTree(codes.ptr, whole.ptr);
  int rowBound = bound;
  for (long long r = 0; r < out.rows; ++r) {
    if (split && r == split) {
      nikonTree(++tree, codes, whole);
      reader.setTree(codes.ptr, whole.ptr);
      rowBound = bound + 16;
    }
    if (!reader.row(vpred[r & 1], dst + r * samples, samples, lookup.ptr, rowBound)) return false;
  }
  return true;
}
