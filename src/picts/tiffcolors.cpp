// The colour stage: samples of any depth unpacked from decoded rows, scaled
// to the picture's mode and composed into pixels.
#include <algorithm>
#include <cstring>
#include <new>

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

}  // namespace

bool cPictTIFF::getFloatVal(unsigned long long bits, int width, float& value) {
  unsigned int word;
  switch (width) {
    case 16:
      word = static_cast<unsigned int>((bits << 13) + 0x38000000);
      break;
    case 24:
      word = static_cast<unsigned int>((bits << 7) + 0x20000000);
      break;
    case 32:
      word = static_cast<unsigned int>(bits);
      break;
    case 64:
      word = static_cast<unsigned int>(bits >> 29) + 0x38000000;
      break;
    default:
      return false;
  }
  std::memcpy(&value, &word, sizeof value);
  return true;
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

// The common whole-byte layouts straight from the bytes; false for the rest.
bool placeBytes(const unsigned char* src, long long cols, int spp, int photometric, unsigned int* dst) {
  bool rgb = photometric == 2 || (spp == 3 && photometric == 34892);
  if (spp == 3 && rgb) {
    for (long long x = 0; x < cols; ++x, src += 3)
      dst[x] = 0xFF000000U | static_cast<unsigned int>(src[0]) << 16 |
               static_cast<unsigned int>(src[1]) << 8 | src[2];
    return true;
  }
  if (spp == 4 && photometric == 2) {
    for (long long x = 0; x < cols; ++x, src += 4)
      dst[x] = static_cast<unsigned int>(src[3]) << 24 | static_cast<unsigned int>(src[0]) << 16 |
               static_cast<unsigned int>(src[1]) << 8 | src[2];
    return true;
  }
  if (spp == 1) {
    unsigned int flip = photometric == 0 ? 0xFF : 0;
    for (long long x = 0; x < cols; ++x) dst[x] = 0xFF000000U | ((src[x] ^ flip) * 0x010101U);
    return true;
  }
  return false;
}

}  // namespace

bool cPictTIFF::placeRows(const sUnit& unit) {
  const sDecomress& in = myUnitData;
  long long cols = std::min(unit.width, myWidth - unit.x);
  int spp = static_cast<int>(in.samplesPerPixel);
  int bits = static_cast<int>(in.bitsPerSample);
  if (bits == 1 && spp == 1 && !myIs16 && in.photometric <= 1) {
    unsigned int flip = in.photometric == 0 ? 0xFF : 0;
    for (long long r = 0; r < unit.rows; ++r) {
      long long y = unit.y + r;
      const unsigned char* src = in.data.ptr + r * in.rowBytes;
      unsigned int* dst = myPix8.ptr + (myBottomUp ? myHeight - 1 - y : y) * myWidth + unit.x;
      // A set bit is white: all ones, else opaque black; eight pixels per byte.
      for (long long x = 0; x < cols; x += 8) {
        unsigned int bits8 = src[x >> 3] ^ flip;
        int n = cols - x < 8 ? static_cast<int>(cols - x) : 8;
        for (int k = 0; k < n; ++k) dst[x + k] = 0xFF000000U | (0U - (bits8 >> (7 - k) & 1));
      }
    }
    return true;
  }
  if (bits == 8 && !myIs16 && !myPlanar && (spp != 1 || in.photometric <= 1)) {
    bool placed = true;
    for (long long r = 0; r < unit.rows && placed; ++r) {
      long long y = unit.y + r;
      placed = placeBytes(in.data.ptr + r * in.rowBytes, cols, spp, static_cast<int>(in.photometric),
                          myPix8.ptr + (myBottomUp ? myHeight - 1 - y : y) * myWidth + unit.x);
    }
    if (placed) return true;
  }
  bool isFloat = in.sampleFormat == 3;
  try {
    if (mySampleRow.count < unit.width * spp) mySampleRow.set(unit.width * spp);
  } catch (const std::bad_alloc&) {
    return false;
  }
  unsigned long long* s = mySampleRow.ptr;
  // Planes land in the channel a pixel word keeps them in: red, green, blue, alpha.
  int channel = unit.plane < 3 ? 2 - unit.plane : 3;
  for (long long r = 0; r < unit.rows; ++r) {
    long long y = unit.y + r;
    long long at = (myBottomUp ? myHeight - 1 - y : y) * myWidth + unit.x;
    unpackSamples(in.data.ptr + r * in.rowBytes, cols * spp, bits, in.bigEndian, s);
    if (myIs16) {
      unsigned long long* dst = myPix16.ptr + at;
      for (long long i = 0; i < cols * spp; ++i) s[i] = scaleTo16(s[i], bits, isFloat);
      if (myPlanar) {
        if (unit.plane > 3) continue;
        for (long long x = 0; x < cols; ++x)
          dst[x] = (dst[x] & ~(0xFFFFULL << 16 * channel)) | s[x] << 16 * channel;
        continue;
      }
      for (long long x = 0; x < cols; ++x)
        if (!getColor64(s + x * spp, spp, static_cast<int>(in.photometric), dst[x])) return false;
      continue;
    }
    unsigned int* dst = myPix8.ptr + at;
    unsigned int scaled[5];
    if (myPlanar) {
      if (unit.plane > 3) continue;
      for (long long x = 0; x < cols; ++x)
        dst[x] = (dst[x] & ~(0xFFU << 8 * channel)) | scaleTo8(s[x], bits) << 8 * channel;
      continue;
    }
    for (long long x = 0; x < cols; ++x) {
      for (int c = 0; c < spp; ++c) scaled[c] = scaleTo8(s[x * spp + c], bits);
      if (!getColor32(scaled, spp, static_cast<int>(in.photometric), dst[x])) return false;
    }
  }
  return true;
}

