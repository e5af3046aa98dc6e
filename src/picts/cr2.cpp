#include "picts/cr2.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "base/memio.h"
#include "base/str.h"
#include "base/targets.h"
#include "picts/pixelalloc.h"
#include "picts/raw_ljpeg.h"

namespace {

// A derived black mask is believed only while every phase stays this close
// to the level.
constexpr int kMaskSpread = 21;

// Models whose sRAW chroma is scaled by 4 and mixed by the wider matrix.
constexpr unsigned int kWideSrawModels[] = {0x80000218, 0x80000250, 0x80000261, 0x80000281, 0x80000287};

// A lossless stream's frame size, within what the sensor tags can say.
bool probeLosslessFrame(cFileIOTarget* io, unsigned& w, unsigned& h) {
  cRAWLosslessJpeg frame;
  cPictBase::sPictInfo info{};
  if (!frame.isPicture(io, &info) || info.width < 1 || info.height < 1 || info.width > 65535 ||
      info.height > 65535)
    return false;
  w = static_cast<unsigned>(info.width);
  h = static_cast<unsigned>(info.height);
  return true;
}

unsigned short clip16(double v) { return v <= 0 ? 0 : v >= 65535 ? 65535 : static_cast<unsigned short>(v); }

}  // namespace

cPictCR2::cPictCR2() {
  initColors();
  initMargins();
  reset();
}

void cPictCR2::reset() {
  cPictTIFF::reset();
  myNote.reset();
  myExif.reset();
  myExif.height = 0;
  myData.reset();
  myModelName.set(nullptr);
  myMargins = sMarginInfo{};
  mySubIFDs[0] = mySubIFDs[1] = 0;
  myRawType = myBits = 0;
  mySensorW = mySensorH = 0;
  initCFA();
}

void cPictCR2::initCFA() {
  static constexpr unsigned char kRGGB[4] = {0, 1, 1, 2};
  std::memcpy(myCFA.pattern.ptr, kRGGB, 4);
}

bool cPictCR2::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictCR2 probe;
  return probe.isPicture(io, info);
}

bool cPictCR2::onTag(int tag, int type, const void* data, int length) {
  if (ifdKind() == kMainIFD) {
    sTagProcessParam t{tag, type, data, length};
    if (tag == 272 && type == 2) {
      _typebuf<char> text;
      if (!getValsPCHAR(t, text)) return false;
      const char* name = text.ptr;
      if (__stricmp(name, "CANON", 5) == 0) {
        name += 5;
        while (*name == ' ') ++name;
      }
      myModelName.set(*name ? name : nullptr);
    } else if (tag == 330 && length == 8) {
      mySubIFDs[0] = getU32(data);
      mySubIFDs[1] = getU32(static_cast<const unsigned char*>(data) + 4);
    } else if (tag == 34665) {
      if (type != 4 && length != 4) return false;
      unsigned int offset = 0;
      if (!getValU32(t, offset) || myStreamSize < 2 || offset >= myStreamSize - 2) return false;
      if (!myExif.decodeDirect(this, myStream, kExifIFD, offset, myBigEndian, myBigTiff, myStreamSize))
        return false;
    }
  }
  return cPictTIFF::onTag(tag, type, data, length);
}

bool cPictCR2::walk(cFileIOTarget* io, bool decoding) {
  reset();
  if (!io || !cExifDecoder::decode(this, io, kMainIFD)) return false;
  const unsigned int afterMain = nextOffset();
  const unsigned long long size = io->size();
  const cPictPropString* make = getPropString(epMake);
  const cPictPropRaw* note = getPropRaw(epMakerNote);
  if (!make || !make->value.ptr || __stricmp(make->value.ptr, "CANON", 5) != 0) return false;
  if (!note || note->position <= 0 || note->position > 0xFFFFFFFFLL) return false;
  myNote.reset();
  if (!myNote.processStream(io, myBigEndian, myBigTiff, static_cast<unsigned int>(note->position), size))
    return false;
  myData.reset();
  if (isOldModel()) {
    return afterMain && myData.processStream(io, myBigEndian, myBigTiff, afterMain, size) && myExif.width &&
           myExif.height && myData.stripOffset && myData.stripBytes && myNote.model && myModelName.ptr &&
           myNote.rawOffset && myNote.rawOffset < size;
  }
  // IFD 1 (the thumbnail) and IFD 2 only lead to IFD 3, the sensor's: their
  // entries are not the raw directory's and are not judged as such.
  cCR2JpegProps thumbnail;
  cCR2SkipIFD skip;
  cTiffGeneric& first = decoding ? static_cast<cTiffGeneric&>(thumbnail) : skip;
  if (!afterMain || !first.processStream(io, myBigEndian, myBigTiff, afterMain, size)) return false;
  const unsigned int second = first.nextOffset();
  if (!second || !skip.processStream(io, myBigEndian, myBigTiff, second, size)) return false;
  const unsigned int at = skip.nextOffset();
  return at && myData.processStream(io, myBigEndian, myBigTiff, at, size);
}

