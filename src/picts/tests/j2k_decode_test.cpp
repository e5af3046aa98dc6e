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
      {"six levels", 130, 97, 1, 8, false, {"-n", "6"}, {}, 8},
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
      {"12 bit rgb", 29, 23, 3, 12, false, {"-n", "2"}, {}, 8},
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

// A code-block of a component with a region shift of 5 whose zero
// bit-planes pass the band's own: encoders that count them from the shifted
// top plane write up to band planes + shift of them. Made by hand (one
// sample block, one pass of four bytes); opj_decompress is the oracle.
TEST(J2kDecode, ZeroPlanesBeyondTheBandWithARegionShift) {
  TempDir dir;
  // The band has 9 planes (exponent 8, two guard bits).
  for (unsigned zeroPlanes : {9u, 10u, 12u, 14u, 15u}) {
    // Packet header: present, included, the zero planes as a unary count,
    // one pass, a length of 4 in three bits.
    std::vector<int> bits = {1, 1};
    bits.insert(bits.end(), zeroPlanes, 0);
    bits.insert(bits.end(), {1, 0, 0, 1, 0, 0});
    Bytes body((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i) body[i / 8] |= static_cast<uint8_t>(bits[i] << (7 - i % 8));
    body.insert(body.end(), {0x12, 0x34, 0x56, 0x78});
    Bytes cs = handMade(8, 8, 1,
                        {segment(0xFF52, {0, 0, 0, 1, 0, 0, 4, 4, 0, 1}), segment(0xFF5C, {0x40, 8 << 3}),
                         segment(0xFF5E, {0, 0, 5})},
                        body);
    Decoded d = decodeJ2k(cs);
    // Past band planes + shift no plane is left to decode.
    ASSERT_EQ(d.ok, zeroPlanes < 15) << zeroPlanes;
    if (!d.ok) continue;
    writeFile(dir / "roi.j2k", cs);
    std::vector<Plane> planes;
    ASSERT_TRUE(oracle(dir, dir / "roi.j2k", planes));
    EXPECT_EQ(compare(*d.image, planes), "") << zeroPlanes;
  }
}

}  // namespace

namespace {

// opj_compress writes no 1-bit codestream from any source (its raw reader
// takes 2 bits and more, and it widens 1-bit netpbm files to 8), and no
// encoder here writes 1-bit samples, so a 2-bit lossless codestream of
// the values 1 and 2 is relabelled 1-bit: its coded values, shifted by 2,
// are -1 and 0, which a 1-bit decoder shifts back by 1 to 0 and 1.
TEST(J2kDecode, OneBitSamples) {
  TempDir dir;
  Picture pic = makePicture(33, 17, 3, 2, false, 7, {}, 1);
  for (Plane& p : pic.planes)
    for (int& v : p.v) v = 1 + (v & 1);
  std::string file = dir / "two.j2k";
  ASSERT_TRUE(encode(dir, pic, {"-n", "3", "-mct", "0"}, file));
  Bytes cs = readFile(file);
  size_t siz = findMarker(cs, 0xFF51);
  ASSERT_NE(siz, 0u);
  for (unsigned c = 0; c < 3; ++c) {
    ASSERT_EQ(cs[siz + 40 + 3 * c], 1) << "the first component byte holds precision - 1";
    cs[siz + 40 + 3 * c] = 0;
  }
  writeFile(dir / "one.j2k", cs);
  std::vector<Plane> expected;
  ASSERT_TRUE(oracle(dir, dir / "one.j2k", expected));
  for (Plane& p : pic.planes)
    for (int& v : p.v) v -= 1;
  Decoded d = decodeJ2k(cs);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.image->comps.ptr[0].prec, 1u);
  EXPECT_EQ(compare(*d.image, expected), "");
  EXPECT_EQ(compare(*d.image, pic.planes), "");
}

// Areas inside, across and beyond the tile grid of an offset, tiled image
// decode to what opj_decompress -d gives.
TEST(J2kDecode, DecodingAreaMatchesOpenJpeg) {
  TempDir dir;
  Picture pic = makePicture(90, 70, 3, 8, false, 50, {{1, 1}, {2, 2}, {1, 2}});
  std::string file = dir / "tiled.j2k";
  ASSERT_TRUE(encode(dir, pic, {"-n", "2", "-t", "32,32", "-T", "5,3", "-d", "13,9"}, file));
  Bytes cs = readFile(file);
  const int kAreas[][4] = {{13, 9, 103, 79}, {20, 15, 60, 50}, {40, 40, 41, 41}, {0, 0, 50, 30}, {70, 60, 200, 200}};
  for (const auto& a : kAreas) {
    std::string text = std::to_string(a[0]) + "," + std::to_string(a[1]) + "," + std::to_string(a[2]) + "," +
                       std::to_string(a[3]);
    std::vector<Plane> planes;
    ASSERT_TRUE(oracle(dir, file, planes, {"-d", text})) << text;
    Decoded d = decodeJ2k(cs, a);
    ASSERT_TRUE(d.ok) << text;
    EXPECT_EQ(compare(*d.image, planes), "") << text;
  }
  const int kWhole[4] = {0, 0, 0, 0};
  Decoded whole = decodeJ2k(cs, kWhole);
  ASSERT_TRUE(whole.ok);
  EXPECT_EQ(compare(*whole.image, pic.planes), "");
  const int kRefused[][4] = {{103, 0, 120, 10}, {0, 0, 13, 5}, {-1, 0, 50, 50}, {50, 50, 40, 60}};
  for (const auto& a : kRefused) EXPECT_FALSE(decodeJ2k(cs, a).ok) << a[0] << "," << a[1] << "," << a[2];
}

