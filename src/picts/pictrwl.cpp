#include "picts/pictrwl.h"

#include <cstring>
#include <memory>

#include "base/targets.h"

const cPictRWL::sModel cPictRWL::kModels[] = {
    {"V-LUX 1", 2, 14, 0, 3, 0, 0},
    {"D-LUX 3", 18, 64, 14, 24, 0, 0},
    {"D-LUX 5", 0, 195, 0, 0, 96, 0},
    {"DMC-FZ70", 0, 195, 0, 0, 96, 0},
    {"DMC-FZ100", 0, 195, 0, 0, 96, 0},
    {"DMC-FZ150", 0, 195, 0, 0, 96, 0},
    {"DMC-FZ200", 0, 195, 0, 0, 96, 0},
    {"D-LUX (Typ 109)", 0, 79, 0, 0, 96, 0},
    {"DMC-L10", 0, 28, 0, 4, 0, kPacked | kWhole},
    {"DMC-FZ8", 4, 29, 0, 0, 0, 0},
    {"DMC-FZ18", 10, 30, 0, 0, 0, 0},
    {"DMC-FZ28", 0, 56, 0, 0, 0, 0},
    {"DMC-FZ45", 0, 56, 0, 6, 0, 0},
    {"DMC-FZ30", 0, 16, 0, 0, 0, 0},
    {"DMC-FZ38", 0, 51, 0, 0, 40, 0},
    {"DMC-FZ50", 0, 14, 0, 3, 0, 0},
    {"DMC-G2", 0, 41, 0, 0, 0, 0},
    {"DMC-GF1", 0, 41, 0, 0, 0, 0},
    {"DMC-G10", 0, 41, 0, 0, 0, 0},
    {"DMC-FZ35", 0, 41, 0, 0, 0, 0},
    {"DMC-GH1", 0, 41, 0, 0, 0, 0},
    {"DMC-G1", 0, 41, 0, 0, 0, kPacked},
    {"DMC-G3", 0, 167, 0, 0, 90, 0},
    {"DMC-G5", 0, 181, 0, 0, 90, 0},
    {"DMC-G6", 0, 181, 0, 0, 90, 0},
    {"DMC-GH3", 0, 181, 0, 0, 90, 0},
    {"DMC-GH4", 0, 181, 0, 0, 90, 0},
    {"DMC-GF3", 0, 69, 0, 0, 120, 0},
    {"DMC-FZ330", 0, 126, 0, 0, 120, 0},
    {"DMC-FZ300", 0, 126, 0, 0, 120, 0},
    {"DMC-TZ70", 0, 126, 0, 0, 120, 0},
    {"DMC-GF5", 0, 127, 0, 0, 90, 0},
    {"DMC-LF1", 0, 127, 0, 0, 90, 0},
    {"DMC-TZ60", 0, 127, 0, 0, 90, 0},
    {"DMC-ZS40", 0, 127, 0, 0, 90, 0},
    {"DMC-ZS50", 0, 127, 0, 0, 90, 0},
    {"C (Typ 112)", 0, 127, 0, 0, 90, 0},
    {"DMC-GX1", 0, 151, 0, 0, 90, 0},
    {"DMC-GF6", 0, 207, 0, 0, 90, 0},
    {"DMC-GM1", 0, 207, 0, 0, 90, 0},
    {"DMC-GX7", 0, 207, 0, 0, 90, 0},
    {"DMC-GM5", 0, 207, 0, 0, 90, 0},
    {"DMC-GF7", 0, 207, 0, 0, 90, 0},
    {"DMC-G7", 0, 207, 0, 0, 90, 0},
    {"DMC-GH2", 0, 204, 0, 0, 0, 0},
    {"DMC-LX2", 0, 38, 0, 0, 0, 0},
    {"DMC-LX3", 0, 77, 0, 0, 0, 0},
    {"DMC-LX5", 0, 196, 0, 0, 90, 0},
    {"DMC-GX8", 0, 63, 0, 0, 96, 0},
    {"DMC-LX7", 0, 27, 0, 0, 90, 0},
    {"D-LUX 6", 0, 27, 0, 0, 90, 0},
    {"DMC-L1", 0, 9, 0, 0, 0, 0},
    {"DMC-GF2", 0, 72, 0, 0, 90, 0},
    {"DMC-LX100", 0, 13, 0, 0, 90, 0},
    {"DMC-FZ1000", 0, 0, 0, 0, 120, 0},
    {"V-LUX (Typ 114)", 0, 0, 0, 0, 120, 0},
    {"DMC-CM1", 0, 0, 0, 0, 120, 0},
};
const int cPictRWL::kModelCount = sizeof kModels / sizeof kModels[0];

