// The colour stage: samples of any depth unpacked from decoded rows, scaled
// to the picture's mode and composed into pixels.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#include "picts/littleendian.h"
#include "picts/picttiff.h"

namespace {

// Samples of whole bytes are in the file's byte order; any other depth is
// packed most-significant bit first across the row.
void unpackSamples(const unsigned char* row, long long count, int bits, bool bigEndian,
                   unsigned long long* out) {
  if (bits == 8) {
    for (long long i = 0; i < count; ++i) out[i] = row[i];
    return;
  }
  if (bits % 8 == 0) {
    int bytes = bits / 8;
    for (long long i = 0; i < count; ++i, row += bytes) {
      unsigned long long v = 0;
      for (int b = 0; b < bytes; ++b) v = v << 8 | row[bigEndian ? b : bytes - 1 - b];
      out[i] = v;
    }
    return;
  }
  unsigned long long bit = 0;
  for (long long i = 0; i < count; ++i) {
    unsigned long long v = 0;
    for (int b = 0; b < bits; ++b, ++bit) v = v << 1 | ((row[bit >> 3] >> (7 - (bit & 7))) & 1);
    out[i] = v;
  }
}

unsigned int scaleTo8(unsigned long long v, int bits) {
  if (bits == 8) return static_cast<unsigned int>(v);
  // Every depth spans 0..255 alike, so a 2-bit white is white.
  return static_cast<unsigned int>(v * 255 / ((1ULL << bits) - 1));
}

unsigned long long scaleTo16(unsigned long long v, int bits, bool isFloat) {
  if (isFloat) {
    float f = 0;
    if (!cPictTIFF::getFloatVal(v, bits, f) || !(f > 0)) return 0;
    return f >= 1 ? 65535 : static_cast<unsigned long long>(f * 65535);
  }
  if (bits == 16) return v;
  return bits < 16 ? v << (16 - bits) : v >> (bits - 16);
}

template <typename T>
T clampTo(double v, double top) {
  v += 0.5;
  return static_cast<T>(v < 0 ? 0 : v > top ? top : v);
}

// CIELab to linear sRGB against the white that the sample count selects.
template <typename T>
void labToRgb(double L, double a, double b, double whiteX, double whiteZ, double top, T rgb[3]) {
  auto f = [](double t) { return t > 6.0 / 29 ? t * t * t : (t - 4.0 / 29) * 0.1284185493460166; };
  double fy = (L + 16) / 116;
  double X = f(fy + a / 500) * whiteX, Y = f(fy) * top, Z = f(fy - b / 200) * whiteZ;
  rgb[0] = clampTo<T>(3.240479 * X - 1.53715 * Y - 0.498535 * Z, top);
  rgb[1] = clampTo<T>(-0.969256 * X + 1.875992 * Y + 0.041556 * Z, top);
  rgb[2] = clampTo<T>(0.055648 * X - 0.204043 * Y + 1.057311 * Z, top);
}

// Both modes compose alike; `top` is the channel maximum and `shift` the channel width.
template <typename S, typename P>
bool compose(const S* s, int count, int photometric, S top, int shift, P& pixel) {
  auto pack = [shift](P a, P r, P g, P b) { return a << (3 * shift) | r << (2 * shift) | g << shift | b; };
  S rgb[3];
  switch (count) {
    case 1:
    case 2: {
      P grey = photometric == 0 ? top - s[0] : s[0];
      pixel = pack(count == 2 ? s[1] : top, grey, grey, grey);
      return true;
    }
    case 3:
    case 4:
      if (photometric == 2 || (count == 3 && photometric == 34892)) {
        pixel = pack(count == 4 ? s[3] : top, s[0], s[1], s[2]);
        return true;
      }
      if (photometric == 8) {
        bool eight = top == 255;
        double L = eight ? s[0] * 100.0 / 255 : s[0] * 0.0015378700499808;
        double a = eight ? static_cast<signed char>(s[1]) : ((s[1] + 32768) % 65536) / 255.0 - 128;
        double b = eight ? static_cast<signed char>(s[2]) : ((s[2] + 32768) % 65536) / 255.0 - 128;
        if (eight && count == 3)
          labToRgb(L, a, b, 235.875, 266.03895, top, rgb);
        else if (eight)
          labToRgb(L, a, b, 242.36628, 277.63227, top, rgb);
        else
          labToRgb(L, a, b, 60619.875, 68372.01015, top, rgb);
        pixel = pack(count == 4 ? s[3] : top, rgb[0], rgb[1], rgb[2]);
        return true;
      }
      if (count == 4 && photometric == 65534) {
        pixel = pack(s[3], s[2], s[1], s[0]);
        return true;
      }
      if (count == 3 || photometric != 5) return false;
      [[fallthrough]];
    case 5: {
      if (photometric != 5) return false;
      P k = top - s[3];
      pixel = pack(count == 5 ? s[4] : top, (top - s[0]) * k / top, (top - s[1]) * k / top,
                   (top - s[2]) * k / top);
      return true;
    }
    default:
      return false;
  }
}

// Colours stored multiplied by their alpha, divided back (rounded); a pixel
// of alpha 0 has no colour left to recover.
template <typename P>
P straightened(P pixel, int shift) {
  const P top = (P(1) << shift) - 1, alpha = pixel >> (3 * shift) & top;
  if (alpha == top) return pixel;
  P out = alpha << (3 * shift);
  for (int c = 0; alpha && c < 3; ++c) {
    const P v = (((pixel >> (c * shift)) & top) * top + alpha / 2) / alpha;
    out |= std::min(v, top) << (c * shift);
  }
  return out;
}

// A narrow IEEE-style float of `exponentBits` and `fractionBits` under its
// sign bit, by value: sign, zero, subnormals, infinities and NaN as its
// writer meant them. Both narrow widths fit a float exactly.
float narrowFloat(unsigned long long bits, int exponentBits, int fractionBits) {
  const unsigned long long fraction = bits & ((1ULL << fractionBits) - 1);
  const int top = (1 << exponentBits) - 1, bias = top >> 1;
  const int exponent = static_cast<int>(bits >> fractionBits) & top;
  const bool negative = (bits >> (fractionBits + exponentBits)) & 1;
  float magnitude;
  if (exponent == top)
    magnitude = fraction ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
  else if (exponent == 0)
    magnitude = std::ldexp(static_cast<float>(fraction), 1 - bias - fractionBits);
  else
    magnitude = std::ldexp(static_cast<float>(fraction | 1ULL << fractionBits), exponent - bias - fractionBits);
  return negative ? -magnitude : magnitude;
}

}  // namespace

