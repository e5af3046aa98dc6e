// Every kind of file the reference encoder writes decodes to exactly what
// libjpeg decodes it to.
#include <gtest/gtest.h>

#include "jpeg_support.h"
#include "picts/jpgkernels.h"

namespace {

using namespace jpegtest;

std::string decodeAndCompare(const Bytes& file, bool ycckMode = true) {
  if (file.empty()) return "no file";
  Reference ref;
  if (!referenceDecode(file, ref, !ycckMode)) return "reference failed";
  MemStream s(file);
  cPictJPEG jpeg;
  jpeg.setYCCKMode(ycckMode);
  if (!jpeg.decode(&s.io)) return "decode failed";
  return compare(jpeg, ref);
}

const unsigned kSizes[][2] = {{1, 1}, {17, 17}, {333, 251}, {1023, 769}};

const std::vector<std::vector<std::string>> kEncodings = {
    {"-quality", "5"},
    {"-quality", "75"},
    {"-quality", "100"},
    {"-quality", "5", "-optimize"},
    {"-quality", "75", "-optimize"},
    {"-quality", "100", "-optimize"},
    {"-progressive"},
    {"-restart", "1"},
    {"-restart", "5B"},
    {"-restart", "1", "-progressive"},
    {"-restart", "5B", "-progressive"},
    {"-sample", "1x1"},
    {"-sample", "2x1"},
    {"-sample", "2x2"},
    {"-sample", "4x1"},
    {"-sample", "1x2"},
    {"-sample", "2x2", "-progressive"},
    {"-grayscale"},
    {"-grayscale", "-sample", "2x2"},
    {"-grayscale", "-progressive", "-restart", "5B"},
    {"-rgb"},
};

std::string joined(const std::vector<std::string>& args) {
  std::string s;
  for (const auto& a : args) s += a + " ";
  return s;
}

TEST(JpegDecode, EveryReferenceEncodingAtEverySizeMatchesLibjpeg) {
  uint32_t seed = 1;
  for (const auto& size : kSizes) {
    Bytes source = ppm(size[0], size[1], 3, picture(size[0], size[1], 3, seed++));
    for (const auto& args : kEncodings)
      EXPECT_EQ(decodeAndCompare(tool("cjpeg", args, source)), "")
          << size[0] << "x" << size[1] << " " << joined(args);
  }
}

// Processors without AVX2 take the plain build of the inner loops.
TEST(JpegDecode, PlainKernelsMatchLibjpegToo) {
  jpgUseWideKernels(false);
  uint32_t seed = 77;
  for (const auto& size : kSizes) {
    Bytes source = ppm(size[0], size[1], 3, picture(size[0], size[1], 3, seed++));
    for (const char* sampling : {"1x1", "2x2", "4x1"})
      EXPECT_EQ(decodeAndCompare(tool("cjpeg", {"-quality", "95", "-sample", sampling}, source)), "")
          << size[0] << "x" << size[1] << " " << sampling;
  }
  jpgUseWideKernels(true);
}

// Transcodes reorder scans without changing coefficients; the scan script
// opens with one DC scan per component, which lays the store out before
// the frame's other components have been seen in a scan.
TEST(JpegDecode, TranscodedScanLayoutsMatchLibjpeg) {
  std::string script = scratchDir() + "/scans.txt";
  std::string sequential = scratchDir() + "/sequential.txt";
  {
    std::ofstream(script) << "0: 0 0 0 1;\n1: 0 0 0 1;\n2: 0 0 0 1;\n0: 1 5 0 2;\n0: 6 63 0 2;\n"
                             "1: 1 63 0 1;\n2: 1 63 0 1;\n0: 1 63 2 1;\n0: 1 63 1 0;\n1: 1 63 1 0;\n"
                             "2: 1 63 1 0;\n0: 0 0 1 0;\n1,2: 0 0 1 0;\n";
    std::ofstream(sequential) << "0: 0 63 0 0;\n1: 0 63 0 0;\n2: 0 63 0 0;\n";
  }
  const std::vector<std::vector<std::string>> kTranscodes = {
      {"-progressive"},   {"-restart", "3"},      {"-restart", "2B", "-progressive"},
      {"-scans", script}, {"-scans", sequential}, {"-scans", script, "-restart", "1B"}};
  uint32_t seed = 50;
  for (const auto& size : kSizes)
    for (const char* sampling : {"2x2", "1x1"}) {
      Bytes base = tool("cjpeg", {"-sample", sampling},
                        ppm(size[0], size[1], 3, picture(size[0], size[1], 3, seed++)));
      for (const auto& args : kTranscodes)
        EXPECT_EQ(decodeAndCompare(tool("jpegtran", args, base)), "")
            << size[0] << "x" << size[1] << " " << sampling << " " << joined(args);
    }
  std::remove(script.c_str());
  std::remove(sequential.c_str());
}

TEST(JpegDecode, CmykAndYcckMatchLibjpegThroughTheInkFormula) {
  for (const auto& size : kSizes)
    for (bool ycck : {false, true}) {
      Bytes file = writeFourComponents(size[0], size[1], ycck, size[0]);
      EXPECT_EQ(decodeAndCompare(file), "") << size[0] << "x" << size[1] << (ycck ? " YCCK" : " CMYK");
      if (ycck) {
        EXPECT_EQ(decodeAndCompare(file, false), "") << size[0] << "x" << size[1] << " YCCK as YCbCr";
      }
    }
}

TEST(JpegDecode, TopDownOrderAndTheFactoryGiveTheSamePixels) {
  Bytes file = tool("cjpeg", {"-sample", "2x2"}, ppm(45, 31, 3, picture(45, 31, 3, 9)));
  Reference ref;
  ASSERT_TRUE(referenceDecode(file, ref));
  MemStream s(file);
  cPictJPEG jpeg;
  jpeg.setUsingBMPOrder(false);
  ASSERT_TRUE(jpeg.decode(&s.io));
  EXPECT_EQ(compare(jpeg, ref, false), "");
  s.io.set_fp(0);
  cPictBase::sPictInfo info;
  cPtr<cPictBase> found(cPictBase::mkPicture(&s.io, &info));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->typeOf(), kPictJPEG);
  EXPECT_EQ(info.width, 45);
  EXPECT_EQ(info.height, 31);
  s.io.set_fp(0);
  ASSERT_TRUE(found->decode(&s.io));
  EXPECT_EQ(compare(*found, ref), "");
}

}  // namespace
