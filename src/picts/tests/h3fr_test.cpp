#include "picts/h3fr.h"

#include <gtest/gtest.h>

#include "picts/tests/camera_support.h"

namespace {

using rawtest::DngSpec;
using tifftest::Bytes;

struct Capture3FR : cPict3FR {
  std::vector<uint16_t> plane;
  bool onRawDecoded(cFileIOTarget*) override {
    const uint16_t* p = reinterpret_cast<const uint16_t*>(myRaw.ptr);
    plane.assign(p, p + myRawWidth * myRawHeight);
    return true;
  }
};

DngSpec spec3FR(int w, int h, unsigned seed) {
  DngSpec s;
  s.width = w;
  s.height = h;
  s.h3fr = true;
  s.layout = DngSpec::kLJpegStrips;
  s.samples = rawtest::mosaic(w, h, false, seed);
  return s;
}

// The two running predictors bring back every sample, differences of
// 65535 (-32768 after wrapping) included, in strips of four rows.
TEST(Raw3FR, StripsComeBackAndOnlyHasselbladFilesAreTaken) {
  DngSpec s = spec3FR(23, 10, 5);
  for (size_t i = 0; i + 1 < s.samples.size(); i += 7) {  // steps of exactly 32768 both ways
    s.samples[i] = 0;
    s.samples[i + 1] = 32768;
  }
  pngtest::MemStream m(rawtest::writeDng(s));
  cPictBase::sPictInfo info;
  cPtr<cPictBase> probed(cPictBase::mkPicture(&m.io, &info));
  ASSERT_TRUE(probed);
  EXPECT_EQ(probed->typeOf(), kPict3FR);
  Capture3FR raw;
  ASSERT_TRUE(raw.decode(&m.io));
  EXPECT_TRUE(raw.plane == s.samples);
  cPict3FR full;
  ASSERT_TRUE(full.decode(&m.io));
  EXPECT_EQ(full.width(), 23);
  // A genuine DNG naming a Hasselblad stays a DNG; another make is no 3FR.
  DngSpec dng = s;
  dng.h3frVersion = true;
  pngtest::MemStream d(rawtest::writeDng(dng));
  EXPECT_FALSE(cPict3FR::validFor(&d.io, nullptr));
  DngSpec other = spec3FR(8, 6, 1);
  other.h3fr = false;
  pngtest::MemStream o(rawtest::writeDng(other));
  EXPECT_FALSE(cPict3FR::validFor(&o.io, nullptr));
  EXPECT_TRUE(cPictDNG::validFor(&o.io, nullptr));
}

// Strips as the cameras write them, the form dcraw reads: one byte after
// the frame header (any byte, 0xFF too), little-endian 32-bit words, and
// frame values the JPEG parser would refuse. The plane equals dcraw's.
TEST(Raw3FR, CameraFormMatchesDcraw) {
  struct Case {
    const char* name;
    rawtest::H3frForm form;
  };
  int n = 0;
  for (const Case& c : {Case{"zero after the frame", {0, false}}, Case{"0xFF after the frame", {0xFF, false}},
                        Case{"frame values the JPEG parser refuses", {0x5A, true}}}) {
    SCOPED_TRACE(c.name);
    DngSpec s = spec3FR(38, 24, unsigned(++n));  // dcraw takes no side under 22
    s.stripRows = 24;                            // and reads the first strip only
    s.h3frForm = c.form;
    Bytes file = rawtest::writeDng(s);
    rawtest::Pnm ref = cameratest::dcrawPlane(file, "camera" + std::to_string(n) + ".3fr");
    ASSERT_EQ(ref.v.size(), s.samples.size());
    EXPECT_TRUE(ref.v == s.samples);
    pngtest::MemStream m(file);
    Capture3FR raw;
    ASSERT_TRUE(raw.decode(&m.io));
    EXPECT_TRUE(raw.plane == s.samples);
  }
}

// Predictor 11 adds half the step the row two above took, on the values
// before they are cut to 16 bits, as dcraw reads it; any other predictor
// the scan names is read as the first, as dcraw reads it too.
TEST(Raw3FR, PredictorsAsDcrawReadsThem) {
  for (int predictor : {1, 11, 0, 2, 7}) {
    SCOPED_TRACE(predictor);
    DngSpec s = spec3FR(64, 48, unsigned(predictor));
    s.stripRows = 48;
    s.h3frForm = {0, false, predictor};
    Bytes file = rawtest::writeDng(s);
    pngtest::MemStream m(file);
    Capture3FR raw;
    ASSERT_TRUE(raw.decode(&m.io));
    EXPECT_TRUE(raw.plane == s.samples);
    rawtest::Pnm ref = cameratest::dcrawPlane(file, "predictor" + std::to_string(predictor) + ".3fr");
    EXPECT_TRUE(ref.v == s.samples);
  }
}

// A stream may end early in its last row only.
TEST(Raw3FR, OnlyTheLastRowMayBeShort) {
  std::vector<uint16_t> plane = rawtest::mosaic(16, 4, true, 2);
  Bytes stream = rawtest::write3FRStream(plane, 16, 4, 16, true);
  for (unsigned height : {4u, 5u}) {
    cPict3FR_LJPEG jpeg;
    jpeg.init(16, height, cRAWLosslessJpeg::kScanPlain);
    pngtest::MemStream m(stream);
    jpeg.decode(&m.io);
    EXPECT_EQ(jpeg.scanDone(), height == 4);
    if (height == 4) {
      const uint16_t* got = jpeg.getBitmap();
      EXPECT_TRUE(std::equal(plane.begin(), plane.begin() + 16 * 3 + 8, got));
    }
  }
}

}  // namespace
