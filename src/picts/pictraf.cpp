#include "picts/pictraf.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "base/memio.h"
#include "base/targets.h"
#include "picts/pixelalloc.h"

namespace {

constexpr unsigned char kLayoutPattern[4] = {1, 2, 0, 1};
constexpr unsigned char kBlueFirst[4] = {2, 1, 1, 0};

// A model's row: FinePix names are keyed from their ninth character, "X"
// names by their first eight; -1 leaves a value as it is.
struct sRafModel {
  const char* key;
  bool finePix;
  int left, right, top, black;
  bool wordSwapped, xTrans, fixedImage;
  const unsigned char* pattern;
};

constexpr sRafModel kRafModels[] = {
    {"HS10 HS1", true, -1, -1, -1, 90, true, false, false, kBlueFirst},
    {"X100", true, 68, 69, -1, -1, false, false, false, nullptr},
    {"2Pro", true, -1, -1, -1, -1, false, false, true, nullptr},
    {"F700  ", true, 22, -1, -1, -1, false, false, false, nullptr},
    {"S5000 ", true, 36, -1, 4, -1, false, false, false, nullptr},
    {"SL1000", true, -1, -1, -1, -1, true, false, false, nullptr},
    {"S1", true, -1, -1, -1, -1, true, false, false, nullptr},
    {"S9500  ", true, 46, -1, -1, -1, false, false, false, nullptr},
    {"S5600  ", true, 46, -1, -1, -1, false, false, false, nullptr},
    {"S6500fd", true, 46, -1, -1, -1, false, false, false, nullptr},
    {"E900   ", true, 46, -1, -1, -1, false, false, false, nullptr},
    {"S100FS ", true, 46, -1, -1, -1, false, false, false, nullptr},
    {"HS50EXR", true, -1, 63, -1, -1, false, false, false, kBlueFirst},
    {"F550EXR", true, 34, 32, -1, -1, false, false, false, nullptr},
    {"HS30EXR", true, 34, 32, -1, -1, false, false, false, nullptr},
    {"HS20EXR", true, 34, 32, -1, -1, false, false, false, nullptr},
    {"F770EXR", true, 34, 32, -1, -1, false, false, false, nullptr},
    {"F600EXR", true, 34, 32, -1, -1, false, false, false, nullptr},
    {"F800EXR", true, 34, 32, -1, -1, false, false, false, nullptr},
    {"S3Pro  ", true, 23, -1, -1, -1, false, false, false, nullptr},
    {"S5Pro  ", true, 24, -1, 4, -1, false, false, false, nullptr},
    {"S200EXR", true, 34, 32, -1, 300, false, false, false, nullptr},
    {"F900EXR", true, -1, 63, -1, -1, false, false, false, nullptr},
    {"X-Pro1", false, 1, 167, 1, -1, false, true, false, nullptr},
    {"X-E1", false, 1, 167, 1, -1, false, true, false, nullptr},
    {"X-M1", false, 1, 167, 1, -1, false, true, false, nullptr},
    {"X-A1", false, -1, 167, -1, -1, false, false, false, nullptr},
    {"X-A2", false, -1, 167, -1, -1, false, false, false, nullptr},
    {"XQ1", false, -1, 63, -1, -1, false, true, false, nullptr},
    {"XQ2", false, -1, 63, -1, -1, false, true, false, nullptr},
    {"X20", false, -1, 63, -1, -1, false, true, false, nullptr},
    {"X30", false, -1, 63, -1, -1, false, true, false, nullptr},
    {"X10", false, 48, 47, -1, -1, false, false, false, kBlueFirst},
    {"XF1", false, 48, 47, -1, -1, false, false, false, kBlueFirst},
    {"X-S1", false, 48, 47, -1, -1, false, false, false, kBlueFirst},
    {"X-T1", false, 7, 51, 2, 800, false, true, false, nullptr},
    {"X-E2", false, 7, 51, 2, 800, false, true, false, nullptr},
    {"X-T10", false, 7, 51, 2, 800, false, true, false, nullptr},
    {"X100S", false, 7, 51, 2, 800, false, true, false, nullptr},
    {"X100T", false, 7, 51, 2, 800, false, true, false, nullptr},
};

unsigned be16(const unsigned char* p) { return unsigned(p[0]) << 8 | p[1]; }
unsigned be32(const unsigned char* p) { return be16(p) << 16 | be16(p + 2); }

// A forged image size must not turn a small sensor into a huge diamond.
constexpr long long kMaxDiamondPerSample = 4;

}  // namespace