bool cPictTIFF::getFloatVal(unsigned long long bits, int width, float& value) {
  switch (width) {
    case 16:
      value = narrowFloat(bits, 5, 10);
      return true;
    case 24:
      value = narrowFloat(bits, 7, 16);
      return true;
    case 32: {
      const unsigned int word = static_cast<unsigned int>(bits);
      std::memcpy(&value, &word, sizeof value);
      return true;
    }
    case 64: {
      // A double's exponent is three bits wider than a float's, so no shift
      // of its bits makes one: its value is narrowed instead, and one past a
      // float's range saturates rather than leaving it undefined.
      double wide;
      std::memcpy(&wide, &bits, sizeof wide);
      constexpr double kTop = std::numeric_limits<float>::max();
      value = wide > kTop    ? std::numeric_limits<float>::infinity()
              : wide < -kTop ? -std::numeric_limits<float>::infinity()
                             : static_cast<float>(wide);
      return true;
    }
    default:
      return false;
  }
}

bool cPictTIFF::getColor32(const unsigned int* samples, int samplesPerPixel, int photometric,
                           unsigned int& pixel) {
  return compose<unsigned int, unsigned int>(samples, samplesPerPixel, photometric, 255, 8, pixel);
}

bool cPictTIFF::getColor64(const unsigned long long* samples, int samplesPerPixel, int photometric,
                           unsigned long long& pixel) {
  return compose<unsigned long long, unsigned long long>(samples, samplesPerPixel, photometric, 65535, 16,
                                                         pixel);
}

