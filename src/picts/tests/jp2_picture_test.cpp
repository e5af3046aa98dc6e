#include <gtest/gtest.h>

#include <cstring>

#include "jp2_support.h"
#include "picts/pictjp2.h"

namespace {

using namespace jp2test;

// The factory's picture of a file, or null when it refuses it.
std::unique_ptr<cPictBase> picture(const Bytes& file) {
  cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
  return std::unique_ptr<cPictBase>(cPictBase::mkPicture(&io, nullptr));
}

unsigned pixelAt(cPictBase& p, long long x, long long y) { return p.raw8Bpp()[(p.height() - 1 - y) * p.width() + x]; }

// JP2 files and codestreams from opj_compress reach the factory and come out
// as the 8-bit form of opj_decompress's samples.
TEST(Jp2Picture, OpenJpegFilesThroughTheFactory) {
  struct Case {
    unsigned comps, prec;
    const char* ext;
    int type;
    bool sgnd = false;
  };
  // Signed samples are shown from their most negative value up.
  const Case kCases[] = {{1, 8, "jp2", kPictJP2},        {1, 12, "jp2", kPictJP2},
                         {3, 8, "jp2", kPictJP2},        {4, 8, "jp2", kPictJP2},
                         {3, 8, "j2k", kPictJ2K},        {3, 16, "j2k", kPictJ2K},
                         {1, 12, "j2k", kPictJ2K, true}, {3, 8, "jp2", kPictJP2, true}};
  TempDir dir;
  for (const Case& c : kCases) {
    Picture pic = makePicture(45, 31, c.comps, c.prec, c.sgnd, c.comps * 100 + c.prec, {}, 40);
    std::string file = dir / (std::string("t.") + c.ext);
    ASSERT_TRUE(encode(dir, pic, {"-n", "3"}, file));
    std::vector<Plane> planes;
    ASSERT_TRUE(oracle(dir, file, planes));
    Bytes bytes = readFile(file);
    cBufWrapperIO io(bytes.data(), static_cast<long long>(bytes.size()), false);
    cPictBase::sPictInfo info;
    std::unique_ptr<cPictBase> probe(cPictBase::mkPicture(&io, &info));
    ASSERT_TRUE(probe) << c.ext << c.comps;
    EXPECT_EQ(probe->typeOf(), c.type);
    EXPECT_EQ(info.width, 45);
    EXPECT_EQ(info.height, 31);
    std::unique_ptr<cPictBase> p = picture(bytes);
    ASSERT_TRUE(p) << c.ext << c.comps;
    int shift = static_cast<int>(c.prec) - 8;
    std::string diff;
    for (unsigned y = 0; y < 31 && diff.empty(); ++y)
      for (unsigned x = 0; x < 45; ++x) {
        const int offset = c.sgnd ? 1 << (c.prec - 1) : 0;
        auto channel = [&](unsigned comp) {
          return static_cast<unsigned>((planes[comp].v[y * 45 + x] + offset) >> shift);
        };
        unsigned want = c.comps == 1 ? 0xFF000000 | channel(0) * 0x010101
                                     : (c.comps == 4 ? channel(3) : 0xFFu) << 24 | channel(0) << 16 |
                                           channel(1) << 8 | channel(2);
        if (pixelAt(*p, x, y) != want) {
          diff = std::to_string(x) + "," + std::to_string(y);
          break;
        }
      }
    EXPECT_EQ(diff, "") << c.comps << " components, " << c.prec << " bits, " << c.ext
                        << (c.sgnd ? " signed" : "");
  }
}

// A JP2 file whose image lies beyond 2^31 on the grid: the codestream of a
// picture moved there whole, grid offsets and tiles alike, so that every
// partition keeps its place and the pixels stay the picture's.
TEST(Jp2Picture, ImageFarOutOnTheGridDecodesWhole) {
  const unsigned far = 0x80000000u;
  TempDir dir;
  const Picture pic = makePicture(37, 23, 3, 8, false, 77);
  ASSERT_TRUE(encode(dir, pic, {"-n", "3", "-mct", "0"}, dir / "far.j2k"));
  Bytes cs = readFile(dir / "far.j2k");
  auto set32 = [&](size_t at, unsigned v) {
    for (int i = 0; i < 4; ++i) cs[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
  };
  set32(8, far + 37);
  set32(12, far + 23);
  for (size_t at : {16u, 20u, 32u, 36u}) set32(at, far);
  std::unique_ptr<cPictBase> p = picture(jp2File(cs, ihdr(37, 23, 3, 8)));
  ASSERT_TRUE(p);
  ASSERT_EQ(p->width(), 37);
  ASSERT_EQ(p->height(), 23);
  for (unsigned i = 0; i < 37 * 23; ++i) {
    unsigned want = 0xFF000000u | static_cast<unsigned>(pic.planes[0].v[i]) << 16 |
                    static_cast<unsigned>(pic.planes[1].v[i]) << 8 |
                    static_cast<unsigned>(pic.planes[2].v[i]);
    ASSERT_EQ(pixelAt(*p, i % 37, i / 37), want) << i;
  }
}

Bytes pclr(unsigned ne, const std::vector<uint8_t>& columns, const std::vector<unsigned>& entries) {
  Bytes d;
  put16(d, ne);
  d.push_back(static_cast<uint8_t>(columns.size()));
  d.insert(d.end(), columns.begin(), columns.end());
  for (unsigned e : entries) d.push_back(static_cast<uint8_t>(e));
  return box("pclr", d);
}

Bytes cmap(const std::vector<std::array<unsigned, 3>>& maps) {
  Bytes d;
  for (const auto& m : maps) {
    put16(d, m[0]);
    d.push_back(static_cast<uint8_t>(m[1]));
    d.push_back(static_cast<uint8_t>(m[2]));
  }
  return box("cmap", d);
}

Bytes cdef(const std::vector<std::array<unsigned, 3>>& defs) {
  Bytes d;
  put16(d, static_cast<unsigned>(defs.size()));
  for (const auto& e : defs)
    for (unsigned v : e) put16(d, v);
  return box("cdef", d);
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// JP2 files put together here around constant-colour codestreams: every
// colour space, palettes, channel definitions and box forms, with the pixel
// the picture must hold or 0 when the file must be refused.
TEST(Jp2Picture, ColourBoxesAndBoxForms) {
  TempDir dir;
  const Bytes rgb = constantCodestream(dir, 8, 6, 8, {10, 20, 30});
  const Bytes ycc = constantCodestream(dir, 8, 6, 8, {250, 128, 200});
  const Bytes lab = constantCodestream(dir, 8, 6, 8, {200, 150, 60});
  const Bytes cmyk = constantCodestream(dir, 8, 6, 8, {0, 255, 0, 0});
  const Bytes index = constantCodestream(dir, 8, 6, 8, {9});
  const Bytes indexAlpha = constantCodestream(dir, 8, 6, 8, {1, 77});
  const Bytes grey12 = constantCodestream(dir, 8, 6, 12, {0xABC});
  const Bytes grey6 = constantCodestream(dir, 8, 6, 6, {40});
  const Bytes two = constantCodestream(dir, 8, 6, 8, {1, 2});
  ASSERT_FALSE(rgb.empty());
  Bytes labParams = {1, 0, 0, 0, 0, 0, 14};
  for (unsigned v : {100u, 0u, 255u, 128u, 255u, 96u, 0x00443530u}) put32(labParams, v);
  const Bytes palette = pclr(4, {7, 7, 7}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 40, 50, 60});
  Bytes xl = {0, 0, 0, 1, 'j', 'p', '2', 'c', 0, 0, 0, 0};
  put32(xl, static_cast<unsigned>(rgb.size() + 16));
  xl.insert(xl.end(), rgb.begin(), rgb.end());
  Bytes lboxZero = {0, 0, 0, 0, 'j', 'p', '2', 'c'};
  lboxZero.insert(lboxZero.end(), rgb.begin(), rgb.end());
  Bytes head = jp2File({}, cat({ihdr(8, 6, 3, 8), colrEnum(16)}));
  head.resize(head.size() - 8);  // without its empty codestream box

  struct Case {
    const char* name;
    Bytes file;
    unsigned pixel;
  };
  const Case kCases[] = {
      {"srgb", jp2File(rgb, cat({ihdr(8, 6, 3, 8), colrEnum(16)})), 0xFF0A141E},
      {"no colr", jp2File(rgb, ihdr(8, 6, 3, 8)), 0xFF0A141E},
      {"sycc saturates", jp2File(ycc, cat({ihdr(8, 6, 3, 8), colrEnum(18)})), 0xFFFFC6FA},
      {"cielab defaults", jp2File(lab, cat({ihdr(8, 6, 3, 8), colrEnum(14)})), 0xFF8383E1},
      {"cielab parameters", jp2File(lab, cat({ihdr(8, 6, 3, 8), box("colr", labParams)})), 0xFF8D7CFF},
      {"cmyk", jp2File(cmyk, cat({ihdr(8, 6, 4, 8), colrEnum(12)})), 0xFFFF00FF},
      {"palette clamps the index", jp2File(index, cat({ihdr(8, 6, 1, 8), colrEnum(16), palette,
                                                         cmap({{{0, 1, 0}}, {{0, 1, 1}}, {{0, 1, 2}}})})),
       0xFF28323C},
      {"palette without mapping", jp2File(index, cat({ihdr(8, 6, 1, 8), palette})), 0xFF090909},
      {"direct mapping fills its own record",
       jp2File(indexAlpha, cat({ihdr(8, 6, 2, 8), colrEnum(16), pclr(2, {7, 7, 7, 7}, {1, 2, 3, 4, 5, 6, 7, 8}),
                                cmap({{{0, 1, 0}}, {{0, 1, 1}}, {{0, 1, 2}}, {{1, 0, 0}}})})),
       0x4D050607},
      {"channels swapped", jp2File(rgb, cat({ihdr(8, 6, 3, 8), cdef({{{0, 0, 3}}, {{1, 0, 2}}, {{2, 0, 1}}})})),
       0xFF1E140A},
      {"association 65535 stays", jp2File(rgb, cat({ihdr(8, 6, 3, 8), cdef({{{0, 0, 65535}}, {{1, 0, 7}}})})),
       0xFF0A141E},
      {"second colr ignored", jp2File(rgb, cat({ihdr(8, 6, 3, 8), colrEnum(16), colrEnum(12)})), 0xFF0A141E},
      {"unknown sub-box", jp2File(rgb, cat({ihdr(8, 6, 3, 8), box("xyzw", {1, 2, 3})})), 0xFF0A141E},
      {"extended length", cat({head, xl}), 0xFF0A141E},
      {"codestream box to the end", cat({head, lboxZero}), 0xFF0A141E},
      {"12-bit grey", jp2File(grey12, ihdr(8, 6, 1, 12)), 0xFFABABAB},
      {"6-bit grey", jp2File(grey6, ihdr(8, 6, 1, 6)), 0},
      {"two components", jp2File(two, ihdr(8, 6, 2, 8)), 0},
      {"second cdef", jp2File(rgb, cat({ihdr(8, 6, 3, 8), cdef({{{0, 0, 1}}}), cdef({{{0, 0, 1}}})})), 0},
      {"late ftyp", jp2File(rgb, ihdr(8, 6, 3, 8), box("ftyp", {'j', 'p', '2', ' ', 0, 0, 0, 0})), 0},
      {"cdef names no component", jp2File(rgb, cat({ihdr(8, 6, 3, 8), cdef({{{5, 0, 1}}})})), 0},
      {"cmap column beyond the palette",
       jp2File(index, cat({ihdr(8, 6, 1, 8), palette, cmap({{{0, 1, 0}}, {{0, 1, 1}}, {{0, 1, 5}}})})), 0},
      {"two mappings on one record",
       jp2File(index, cat({ihdr(8, 6, 1, 8), palette, cmap({{{0, 1, 0}}, {{0, 1, 0}}, {{0, 1, 2}}})})), 0},
      {"cmap component beyond the image",
       jp2File(index, cat({ihdr(8, 6, 1, 8), palette, cmap({{{0, 1, 0}}, {{0, 1, 1}}, {{3, 1, 2}}})})), 0},
      {"cmap before pclr", jp2File(index, cat({ihdr(8, 6, 1, 8), cmap({{{0, 1, 0}}}), palette})), 0},
      {"palette without entries", jp2File(index, cat({ihdr(8, 6, 1, 8), pclr(0, {7}, {})})), 0},
      {"palette column of 33 bits", jp2File(index, cat({ihdr(8, 6, 1, 8), pclr(1, {32}, {1, 2, 3, 4, 5})})), 0},
      {"other box with length 0", cat({head, Bytes{0, 0, 0, 0, 'u', 'u', 'i', 'd'}, lboxZero}), 0},
      {"extended length past 4 GiB", cat({head, Bytes{0, 0, 0, 1, 'j', 'p', '2', 'c', 0, 0, 0, 1, 0, 0, 0, 0}}), 0},
  };
  for (const Case& c : kCases) {
    std::unique_ptr<cPictBase> p = picture(c.file);
    if (c.pixel == 0) {
      EXPECT_FALSE(p && p->typeOf() == kPictJP2) << c.name;
      continue;
    }
    ASSERT_TRUE(p) << c.name;
    EXPECT_EQ(p->typeOf(), kPictJP2) << c.name;
    EXPECT_EQ(pixelAt(*p, 3, 2), c.pixel) << c.name << std::hex << " got " << pixelAt(*p, 3, 2);
  }
}

// What the codec hands over besides pixels: colour-space codes, the ICC
// profile and the area of an image that does not start at the origin.
TEST(Jp2Picture, ColourSpaceCodesProfileAndOffsetArea) {
  TempDir dir;
  const Bytes rgb = constantCodestream(dir, 8, 6, 8, {10, 20, 30});
  Bytes icc = {2, 0, 0, 'p', 'r', 'o', 'f', 'i', 'l', 'e'};
  Decoded withIcc = decodeJp2(jp2File(rgb, cat({ihdr(8, 6, 3, 8), box("colr", icc)})));
  ASSERT_TRUE(withIcc.ok);
  EXPECT_EQ(withIcc.image->colorSpace, kJP2ColorNoEnum);
  ASSERT_EQ(withIcc.image->icc.count, 7);
  EXPECT_EQ(std::memcmp(withIcc.image->icc.ptr, "profile", 7), 0);
  const std::pair<unsigned, int> kCodes[] = {{16, kJP2ColorSRGB}, {17, kJP2ColorGrey},  {18, kJP2ColorSYCC},
                                             {12, kJP2ColorCMYK}, {14, kJP2ColorCIELab}, {99, kJP2ColorUnsupported}};
  for (const auto& [cs, code] : kCodes) {
    Decoded d = decodeJp2(jp2File(rgb, cat({ihdr(8, 6, 3, 8), colrEnum(cs)})));
    ASSERT_TRUE(d.ok) << cs;
    EXPECT_EQ(d.image->colorSpace, code) << cs;
  }
  EXPECT_EQ(decodeJ2k(rgb).image->colorSpace, kJP2ColorUnspecified);

  Picture pic = makePicture(40, 30, 3, 8, false, 90, {{1, 1}, {2, 2}, {3, 1}});
  std::string file = dir / "offset.jp2";
  ASSERT_TRUE(encode(dir, pic, {"-n", "2", "-d", "7,5", "-mct", "0"}, file));
  Decoded d = decodeJp2(readFile(file));
  ASSERT_TRUE(d.ok);
  std::vector<Plane> planes;
  ASSERT_TRUE(oracle(dir, file, planes));
  const unsigned kOrigins[3][2] = {{7, 5}, {4, 3}, {3, 5}};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(d.image->comps.ptr[c].x0, kOrigins[c][0]) << c;
    EXPECT_EQ(d.image->comps.ptr[c].y0, kOrigins[c][1]) << c;
  }
  EXPECT_EQ(compare(*d.image, planes), "");
}

// High-throughput codestreams, announced by a capabilities segment or by
// the profile bits of the size segment, bare or in a JP2 file, are refused
// with their kind named; other refusals name nothing.
TEST(Jp2Picture, HighThroughputIsNamedWhenRefused) {
  const Bytes cod = segment(0xFF52, {0, 0, 0, 1, 0, 0, 4, 4, 0, 0}), qcd = segment(0xFF5C, {0x40, 8 << 3});
  auto withCap = [&](unsigned pcapHigh) {
    return handMade(8, 8, 1, {segment(0xFF50, {uint8_t(pcapHigh >> 8), uint8_t(pcapHigh), 0, 0, 0, 0}), cod, qcd},
                    Bytes(4, 0));
  };
  Bytes profile = handMade(8, 8, 1, {cod, qcd}, Bytes(4, 0));
  profile[6] = 0x40;  // the size segment's capabilities: high-throughput only
  Bytes header = ihdr(8, 8, 1, 8), colr = colrEnum(17);
  header.insert(header.end(), colr.begin(), colr.end());
  const Bytes jph = jp2File(withCap(0x0002), header);
  struct Case {
    const char* name;
    Bytes file;
    bool named;
  };
  const Case cases[] = {
      {"capabilities segment", withCap(0x0002), true},
      {"size profile", profile, true},
      {"in a JP2 file", jph, true},
      {"other capabilities", withCap(0x4000), false},
      {"text", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(picture(c.file));
    cBufWrapperIO io(const_cast<uint8_t*>(c.file.data()), static_cast<long long>(c.file.size()), false);
    const char* why = cPictBase::unreadableKind(&io);
    EXPECT_STREQ(why, c.named ? "high-throughput JPEG 2000 is not supported" : nullptr);
  }
}

}  // namespace
