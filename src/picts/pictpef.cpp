#include "picts/pictpef.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "base/targets.h"
#include "picts/raw_difftable.h"

void cPefMeta::reset() {
  m0 = m1 = m2 = 1;
  table[0] = 0;
  cropOrigin.set(0);
  rawSize.set(0);
  ricoh = false;
}

bool cPefMeta::readTable(const unsigned char* p, long long length) {
  if (length < 2) return true;
  const unsigned dep = ((getU16(p) & 0xFF) + 12) & 15;
  if (14 + 3 * (long long)dep > length) return false;
  unsigned short bit0[16];
  unsigned char bit1[16];
  for (unsigned c = 0; c < dep; ++c) {
    bit0[c] = getU16(p + 14 + 2 * c);
    bit1[c] = p[14 + 2 * dep + c];
    // 4096 >> length means nothing past the table's own 12 bits, and a code
    // of no bits would answer forever without reading.
    if (bit1[c] < 1 || bit1[c] > 12) return false;
  }
  std::memset(table, 0, sizeof table);
  for (unsigned c = 0; c < dep; ++c) {
    const unsigned last = (bit0[c] + (4096u >> bit1[c]) + 4095) & 4095;
    for (unsigned i = bit0[c]; i <= last; ++i) table[i + 1] = (unsigned short)(bit1[c] << 8 | c);
  }
  table[0] = 12;
  return true;
}

bool cPefMeta::onTag(int tag, int type, const void* data, int length) {
  const sTagProcessParam t{tag, type, data, length};
  const unsigned char* p = static_cast<const unsigned char*>(data);
  switch (tag) {
    case 0x38: return getValsU32(t, cropOrigin);
    case 0x39: return getValsU32(t, rawSize);
    case 0x201: {
      _typebuf<unsigned int> w;
      if (getValsU32(t, w) && w.count == 4 && w.ptr[0] && w.ptr[1] && w.ptr[3]) {
        m0 = double(w.ptr[0]) / w.ptr[1];
        m2 = double(w.ptr[3]) / w.ptr[1];
      }
      return true;
    }
    case 0x220: return ricoh || readTable(p, length);
    case 0x22A: return length < 241 || readTable(p + 226, length - 226);
    default: return true;
  }
}

void cPictPEF::reset() {
  myRawWidth = myRawHeight = myBits = myCompression = mySamples = 0;
  myStrips.clear();
  myCFA.clear();
  myMargins = sMarginInfo();
  myPreviewOffset = myPreviewLength = 0;
  myRicoh = false;
  myMeta.reset();
  myGuard.clear();
}

bool cPictPEF::onTag(int tag, int type, const void* data, int length) {
  const sTagProcessParam t{tag, type, data, length};
  const unsigned char* p = static_cast<const unsigned char*>(data);
  switch (tag) {
    case 256: return getValU32(t, myRawWidth) && myRawWidth;
    case 257: return getValU32(t, myRawHeight) && myRawHeight;
    case 258: return getValU32(t, myBits) && myBits >= 1 && myBits <= 16;
    case 259: return getValU32(t, myCompression);
    case 271:
      if (length >= 6 && std::memcmp(p, "RICOH ", 6) == 0) return myRicoh = true;
      return length >= 6 && std::memcmp(p, "PENTAX", 6) == 0;
    case 273:
    case 278:
    case 279: return myStrips.readTag(*this, t, tag);
    case 277: return getValU32(t, mySamples) && mySamples;
    case 513: return getValU32(t, myPreviewOffset);
    case 514: return getValU32(t, myPreviewLength);
    case 34665: {
      unsigned offset = 0;
      return getValU32(t, offset) && myGuard.walk(*this, myStream, myBigEndian, offset, myStreamSize);
    }
    case 41730: return myCFA.parseExif(p, length, myBigEndian);
    case 50706: return false;  // a DNG is the DNG reader's
    default: return true;
  }
}

