#include "picts/mos.h"

#include <gtest/gtest.h>

#include "picts/tests/camera_support.h"

namespace {

using rawtest::Bytes;
using rawtest::pktsRecord;
using rawtest::text;

struct CaptureMOS : cPictMOS {
  std::vector<uint16_t> plane;
  std::vector<uint8_t> cfa;
  bool onRawDecoded(cFileIOTarget*) override {
    const uint16_t* p = reinterpret_cast<const uint16_t*>(myRaw.ptr);
    plane.assign(p, p + myRawWidth * myRawHeight);
    cfa.assign(myCFA.ptr, myCFA.ptr + myCFA.count);
    return true;
  }
};

Bytes profile() { return pktsRecord("CamProf_capture_profile", pktsRecord("CamProf_back_type", text("7"))); }

Bytes pattern(int code, const std::string& rotation) {
  Bytes p = text("0 0 0 0 ");
  if (code) p[code == 1 ? 2 : code == 3 ? 4 : 6] = '1';
  Bytes r = pktsRecord("CaptProf_raw_data_rotation", text(rotation));
  Bytes m = pktsRecord("CaptProf_mosaic_pattern", p);
  r.insert(r.end(), m.begin(), m.end());
  return r;
}

rawtest::MosSpec spec(int compression, bool interlaced, Bytes extra = {}) {
  rawtest::MosSpec s;
  s.width = 24;
  s.height = 22;
  s.samples = rawtest::mosaic(24, 22, false, unsigned(compression));
  s.compression = compression;
  s.interlaced = interlaced;
  s.leaf = profile();
  Bytes more = pattern(0, "0");
  if (interlaced) {
    Bytes rows = pktsRecord("Rows_data", {1, 0, 0, 0});
    more.insert(more.end(), rows.begin(), rows.end());
  }
  more.insert(more.end(), extra.begin(), extra.end());
  s.leaf.insert(s.leaf.end(), more.begin(), more.end());
  return s;
}

bool decodes(const Bytes& file) {
  pngtest::MemStream m(file);
  cPictMOS mos;
  return mos.decode(&m.io);
}

// Raw strips, lossless JPEG under both codes, interlaced rows, a stored
// ZIP around the TIFF, planar configuration 2 on the one-sample mosaic:
// all give back the source plane.
TEST(MosRaw, PlanesComeBackThroughEveryLayout) {
  struct Case {
    const char* name;
    int compression;
    bool interlaced, relative, zip;
    uint16_t planar;
  };
  for (const Case& c :
       {Case{"uncompressed", 1, false, false, false, 0}, Case{"lossless", 7, false, false, false, 0},
        Case{"lossless 99, interlaced", 99, true, false, false, 0},
        Case{"relative selector, zipped", 7, false, true, true, 0},
        Case{"planar configuration 2", 1, false, false, false, 2},
        Case{"planar configuration 2, lossless", 7, false, false, false, 2}}) {
    SCOPED_TRACE(c.name);
    rawtest::MosSpec s = spec(c.compression, c.interlaced);
    s.relative = c.relative;
    s.planar = c.planar;
    Bytes file = rawtest::writeMos(s);
    if (c.zip) file = rawtest::zipMember("0.MOS", file, 0);
    pngtest::MemStream m(file);
    cPictBase::sPictInfo info;
    cPtr<cPictBase> probed(cPictBase::mkPicture(&m.io, &info));
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->typeOf(), kPictMOS);
    CaptureMOS mos;
    ASSERT_TRUE(mos.decode(&m.io));
    EXPECT_TRUE(mos.plane == s.samples);
    if (c.compression == 1) {  // dcraw's own reading of lossless Leaf data differs from the stream's
      EXPECT_TRUE(cameratest::dcrawPlane(file, "leaf.mos").v == s.samples);
    }
    cPictMOS full;
    ASSERT_TRUE(full.decode(&m.io));
    EXPECT_EQ(full.width(), 24);
    EXPECT_TRUE(full.is16Bpp());
  }
}

