#include "picts/dng.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "picts/pixelalloc.h"

namespace {

constexpr int kTagVersion = 50706;
constexpr int kTagLinearization = 50712;
constexpr int kTagBlackRepeat = 50713;
constexpr int kTagBlackLevel = 50714;
constexpr int kTagBlackDeltaH = 50715;
constexpr int kTagBlackDeltaV = 50716;
constexpr int kTagWhiteLevel = 50717;
constexpr int kTagCropOrigin = 50719;
constexpr int kTagCropSize = 50720;
constexpr int kTagAsShotNeutral = 50728;
constexpr int kTagActiveArea = 50829;
// Black levels repeat in a small tile of the sensor's pattern.
constexpr unsigned kMaxBlackRepeat = 16;
constexpr unsigned kVersion1 = 0x01000000;

}  // namespace

void cPictDNG::reset() {
  cPictTIFF_EP::reset();
  myVersion = 0;
  myWhite = myBlack = 0;
  myBlackRows = myBlackCols = 1;
  myBlackLevels.set(0);
  myBlackDeltaH.set(0);
  myBlackDeltaV.set(0);
  myLinearization.set(0);
  myActiveArea.set(0);
  myCropSize.set(0);
  myCropOrigin.set(0);
  myMultipliers.set(0);
}

bool cPictDNG::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictDNG probe;
  return probe.isPicture(io, info);
}

namespace {

// Two crop values, rational (numerator over denominator) or integer.
bool cropPair(const cTiffGeneric& tiff, const sTagProcessParam& t, _typebuf<unsigned int>& out) {
  if (cTiffGeneric::typeSize(t.type) < 1 || t.length != 2 * cTiffGeneric::typeSize(t.type)) return false;
  if (t.type == 5) {
    _typebuf<sRational> r;
    if (!tiff.getValsRational(t, r) || r.count != 2 || !r.ptr[0].den || !r.ptr[1].den) return false;
    out.set(2);
    for (int i = 0; i < 2; ++i) out.ptr[i] = r.ptr[i].num / r.ptr[i].den;
    return true;
  }
  return tiff.getValsU32(t, out) && out.count == 2;
}

}  // namespace

bool cPictDNG::onTag(int tag, int type, const void* data, int length) {
  if (ifdKind() != kMainIFD) return cPictTIFF_EP::onTag(tag, type, data, length);
  sTagProcessParam t{tag, type, data, length};
  if (!myRawMode && tag == kTagVersion) {
    const unsigned char* b = static_cast<const unsigned char*>(data);
    if (type != 1 || length != 4 || !b) return false;
    myVersion = static_cast<unsigned>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
  } else if (!myRawMode && tag == kTagAsShotNeutral) {
    if (type == 5 || type == 10) {
      _typebuf<sSignedRational> signedValues;
      _typebuf<sRational> plain;
      if (type == 5 ? !getValsRational(t, plain) : !getValsSRational(t, signedValues)) return false;
      long long n = type == 5 ? plain.count : signedValues.count;
      myMultipliers.set(n);
      for (long long i = 0; i < n; ++i) {
        double num = type == 5 ? plain.ptr[i].num : signedValues.ptr[i].num;
        double den = type == 5 ? plain.ptr[i].den : signedValues.ptr[i].den;
        if (num == 0) return false;
        myMultipliers.ptr[i] = den / num;
      }
    } else {
      _typebuf<double> ignored;
      if (!getValsDouble(t, ignored)) return false;
    }
  } else if (myRawMode && tag == kTagBlackLevel) {
    if (!blackLevels(t)) return false;
  } else if (myRawMode && (tag == kTagBlackDeltaH || tag == kTagBlackDeltaV)) {
    if (!blackDeltas(t, tag == kTagBlackDeltaH ? myBlackDeltaH : myBlackDeltaV)) return false;
  } else if (myRawMode && tag == kTagBlackRepeat) {
    _typebuf<unsigned short> dims;
    if (!getValsU16(t, dims) || dims.count != 2 || !dims.ptr[0] || !dims.ptr[1] ||
        dims.ptr[0] > kMaxBlackRepeat || dims.ptr[1] > kMaxBlackRepeat)
      return false;
    myBlackRows = dims.ptr[0];
    myBlackCols = dims.ptr[1];
  } else if (myRawMode && tag == kTagLinearization) {
    if (!getValsU16(t, myLinearization) || myLinearization.count < 1 || myLinearization.count > 65536)
      return false;
  } else if (myRawMode && tag == kTagActiveArea) {
    if (!getValsU32(t, myActiveArea) || myActiveArea.count != 4 ||
        myActiveArea.ptr[0] >= myActiveArea.ptr[2] || myActiveArea.ptr[1] >= myActiveArea.ptr[3])
      return false;
  } else if (myRawMode && tag == kTagWhiteLevel) {
    if (!getValU32(t, myWhite)) return false;
  } else if (myRawMode && tag == kTagCropOrigin) {
    if (!cropPair(*this, t, myCropOrigin)) return false;
  } else if (myRawMode && tag == kTagCropSize) {
    if (!cropPair(*this, t, myCropSize) || !myCropSize.ptr[0] || !myCropSize.ptr[1]) return false;
  }
  return cPictTIFF_EP::onTag(tag, type, data, length);
}