namespace {

// One row of byte samples to pixel words; with `kDiff` the row is
// undifferenced on the way, so predicted strips need no pass of their own.
using tBytePlacer = void (*)(const unsigned char* src, long long cols, unsigned int flip, unsigned int* dst);

template <bool kDiff>
void placeGrey(const unsigned char* src, long long cols, unsigned int flip, unsigned int* dst) {
  unsigned int acc = 0;
  for (long long x = 0; x < cols; ++x) {
    acc = kDiff ? (acc + src[x]) & 0xFF : src[x];
    dst[x] = 0xFF000000U | ((acc ^ flip) * 0x010101U);
  }
}

// Four pixels from three little-endian words at a time.
void placeRgb(const unsigned char* src, long long cols, unsigned int, unsigned int* dst) {
  long long x = 0;
  for (; x + 4 <= cols; x += 4, src += 12) {
    unsigned int a = le32(src), b = le32(src + 4), c = le32(src + 8);
    dst[x] = 0xFF000000U | (a & 0xFF) << 16 | (a & 0xFF00) | (a >> 16 & 0xFF);
    dst[x + 1] = 0xFF000000U | (a >> 24) << 16 | (b & 0xFF) << 8 | (b >> 8 & 0xFF);
    dst[x + 2] = 0xFF000000U | (b >> 16 & 0xFF) << 16 | (b >> 24) << 8 | (c & 0xFF);
    dst[x + 3] = 0xFF000000U | (c >> 8 & 0xFF) << 16 | (c >> 16 & 0xFF) << 8 | c >> 24;
  }
  for (; x < cols; ++x, src += 3)
    dst[x] = 0xFF000000U | static_cast<unsigned int>(src[0]) << 16 | static_cast<unsigned int>(src[1]) << 8 |
             src[2];
}

void placeRgbDiff(const unsigned char* src, long long cols, unsigned int, unsigned int* dst) {
  unsigned int r = 0, g = 0, b = 0;
  for (long long x = 0; x < cols; ++x, src += 3) {
    r = (r + src[0]) & 0xFF;
    g = (g + src[1]) & 0xFF;
    b = (b + src[2]) & 0xFF;
    dst[x] = 0xFF000000U | r << 16 | g << 8 | b;
  }
}

// Red and blue change places in the little-endian word of R, G, B, A bytes;
// the predictor adds the four bytes at once without carries between them.
template <bool kDiff>
void placeRgba(const unsigned char* src, long long cols, unsigned int, unsigned int* dst) {
  unsigned int acc = 0;
  for (long long x = 0; x < cols; ++x, src += 4) {
    unsigned int v = le32(src);
    if (kDiff) acc = v = ((acc & 0x7F7F7F7FU) + (v & 0x7F7F7F7FU)) ^ ((acc ^ v) & 0x80808080U);
    dst[x] = (v & 0xFF00FF00U) | (v & 0xFF) << 16 | (v >> 16 & 0xFF);
  }
}

// A sample through its channel's adjustment table, when the picture holds one.
template <typename T>
unsigned long long curved(const T* const* tables, long long channel, unsigned long long v) {
  return channel < 4 && tables[channel] ? tables[channel][v] : v;
}

// Grey and RGB pixels whose alpha sample is associated are stored
// premultiplied.
bool premultiplied(bool associated, int spp, int photometric) {
  return associated && ((spp == 2 && photometric == 1) || (spp == 4 && photometric == 2));
}

tBytePlacer bytePlacer(int spp, int photometric, bool diff) {
  if (spp == 1 && photometric <= 1) return diff ? placeGrey<true> : placeGrey<false>;
  if (spp == 3 && (photometric == 2 || photometric == 34892)) return diff ? placeRgbDiff : placeRgb;
  if (spp == 4 && photometric == 2) return diff ? placeRgba<true> : placeRgba<false>;
  return nullptr;
}

// A set bit is white: each byte of a bilevel row becomes eight words at once.
struct sBilevelWords {
  unsigned int words[256][8];
  sBilevelWords() {
    for (int v = 0; v < 256; ++v)
      for (int k = 0; k < 8; ++k) words[v][k] = 0xFF000000U | (0U - (v >> (7 - k) & 1));
  }
};

void placeBilevel(const unsigned char* src, long long cols, unsigned int flip, unsigned int* dst) {
  static const sBilevelWords table;
  long long x = 0;
  for (; x + 8 <= cols; x += 8) std::memcpy(dst + x, table.words[src[x >> 3] ^ flip], sizeof table.words[0]);
  if (x < cols)
    std::memcpy(dst + x, table.words[src[x >> 3] ^ flip], static_cast<size_t>(cols - x) * sizeof(unsigned int));
}

}  // namespace

cPictTIFF::sUnit cPictTIFF::unitAt(unsigned int row) const {
  sUnit unit = myUnit;
  unit.y = row;
  return unit;
}

unsigned int* cPictTIFF::rowOf8(const sUnit& unit, long long r) {
  if (myRendering) return myRenderRow8.ptr;
  long long y = unit.y + r;
  return myPix8.ptr + (myBottomUp ? myHeight - 1 - y : y) * myWidth + unit.x;
}

unsigned long long* cPictTIFF::rowOf16(const sUnit& unit, long long r) {
  if (myRendering) return myRenderRow16.ptr;
  long long y = unit.y + r;
  return myPix16.ptr + (myBottomUp ? myHeight - 1 - y : y) * myWidth + unit.x;
}