bool cPictCR2::probeFrame(cFileIOTarget* io, unsigned& w, unsigned& h) const {
  const unsigned long long size = io->size();
  cFileIOSubRange window(io, myNote.rawOffset, size - myNote.rawOffset);
  return probeLosslessFrame(&window, w, h);
}

bool cPictCR2::isPicture(cFileIOTarget* io, sPictInfo* info) {
  if (!walk(io, false)) return false;
  getMargins();
  long long w = 0, h = 0;
  bool preview = false;
  if (isOldModel()) {
    unsigned fw = 0, fh = 0;
    if (!probeFrame(io, fw, fh)) return false;
    w = fw;
    h = 2LL * fh;
    preview = cPictTIFF::isFullConfig();
  } else {
    const unsigned long long size = io->size();
    if (myData.stripOffset >= size || myData.stripBytes > size - myData.stripOffset) return false;
    cFileIOSubRange window(io, myData.stripOffset, myData.stripBytes);
    unsigned fw = 0, fh = 0;
    if (!probeLosslessFrame(&window, fw, fh)) return false;
    w = myNote.sensor[1];
    h = myNote.sensor[2];
    preview = getPropImage(epThumbnail) != nullptr;
  }
  w -= static_cast<long long>(myMargins.left) + myMargins.right;
  h -= static_cast<long long>(myMargins.top) + myMargins.bottom;
  if (w < 1 || h < 1) return false;
  if (info) {
    info->width = w;
    info->height = h;
    info->hasPreview = preview;
  }
  return true;
}

bool cPictCR2::decode(cFileIOTarget* io) {
  if (!walk(io, true)) return false;
  const bool old = isOldModel();
  if (!old && !isFullConfig()) return false;
  const unsigned long long size = io->size();
  unsigned long long offset = myData.stripOffset, bytes = myData.stripBytes;
  if (old) {
    unsigned fw = 0, fh = 0;
    if (!probeFrame(io, fw, fh)) return false;
    mySensorW = 2ULL * fw;
    mySensorH = fh;
    offset = myNote.rawOffset;
    bytes = size - offset;
  } else {
    mySensorW = myNote.sensor[1];
    mySensorH = myNote.sensor[2];
  }
  if (offset >= size || bytes > size - offset) return false;
  // Every sample costs the stream a bit at least: a sensor larger than the
  // stream can describe is refused before its buffer is made.
  if (mySensorW * mySensorH > 8 * bytes + 64) return false;
  cRAWLosslessJpeg jpeg;
  jpeg.init(static_cast<unsigned>(mySensorW), static_cast<unsigned>(mySensorH), myData.slices[0],
            myData.slices[1], myData.slices[2]);
  cFileIOSubRange window(io, offset, bytes);
  sDecomress record;
  if (!jpeg.decodedWhole(jpeg.decode(&window)) || !jpeg.getData(record.data)) return false;
  cRAWLosslessJpeg::eRawType type;
  int precision = 0;
  jpeg.getInfo(type, precision);
  myRawType = type;
  myBits = static_cast<unsigned>(precision);
  initCFA();
  getMargins();
  if (old) {
    mySensorW /= 2;
    mySensorH *= 2;
    static constexpr unsigned char kGRBG[4] = {1, 0, 2, 1};
    std::memcpy(myCFA.pattern.ptr, kGRBG, 4);
    if (myNote.balance[0] == 0)
      for (int i = 0; i < 4; ++i) myNote.balance[i] = myNote.a4[i];
  }
  const unsigned long long horizontal = static_cast<unsigned long long>(myMargins.left) + myMargins.right;
  const unsigned long long vertical = static_cast<unsigned long long>(myMargins.top) + myMargins.bottom;
  const bool sraw = myRawType != cRAWLosslessJpeg::kRawSimple;
  // Margins that leave no picture refuse the file.
  if (!sraw && (horizontal >= mySensorW || vertical >= mySensorH)) return false;
  record.bitsPerSample = myBits;
  record.samplesPerPixel = sraw ? 3 : 1;
  record.rowBytes = static_cast<unsigned>(sraw ? 6 * mySensorW : 2 * mySensorW);
  record.rows = static_cast<unsigned>(mySensorH);
  const long long need = static_cast<long long>(record.rowBytes) * record.rows;
  if (record.data.count < need) return false;
  return decodeColors16bpp(0, record);
}

bool cPictCR2::decodeColors16bpp(unsigned row, sDecomress& record) {
  const bool sraw = myRawType != cRAWLosslessJpeg::kRawSimple;
  if (!(sraw ? decodeColors16bppSraw(row, record, true) : decodeColors16bppBayer(row, record, true)))
    return false;
  // The tone curve asks no one and answers nothing: a picture whose curve is
  // refused (a flat one) stays as the conversion made it.
  const long long count = myWidth * myHeight;
  sHystogram h;
  unsigned low = 0, middle = 0, high = 0;
  _typebuf<unsigned int> curve;
  if (buildHystogram(myPix16.ptr, count, h, 4096, nullptr) &&
      getHystogramParams(h.all, 16, low, middle, high, 0.999) &&
      makeDeCurveFromGamma(curve, 16, 2.2, low, high))
    adjustToCurve(myPix16.ptr, myPix16.ptr, count, curve, nullptr);
  return true;
}

