#include <gtest/gtest.h>

#include <algorithm>

#include "jp2_support.h"

namespace {

using namespace jp2test;

using Sub = std::vector<std::pair<unsigned, unsigned>>;

struct Case {
  const char* name;
  unsigned w, h, comps, prec;
  bool sgnd;
  std::vector<std::string> options;
  Sub sub;
  int noise;
  // opj_decompress 2.5 leaves these all zero; the source is the oracle.
  bool oracleLoses = false;
};

// opj_compress writes each case; opj_decompress's planes are the oracle. The
// reversible path must match exactly and give back the source; the
// irreversible one may differ by 1 because opj_decompress rounds where we
// truncate toward zero.
TEST(J2kDecode, CodingOptionsMatchOpenJpeg) {
  const Case kCases[] = {
      {"grey 5/3", 37, 29, 1, 8, false, {"-n", "3"}, {}, 8},
      {"1x1", 1, 1, 1, 8, false, {"-n", "1"}, {}, 8},
      {"2 bits", 23, 17, 1, 2, false, {"-n", "2"}, {}, 3},
      {"12 bit signed", 40, 33, 1, 12, true, {"-n", "4"}, {}, 8},
      {"16 bit", 64, 48, 1, 16, false, {"-n", "5"}, {}, 8},
      {"rgb rct", 61, 47, 3, 8, false, {"-n", "4"}, {}, 8},
      {"rgb no mct", 61, 47, 3, 8, false, {"-n", "4", "-mct", "0"}, {}, 8},
      {"rgba", 33, 35, 4, 8, false, {"-n", "3"}, {}, 8},
      {"sub-sampled", 50, 42, 3, 8, false, {"-n", "3"}, {{1, 1}, {2, 2}, {2, 1}}, 8},
      {"seven levels", 640, 480, 1, 8, false, {"-n", "7"}, {}, 8},
      {"odd tiles", 97, 83, 3, 8, false, {"-n", "2", "-t", "31,27"}, {}, 8},
      {"tile and image offsets", 90, 70, 1, 8, false, {"-n", "3", "-t", "32,32", "-T", "5,3", "-d", "13,9"}, {}, 8},
      {"precincts", 120, 100, 3, 8, false, {"-n", "4", "-c", "[64,64],[32,32],[16,16]"}, {}, 8},
      {"small blocks", 70, 50, 1, 8, false, {"-n", "3", "-b", "4,4"}, {}, 8},
      {"wide blocks", 200, 40, 1, 8, false, {"-n", "2", "-b", "1024,4"}, {}, 8},
      {"layers", 80, 60, 3, 8, false, {"-n", "3", "-r", "40,20,10,1"}, {}, 8},
      {"rlcp", 80, 60, 3, 8, false, {"-n", "3", "-p", "RLCP", "-c", "[32,32]"}, {}, 8},
      {"rpcl", 80, 60, 3, 8, false, {"-n", "3", "-p", "RPCL", "-c", "[32,32]"}, {}, 8},
      {"pcrl", 80, 60, 3, 8, false, {"-n", "3", "-p", "PCRL", "-c", "[32,32]"}, {}, 8},
      {"cprl", 80, 60, 3, 8, false, {"-n", "3", "-p", "CPRL", "-c", "[32,32]"}, {}, 8},
      {"cprl sub-sampled", 80, 60, 3, 8, false, {"-n", "3", "-p", "CPRL", "-c", "[32,32]"}, {{1, 1}, {2, 2}, {2, 2}}, 8, true},
      {"rpcl sub-sampled", 80, 60, 3, 8, false, {"-n", "3", "-p", "RPCL"}, {{1, 1}, {2, 1}, {1, 2}}, 8},
      {"pcrl sub-sampled", 80, 60, 3, 8, false, {"-n", "3", "-p", "PCRL", "-c", "[16,16]"}, {{1, 1}, {2, 2}, {2, 2}}, 8, true},
      {"poc", 80, 60, 3, 8, false, {"-n", "3", "-r", "4,1", "-POC", "T1=0,0,1,3,2,CPRL/T1=0,0,2,4,3,LRCP"}, {}, 8},
      {"sop eph", 60, 50, 3, 8, false, {"-n", "3", "-SOP", "-EPH", "-r", "5,1"}, {}, 8},
      {"tile-parts R", 96, 64, 3, 8, false, {"-n", "3", "-t", "48,32", "-TP", "R"}, {}, 8},
      {"tile-parts L", 96, 64, 1, 8, false, {"-n", "3", "-r", "8,1", "-TP", "L"}, {}, 8},
      {"tile-parts C", 96, 64, 3, 8, false, {"-n", "3", "-TP", "C", "-PLT", "-TLM"}, {}, 8},
      {"bypass", 70, 60, 1, 12, false, {"-n", "3", "-M", "1"}, {}, 8},
      {"reset", 70, 60, 1, 8, false, {"-n", "3", "-M", "2"}, {}, 8},
      {"termall", 70, 60, 1, 8, false, {"-n", "3", "-M", "4"}, {}, 8},
      {"causal", 70, 60, 1, 8, false, {"-n", "3", "-M", "8"}, {}, 8},
      {"predictable", 70, 60, 1, 8, false, {"-n", "3", "-M", "16"}, {}, 8},
      {"segment symbols", 70, 60, 1, 8, false, {"-n", "3", "-M", "32"}, {}, 8},
      {"all modes", 70, 60, 3, 10, false, {"-n", "3", "-M", "63"}, {}, 8},
      {"roi", 80, 60, 3, 8, false, {"-n", "3", "-ROI", "c=0,U=12"}, {}, 8},
      {"9/7 grey", 64, 64, 1, 8, false, {"-I", "-n", "4"}, {}, 8},
      {"9/7 rgb ict", 67, 45, 3, 8, false, {"-I", "-n", "3", "-r", "20,5"}, {}, 8},
      {"9/7 12 bit tiles", 70, 70, 3, 12, false, {"-I", "-n", "2", "-t", "33,29", "-mct", "0"}, {}, 8},
      {"9/7 signed", 50, 40, 1, 10, true, {"-I", "-n", "3"}, {}, 8},
  };
  TempDir dir;
  uint32_t seed = 1;
  for (const Case& c : kCases) {
    Picture pic = makePicture(c.w, c.h, c.comps, c.prec, c.sgnd, seed++, c.sub, c.noise);
    std::string file = dir / "t.j2k";
    ASSERT_TRUE(encode(dir, pic, c.options, file)) << c.name;
    std::vector<Plane> planes;
    ASSERT_TRUE(oracle(dir, file, planes)) << c.name;
    Decoded d = decodeJ2k(readFile(file));
    ASSERT_TRUE(d.ok) << c.name;
    bool irreversible = std::find(c.options.begin(), c.options.end(), "-I") != c.options.end();
    if (!c.oracleLoses) {
      EXPECT_EQ(compare(*d.image, planes, irreversible ? 1 : 0), "") << c.name;
    }
    bool lossless = !irreversible && std::find(c.options.begin(), c.options.end(), "-r") == c.options.end();
    if (lossless) {
      EXPECT_EQ(compare(*d.image, pic.planes), "") << c.name << " against the source";
    }
  }
}

}  // namespace