// The mosaic turns with the raw rotation: each quarter turn one step.
TEST(MosRaw, PatternFollowsCodeAndRotation) {
  struct Case {
    int code;
    const char* rotation;
    std::vector<uint8_t> cfa;
  };
  for (const Case& c :
       {Case{0, "0", {0, 1, 1, 2}}, Case{1, "0", {1, 0, 2, 1}}, Case{0, "90", {1, 0, 2, 1}},
        Case{1, "270", {0, 1, 1, 2}}, Case{3, "-90", {2, 1, 1, 0}}, Case{2, "45", {2, 1, 1, 0}}}) {
    SCOPED_TRACE(std::to_string(c.code) + " " + c.rotation);
    rawtest::MosSpec s = spec(1, false);
    s.leaf = profile();
    Bytes p = pattern(c.code, c.rotation);
    s.leaf.insert(s.leaf.end(), p.begin(), p.end());
    pngtest::MemStream m(rawtest::writeMos(s));
    CaptureMOS mos;
    ASSERT_TRUE(mos.decode(&m.io));
    EXPECT_EQ(mos.cfa, c.cfa);
  }
}

// The JPEG preview record, scaled into the bounds asked.
TEST(MosRaw, PreviewComesFromItsRecord) {
  Bytes jpeg = jpegtest::tool("cjpeg", {}, jpegtest::ppm(40, 20, 3, jpegtest::picture(40, 20, 3, 1)));
  pngtest::MemStream m(rawtest::writeMos(spec(1, false, pktsRecord("JPEG_preview_data", jpeg))));
  cPictBase::sPictInfo info;
  ASSERT_TRUE(cPictMOS::validFor(&m.io, &info));
  EXPECT_TRUE(info.hasPreview);
  cPictMOS mos;
  cPictDummy preview;
  const long long maxW = 20;
  ASSERT_TRUE(mos.getPreview(&m.io, preview, &maxW, nullptr));
  EXPECT_EQ(preview.width(), 20);
  EXPECT_EQ(preview.height(), 10);
}

// A preview record of a few hundred bytes whose frame header claims 6000 by
// 6000 pixels is refused before its picture is made (unguarded, the picture
// was built and the cut scan only then failed).
TEST(MosRaw, PreviewClaimingMorePixelsThanItsBytesIsRefused) {
  Bytes jpeg = jpegtest::tool("cjpeg", {}, jpegtest::ppm(40, 20, 3, jpegtest::picture(40, 20, 3, 1)));
  size_t sof = 2;
  while (sof + 9 < jpeg.size() && !(jpeg[sof] == 0xFF && jpeg[sof + 1] == 0xC0)) ++sof;
  ASSERT_LT(sof + 9, jpeg.size());
  for (size_t at : {sof + 5, sof + 7}) {
    jpeg[at] = 6000 >> 8;
    jpeg[at + 1] = 6000 & 0xFF;
  }
  pngtest::MemStream m(rawtest::writeMos(spec(1, false, pktsRecord("JPEG_preview_data", jpeg))));
  struct PeekMOS : cPictMOS {
    bool previewBuilt() { return myPreview.raw8Bpp() || myPreview.raw16Bpp(); }
  } mos;
  cPictDummy preview;
  EXPECT_FALSE(mos.getPreview(&m.io, preview, nullptr, nullptr));
  EXPECT_FALSE(mos.previewBuilt());
}

// Forged records and wrappers answer false and never crash.
TEST(MosRaw, HostileFilesAreRefused) {
  rawtest::MosSpec plain = spec(1, false);
  plain.leaf = pattern(0, "0");
  EXPECT_FALSE(decodes(rawtest::writeMos(plain))) << "no capture profile";
  EXPECT_FALSE(decodes(rawtest::zipMember("0.MOS", rawtest::writeMos(spec(7, false)), 8)))
      << "deflated member";
  rawtest::MosSpec shortPattern = spec(1, false, pktsRecord("CaptProf_mosaic_pattern", text("0 1 0 0")));
  EXPECT_FALSE(decodes(rawtest::writeMos(shortPattern)));
  rawtest::MosSpec oversized = spec(1, false, pktsRecord("Rows_data", {1, 0, 0, 0}));
  oversized.leaf[oversized.leaf.size() - 4 - 4] = 200;  // the last record's size passes the block
  EXPECT_FALSE(decodes(rawtest::writeMos(oversized)));
  Bytes deep = pktsRecord("CamProf_back_type", text("1"));
  for (int i = 0; i < 1000; ++i) deep = pktsRecord("camera_profile", deep);
  EXPECT_FALSE(decodes(rawtest::writeMos(spec(1, false, deep)))) << "1000 nested profiles";
  Bytes file = rawtest::writeMos(spec(7, true));
  for (size_t n = 0; n + 1 < file.size(); n += 7)
    EXPECT_FALSE(decodes(Bytes(file.begin(), file.begin() + long(n))));
}

}  // namespace
