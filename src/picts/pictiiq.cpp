#include "picts/pictiiq.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "base/memio.h"
#include "base/targets.h"
#include "picts/littleendian.h"
#include "picts/picttiff.h"
#include "picts/pixelalloc.h"

namespace {

constexpr unsigned char kMagic[8] = {'I', 'I', 'I', 'I', 0x43, 0x77, 0x61, 0x52};
constexpr unsigned int kZipSignature = 0x04034B50;
constexpr unsigned int kZipStart = 39;

// Code lengths picked by the prefix before every eighth column.
constexpr int kLengths[10] = {8, 7, 6, 9, 11, 10, 5, 12, 14, 13};

// Reads `count` little-endian values of `bytes` bytes each at `at`, only when
// the stream holds them, before any buffer is sized.
bool readTable(cFileIOTarget* io, unsigned long long at, unsigned long long count, int bytes,
               std::vector<long long>& out) {
  const unsigned long long size = io->size(), length = count * (unsigned long long)bytes;
  if (at > size || length > size - at || !io->set_fp(at)) return false;
  std::unique_ptr<unsigned char[]> b(new (std::nothrow) unsigned char[length ? length : 1]);
  if (!b || !io->readf(b.get(), unsigned(length))) return false;
  out.resize(count);
  for (unsigned long long i = 0; i < count; ++i)
    out[i] = bytes == 4 ? (long long)le32(b.get() + 4 * i) : (long long)(short)le16(b.get() + 2 * i);
  return true;
}

float leFloat(const unsigned char* p) {
  const unsigned bits = le32(p);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

}  // namespace

void cPictIIQ::reset() {
  myRawWidth = myRawHeight = myFormat = myBlack = mySplitColumn = mySplitRow = 0;
  myDataOffset = myDataSize = myStripOffset = myBlackColumns = myBlackRows = 0;
  myMargins = sMarginInfo();
  myM0 = myM1 = myM2 = 1;
}

bool cPictIIQ::processIIQ(cFileIOTarget* io, unsigned int* start) {
  unsigned char h[59];
  unsigned long long base = 8, directory = 0;
  if (io->set_fp(8) && io->readf(h, 12) && std::memcmp(h, kMagic, 8) == 0) {
    directory = le32(h + 8);
    if (start) *start = 0;
  } else if (io->set_fp(0) && io->readf(h, 59) && le32(h) == kZipSignature && le16(h + 8) == 0 &&
             std::memcmp(h + 30, "0.II", 4) == 0 && std::memcmp(h + 47, kMagic, 8) == 0) {
    directory = le32(h + 55);
    base = 47;
    if (start) *start = kZipStart;
  } else {
    return false;
  }
  unsigned char c[4];
  if (!io->set_fp(directory + base) || !io->readf(c, 4) || !io->set_fp(directory + base + 8)) return false;
  unsigned long long balanceAt = 0;
  for (unsigned n = le32(c); n; --n) {
    unsigned char e[16];
    if (!io->readf(e, 16)) return false;
    const unsigned tag = le32(e), size = le32(e + 8), data = le32(e + 12);
    switch (tag) {
      case 0x107:
        if (size >= 12) balanceAt = data + base;
        break;
      case 0x108: myRawWidth = data; break;
      case 0x109: myRawHeight = data; break;
      case 0x10A: myMargins.left = data; break;
      case 0x10B: myMargins.top = data; break;
      case 0x10C:
        if ((long long)data < (long long)myRawWidth - myMargins.left) myMargins.right = myRawWidth - data - myMargins.left;
        break;
      case 0x10D:
        if ((long long)data < (long long)myRawHeight - myMargins.top) myMargins.bottom = myRawHeight - data - myMargins.top;
        break;
      case 0x10E: myFormat = data; break;
      case 0x10F: myDataOffset = data + base, myDataSize = size; break;
      case 0x21C: myStripOffset = data + base; break;
      case 0x21D: myBlack = data; break;
      case 0x222: mySplitColumn = data; break;
      case 0x223: myBlackColumns = data + base; break;
      case 0x224: mySplitRow = data; break;
      case 0x225: myBlackRows = data + base; break;
      default: break;
    }
  }
  unsigned char f[12];
  if (balanceAt && io->set_fp(balanceAt) && io->readf(f, 12)) {
    // A factor that is no number, or not above 0, is left at 1.
    const double m[3] = {leFloat(f + 8), leFloat(f + 4), leFloat(f)};
    if (std::isfinite(m[0]) && m[0] > 0) myM0 = m[0];
    if (std::isfinite(m[1]) && m[1] > 0) myM1 = m[1];
    if (std::isfinite(m[2]) && m[2] > 0) myM2 = m[2];
  }
  return true;
}

bool cPictIIQ::isPicture(cFileIOTarget* io, sPictInfo* info) {
  reset();
  unsigned start = 0;
  long long w = 0, h = 0;
  if (!processIIQ(io, &start) || !sized() || !rawActiveSize(myRawWidth, myRawHeight, myMargins, w, h)) return false;
  if (info) {
    info->width = w;
    info->height = h;
    cFileIOSubRange embedded(io, start, io->size() - start);
    info->hasPreview = embedded.valid() && cPictTIFF::validFor(&embedded, nullptr);
  }
  return true;
}

bool cPictIIQ::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictIIQ probe;
  return probe.isPicture(io, info);
}