// Tiles whose tile-parts give their count are decoded as their last part
// arrives; with the count 0 everything is gathered first. Both give the same
// picture, and so do tile-parts of one tile spread between those of others.
TEST(J2kDecode, TilePartsGatheredWithAndWithoutTheirCount) {
  TempDir dir;
  Picture pic = makePicture(96, 64, 3, 8, false, 60);
  std::string file = dir / "parts.j2k";
  ASSERT_TRUE(encode(dir, pic, {"-n", "3", "-t", "48,32", "-TP", "R"}, file));
  Bytes cs = readFile(file);
  std::vector<size_t> sots = sotOffsets(cs);
  ASSERT_GT(sots.size(), 4u);
  Bytes unknownCount = cs;
  for (size_t at : sots) unknownCount[at + 11] = 0;
  for (const Bytes* variant : {&cs, &unknownCount}) {
    Decoded d = decodeJ2k(*variant);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(compare(*d.image, pic.planes), "");
  }
  // The second tile's parts moved to the very end, after the other tiles.
  Bytes moved(cs.begin(), cs.begin() + static_cast<long>(sots[0]));
  Bytes tail;
  for (size_t i = 0; i < sots.size(); ++i) {
    size_t end = i + 1 < sots.size() ? sots[i + 1] : cs.size() - 2;
    Bytes& to = get16(cs, sots[i] + 4) == 1 ? tail : moved;
    to.insert(to.end(), cs.begin() + static_cast<long>(sots[i]), cs.begin() + static_cast<long>(end));
  }
  moved.insert(moved.end(), tail.begin(), tail.end());
  moved.insert(moved.end(), {0xFF, 0xD9});
  Decoded d = decodeJ2k(moved);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(compare(*d.image, pic.planes), "");
}

// Custom component transforms: opj_compress cannot write them, so they go
// by hand into a codestream coded without a transform. The result is the
// matrix and offsets applied to the plain samples less their level shift.
TEST(J2kDecode, CustomComponentTransformAppliesMatrixAndOffsets) {
  TempDir dir;
  Picture pic = makePicture(40, 30, 3, 8, false, 70);
  std::string file = dir / "plain.j2k";
  ASSERT_TRUE(encode(dir, pic, {"-n", "2", "-mct", "0"}, file));
  Bytes cs = readFile(file);
  const int kMatrix[9] = {0, 1, 0, 0, 0, 1, 1, 0, -1};
  const int kOffsets[3] = {100, 128, 60};
  Bytes extra = segment(0xFF78, {0, 3, 7, 7, 7});  // CBD: three 8-bit components
  Bytes matrix = {0, 0};
  put16(matrix, 1 | 1 << 8 | 1 << 10);  // index 1, decorrelation array, 32-bit integers
  put16(matrix, 0);
  for (int m : kMatrix) put32(matrix, static_cast<unsigned>(m));
  Bytes offsets = {0, 0};
  put16(offsets, 2 | 2 << 8 | 1 << 10);  // index 2, offset array, 32-bit integers
  put16(offsets, 0);
  for (int o : kOffsets) put32(offsets, static_cast<unsigned>(o));
  Bytes mcc = {0, 0, 1, 0, 0, 0, 1, 1, 0, 3, 0, 1, 2, 0, 3, 0, 1, 2, 1, 2, 1};
  for (const Bytes& s : {segment(0xFF74, matrix), segment(0xFF74, offsets), segment(0xFF75, mcc),
                         segment(0xFF77, {1, 1})})
    extra.insert(extra.end(), s.begin(), s.end());
  Bytes custom = insertBeforeFirstTile(cs, extra);
  size_t cod = findMarker(custom, 0xFF52);
  ASSERT_NE(cod, 0u);
  custom.at(cod + 8) = 2;  // the transform is the custom one
  Decoded d = decodeJ2k(custom);
  ASSERT_TRUE(d.ok);
  std::vector<Plane> expected = pic.planes;
  for (size_t i = 0; i < expected[0].v.size(); ++i)
    for (int r = 0; r < 3; ++r) {
      int v = kOffsets[r];
      for (int c = 0; c < 3; ++c) v += kMatrix[r * 3 + c] * (pic.planes[static_cast<size_t>(c)].v[i] - 128);
      expected[static_cast<size_t>(r)].v[i] = std::clamp(v, 0, 255);
    }
  EXPECT_EQ(compare(*d.image, expected), "");
}

}  // namespace