void cPictRAF::reset() {
  myM0 = myM1 = myM2 = 1;
  std::memset(myModel, 0, sizeof myModel);
  myJpegOffset = myJpegLength = myPropsOffset = myPropsLength = 0;
  myCFAOffset = myCFALength = mySecondFrame = 0;
  myLayout = myLayoutOrder = myWordSwapped = myXTrans = myByteSwap = false;
  myBlack = 240;
  myImageWidth = myImageHeight = 0;
  myRawWidth = myRawHeight = 0;
  myBits = 16;
  myStripOffset = myStripLength = 0;
  const unsigned char rggb[4] = {0, 1, 1, 2};
  std::memcpy(myPattern, rggb, 4);
  myMargins = sMarginInfo();
  myGuard.clear();
}

bool cPictRAF::loadVerifyHeader(cFileIOTarget* io) {
  unsigned char h[124];
  if (!io->set_fp(0) || !io->readf(h, sizeof h) || std::memcmp(h, "FUJIFILMCCD-RAW ", 16) != 0) return false;
  std::memcpy(myModel, h + 28, 32);
  myJpegOffset = be32(h + 84);
  myJpegLength = be32(h + 88);
  myPropsOffset = be32(h + 92);
  myPropsLength = be32(h + 96);
  myCFAOffset = be32(h + 100);
  myCFALength = be32(h + 104);
  mySecondFrame = be32(h + 120);
  if (myJpegOffset < 124 || myPropsOffset < 124 || myCFAOffset < 124) mySecondFrame = 0;
  return myPropsOffset && myPropsLength && myCFAOffset && myCFALength;
}

bool cPictRAF::loadProps(cFileIOTarget* io) {
  const unsigned long long size = io->size(), at = myPropsOffset, length = myPropsLength;
  if (!at || !length || at > size || length > size - at || length < 4) return false;
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[length]);
  if (!block || !io->set_fp(at) || !io->readf(block.get(), unsigned(length))) return false;
  const unsigned char* p = block.get();
  const unsigned count = be32(p);
  unsigned long long pos = 4;
  for (unsigned i = 0; i < count; ++i) {
    if (pos + 4 > length) return false;
    const unsigned tag = be16(p + pos), n = be16(p + pos + 2);
    const unsigned char* d = p + pos + 4;
    pos += 4 + n;
    if (pos > length) return false;
    if (tag == 0x100 && n >= 4) {
      myRawHeight = be16(d);
      myRawWidth = be16(d + 2);
    } else if (tag == 0x121 && n >= 4) {
      myImageHeight = be16(d);
      myImageWidth = be16(d + 2);
    } else if (tag == 0x130 && n >= 2) {
      myLayoutOrder = d[0] >> 7;
      myLayout = !(d[1] & 8);
    } else if (tag == 0x2FF0 && n >= 8) {
      const double g = be16(d), r = be16(d + 2), b = be16(d + 6);
      myM0 = myM1 = myM2 = 1;
      if (r) myM1 = g / r, myM2 = b / r;
    }
  }
  return count != 0;
}

void cPictRAF::initModelSpecificInfo() {
  if (myLayout) std::memcpy(myPattern, kLayoutPattern, 4);
  const bool finePix = myModel[0] == 'F' && myModel[1] == 'i';
  if (!finePix && myModel[0] != 'X') return;
  const char* name = finePix ? myModel + 8 : myModel;
  for (const sRafModel& m : kRafModels) {
    char key[8] = {};
    std::memcpy(key, m.key, std::strlen(m.key));
    if (m.finePix != finePix || std::memcmp(name, key, 8) != 0) continue;
    if (m.left >= 0) myMargins.left = unsigned(m.left);
    if (m.right >= 0) myMargins.right = unsigned(m.right);
    if (m.top >= 0) myMargins.top = unsigned(m.top);
    if (m.black >= 0) myBlack = unsigned(m.black);
    if (m.wordSwapped) myWordSwapped = true;
    if (m.xTrans) myXTrans = true;
    if (m.fixedImage) myImageWidth = 2880, myImageHeight = 2144, myByteSwap = true;
    if (m.pattern) std::memcpy(myPattern, m.pattern, 4);
    return;
  }
}