bool cPictPEF::onRawTag(int tag, int type, const void* data, int length, unsigned int offset) {
  if (tag != 37500 || data) return cTiffGeneric::onRawTag(tag, type, data, length, offset);
  const unsigned long long at = (unsigned long long)offset + (myRicoh ? 10 : 6);
  myMeta.ricoh = myRicoh;
  return at < myStreamSize && myGuard.walk(myMeta, myStream, myBigEndian, unsigned(at), myStreamSize);
}

bool cPictPEF::walk(cFileIOTarget* io) {
  reset();
  return processStream(io, kAskSize) && myRawWidth && myRawHeight && myBits && myStrips.offsets.count &&
         myCFA.held();
}

bool cPictPEF::isPicture(cFileIOTarget* io, sPictInfo* info) {
  if (!walk(io)) return false;
  if (info) {
    const bool cropped = myMeta.rawSize.count == 2;
    info->width = cropped ? myMeta.rawSize.ptr[0] : myRawWidth;
    info->height = cropped ? myMeta.rawSize.ptr[1] : myRawHeight;
    info->hasPreview = nextOffset() != 0;
  }
  return true;
}

bool cPictPEF::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictPEF probe;
  return probe.isPicture(io, info);
}

namespace {

// rawLosslessDiff's coding, for the difference table: the symbol is the
// count of difference bits.
struct sLosslessRule {
  static int rawBits(int length) { return length >= 1 && length <= 25 && length != 16 ? length : 0; }
  static int diff(int length, unsigned raw) {
    if (length == 16) return -32768;
    if (length == 0 || length > 25) return 0;
    int d = static_cast<int>(raw);
    if ((d & (1 << (length - 1))) == 0) d -= (1 << length) - 1;
    return d;
  }
};

// The Huffman rows of one strip, as rawLosslessDiff reads them one by one:
// while the reader's block holds eight bytes more and kDiffPeekBits are
// held, a whole difference comes from one lookup; elsewhere (block ends,
// the end of the stream, codes too long for the table) the reader's own
// path. Predictions are 16-bit and wrap, as the cameras' own arithmetic
// does; a value of more than `depth` bits fails the strip.
bool pefRows(getbithuff_ctx& ctx, const unsigned short* table, const int* whole, unsigned short (&vpred)[2][2],
             unsigned short* out, unsigned long long rows, unsigned long long w, unsigned depth) {
  // Left-aligned here, so a lookup waits on one shift only; in the reader
  // the held bits sit at the bottom.
  unsigned long long acc = ctx.vbits > 0 ? ctx.bitbuf << (64 - ctx.vbits) : 0;
  int held = ctx.vbits;
  unsigned int n = 0;
  const unsigned char* start = ctx.source.buffered(n);
  const unsigned char *p = start, *end = start + n;
  bool dry = ctx.error != 0;
  auto sync = [&]() {
    ctx.bitbuf = held > 0 ? acc >> (64 - held) : 0;
    ctx.vbits = held;
    ctx.source.advance(static_cast<unsigned int>(p - start));
  };
  auto diff = [&]() {
    if (dry) return 0;
    if (held < kDiffReach && end - p >= 8) p += refillLeftAligned(acc, held, p);
    int d;
    if (held >= kDiffReach && lookupDiff<sLosslessRule>(whole, acc, held, d)) return d;
    sync();
    d = rawLosslessDiff(12, table, ctx);
    dry = ctx.error != 0;
    acc = ctx.vbits > 0 ? ctx.bitbuf << (64 - ctx.vbits) : 0;
    held = ctx.vbits;
    start = p = ctx.source.buffered(n);
    end = start + n;
    return d;
  };
  bool ok = true;
  for (unsigned long long r = 0; ok && r < rows; ++r) {
    unsigned short* row = out + r * w;
    unsigned short* const v = vpred[r & 1];
    auto put = [&](unsigned short& pred, unsigned short* at) {
      pred = static_cast<unsigned short>(pred + diff());
      *at = pred;
      return !(pred >> depth);
    };
    ok = (w < 1 || put(v[0], row)) && (w < 2 || put(v[1], row + 1));
    unsigned short h0 = v[0], h1 = v[1];
    unsigned long long c = 2;
    for (; ok && c + 1 < w; c += 2) ok = put(h0, row + c) && put(h1, row + c + 1);
    if (ok && c < w) ok = put(h0, row + c);
  }
  sync();
  return ok;
}

}  // namespace

