#include "picts/raw_common.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/memio.h"
#include "picts/pictjpeg.h"
#include "picts/pixelalloc.h"
#include "picts/tiffgeneric.h"

unsigned ph1_bithuff(int n, sph1_bithuff_ctx& ctx) {
  if (n <= 0 || n > 32) return 0;
  if (ctx.vbits < n) {
    unsigned char w[4];
    if (!ctx.source.read(w, 4)) {
      ctx.error = 1;
      return 0;
    }
    ctx.bitbuf = ctx.bitbuf << 32 | (unsigned)w[0] | (unsigned)w[1] << 8 | (unsigned)w[2] << 16 |
                 (unsigned long long)w[3] << 24;
    ctx.vbits += 32;
    ctx.bytesRead += 4;
  }
  const unsigned long long c = ctx.bitbuf << (64 - ctx.vbits) >> (64 - n);
  ctx.vbits -= n;
  return static_cast<unsigned>(c);
}

bool makeRawLookup(const unsigned short* list, int count, int maxLength, _typebuf<unsigned short>& table) {
  if (maxLength < 1 || maxLength > 16 || count < 0) return false;
  const long long size = 1LL << maxLength;
  table.set(size);
  long long at = 0;
  for (int i = 0; i < count; ++i) {
    const int length = list[i] >> 8;
    if (length > maxLength) return false;
    const long long span = size >> length;
    if (at + span > size) return false;
    for (long long k = 0; k < span; ++k) table.ptr[at++] = list[i];
  }
  for (; at < size; ++at) table.ptr[at] = 0;
  return true;
}

long long unpackRaw12(eRawPacking packing, const unsigned char* src, long long bytes, unsigned short* dst,
                      long long samples) {
  long long made = 0, at = 0;
  if (packing == rpSwappedGroups) {
    for (; made < samples && at + 12 <= bytes; at += 12) {
      const unsigned char* b = src + at;
      const unsigned short s[8] = {
          (unsigned short)(b[2] >> 4 | b[3] << 4),  (unsigned short)(b[1] | (b[2] & 15) << 8),
          (unsigned short)(b[7] >> 4 | b[0] << 4),  (unsigned short)(b[6] | (b[7] & 15) << 8),
          (unsigned short)(b[4] >> 4 | b[5] << 4),  (unsigned short)(b[11] | (b[4] & 15) << 8),
          (unsigned short)(b[9] >> 4 | b[10] << 4), (unsigned short)(b[8] | (b[9] & 15) << 8)};
      for (int i = 0; i < 8 && made < samples; ++i) dst[made++] = s[i];
    }
    return made;
  }
  const bool big = packing == rpBig || packing == rpPaddedBig;
  const bool padded = packing == rpPaddedLittle || packing == rpPaddedBig;
  for (long long group = 1; made < samples && at + 3 <= bytes; ++group) {
    const unsigned b0 = src[at], b1 = src[at + 1], b2 = src[at + 2];
    dst[made++] = (unsigned short)(big ? b0 << 4 | b1 >> 4 : b0 | (b1 & 15) << 8);
    if (made < samples) dst[made++] = (unsigned short)(big ? (b1 & 15) << 8 | b2 : b1 >> 4 | b2 << 4);
    at += padded && group % 5 == 0 ? 4 : 3;
  }
  return made;
}

void unpackRaw16(const unsigned char* src, long long samples, bool bigEndian, unsigned short* dst) {
  for (long long i = 0; i < samples; ++i, src += 2)
    dst[i] = (unsigned short)(bigEndian ? src[0] << 8 | src[1] : src[0] | src[1] << 8);
}

int readRawHeader(cFileIOTarget* io, unsigned long long& size, bool& bigEndian, unsigned& magic,
                  unsigned& firstIfd) {
  if (!io) return cTiffGeneric::kErrNoStream;
  if (size == cTiffGeneric::kAskSize) size = io->size();
  if (size < 8) return cTiffGeneric::kErrShort;
  unsigned char h[8];
  if (!io->set_fp(0) || !io->readf(h, 8)) return cTiffGeneric::kErrRead;
  if (h[0] != h[1] || (h[0] != 'I' && h[0] != 'M')) return cTiffGeneric::kErrHeader;
  bigEndian = h[0] == 'M';
  magic = bigEndian ? h[2] << 8 | h[3] : h[3] << 8 | h[2];
  firstIfd = bigEndian ? (unsigned)h[4] << 24 | h[5] << 16 | h[6] << 8 | h[7]
                       : (unsigned)h[7] << 24 | h[6] << 16 | h[5] << 8 | h[4];
  return firstIfd <= 7 ? cTiffGeneric::kErrHeader : cTiffGeneric::kErrNone;
}

