#include "picts/pictx3f.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "base/targets.h"
#include "picts/littleendian.h"
#include "picts/pixelalloc.h"

namespace {

constexpr unsigned long long kAlpha = 0xFFFFULL << 48;
constexpr unsigned int kImageHeader = 28;

unsigned long long pixel(long long r, long long g, long long b) {
  auto c = [](long long v) -> unsigned long long { return v < 0 ? 0 : (unsigned long long)(v & 0xFFFF); };
  return kAlpha | c(r) << 32 | c(g) << 16 | c(b);
}

}  // namespace

void cPictX3F::reset() {
  myPix8.set(0);
  myPix16.set(0);
  myWidth = myHeight = 0;
  myRawWidth = myRawHeight = myRawOffset = myRawLength = 0;
  cFasterTreeList<unsigned long long, sPreview> dropped;
  myPreviews.moveTo(dropped);
}

bool cPictX3F::loadX3F(cFileIOTarget* io) {
  reset();
  unsigned char b[28];
  const unsigned long long size = io->size();
  if (!io->readf(b, 8) || std::memcmp(b, "FOVb", 4) != 0 || size < 8 || !io->set_fp(size - 4) || !io->readf(b, 4))
    return false;
  const unsigned long long dir = le32(b);
  if (dir < 40 || dir >= size - 4 || !io->set_fp(dir) || !io->readf(b, 12) || std::memcmp(b, "SECd", 4) != 0)
    return false;
  const unsigned count = le32(b + 8);
  for (unsigned long long i = 0; i < count; ++i) {
    unsigned char e[12];
    if (!io->set_fp(dir + 12 + 12 * i) || !io->readf(e, 12)) return false;
    if (std::memcmp(e + 8, "IMA2", 4) != 0 && std::memcmp(e + 8, "IMAG", 4) != 0) continue;
    const unsigned offset = le32(e), length = le32(e + 4);
    if (!io->set_fp(offset) || !io->readf(b, kImageHeader) || std::memcmp(b, "SECi", 4) != 0) return false;
    const unsigned type = le32(b + 8), format = le32(b + 12), columns = le32(b + 16), rows = le32(b + 20);
    if (type != 2) {
      myRawWidth = columns;
      myRawHeight = rows;
      myRawOffset = offset;
      myRawLength = length;
    } else if (format == 18 && length > kImageHeader) {
      const unsigned long long key = (unsigned long long)columns * rows;
      if (!myPreviews.find(key)) *myPreviews.insert(key) = {offset + kImageHeader, length - kImageHeader, columns, rows};
    }
  }
  return true;
}

bool cPictX3F::isPicture(cFileIOTarget* io, sPictInfo* info) {
  if (!loadX3F(io) || !myRawOffset || !myRawLength || !myRawWidth || !myRawHeight) return false;
  if (info) {
    info->width = myRawWidth;
    info->height = myRawHeight;
    info->hasPreview = myPreviews.root != nullptr;
  }
  return true;
}

bool cPictX3F::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictX3F probe;
  return probe.isPicture(io, info);
}

bool cPictX3F::readSD(cFileIOTarget* io, unsigned long long* pixels) {
  const unsigned long long w = myRawWidth, h = myRawHeight;
  unsigned char table[2048];
  std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[4 * w]);
  if (!row || !io->set_fp((unsigned long long)myRawOffset + kImageHeader) || !io->readf(table, sizeof table))
    return false;
  short diff[1024];
  for (int i = 0; i < 1024; ++i) diff[i] = (short)le16(table + 2 * i);
  for (unsigned long long y = 0; y < h; ++y) {
    if (!io->readf(row.get(), unsigned(4 * w))) return false;
    long long p0 = 0, p1 = 0, p2 = 0;
    unsigned long long* out = pixels + (h - 1 - y) * w;
    for (unsigned long long x = 0; x < w; ++x) {
      const unsigned word = le32(row.get() + 4 * x);
      p2 += diff[word & 0x3FF];
      p1 += diff[(word >> 10) & 0x3FF];
      p0 += diff[(word >> 20) & 0x3FF];
      out[x] = pixel(p0, p1, p2);
    }
  }
  return true;
}