bool cPictPEF::readStrip(long long s, unsigned short* raw, unsigned short (&vpred)[2][2], const int* whole) {
  const unsigned long long w = myRawWidth, rows = myStrips.rowsOf(s, myRawHeight), c = myStrips.counts.ptr[s];
  const unsigned long long offset = myStrips.offsets.ptr[s];
  unsigned short* out = raw + myStrips.firstRow(s) * w;
  if (!rows) return true;
  if (!myStream->set_fp(offset)) return false;
  if (myCompression == 65535) {
    if (!myMeta.table[0]) return false;
    getbithuff_ctx bits(myStream);
    return whole && pefRows(bits, myMeta.table + 1, whole, vpred, out, rows, w, myBits);
  }
  if (myCompression != 32773 && myCompression != 1) return false;
  const unsigned long long samples = rows * w;
  if (myCompression == 32773 ? myBits != 12 || samples != 2 * c / 3 : c != samples * 2) return false;
  if (offset > myStreamSize || c > myStreamSize - offset) return false;
  std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[c ? c : 1]);
  if (!buf || !myStream->readf(buf.get(), unsigned(c))) return false;
  if (myCompression == 1) {
    unpackRaw16(buf.get(), (long long)samples, myBigEndian, out);
    return true;
  }
  return unpackRaw12(myBigEndian ? rpBig : rpLittle, buf.get(), (long long)c, out, (long long)samples) ==
         (long long)samples;
}

bool cPictPEF::decode(cFileIOTarget* io) {
  if (!walk(io)) return false;
  if (myMeta.cropOrigin.count == 2) {
    myMargins.left = (myMeta.cropOrigin.ptr[0] + 1) & ~1u;
    myMargins.top = myMeta.cropOrigin.ptr[1] & ~1u;
  }
  if (myMeta.rawSize.count == 2) {
    const long long right = (long long)myRawWidth - myMargins.left - myMeta.rawSize.ptr[0];
    const long long bottom = (long long)myRawHeight - myMargins.top - myMeta.rawSize.ptr[1];
    if (right > 0) myMargins.right = unsigned(right);
    if (bottom > 0) myMargins.bottom = unsigned(bottom);
  }
  long long aw = 0, ah = 0;
  if (!rawActiveSize(myRawWidth, myRawHeight, myMargins, aw, ah) ||
      !myStrips.settle(myRawHeight, myStreamSize, false))
    return false;
  std::unique_ptr<cBayerFilter> filter(myCFA.newFilter());
  _typebuf<unsigned short> raw;
  if (!filter || !myStrips.allocPlane(myStreamSize, myRawWidth, myRawHeight, raw)) return false;
  unsigned short vpred[2][2] = {};
  std::unique_ptr<int[]> whole;
  if (myCompression == 65535 && myMeta.table[0]) {
    whole.reset(new (std::nothrow) int[kDiffTableSize]);
    if (!whole) return false;
    buildDiffTable<sLosslessRule>(myMeta.table + 1, myMeta.table[0], whole.get());
  }
  for (long long s = 0; s < myStrips.offsets.count; ++s)
    if (!readStrip(s, raw.ptr, vpred, whole.get())) return false;
  const double scale = 65535.0 / double((1u << myBits) - 1);
  const double multipliers[4] = {myMeta.m0 * scale, myMeta.m1 * scale, myMeta.m2 * scale, myMeta.m1 * scale};
  sRawFinish f = rawPlane(raw, myRawWidth, myRawHeight, myMargins, filter.get(), 0, multipliers);
  return finishCamera(f, io);
}

bool cPictPEF::getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                          const long long* maxHeight) {
  reset();
  if (!processStream(io, kAskSize) || !nextOffset()) return false;
  const unsigned next = nextOffset();
  myPreviewOffset = myPreviewLength = 0;
  if (!myGuard.walk(*this, io, myBigEndian, next, myStreamSize)) return false;
  return embeddedPreview(io, myPreviewOffset, myPreviewLength, dst, maxWidth, maxHeight);
}