bool cPictIIQ::readRows(cFileIOTarget* io, _typebuf<unsigned short>& raw) {
  const unsigned long long w = myRawWidth, h = myRawHeight;
  std::vector<long long> rows, cb, rb;
  if (!readTable(io, myStripOffset, h, 4, rows) || (myBlackColumns && !readTable(io, myBlackColumns, 2 * h, 2, cb)) ||
      (myBlackRows && !readTable(io, myBlackRows, 2 * w, 2, rb)))
    return false;
  // Every sample costs at least a bit.
  if (myDataOffset > io->size() || (w * h + 7) / 8 > io->size() - myDataOffset ||
      !allocPictPixels(raw, (long long)w, (long long)h))
    return false;
  int curve[256];
  for (int i = 0; i < 256; ++i) curve[i] = int(std::trunc(i * i / 3.969 + 0.5));
  const unsigned long long fullGroups = w & ~7ULL;
  int len[2] = {14, 14};
  for (unsigned long long y = 0; y < h; ++y) {
    if (!io->set_fp(myDataOffset + (unsigned long long)rows[y])) return false;
    sph1_bithuff_ctx bits(io);
    long long pred[2] = {};
    unsigned short* out = raw.ptr + y * w;
    for (unsigned long long x = 0; x < w; ++x) {
      if (x >= fullGroups) {
        len[0] = len[1] = 14;
      } else if ((x & 7) == 0) {
        for (int& l : len) {
          int j = 0;
          while (j < 5 && !ph1_bithuff(1, bits)) ++j;
          if (j) l = kLengths[2 * (j - 1) + int(ph1_bithuff(1, bits))];
        }
      }
      const int p = int(x & 1);
      if (len[p] == 14)
        pred[p] = ph1_bithuff(16, bits);
      else
        pred[p] += (long long)ph1_bithuff(len[p], bits) + 1 - (1LL << (len[p] - 1));
      if (bits.error || pred[p] < 0 || pred[p] > 65535) return false;
      const long long value = myFormat == 5 && pred[p] < 256 ? curve[pred[p]] : pred[p];
      long long v = value * 4 - myBlack;
      if (!rb.empty()) v += rb[x + (y >= mySplitRow ? w : 0)];
      if (!cb.empty()) v += cb[x < mySplitColumn ? y : h + y];
      out[x] = (unsigned short)(v < 0 ? 0 : v > 65535 ? 65535 : v);
    }
  }
  return true;
}

bool cPictIIQ::decode(cFileIOTarget* io) {
  reset();
  long long w = 0, h = 0;
  _typebuf<unsigned short> raw;
  if (!processIIQ(io, nullptr) || !sized() || myFormat < 3 ||
      !rawActiveSize(myRawWidth, myRawHeight, myMargins, w, h) || !readRows(io, raw))
    return false;
  cStdCFAFilter filter;
  const double multipliers[4] = {myM0, myM1, myM2, myM1};
  sRawFinish f = rawPlane(raw, myRawWidth, myRawHeight, myMargins, &filter, 0, multipliers);
  return finishCamera(f, io);
}

bool cPictIIQ::getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                          const long long* maxHeight) {
  unsigned char z[34];
  const bool zip = io->readf(z, sizeof z) && le32(z) == kZipSignature && le16(z + 8) == 0 &&
                   z[30] == '0' && z[31] == '.' && (z[32] | 0x20) == 'i' && (z[33] | 0x20) == 'i';
  const unsigned long long start = zip ? kZipStart : 0, size = io->size();
  if (start >= size) return false;
  cFileIOSubRange window(io, start, size - start);
  sPictInfo info;
  if (!window.valid() || !cPictTIFF::validFor(&window, &info) || info.width < 1 || info.height < 1) return false;
  window.set_fp(0);
  const long long W = maxWidth ? *maxWidth : info.width, H = maxHeight ? *maxHeight : info.height;
  cPictTIFF tiff;
  if (W >= info.width && H >= info.height) {
    if (!tiff.decode(&window)) return false;
    tiff.moveTo(dst);
    return true;
  }
  cPictDummy scaled;
  if (!tiff.decodePagePreview(&window, scaled, W, H, 0, true, 0)) return false;
  scaled.moveTo(dst);
  return true;
}