bool sRawStrips::readTag(const cTiffGeneric& tiff, const sTagProcessParam& t, unsigned int tag) {
  if (tag == 273) return tiff.getValsU32(t, offsets) && offsets.count;
  if (tag == 278) return tiff.getValU32(t, rowsPerStrip) && rowsPerStrip;
  return tiff.getValsU32(t, counts) && counts.count == offsets.count;
}

bool sRawStrips::settle(unsigned int height, unsigned long long streamSize, bool zeroIsMissing) {
  if (!offsets.count || !height) return false;
  if (!rowsPerStrip) {
    if (offsets.count != 1) return false;
    rowsPerStrip = height;
  }
  const bool missing = !counts.count || (zeroIsMissing && counts.count == 1 && counts.ptr[0] == 0);
  if (!missing) return counts.count == offsets.count;
  // The rest of the stream, but never a count wrapped below an offset past its end.
  const unsigned long long offset = offsets.ptr[0];
  if (offsets.count != 1 || offset == 0 || offset >= streamSize) return false;
  const unsigned long long rest = streamSize - offset;
  counts.set(1);
  counts.ptr[0] = rest > UINT_MAX ? UINT_MAX : static_cast<unsigned int>(rest);
  return true;
}

bool sRawStrips::canHold(unsigned long long streamSize, unsigned long long samples, unsigned minBits) const {
  unsigned long long bytes = 0;
  for (long long s = 0; s < offsets.count && s < counts.count; ++s)
    if (offsets.ptr[s] < streamSize) bytes += std::min<unsigned long long>(counts.ptr[s], streamSize - offsets.ptr[s]);
  return bytes / minBits >= samples / 8;
}

bool sRawStrips::allocPlane(unsigned long long streamSize, long long width, long long height,
                            _typebuf<unsigned short>& raw) const {
  return width > 0 && height > 0 && canHold(streamSize, (unsigned long long)width * height, 1) &&
         allocPictPixels(raw, width, height);
}

unsigned int sRawStrips::firstRow(long long s) const {
  const unsigned long long row = static_cast<unsigned long long>(s) * rowsPerStrip;
  return row > UINT_MAX ? UINT_MAX : static_cast<unsigned int>(row);
}

unsigned int sRawStrips::rowsOf(long long s, unsigned int height) const {
  const unsigned int first = firstRow(s);
  if (first >= height) return 0;
  const unsigned int rest = height - first;
  return s == offsets.count - 1 || rest < rowsPerStrip ? rest : rowsPerStrip;
}

bool sRawCFA::set(unsigned int r, unsigned int c, const unsigned char* p, long long length) {
  if (!r || !c || (long long)r * c != length) return false;
  rows = r;
  columns = c;
  entries.set(length);
  std::memcpy(entries.ptr, p, size_t(length));
  return true;
}

bool sRawCFA::parseExif(const unsigned char* p, long long length, bool bigEndian) {
  if (length < 5) return false;
  const int low = bigEndian ? 1 : 0;
  unsigned c = p[low], r = p[2 + low];
  if (!c && !r) {
    c = p[1 - low];
    r = p[3 - low];
  }
  return set(r, c, p + 4, length - 4);
}

cBayerFilter* sRawCFA::newFilter() const {
  if (!held() || rows > 0xFFFF || columns > 0xFFFF) return nullptr;
  sCFAData cfa(int(rows), int(columns), int(entries.count));
  std::memcpy(cfa.pattern.ptr, entries.ptr, size_t(entries.count));
  return cBayerFilter::newFilter(cfa);
}

bool rawActiveSize(long long rawWidth, long long rawHeight, const sMarginInfo& m, long long& width,
                   long long& height) {
  width = rawWidth - (long long)m.left - (long long)m.right;
  height = rawHeight - (long long)m.top - (long long)m.bottom;
  return width > 0 && height > 0;
}