void cPictRWL::reset() {
  myRawWidth = myRawHeight = 0;
  myStrips.clear();
  myM0 = myM1 = myM2 = 1;
  myMargins = sMarginInfo();
  myBlack = 0;
  myCFA = 4;
  myPacked = false;
  mySplit = true;
}

bool cPictRWL::processStream(cFileIOTarget* io, unsigned long long size) {
  myError = kErrNone;
  bool bigEndian = false;
  unsigned magic = 0, first = 0;
  if (int code = readRawHeader(io, size, bigEndian, magic, first)) return fail(code);
  if (bigEndian || magic != 0x55) return fail(kErrHeader);
  return cTiffGeneric::processStream(io, false, false, first, size);
}

bool cPictRWL::onTag(int tag, int type, const void* data, int length) {
  const sTagProcessParam t{tag, type, data, length};
  unsigned v = 0;
  switch (tag) {
    case 2: return getValU32(t, myRawWidth) && myRawWidth;
    case 3: return getValU32(t, myRawHeight) && myRawHeight;
    case 9: return getValU32(t, myCFA);
    case 17: case 18: case 36: case 37: case 38:
      if (!getValU32(t, v) || !v) return false;
      if (tag == 17) myM2 = v / 256.0;
      if (tag == 18) myM0 = v / 256.0;
      if (tag == 36) myM2 = v;
      if (tag == 37) myM1 = v;
      if (tag == 38) myM0 = v;
      return true;
    case 272:
      for (const sModel& m : kModels) {
        const size_t n = std::strlen(m.key);
        if (size_t(length) != n + 1 || std::memcmp(data, m.key, n) != 0) continue;
        myMargins.left = m.left;
        myMargins.right = m.right;
        myMargins.top = m.top;
        myMargins.bottom = m.bottom;
        myBlack = m.black;
        if (m.flags & kPacked) myPacked = true;
        if (m.flags & kWhole) mySplit = false;
        break;
      }
      return true;
    case 273: return getValsU32(t, myStrips.offsets);
    case 279: return getValsU32(t, myStrips.counts);
    case 278: return getValU32(t, myStrips.rowsPerStrip) && myStrips.rowsPerStrip;
    case 280:
      if (myStrips.offsets.count != 1 || myStrips.offsets.ptr[0] != 0xFFFFFFFFu) return true;
      // The body's own offset; one past the stream would leave a wrapped length.
      if (!getValU32(t, v) || !v || v >= myStreamSize) return false;
      myStrips.offsets.ptr[0] = v;
      myStrips.counts.set(1);
      myStrips.counts.ptr[0] = unsigned(myStreamSize - v);
      myPacked = true;
      return true;
    default: return true;
  }
}

bool cPictRWL::walk(cFileIOTarget* io) {
  reset();
  return processStream(io, kAskSize) && myRawWidth && myRawHeight && myStrips.offsets.count &&
         myStrips.offsets.count == myStrips.counts.count;
}

bool cPictRWL::isPicture(cFileIOTarget* io, sPictInfo* info) {
  return walk(io) && probeActive(myRawWidth, myRawHeight, myMargins, false, info);
}

bool cPictRWL::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictRWL probe;
  return probe.isPicture(io, info);
}

unsigned cPictRWL::pana_bits(int n, sPanaCtx& ctx) {
  if (n <= 0 || n > 16) return 0;
  if (!ctx.bitpos) {
    const unsigned first = ctx.split ? 8200 : 0;
    if (ctx.io->read(ctx.buffer + first, 16384 - first) != 16384 - first ||
        (first && ctx.io->read(ctx.buffer, first) != first)) {
      ctx.error = 1;
      return 0;
    }
  }
  ctx.bitpos = (ctx.bitpos - unsigned(n)) & 0x1FFFF;
  const unsigned byte = (ctx.bitpos >> 3) ^ 0x3FF0;
  return ((ctx.buffer[byte] | ctx.buffer[byte + 1] << 8) >> (ctx.bitpos & 7)) & ((1u << n) - 1);
}