// BlackLevel: one value per position of the repeat tile, rational or
// integer; the first stands for the whole sensor where one is needed.
bool cPictDNG::blackLevels(const sTagProcessParam& t) {
  long long n = 0;
  _typebuf<sRational> r;
  _typebuf<unsigned int> u;
  if (t.type == 5) {
    if (!getValsRational(t, r)) return false;
    n = r.count;
  } else {
    if (!getValsU32(t, u)) return false;
    n = u.count;
  }
  if (n < 1) return false;
  n = std::min<long long>(n, kMaxBlackRepeat * kMaxBlackRepeat);
  myBlackLevels.set(n);
  for (long long i = 0; i < n; ++i) {
    if (t.type == 5 && r.ptr[i].den == 0) return false;
    myBlackLevels.ptr[i] = t.type == 5 ? static_cast<double>(r.ptr[i].num) / r.ptr[i].den : u.ptr[i];
  }
  myBlack = static_cast<unsigned>(std::llround(myBlackLevels.ptr[0]));
  return true;
}

// BlackLevelDeltaH or V: signed rationals, one a column or row.
bool cPictDNG::blackDeltas(const sTagProcessParam& t, _typebuf<double>& deltas) {
  _typebuf<sSignedRational> r;
  if (t.type != 10 || !getValsSRational(t, r)) return false;
  deltas.set(r.count);
  for (long long i = 0; i < r.count; ++i) {
    if (r.ptr[i].den == 0) return false;
    deltas.ptr[i] = static_cast<double>(r.ptr[i].num) / r.ptr[i].den;
  }
  return true;
}

bool cPictDNG::mainIsRaw() {
  int subs = numSubIFDs();
  return subs == 0 || (subs == 1 && mySamplesPerPixel <= 1);
}

bool cPictDNG::walkRawIFD(cFileIOTarget* io, int page, bool& preview) {
  bool full;
  if (!walkMain(io, full) || myVersion < kVersion1) return false;
  if (!mainIsRaw()) {
    preview = full;
    return walkSubIFD(io, page) && isFullConfig();
  }
  if (page != 0) return false;
  preview = numSubIFDs() == 1;
  myRawMode = true;
  cPictTIFF::reset();
  return cExifDecoder::decode(this, io, kMainIFD) && isFullConfig();
}

// The probe answers the size the decode gives, and refuses what the decode
// would.
bool cPictDNG::walkRaw(cFileIOTarget* io, int page, bool& preview) {
  long long w, h;
  return walkRawIFD(io, page, preview) && mosaicTaken() && (!isCFA() || pictureSize(w, h));
}