bool cPictRAF::onTag(int tag, int type, const void* data, int length) {
  const sTagProcessParam t{tag, type, data, length};
  unsigned v = 0;
  switch (tag) {
    case 0xF000:
      return getValU32(t, v) && myGuard.walk(*this, myStream, myBigEndian, v, myStreamSize);
    case 0xF001:
      if (!getValU32(t, myRawWidth) || !myRawWidth) return false;
      if (!myImageWidth) myImageWidth = myRawWidth;
      return true;
    case 0xF002:
      if (!getValU32(t, myRawHeight) || !myRawHeight) return false;
      if (!myImageHeight) myImageHeight = myRawHeight;
      return true;
    case 0xF003: return getValU32(t, myBits) && myBits;
    case 0xF007: return getValU32(t, myStripOffset) && myStripOffset;
    case 0xF008: return getValU32(t, myStripLength) && myStripLength;
    case 0xF00E: {
      _typebuf<unsigned int> w;
      if (!getValsU32(t, w) || w.count < 3) return false;
      myM0 = myM1 = myM2 = 1;
      if (w.ptr[2]) myM1 = double(w.ptr[0]) / w.ptr[2], myM2 = double(w.ptr[1]) / w.ptr[2];
      return true;
    }
    default: return true;
  }
}

bool cPictRAF::parse(cFileIOTarget* io) {
  reset();
  if (!loadVerifyHeader(io) || !loadProps(io)) return false;
  if (!bareSection()) {
    cFileIOSubRange section(io, myCFAOffset, myCFALength);
    if (!section.valid() || !processStream(&section, kAskSize) || !myStripOffset) return false;
  }
  if (!myRawWidth || !myRawHeight) return false;
  initModelSpecificInfo();
  return true;
}

bool cPictRAF::isPicture(cFileIOTarget* io, sPictInfo* info) {
  if (!parse(io)) return false;
  long long iw = myImageWidth, ih = myImageHeight;
  if (myLayout) {
    iw = (long long)std::trunc(double(iw / 2) * std::sqrt(2.0));
    ih = (long long)std::trunc(double(ih) * std::sqrt(2.0));
  }
  long long w = 0, h = 0;
  if (!rawActiveSize(iw, ih, myMargins, w, h)) return false;
  if (info) {
    info->width = w;
    info->height = h;
    info->hasPreview = myJpegOffset && myJpegLength;
  }
  return true;
}

bool cPictRAF::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictRAF probe;
  return probe.isPicture(io, info);
}

bool cPictRAF::readSamples(cFileIOTarget* io, _typebuf<unsigned short>& raw) {
  unsigned long long at = myCFAOffset, length = myCFALength;
  if (!bareSection()) {
    if (myStripOffset > length) return false;
    at += myStripOffset;
    length -= myStripOffset;
  }
  const unsigned long long size = io->size(), h = myRawHeight;
  if (myBits == 16 || myBits == 14) {
    if (mySecondFrame && myLayout)
      myRawWidth *= 2;
    else if (length != 2ULL * myRawWidth * h)
      return false;
  } else if (myBits != 12 || 2 * length < 3ULL * myRawWidth * h) {
    return false;
  }
  const unsigned long long w = myRawWidth;
  unsigned long long rowBytes = myBits == 12 ? 3 * w / 2 : 2 * w;
  if (myBits == 12 && myWordSwapped) rowBytes = (rowBytes + 11) / 12 * 12;
  // The stream must hold every byte read, however the width was reckoned.
  if (at > size || rowBytes * h > size - at || !allocPictPixels(raw, (long long)w, (long long)h)) return false;
  std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[rowBytes ? rowBytes : 1]);
  if (!row || !io->set_fp(at)) return false;
  for (unsigned long long y = 0; y < h; ++y) {
    if (!io->readf(row.get(), unsigned(rowBytes))) return false;
    unsigned short* out = raw.ptr + y * w;
    if (myBits != 12)
      unpackRaw16(row.get(), (long long)w, false, out);
    else if (unpackRaw12(myWordSwapped ? rpSwappedGroups : rpLittle, row.get(), (long long)rowBytes, out,
                         (long long)w) != (long long)w)
      return false;
  }
  return true;
}