bool cPictRWL::readPlain(cFileIOTarget* io, unsigned short* raw) {
  const unsigned long long w = myRawWidth, size = myStreamSize;
  auto load = [&](unsigned long long offset, unsigned long long bytes, std::unique_ptr<unsigned char[]>& buf) {
    if (offset > size || bytes > size - offset || !io->set_fp(offset)) return false;
    buf.reset(new (std::nothrow) unsigned char[bytes ? bytes : 1]);
    return buf && io->readf(buf.get(), unsigned(bytes));
  };
  std::unique_ptr<unsigned char[]> buf;
  const unsigned long long c = myStrips.counts.ptr[0];
  if (myStrips.offsets.count == 1 && c && 5 * c == 8 * w * myRawHeight) {
    return load(myStrips.offsets.ptr[0], c, buf) &&
           unpackRaw12(rpPaddedLittle, buf.get(), (long long)c, raw, (long long)(w * myRawHeight)) ==
               (long long)(w * myRawHeight);
  }
  for (long long s = 0; s < myStrips.offsets.count; ++s) {
    const unsigned long long rows = myStrips.rowsOf(s, myRawHeight), bytes = rows * w * 2;
    if (myStrips.counts.ptr[s] > bytes) return false;
    if (!rows) continue;
    if (!load(myStrips.offsets.ptr[s], bytes, buf)) return false;
    unpackRaw16(buf.get(), (long long)(rows * w), false, raw + myStrips.firstRow(s) * w);
  }
  return true;
}

bool cPictRWL::readPacked(cFileIOTarget* io, unsigned short* raw) {
  if (!io->set_fp(myStrips.offsets.ptr[0])) return false;
  auto ctx = std::make_unique<sPanaCtx>();
  ctx->io = io;
  ctx->split = mySplit;
  int pred[2] = {}, nonz[2] = {}, sh = 0;
  for (unsigned row = 0; row < myRawHeight; ++row) {
    for (unsigned col = 0; col < myRawWidth; ++col) {
      const unsigned i = col % 14, p = col & 1;
      if (i == 0) pred[0] = pred[1] = nonz[0] = nonz[1] = 0;
      if (i % 3 == 2) sh = 4 >> (3 - pana_bits(2, *ctx));
      if (nonz[p]) {
        if (int j = int(pana_bits(8, *ctx))) {
          if ((pred[p] -= 0x80 << sh) < 0 || sh == 4) pred[p] &= (1 << sh) - 1;
          pred[p] += j << sh;
        }
      } else if ((nonz[p] = int(pana_bits(8, *ctx))) || i > 11) {
        pred[p] = nonz[p] << 4 | int(pana_bits(4, *ctx));
      }
      // A short tail is the camera's habit; most of a picture is not.
      if (ctx->error) return myRawHeight - row < 8;
      raw[(unsigned long long)row * myRawWidth + col] = (unsigned short)pred[p];
    }
  }
  return true;
}

bool cPictRWL::decode(cFileIOTarget* io) {
  if (!walk(io) || !myStrips.settle(myRawHeight, myStreamSize, true)) return false;
  std::unique_ptr<cBayerFilter> filter;
  switch (myCFA) {
    case 1: filter.reset(new cStdCFAFilter); break;
    case 4: filter.reset(new cStdCFAFilterSH); break;
    case 2:
    case 3: {
      sRawCFA cfa;
      const unsigned char two[4] = {1, 0, 2, 1}, three[4] = {1, 2, 0, 1};
      cfa.set(2, 2, myCFA == 2 ? two : three, 4);
      filter.reset(cfa.newFilter());
      break;
    }
    default: return false;
  }
  _typebuf<unsigned short> raw;
  if (!filter || !myStrips.allocPlane(myStreamSize, myRawWidth, myRawHeight, raw)) return false;
  if (!(myPacked ? readPacked(io, raw.ptr) : readPlain(io, raw.ptr))) return false;
  const double unit[4] = {1, 1, 1, 1};
  sRawFinish f = rawPlane(raw, myRawWidth, myRawHeight, myMargins, filter.get(), myBlack, unit);
  balanceToRed(f, myM0, myM1, myM2);
  return finishCamera(f, io);
}
