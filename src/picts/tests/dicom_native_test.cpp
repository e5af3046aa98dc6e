// Native pixel data, grey and RGB, 8 and 16 bits, through files that dcmtk
// writes from samples the tests make: the file format with a preamble and
// the bare implicit data set, each against the samples' own mapping.
#include <gtest/gtest.h>

#include <memory>

#include "dicom_support.h"
#include "picts/pictdicom.h"
#include "picts/pictdicoml.h"

using namespace dicomtest;

namespace {

const Layout kLayouts[] = {
    {"grey8", 17, 17, 8, 8, 1, 0, 0, 1},       {"grey8stored6", 16, 9, 8, 6, 1, 0, 0, 1},
    {"grey16stored12", 13, 7, 16, 12, 1, 0, 0, 1}, {"grey16", 8, 8, 16, 16, 1, 0, 0, 1},
    {"grey16stored6", 5, 3, 16, 6, 1, 0, 0, 1},  {"signed12", 9, 9, 16, 12, 1, 0, 1, 1},
    {"signed8", 7, 5, 8, 8, 1, 0, 1, 1},         {"rgb8", 17, 17, 8, 8, 3, 0, 0, 1},
    {"rgb8planar", 11, 6, 8, 8, 3, 1, 0, 1},     {"rgb8planar5", 6, 6, 8, 5, 3, 1, 0, 1},
    {"rgb16stored12", 7, 7, 16, 12, 3, 0, 0, 1}, {"rgb16planar", 4, 9, 16, 16, 3, 1, 0, 1},
    {"grey8mono1", 11, 7, 8, 8, 1, 0, 0, 1, true}, {"signed12mono1", 9, 5, 16, 12, 1, 0, 1, 1, true},
};

template <typename Decoder>
void expectDecodes(const std::string& file, const Layout& l, const Bytes& samples, int type) {
  ASSERT_FALSE(file.empty()) << l.name;
  rastertest::Stream s(readFile(file));
  std::unique_ptr<cPictBase> made(cPictBase::mkPicture(&s.io, nullptr));
  ASSERT_TRUE(made) << l.name;
  EXPECT_EQ(made->typeOf(), type) << l.name;
  Decoder pict;
  s.io.set_fp(0);
  ASSERT_TRUE(pict.decode(&s.io)) << l.name;
  EXPECT_EQ(pict.width(), l.w);
  EXPECT_EQ(pict.height(), l.h);
  EXPECT_EQ(pict.is16Bpp(), l.bitsAllocated == 16) << l.name;
  EXPECT_TRUE(decodedPixels(pict) == expectedPixels(l, samples, 0)) << l.name;
}

TEST(DicomNative, ExplicitFilesAndBareDataSetsMapTheirSamples) {
  uint32_t seed = 1;
  for (const Layout& l : kLayouts) {
    Bytes samples = samplesFor(l, seed++);
    std::string file = makeFile(l, samples, l.name);
    expectDecodes<cPictDICOM>(file, l, samples, kPictDICOM);
    std::string bare = path(std::string(l.name) + ".bare");
    ASSERT_TRUE(run("dcmconv -q -F +ti " + file + " " + bare)) << l.name;
    expectDecodes<cPictDICOMLegacy>(bare, l, samples, kPictDICOMLegacy);
  }
}

// One frame followed by padding to an even length of more than one byte,
// as some writers leave native pixel data: the frame decodes.
TEST(DicomNative, FrameFollowedByPaddingDecodes) {
  for (unsigned padding : {2u, 128u}) {
    Layout l{"padded", 64, 128, 8, 8, 1, 0, 0, 1};
    Bytes samples = samplesFor(l, 60 + padding), padded = samples;
    padded.insert(padded.end(), padding, 0);
    std::string file = makeFile(l, padded, l.name);
    cPictDICOM pict;
    rastertest::Stream s(readFile(file));
    ASSERT_TRUE(pict.decode(&s.io)) << padding;
    EXPECT_EQ(pict.getNumPages(&s.io), 1) << padding;
    EXPECT_TRUE(decodedPixels(pict) == expectedPixels(l, samples, 0)) << padding;
  }
}

// Pictures that img2dcm takes from BMP files: what a user scans in.
TEST(DicomNative, BitmapsConvertedByImg2dcm) {
  for (unsigned samples : {1u, 3u}) {
    Layout l{samples == 1 ? "bmpgrey" : "bmprgb", 17, 17, 8, 8, samples, 0, 0, 1};
    Bytes px = samplesFor(l, 40 + samples);
    std::string head = std::string(samples == 1 ? "P5" : "P6") + "\n17 17\n255\n";
    Bytes pnm(head.begin(), head.end());
    pnm.insert(pnm.end(), px.begin(), px.end());
    writeFile(path(std::string(l.name) + ".pnm"), pnm);
    std::string bmp = path(std::string(l.name) + ".bmp"), dcm = path(std::string(l.name) + ".dcm");
    ASSERT_TRUE(run("ppmtobmp " + path(std::string(l.name) + ".pnm") + " > " + bmp));
    ASSERT_TRUE(run("img2dcm -q -i BMP " + bmp + " " + dcm));
    expectDecodes<cPictDICOM>(dcm, l, px, kPictDICOM);
  }
}

}  // namespace