bool cPictDNG::pictureSize(long long& w, long long& h) {
  w = getPropInt(epEmbeddedWidth)->value;
  h = getPropInt(epEmbeddedHeight)->value;
  if (myActiveArea.count == 4) {
    if (myActiveArea.ptr[2] > h || myActiveArea.ptr[3] > w) return false;
    w = myActiveArea.ptr[3] - myActiveArea.ptr[1];
    h = myActiveArea.ptr[2] - myActiveArea.ptr[0];
  }
  const sMarginInfo m = cropMargins(w, h);
  w -= static_cast<long long>(m.left) + m.right;
  h -= static_cast<long long>(m.top) + m.bottom;
  return w > 0 && h > 0;
}

void cPictDNG::rawSize(int& w, int& h) {
  long long pw, ph;
  if (!isCFA() || !pictureSize(pw, ph)) return cPictTIFF_EP::rawSize(w, h);
  w = static_cast<int>(pw);
  h = static_cast<int>(ph);
}

int cPictDNG::getNumPages(cFileIOTarget* io) {
  bool full;
  if (!walkMain(io, full) || myVersion < kVersion1) return 0;
  return numSubIFDs() ? numSubIFDs() : 1;
}

bool cPictDNG::getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                          long long const* maxH) {
  bool full;
  if (!walkMain(io, full) || numSubIFDs() == 0) return false;
  return plainPreview(io, mainIsRaw() ? 0 : -1, target, maxW, maxH);
}

sMarginInfo cPictDNG::cropMargins(long long rawW, long long rawH) const {
  sMarginInfo m;
  if (myCropSize.count != 2) return m;
  unsigned long long w = static_cast<unsigned long long>(rawW), h = static_cast<unsigned long long>(rawH);
  // A crop without its origin starts at the corner.
  const bool origin = myCropOrigin.count == 2;
  unsigned long long left = origin && myCropOrigin.ptr[0] < w ? myCropOrigin.ptr[0] : 0;
  unsigned long long top = origin && myCropOrigin.ptr[1] < h ? myCropOrigin.ptr[1] : 0;
  // Even edges keep the mosaic's phase for the filter: an odd top would
  // read every row's colours from the row below.
  left += left & 1;
  top += top & 1;
  unsigned long long right = left + myCropSize.ptr[0] <= w ? w - (left + myCropSize.ptr[0]) : 0;
  unsigned long long bottom = top + myCropSize.ptr[1] <= h ? h - (top + myCropSize.ptr[1]) : 0;
  bottom += bottom & 1;
  m.left = static_cast<unsigned>(std::min(left, w));
  m.top = static_cast<unsigned>(top);
  m.right = static_cast<unsigned>(right);
  m.bottom = static_cast<unsigned>(std::min(bottom, h));
  return m;
}

bool cPictDNG::neutral(double (&factors)[3]) const {
  if (myMultipliers.count != 3) return false;
  for (int c = 0; c < 3; ++c) factors[c] = myMultipliers.ptr[c];
  return true;
}

bool cPictDNG::decodePlain(cFileIOTarget* io) {
  // Only a balanced LinearRaw is finished; without its three factors it is
  // left as decoded, as any other picture.
  double factors[3];
  if (myPhotometric != 34892 || mySamplesPerPixel != 3 || !neutral(factors)) return decodeIntFinal(io);
  if (!readRawPlane(io)) return false;
  const long long w = myRawWidth / 3, h = myRawHeight;
  _typebuf<unsigned long long> out;
  if (!allocPictPixels(out, w, h)) return false;
  const unsigned short* raw = reinterpret_cast<const unsigned short*>(myRaw.ptr);
  for (long long y = 0; y < h; ++y) {
    const unsigned short* s = raw + y * myRawWidth;
    unsigned long long* d = out.ptr + (h - 1 - y) * w;
    for (long long x = 0; x < w; ++x, s += 3)
      d[x] = 0xFFFFULL << 48 | (unsigned long long)s[0] << 32 | (unsigned long long)s[1] << 16 | s[2];
  }
  balanceRGB(out.ptr, w * h, factors);
  cStreamGuardProgressTarget guard(io);
  if (!finishLevels(out.ptr, w * h, true, &guard)) return false;
  takePicture(out, w, h);
  return true;
}