bool cRawWalkGuard::enter(unsigned long long offset) {
  if (myDepth >= kMaxDepth || myVisits >= kMaxVisits) return false;
  for (int i = 0; i < myVisits; ++i)
    if (myVisited[i] == offset) return false;
  myVisited[myVisits++] = offset;
  ++myDepth;
  return true;
}

bool cRawWalkGuard::walk(cTiffGeneric& walker, cFileIOTarget* io, bool bigEndian, unsigned int offset,
                         unsigned long long size) {
  if (!enter(offset)) return false;
  const bool ok = walker.processStream(io, bigEndian, false, offset, size);
  leave();
  return ok;
}

sRawFinish rawPlane(const _typebuf<unsigned short>& raw, long long width, long long height,
                    const sMarginInfo& margins, cBayerFilter* filter, unsigned int black,
                    const double (&multipliers)[4]) {
  sRawFinish f;
  f.raw = raw.ptr;
  f.rawWidth = width;
  f.rawHeight = height;
  f.margins = margins;
  f.filter = filter;
  f.black = black;
  for (int i = 0; i < 4; ++i) f.multipliers[i] = multipliers[i];
  return f;
}

void balanceToRed(sRawFinish& f, double m0, double m1, double m2) {
  double a = 1, b = 1;
  if (m0 != 0) {
    a = m2 / m0;
    b = m1 / m0;
  }
  const double multipliers[4] = {1.0, b, a, b};
  for (int i = 0; i < 4; ++i) f.multipliers[i] = multipliers[i];
  f.boundHigh = true;
  f.boundA = a;
  f.boundB = b;
}

bool probeActive(long long rawWidth, long long rawHeight, const sMarginInfo& m, bool hasPreview,
                 cPictBase::sPictInfo* info) {
  long long w = 0, h = 0;
  if (!rawActiveSize(rawWidth, rawHeight, m, w, h)) return false;
  if (info) {
    info->width = w;
    info->height = h;
    info->hasPreview = hasPreview;
  }
  return true;
}

bool cCameraRawPict::finishCamera(sRawFinish& f, cFileIOTarget* io) {
  myPix8.set(0);
  myPix16.set(0);
  myWidth = myHeight = 0;
  myIs16 = true;
  _typebuf<unsigned long long> out;
  long long w = 0, h = 0;
  onRawPlane(f);
  if (!finishRaw(f, io, out, w, h)) return false;
  std::swap(myPix16.ptr, out.ptr);
  std::swap(myPix16.count, out.count);
  myWidth = w;
  myHeight = h;
  return true;
}

bool cCameraRawPict::embeddedPreview(cFileIOTarget* io, unsigned long long offset, unsigned long long length,
                                     cPictBase& dst, const long long* maxWidth, const long long* maxHeight,
                                     long long knownWidth, long long knownHeight) {
  if (!io || !offset || !length) return false;
  cFileIOSubRange window(io, offset, length);
  sPictInfo info;
  if (!window.valid() || !cPictJPEG::validFor(&window, &info) || info.width < 1 || info.height < 1) return false;
  // A recorded size that understates the picture's own would have it decoded
  // whole instead of scaled down.
  if (knownWidth > 0 && knownHeight > 0 && (info.width != knownWidth || info.height != knownHeight)) return false;
  window.set_fp(0);
  const long long w = info.width, h = info.height;
  const long long W = maxWidth ? *maxWidth : w, H = maxHeight ? *maxHeight : h;
  cPictJPEG jpeg;
  if (W >= w && H >= h) {
    if (!jpeg.decode(&window)) return false;
    jpeg.moveTo(dst);
    return true;
  }
  const double r = std::fmin(1.0, std::fmin(double(W) / double(w), double(H) / double(h)));
  const long long tw = (long long)std::trunc(double(w) * r + 0.5), th = (long long)std::trunc(double(h) * r + 0.5);
  cPictDummy canvas;
  if (tw < 1 || th < 1 || !canvas.create(tw, th, 0)) return false;
  sExtPictDef target(&canvas);
  if (!jpeg.setExtTarget(&target) || !jpeg.decode(&window)) return false;
  canvas.moveTo(dst);
  return true;
}