unsigned int cPictCR2::blackLevel(const unsigned short* samples) const {
  const unsigned long long left = std::min<unsigned long long>(myNote.sensor[9], mySensorW);
  const unsigned long long right = std::min<unsigned long long>(myNote.sensor[11], mySensorW);
  const unsigned long long top = std::min<unsigned long long>(myNote.sensor[10], mySensorH);
  const unsigned long long bottom = std::min<unsigned long long>(myNote.sensor[12], mySensorH);
  unsigned long long sum[4] = {}, count[4] = {};
  for (unsigned long long y = top; y < bottom; ++y)
    for (unsigned long long x = left; x < right; ++x) {
      const int phase = static_cast<int>((y & 1) * 2 + (x & 1));
      sum[phase] += samples[y * mySensorW + x];
      ++count[phase];
    }
  unsigned int average[4];
  unsigned short total = 0;
  for (int p = 0; p < 4; ++p) {
    average[p] = count[p] ? static_cast<unsigned int>(sum[p] / count[p]) : 0;
    total = static_cast<unsigned short>(total + average[p]);
  }
  const unsigned int level = total / 4u;
  if (myNote.maskDerived)
    for (unsigned int a : average)
      if (static_cast<int>(a) - static_cast<int>(level) >= kMaskSpread ||
          static_cast<int>(level) - static_cast<int>(a) >= kMaskSpread)
        return 0;
  return level;
}

bool cPictCR2::decodeColors16bppBayer(unsigned, sDecomress& record, bool) {
  unsigned short modelBlack = 0, modelWhite = 0;
  double matrix[3][3];
  getColors(modelBlack, modelWhite, matrix);
  const auto* samples = reinterpret_cast<const unsigned short*>(record.data.ptr);
  const unsigned int measured = blackLevel(samples);
  sRawFinish f;
  f.raw = samples;
  f.rawWidth = static_cast<long long>(mySensorW);
  f.rawHeight = static_cast<long long>(mySensorH);
  f.margins = myMargins;
  f.black = measured ? measured : modelBlack;
  f.white = modelWhite ? modelWhite : (myBits >= 1 && myBits <= 16 ? (1U << myBits) - 1 : 65535);
  if (f.black >= f.white) return false;
  const double m = 65535.0 / (f.white - f.black);
  double least = 0;
  for (double b : myNote.balance)
    if (b > 0 && (least == 0 || b < least)) least = b;
  for (int c = 0; c < 4; ++c) f.multipliers[c] = least > 0 ? myNote.balance[c] * m / least : m;
  cPtr<cBayerFilter> filter(cBayerFilter::newFilter(myCFA));
  if (!filter) return false;
  f.filter = filter.ptr;
  f.matrix = &matrix;
  cStreamGuardProgressTarget guard(myStream);
  unsigned maximum = 0;
  if (!demosaicRaw(f, &guard, myPix16, myWidth, myHeight, maximum)) return false;
  myPix8.set(0);
  myIs16 = true;
  return true;
}

bool cPictCR2::decodeColors16bppSraw(unsigned, sDecomress& record, bool bottomUp) {
  const long long w = static_cast<long long>(mySensorW), h = static_cast<long long>(mySensorH);
  if (!allocPictPixels(myPix16, w, h)) return false;
  myPix8.set(0);
  myWidth = w;
  myHeight = h;
  myIs16 = true;
  const auto* src = reinterpret_cast<const unsigned short*>(record.data.ptr);
  const double k = 65535.0 / ((1ULL << (myBits >= 1 && myBits <= 16 ? myBits : 16)) - 1);
  const bool wide = std::find(std::begin(kWideSrawModels), std::end(kWideSrawModels), myNote.model) !=
                    std::end(kWideSrawModels);
  for (long long y = 0; y < h; ++y) {
    unsigned long long* out = myPix16.ptr + (bottomUp ? h - 1 - y : y) * w;
    for (long long x = 0; x < w; ++x) {
      const unsigned short* p = src + 3 * (y * w + x);
      int luma = p[0], cb = static_cast<short>(p[1]), cr = static_cast<short>(p[2]);
      int r, g, b;
      if (wide) {
        cb = static_cast<short>(cb * 4);
        cr = static_cast<short>(cr * 4);
        r = luma + ((22929 * cr + 50 * cb) >> 14);
        g = luma + ((-11751 * cr - 5640 * cb) >> 14);
        b = luma + ((-101 * cr + 29040 * cb) >> 14);
      } else {
        if (myNote.model < 0x80000218u) luma -= 512;
        b = luma + cb;
        r = luma + cr;
        g = luma + ((-778 * cb - 2048 * cr) >> 12);
      }
      out[x] = 0xFFFFULL << 48 | static_cast<unsigned long long>(clip16(r * k)) << 32 |
               static_cast<unsigned long long>(clip16(g * k)) << 16 | clip16(b * k);
    }
  }
  return true;
}