bool cPictRAF::unrollDiamond(const _typebuf<unsigned short>& raw, _typebuf<unsigned short>& diamond, long long& dw,
                             long long& dh) const {
  const long long fw = myImageWidth / 2, w = myRawWidth, h = myRawHeight;
  dw = myImageHeight + fw;
  dh = dw - 1;
  if (dh < 1 || double(dw) * double(dh) > double(kMaxDiamondPerSample) * double(w) * double(h) ||
      !allocPictPixels(diamond, dw, dh))
    return false;
  const long long columns = myLayoutOrder ? fw : 2 * fw;
  for (long long y = 0; y < h; ++y)
    // Raw columns only below the raw width, however wide the diamond.
    for (long long x = 0; x < columns && x < w; ++x) {
      const long long r = myLayoutOrder ? fw - 1 - x + (y >> 1) : fw - 1 + y - (x >> 1);
      const long long c = myLayoutOrder ? x + ((y + 1) >> 1) : y + ((x + 1) >> 1);
      if (r < 0 || r >= dh || c < 0 || c >= dw) continue;
      unsigned short s = raw.ptr[y * w + x];
      if (myByteSwap && !myLayoutOrder) s = (unsigned short)(s << 8 | s >> 8);
      diamond.ptr[r * dw + c] = s;
    }
  return true;
}

bool cPictRAF::turnBack(_typebuf<unsigned long long>& pixels, long long& width, long long& height) const {
  const long long dw = width, dh = height, fw = myImageWidth / 2;
  const long long left = myMargins.left, bottom = myMargins.bottom;
  const long long ow = (long long)std::trunc(double(fw) * std::sqrt(2.0)) - left - myMargins.right;
  const long long oh = (long long)std::trunc(double(myImageHeight) * std::sqrt(2.0)) - myMargins.top - bottom;
  _typebuf<unsigned long long> out;
  if (ow < 1 || oh < 1 || !allocPictPixels(out, ow, oh)) return false;
  const double half = std::sqrt(0.5);
  // Positions that reach the diamond's size take its last row or column.
  auto clamp = [](double v, long long n) { return v < 0 ? 0 : v >= double(n) ? n - 1 : (long long)v; };
  for (long long j = 0; j < oh; ++j) {
    unsigned long long* dst = out.ptr + (oh - 1 - j) * ow;
    for (long long i = 0; i < ow; ++i) {
      const double u = double(j + i + left + bottom), v = double(oh - j + i + left - bottom);
      const long long row = clamp(std::trunc(u * half + 0.5), dh), col = clamp(std::trunc(v * half + 0.5), dw);
      dst[i] = pixels.ptr[(dh - 1 - row) * dw + col];
    }
  }
  std::swap(pixels.ptr, out.ptr);
  std::swap(pixels.count, out.count);
  width = ow;
  height = oh;
  return true;
}

bool cPictRAF::decode(cFileIOTarget* io) {
  _typebuf<unsigned short> raw;
  if (!parse(io) || !readSamples(io, raw)) return false;
  std::unique_ptr<cBayerFilter> filter;
  if (myXTrans) {
    filter.reset(cFujiXTransFilter::newFilter());
  } else {
    sRawCFA cfa;
    cfa.set(2, 2, myPattern, 4);
    filter.reset(cfa.newFilter());
  }
  if (!filter) return false;
  const double multipliers[4] = {myM0, myM1, myM2, myM1};
  long long w = myRawWidth, h = myRawHeight, aw = 0, ah = 0;
  _typebuf<unsigned short> diamond;
  const _typebuf<unsigned short>* plane = &raw;
  sMarginInfo margins = myMargins;
  if (myLayout) {
    if (!unrollDiamond(raw, diamond, w, h)) return false;
    plane = &diamond;
    margins = sMarginInfo();
  } else if (!rawActiveSize(w, h, margins, aw, ah)) {
    return false;
  }
  sRawFinish f = rawPlane(*plane, w, h, margins, filter.get(), myBlack, multipliers);
  if (myXTrans) f.demosaic = sRawFinish::dmLinear;
  f.boundHigh = true;
  f.boundA = myM1;
  f.boundB = myM2;
  if (myLayout) f.reshape = [this](_typebuf<unsigned long long>& p, long long& pw, long long& ph) { return turnBack(p, pw, ph); };
  return finishCamera(f, io);
}

bool cPictRAF::getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                          const long long* maxHeight) {
  reset();
  return loadVerifyHeader(io) && embeddedPreview(io, myJpegOffset, myJpegLength, dst, maxWidth, maxHeight);
}
