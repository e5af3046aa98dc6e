#include "picts/raw_ljpeg.h"

#include <gtest/gtest.h>

#include "picts/tests/jpeg_support.h"
#include "picts/tests/raw_support.h"

namespace {

using jpegtest::Lossless;
using jpegtest::MemStream;

struct Decoded {
  bool ok = false;
  std::vector<uint16_t> raw;
  cRAWLosslessJpeg::eRawType type = cRAWLosslessJpeg::kRawSimple;
  int precision = 0;
};

// `slices` < 0 decodes unsliced with the given scan type.
Decoded decode(const Lossless& im, unsigned w, unsigned h, int slices, unsigned width, unsigned last,
               cRAWLosslessJpeg::eScanType scan = cRAWLosslessJpeg::kScanPlain) {
  cRAWLosslessJpeg d;
  if (slices < 0)
    d.init(w, h, scan);
  else
    d.init(w, h, static_cast<unsigned>(slices), width, last);
  MemStream s(jpegtest::writeLossless(im));
  Decoded r;
  r.ok = d.decode(&s.io);
  d.getInfo(r.type, r.precision);
  _typebuf<unsigned char> buf;
  if (d.getData(buf)) {
    const uint16_t* p = reinterpret_cast<const uint16_t*>(buf.ptr);
    r.raw.assign(p, p + buf.count / 2);
  }
  EXPECT_EQ(d.getBitmap(), nullptr);
  return r;
}

// Stream lines of any width and component count, interlaced rows and
// slices all land on the plane they were made from.
TEST(RawLosslessJpeg, PlanesComeBackThroughEveryLayout) {
  struct Case {
    const char* name;
    unsigned comps, precision, jpegWidth, rawW, rawH;
    int slices;
    unsigned sliceW, lastW;
    cRAWLosslessJpeg::eScanType scan;
  };
  const Case cases[] = {
      {"one component, 16 bits", 1, 16, 32, 32, 8, -1, 0, 0, cRAWLosslessJpeg::kScanPlain},
      {"two components, half-width lines", 2, 12, 16, 32, 8, -1, 0, 0, cRAWLosslessJpeg::kScanPlain},
      {"four components, a line spans two rows", 4, 14, 8, 16, 8, -1, 0, 0, cRAWLosslessJpeg::kScanPlain},
      {"interlaced rows", 1, 10, 7, 7, 4, -1, 0, 0, cRAWLosslessJpeg::kScanInterlaced},
      {"slices with a wider last one", 2, 14, 9, 36, 10, 3, 8, 12, cRAWLosslessJpeg::kScanPlain},
      {"slices of one width", 1, 16, 12, 24, 5, 2, 8, 0, cRAWLosslessJpeg::kScanPlain},
      {"large slice example", 1, 16, 1400, 4200, 10, 3, 1000, 1200, cRAWLosslessJpeg::kScanPlain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint16_t> plane = rawtest::mosaic(int(c.rawW), int(c.rawH), false, c.rawW);
    for (size_t i = 0; i < plane.size(); ++i) plane[i] = uint16_t(plane[i] >> (16 - c.precision));
    std::vector<uint16_t> stream = plane;
    if (c.slices > 0)
      stream = rawtest::sliced(plane, int(c.rawW), int(c.rawH), c.slices, int(c.sliceW),
                               int(c.lastW ? c.lastW : c.sliceW));
    if (c.scan == cRAWLosslessJpeg::kScanInterlaced) {
      for (unsigned y = 0; y < c.rawH; ++y) {  // line y holds row 0, H-1, 1, H-2, ...
        unsigned row = y % 2 ? c.rawH - 1 - y / 2 : y / 2;
        std::copy_n(plane.begin() + row * c.rawW, c.rawW, stream.begin() + y * c.rawW);
      }
    }
    Lossless im;
    im.comps = c.comps;
    im.precision = c.precision;
    im.width = c.jpegWidth;
    im.height = unsigned(stream.size()) / (c.jpegWidth * c.comps);
    im.samples = stream;
    Decoded r = decode(im, c.rawW, c.rawH, c.slices, c.sliceW, c.lastW, c.scan);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.type, cRAWLosslessJpeg::kRawSimple);
    EXPECT_EQ(r.precision, int(c.precision));
    EXPECT_TRUE(r.raw == plane);
    if (c.rawW == 4200) {
      EXPECT_EQ(r.raw[3000], stream[30000]);  // sample 30000: row 0, column 3000
    }
  }
}

// The probe reads a lossless frame's size and nothing more; other JPEG
// frames are no sensor data.
TEST(RawLosslessJpeg, ProbeAnswersLosslessFramesOnly) {
  Lossless im;
  im.width = 6;
  im.height = 4;
  im.samples.assign(24, 100);
  MemStream lossless(jpegtest::writeLossless(im));
  cRAWLosslessJpeg probe;
  cPictBase::sPictInfo info{};
  ASSERT_TRUE(probe.isPicture(&lossless.io, &info));
  EXPECT_EQ(info.width, 6);
  EXPECT_EQ(info.height, 4);
  MemStream empty(tifftest::Bytes{0xFF, 0xD8, 0xFF, 0xD9});
  EXPECT_FALSE(probe.isPicture(&empty.io, nullptr));
}

// Reduced-size YCbCr: luma per pixel, chroma shared by each 2x1 or 2x2
// block and stored around zero, through slices counted in stream samples.
TEST(RawLosslessJpeg, ReducedSizePicturesComeBackWithSharedChroma) {
  struct Case {
    unsigned v, w, h, sliceW, lastW;
    cRAWLosslessJpeg::eRawType type;
  };
  for (const Case& c : {Case{1, 12, 6, 16, 8, cRAWLosslessJpeg::kRawSraw2x1},
                        Case{2, 12, 6, 18, 18, cRAWLosslessJpeg::kRawSraw2x2},
                        Case{2, 10, 7, 12, 18, cRAWLosslessJpeg::kRawSraw2x2}}) {
    SCOPED_TRACE(c.v * 100 + c.h);
    int w = int(c.w), h = int(c.h), v = int(c.v), divisor = c.v == 1 ? 2 : 3;
    std::vector<uint16_t> luma = rawtest::mosaic(w, h, false, c.sliceW), cb(luma.size()), cr(luma.size());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        size_t i = size_t(y * w + x), block = size_t((y / v) * w + x / 2);
        luma[i] >>= 1;
        cb[i] = uint16_t(16384 + block * 37 % 9000 - 4500);
        cr[i] = uint16_t(16384 - block * 91 % 7000 + 3500);
      }
    int sw = int(c.sliceW) / divisor, lw = int(c.lastW) / divisor;
    Lossless im;
    im.comps = 3;
    im.precision = 15;
    im.sampling = static_cast<unsigned char>(0x20 | c.v);
    im.samples = rawtest::srawSamples(luma, cb, cr, w, h, v, 1, sw, lw);
    im.width = unsigned(sw + lw) / 2;
    im.height = unsigned(im.samples.size()) / (im.width * (2 * c.v + 2));
    Decoded r = decode(im, c.w, c.h, 1, c.sliceW, c.lastW);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.type, c.type);
    EXPECT_EQ(r.precision, 15);
    ASSERT_EQ(r.raw.size(), luma.size() * 3);
    int wrong = 0;
    for (size_t i = 0; i < luma.size(); ++i)
      wrong += r.raw[3 * i] != luma[i] || r.raw[3 * i + 1] != uint16_t(cb[i] - 16384) ||
               r.raw[3 * i + 2] != uint16_t(cr[i] - 16384);
    EXPECT_EQ(wrong, 0);
  }
}