void cPictTIFF::rowDone(const sUnit& unit, long long r, long long cols) {
  if (!myRendering) return;
  long long y = unit.y + r;
  long long stored = myBottomUp ? myHeight - 1 - y : y;
  if (myIs16)
    for (long long x = 0; x < cols; ++x) setExtPix16(unit.x + x, stored, myRenderRow16.ptr[x]);
  else
    for (long long x = 0; x < cols; ++x) setExtPix(unit.x + x, stored, myRenderRow8.ptr[x]);
}

void cPictTIFF::takeCurves() {
  myCurved = false;
  for (int c = 0; c < 4; ++c) {
    unsigned char** t8 = myCurves8.find(c);
    unsigned short** t16 = myCurves16.find(c);
    myCurve8[c] = t8 ? *t8 : nullptr;
    myCurve16[c] = t16 ? *t16 : nullptr;
    myCurved = myCurved || myCurve8[c] || myCurve16[c];
  }
}

void cPictTIFF::undoPredictor(sDecomress& rec, int samples) {
  if (!myPredicted) return;
  makeHorzUndifferencing(rec.data.ptr, static_cast<long long>(rec.rowBytes) * myUnit.rows,
                         static_cast<int>(myUnit.width), samples, static_cast<int>(rec.bitsPerSample),
                         rec.bigEndian);
  myPredicted = false;
}