// Real files carry these three where the rest of the chain has no place
// for them: the levels are made linear, the masked border goes, and black
// levels that differ over the repeat tile are taken off here, leaving the
// lowest to the demosaicing.
bool cPictDNG::shapeRaw() {
  unsigned short* raw = reinterpret_cast<unsigned short*>(myRaw.ptr);
  if (myLinearization.count) {
    const unsigned short* table = myLinearization.ptr;
    const long long last = myLinearization.count - 1;
    for (long long i = 0, n = myRawWidth * myRawHeight; i < n; ++i)
      raw[i] = table[std::min<long long>(raw[i], last)];
  }
  if (myActiveArea.count == 4) {
    const long long top = myActiveArea.ptr[0], left = myActiveArea.ptr[1];
    const long long bottom = myActiveArea.ptr[2], right = myActiveArea.ptr[3];
    if (bottom > myRawHeight || right > myRawWidth) return false;
    const long long w = right - left;
    for (long long y = top; y < bottom; ++y)
      std::memmove(raw + (y - top) * w, raw + y * myRawWidth + left, static_cast<size_t>(w) * 2);
    myRawWidth = w;
    myRawHeight = bottom - top;
  }
  levelBlacks(raw);
  return true;
}

// Levels of 8-bit samples are widened with them. Delta tables of another
// length than the active area's sides are left out. Levels count in 1/256
// of a sample, so that the fractions of a black level and of both deltas
// add up before a sample is rounded, once.
void cPictDNG::levelBlacks(unsigned short* raw) {
  const double scale = (myBitsPerSample == 8 ? eightBitScale() : 1) * 256.0;
  const long long w = myRawWidth, h = myRawHeight;
  const bool perPlace = myBlackLevels.count >= static_cast<long long>(myBlackRows) * myBlackCols;
  const unsigned rows = perPlace ? myBlackRows : 1, cols = perPlace ? myBlackCols : 1;
  const double single = myBlackLevels.count ? myBlackLevels.ptr[0] : myBlack;
  const bool byColumn = myBlackDeltaH.count == w, byRow = myBlackDeltaV.count == h;
  std::vector<long long> level(static_cast<size_t>(rows) * cols), column(byColumn ? w : 0),
      row(byRow ? h : 0);
  for (size_t i = 0; i < level.size(); ++i) level[i] = std::llround((perPlace ? myBlackLevels.ptr[i] : single) * scale);
  for (long long x = 0; x < static_cast<long long>(column.size()); ++x)
    column[x] = std::llround(myBlackDeltaH.ptr[x] * scale);
  for (long long y = 0; y < static_cast<long long>(row.size()); ++y)
    row[y] = std::llround(myBlackDeltaV.ptr[y] * scale);
  long long lowest = *std::min_element(level.begin(), level.end());
  if (byColumn) lowest += *std::min_element(column.begin(), column.end());
  if (byRow) lowest += *std::min_element(row.begin(), row.end());
  const long long black = std::clamp<long long>((lowest + 128) >> 8, 0, 65535);
  myBlack = static_cast<unsigned>(black);
  const bool even = std::all_of(level.begin(), level.end(), [&](long long b) { return b == lowest; });
  if (even && !byColumn && !byRow) return;
  for (long long y = 0; y < h; ++y) {
    const long long* levels = level.data() + (y % rows) * cols;
    const long long down = (byRow ? row[y] : 0) - black * 256 + 128;
    unsigned short* line = raw + y * w;
    for (long long x = 0; x < w; ++x) {
      const long long over = (levels[x % cols] + (byColumn ? column[x] : 0) + down) >> 8;
      line[x] = static_cast<unsigned short>(std::clamp<long long>(line[x] - over, 0, 65535));
    }
  }
}

bool cPictDNG::onRawDecoded(cFileIOTarget* io) {
  if (!shapeRaw()) return false;
  // The mosaic is demosaiced as the sensor saw it; AsShotNeutral balances
  // the RGB picture after.
  const double ones[4] = {1, 1, 1, 1};
  double factors[3];
  const bool balanced = neutral(factors);
  return finishCFA(io, cropMargins(myRawWidth, myRawHeight), myBlack, ones, balanced ? &factors : nullptr);
}