// Geometry the stream or the caller gets wrong is refused before any
// sample is placed: nothing divides by zero or writes past the raw.
TEST(RawLosslessJpeg, ImpossibleGeometryIsRefused) {
  struct Case {
    const char* name;
    unsigned comps, precision;
    unsigned char sampling;
    unsigned w, h;
    int slices;
    unsigned sliceW, lastW;
  };
  const Case cases[] = {
      {"three components in a simple scan", 3, 12, 0x11, 8, 4, -1, 0, 0},
      {"four components in a reduced-size scan", 4, 15, 0x21, 8, 4, 1, 8, 8},
      {"reduced-size scan without slices", 3, 15, 0x21, 8, 4, -1, 0, 0},
      {"reduced-size luma not twice as wide", 3, 15, 0x12, 8, 4, 1, 8, 8},
      {"raw width 0", 1, 12, 0x11, 0, 4, -1, 0, 0},
      {"raw height 0", 1, 12, 0x11, 8, 0, -1, 0, 0},
      {"slice width 0", 1, 12, 0x11, 8, 4, 2, 0, 4},
      {"slice width 0 once halved", 3, 15, 0x21, 8, 4, 1, 1, 8},
      {"slice width 0 once divided by 3", 3, 15, 0x22, 8, 4, 1, 2, 12},
      {"slices wider than the raw", 1, 12, 0x11, 8, 4, 2, 4, 4},
      {"raw over the pixel limit", 1, 12, 0x11, 65535, 65535, -1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Lossless im;
    im.comps = c.comps;
    im.precision = c.precision;
    im.sampling = c.sampling;
    im.width = 4;
    im.height = 4;
    Decoded r = decode(im, c.w, c.h, c.slices, c.sliceW, c.lastW);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.raw.empty());
  }
  // A DCT frame is no sensor data: refused before the parser sizes anything.
  cRAWLosslessJpeg d;
  d.init(8, 8, cRAWLosslessJpeg::kScanPlain);
  MemStream s(
      jpegtest::tool("cjpeg", {"-progressive"}, jpegtest::ppm(8, 8, 1, jpegtest::picture(8, 8, 1, 1))));
  EXPECT_FALSE(d.decode(&s.io));
}

}  // namespace