unsigned long long* cPictTIFF::sampleRow(long long count) {
  try {
    if (mySampleRow.count < count) mySampleRow.set(count);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return mySampleRow.ptr;
}

template <typename RowOf, typename Value>
bool cPictTIFF::mergePlane(unsigned int row, unsigned int plane, sDecomress& rec, int fieldBits, RowOf rowOf,
                           Value value) {
  const sUnit unit = unitAt(row);
  const long long cols = unitColumns();
  const int shift = fieldBits * (plane < 3 ? 2 - static_cast<int>(plane) : 3);
  undoPredictor(rec, 1);
  unsigned long long* s = sampleRow(unit.width);
  if (!s) return false;
  for (long long r = 0; r < unit.rows; ++r) {
    unpackSamples(rec.data.ptr + r * rec.rowBytes, cols, static_cast<int>(rec.bitsPerSample), rec.bigEndian,
                  s);
    auto* dst = rowOf(unit, r);
    using tWord = std::remove_reference_t<decltype(*dst)>;
    const tWord mask = static_cast<tWord>(((1ULL << fieldBits) - 1) << shift);
    for (long long x = 0; x < cols; ++x) dst[x] = (dst[x] & ~mask) | static_cast<tWord>(value(s[x]) << shift);
  }
  return true;
}

bool cPictTIFF::decodeColors8bpp(unsigned int row, sDecomress& rec) {
  const sUnit unit = unitAt(row);
  const long long cols = unitColumns();
  const int spp = static_cast<int>(rec.samplesPerPixel), bits = static_cast<int>(rec.bitsPerSample);
  const int photometric = static_cast<int>(rec.photometric);
  const bool straighten = premultiplied(associatedAlpha(), spp, photometric);
  tBytePlacer place = nullptr;
  if (!myCurved && !straighten && bits == 8) place = bytePlacer(spp, photometric, myPredicted);
  if (!myCurved && bits == 1 && spp == 1 && photometric <= 1 && !myPredicted) place = placeBilevel;
  if (place) {
    const unsigned int flip = photometric == 0 ? 0xFF : 0;
    for (long long r = 0; r < unit.rows; ++r) {
      place(rec.data.ptr + r * rec.rowBytes, cols, flip, rowOf8(unit, r));
      rowDone(unit, r, cols);
    }
    return true;
  }
  undoPredictor(rec, spp);
  unsigned long long* s = sampleRow(unit.width * spp);
  if (!s) return false;
  unsigned int scaled[5];
  for (long long r = 0; r < unit.rows; ++r) {
    unpackSamples(rec.data.ptr + r * rec.rowBytes, cols * spp, bits, rec.bigEndian, s);
    unsigned int* dst = rowOf8(unit, r);
    for (long long x = 0; x < cols; ++x) {
      for (int c = 0; c < spp; ++c)
        scaled[c] = static_cast<unsigned int>(curved(myCurve8, c, scaleTo8(s[x * spp + c], bits)));
      if (!getColor32(scaled, spp, photometric, dst[x])) return false;
      if (straighten) dst[x] = straightened(dst[x], 8);
    }
    rowDone(unit, r, cols);
  }
  return true;
}

bool cPictTIFF::decodeColors16bpp(unsigned int row, sDecomress& rec) {
  const sUnit unit = unitAt(row);
  const long long cols = unitColumns();
  const int spp = static_cast<int>(rec.samplesPerPixel), bits = static_cast<int>(rec.bitsPerSample);
  const bool isFloat = rec.sampleFormat == 3;
  const int photometric = static_cast<int>(rec.photometric);
  const bool straighten = premultiplied(associatedAlpha(), spp, photometric);
  undoPredictor(rec, spp);
  unsigned long long* s = sampleRow(unit.width * spp);
  if (!s) return false;
  for (long long r = 0; r < unit.rows; ++r) {
    unpackSamples(rec.data.ptr + r * rec.rowBytes, cols * spp, bits, rec.bigEndian, s);
    for (long long i = 0; i < cols * spp; ++i) s[i] = scaleTo16(s[i], bits, isFloat);
    if (myCurved)
      for (long long i = 0; i < cols * spp; ++i) s[i] = curved(myCurve16, i % spp, s[i]);
    unsigned long long* dst = rowOf16(unit, r);
    for (long long x = 0; x < cols; ++x) {
      if (!getColor64(s + x * spp, spp, photometric, dst[x])) return false;
      if (straighten) dst[x] = straightened(dst[x], 16);
    }
    rowDone(unit, r, cols);
  }
  return true;
}

// Planes land in the channel a pixel word keeps them in: red, green, blue,
// alpha; a plane past the alpha has no place.
bool cPictTIFF::decodeColorsMargePlane8bpp(unsigned int row, unsigned int plane, sDecomress& rec) {
  const int bits = static_cast<int>(rec.bitsPerSample);
  return plane > 3 || mergePlane(
                          row, plane, rec, 8, [&](const sUnit& unit, long long r) { return rowOf8(unit, r); },
                          [&](unsigned long long v) { return curved(myCurve8, plane, scaleTo8(v, bits)); });
}

bool cPictTIFF::decodeColorsMargePlane16bpp(unsigned int row, unsigned int plane, sDecomress& rec) {
  const int bits = static_cast<int>(rec.bitsPerSample);
  const bool isFloat = rec.sampleFormat == 3;
  return plane > 3 ||
         mergePlane(
             row, plane, rec, 16, [&](const sUnit& unit, long long r) { return rowOf16(unit, r); },
             [&](unsigned long long v) { return curved(myCurve16, plane, scaleTo16(v, bits, isFloat)); });
}

bool cPictTIFF::decodeColorsPalette(unsigned int row, sDecomress& rec) {
  const sUnit unit = unitAt(row);
  long long colours = myColorMap.count / 3;
  if (colours < 1) return false;
  const long long cols = unitColumns();
  undoPredictor(rec, 1);
  unsigned long long* index = sampleRow(unit.width);
  if (!index) return false;
  const unsigned short* map = myColorMap.ptr;
  for (long long r = 0; r < unit.rows; ++r) {
    unsigned int* dst = rowOf8(unit, r);
    unpackSamples(rec.data.ptr + r * rec.rowBytes, cols, static_cast<int>(rec.bitsPerSample), rec.bigEndian,
                  index);
    for (long long x = 0; x < cols; ++x) {
      unsigned long long i = index[x];
      if (i >= static_cast<unsigned long long>(colours)) return false;
      dst[x] = 0xFF000000U | static_cast<unsigned int>(map[i] >> 8) << 16 |
               static_cast<unsigned int>(map[colours + i] >> 8) << 8 | map[2 * colours + i] >> 8;
    }
    rowDone(unit, r, cols);
  }
  return true;
}

void cPictTIFF::finalizeColorTransform() {
  int spp = static_cast<int>(mySamplesPerPixel);
  const bool straighten = premultiplied(associatedAlpha(), spp, myPhotometric);
  long long count = myWidth * myHeight;
  if (myIs16) {
    unsigned long long s[5] = {0, 0, 0, 0, 65535};
    for (long long i = 0; i < count; ++i) {
      unsigned long long p = myPix16.ptr[i];
      for (int c = 0; c < 4; ++c) s[c] = p >> (16 * (2 - c + (c == 3 ? 4 : 0))) & 0xFFFF;
      getColor64(s, spp, myPhotometric, myPix16.ptr[i]);
      if (straighten) myPix16.ptr[i] = straightened(myPix16.ptr[i], 16);
    }
    return;
  }
  unsigned int s[5] = {0, 0, 0, 0, 255};
  for (long long i = 0; i < count; ++i) {
    unsigned int p = myPix8.ptr[i];
    for (int c = 0; c < 4; ++c) s[c] = p >> (8 * (2 - c + (c == 3 ? 4 : 0))) & 0xFF;
    getColor32(s, spp, myPhotometric, myPix8.ptr[i]);
    if (straighten) myPix8.ptr[i] = straightened(myPix8.ptr[i], 8);
  }
}