bool cPictX3F::readDP(cFileIOTarget* io, unsigned long long* pixels) {
  const unsigned long long w = myRawWidth, h = myRawHeight, section = myRawOffset;
  unsigned char b[40];
  if (!io->set_fp(section + 36) || !io->readf(b, 40)) return false;
  unsigned short table[256] = {};
  for (unsigned i = 0; i < 13; ++i) {
    const unsigned l = b[2 * i], k = b[2 * i + 1];
    // A pair that would reach past the table, or a length the 8-bit index
    // cannot hold, is left out.
    if (l < 1 || l > 8 || k + (256u >> l) > 256) continue;
    for (unsigned j = k; j < k + (256u >> l); ++j) table[j] = (unsigned short)(l << 8 | i);
  }
  unsigned long long planeAt[3] = {48};
  for (int c = 0; c < 2; ++c) planeAt[c + 1] = (planeAt[c] + le32(b + 28 + 4 * c) + 15) & ~15ULL;
  for (int c = 0; c < 3; ++c) {
    if (kImageHeader + planeAt[c] >= myRawLength || !io->set_fp(section + kImageHeader + planeAt[c])) return false;
    getbithuff_ctx bits(io);
    // Predictions wrap at 16 bits, as the samples they make.
    unsigned short vpred[2][2] = {{512, 512}, {512, 512}}, hpred[2] = {};
    const int shift = 16 * (2 - c);
    for (unsigned long long y = 0; y < h; ++y) {
      unsigned long long* out = pixels + (h - 1 - y) * w;
      for (unsigned long long x = 0; x < w; ++x) {
        const int d = rawLosslessDiff(8, table, bits);
        if (x < 2)
          hpred[x] = vpred[y & 1][x] = (unsigned short)(vpred[y & 1][x] + d);
        else
          hpred[x & 1] = (unsigned short)(hpred[x & 1] + d);
        out[x] = (out[x] & ~(0xFFFFULL << shift)) | (unsigned long long)hpred[x & 1] << shift;
      }
    }
    if (bits.error) return false;
  }
  for (unsigned long long i = 0; i < w * h; ++i) pixels[i] |= kAlpha;
  return true;
}

bool cPictX3F::decode(cFileIOTarget* io) {
  if (!loadX3F(io) || !myRawOffset || !myRawLength || !myRawWidth || !myRawHeight) return false;
  unsigned char b[kImageHeader];
  const unsigned long long size = io->size(), samples = (unsigned long long)myRawWidth * myRawHeight;
  if ((unsigned long long)myRawOffset + myRawLength > size || !io->set_fp(myRawOffset) || !io->readf(b, kImageHeader))
    return false;
  const unsigned format = le32(b + 12);
  // The section must hold what the body needs before the picture is sized:
  // four bytes a pixel, or a bit a sample of each plane.
  const unsigned long long need = format == 5 ? kImageHeader + 2048 + 4 * samples : (3 * samples + 7) / 8;
  if ((format != 5 && format != 30) || need > myRawLength) return false;
  _typebuf<unsigned long long> pixels;
  if (!allocPictPixels(pixels, myRawWidth, myRawHeight)) return false;
  if (!(format == 5 ? readSD(io, pixels.ptr) : readDP(io, pixels.ptr))) return false;
  cStreamGuardProgressTarget guard(io);
  if (!finishLevels(pixels.ptr, (long long)samples, false, &guard)) return false;
  myIs16 = true;
  std::swap(myPix16.ptr, pixels.ptr);
  std::swap(myPix16.count, pixels.count);
  myWidth = myRawWidth;
  myHeight = myRawHeight;
  return true;
}

bool cPictX3F::getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                          const long long* maxHeight) {
  if (!loadX3F(io) || !myPreviews.root) return false;
  auto* chosen = myPreviews.find_le(~0ULL);
  if (maxWidth && maxHeight && *maxWidth > 0 && *maxHeight > 0) {
    const double limit = double(*maxWidth) * double(*maxHeight);
    auto* fits = myPreviews.find_le(limit >= 1.8e19 ? ~0ULL : (unsigned long long)limit);
    if (fits) chosen = fits;
  }
  const sPreview& p = chosen->value;
  return embeddedPreview(io, p.offset, p.length, dst, maxWidth, maxHeight, p.width, p.height);
}
