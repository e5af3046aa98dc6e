// The NEF sensor-data bodies: packed samples (plain, interlaced, in
// chunks), 12 bits in 16 or in 24, and the Nikon Huffman coding. Each leaves
// the strip as native 16-bit samples.
#include <new>

#include "compression/haffmantable.h"
#include "picts/nef.h"
#include "picts/nef_models.h"
#include "picts/nef_tables.h"
#include "picts/pixelalloc.h"

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

// The Huffman body's bits, most significant first, taken eight bytes at a
// time instead of one per call through the shared reader, with its answers:
// past the data a read is padded with zeros once, and from then on answers 0.
class cNefHuffmanBits {
 public:
  explicit cNefHuffmanBits(const _typebuf<unsigned char>& data) : myData(data.ptr), mySize(data.count) {}

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

 private:
  const unsigned char* myData;
  long long mySize;
  long long myPos = 0;
  unsigned long long myBits = 0;
  int myAvail = 0;  // valid bits at the bottom of myBits

  void fill() {
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
  _typebuf<unsigned short> table;
  const unsigned char* spec = kNikonTrees[tree];
  cHaffmanTable::createIndexTable(&spec, table);
  cNefHuffmanBits reader(in);
  const long long top = (1LL << bits) - 1;
  long long lower = 0, limit = curve.count;
  int hpred[2] = {};
  for (long long r = 0; r < out.rows; ++r) {
    if (split && r == split) {
      spec = kNikonTrees[++tree];
      cHaffmanTable::createIndexTable(&spec, table);
      lower = 16;
      limit += 32;
    }
    for (long long c = 0; c < samples; ++c) {
      const int sym = reader.get(table.ptr[0], table.ptr + 1);
      const int len = sym & 15, shl = sym >> 4;
      int diff = ((reader.get(len - shl, nullptr) << 1) + 1) << shl >> 1;
      if (len > 0 && (diff & 1 << (len - 1)) == 0) diff -= (1 << len) - (shl == 0);
      if (len == 0) diff = 0;
      int& pred = c < 2 ? vpred[r & 1][c] : hpred[c & 1];
      pred = static_cast<unsigned short>(pred + diff);
      if (c < 2) hpred[c] = pred;
      const long long value = static_cast<short>(pred);
      if (value + lower >= limit) return false;
      const long long index = value < 0 ? 0 : value > top ? top : value;
      dst[r * samples + c] = index < curve.count ? curve.ptr[index] : 65535;
    }
  }
  return true;
}