bool cPictTIFF::placePalette(const sUnit& unit) {
  const sDecomress& in = myUnitData;
  long long colours = myColorMap.count / 3;
  if (colours < 1) return false;
  long long cols = std::min(unit.width, myWidth - unit.x);
  try {
    if (mySampleRow.count < unit.width) mySampleRow.set(unit.width);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const unsigned short* map = myColorMap.ptr;
  for (long long r = 0; r < unit.rows; ++r) {
    long long y = unit.y + r;
    unsigned int* dst = myPix8.ptr + (myBottomUp ? myHeight - 1 - y : y) * myWidth + unit.x;
    unpackSamples(in.data.ptr + r * in.rowBytes, cols, static_cast<int>(in.bitsPerSample), in.bigEndian,
                  mySampleRow.ptr);
    for (long long x = 0; x < cols; ++x) {
      unsigned long long i = mySampleRow.ptr[x];
      if (i >= static_cast<unsigned long long>(colours)) return false;
      dst[x] = 0xFF000000U | static_cast<unsigned int>(map[i] >> 8) << 16 |
               static_cast<unsigned int>(map[colours + i] >> 8) << 8 | map[2 * colours + i] >> 8;
    }
  }
  return true;
}

void cPictTIFF::finalizeColorTransform() {
  int spp = static_cast<int>(mySamplesPerPixel);
  long long count = myWidth * myHeight;
  if (myIs16) {
    unsigned long long s[5] = {0, 0, 0, 0, 65535};
    for (long long i = 0; i < count; ++i) {
      unsigned long long p = myPix16.ptr[i];
      for (int c = 0; c < 4; ++c) s[c] = p >> (16 * (2 - c + (c == 3 ? 4 : 0))) & 0xFFFF;
      getColor64(s, spp, myPhotometric, myPix16.ptr[i]);
    }
    return;
  }
  unsigned int s[5] = {0, 0, 0, 0, 255};
  for (long long i = 0; i < count; ++i) {
    unsigned int p = myPix8.ptr[i];
    for (int c = 0; c < 4; ++c) s[c] = p >> (8 * (2 - c + (c == 3 ? 4 : 0))) & 0xFF;
    getColor32(s, spp, myPhotometric, myPix8.ptr[i]);
  }
}
