#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>

#include "picts/pictdib.h"
#include "picts/pictjpeg.h"
#include "picts/pictpng.h"
#include "raster_support.h"

namespace {

using namespace rastertest;

// A bitmap put together byte by byte, for what no tool writes.
struct Dib {
  int headerSize = 40;
  long long w = 4, h = 3;  // a negative height stores rows top-down
  int bits = 24;
  unsigned compression = 0;
  unsigned colorsUsed = 0;
  std::vector<uint32_t> palette{};
  std::vector<uint32_t> masks{};  // written right after the header
  Bytes pixels{};
  unsigned imageSize = 0;

  Bytes info() const {
    Bytes b(static_cast<size_t>(headerSize), 0);
    auto put = [&](size_t at, uint32_t v, int n) {
      for (int i = 0; i < n; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    // The 12-byte core header has 16-bit sizes and 3-byte palette entries.
    const bool core = headerSize == 12;
    put(0, static_cast<uint32_t>(headerSize), 4);
    if (core) {
      put(4, static_cast<uint32_t>(w), 2);
      put(6, static_cast<uint32_t>(h), 2);
      put(8, 1, 2);
      put(10, static_cast<uint32_t>(bits), 2);
    } else {
      put(4, static_cast<uint32_t>(w), 4);
      put(8, static_cast<uint32_t>(h), 4);
      put(12, 1, 2);
      put(14, static_cast<uint32_t>(bits), 2);
      put(16, compression, 4);
      put(20, imageSize, 4);
      put(32, colorsUsed, 4);
    }
    for (uint32_t c : palette) {
      b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
      if (!core) b.push_back(0);
    }
    for (uint32_t m : masks)
      b.insert(b.end(), {uint8_t(m), uint8_t(m >> 8), uint8_t(m >> 16), uint8_t(m >> 24)});
    return b;
  }
  Bytes bare() const {
    Bytes b = info();
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
  }
  Bytes file() const {
    Bytes i = info(), f;
    uint32_t offset = static_cast<uint32_t>(14 + i.size()),
             size = static_cast<uint32_t>(offset + pixels.size());
    f.reserve(size);
    for (uint32_t v : {0x4D42u, size, 0u, offset})
      for (int k = 0; k < (v == 0x4D42u ? 2 : 4); ++k) f.push_back(static_cast<uint8_t>(v >> (8 * k)));
    f.insert(f.end(), i.begin(), i.end());
    f.insert(f.end(), pixels.begin(), pixels.end());
    return f;
  }
};

Pixels decodeBytes(cPictBase& pict, const Bytes& bytes, bool* ok = nullptr) {
  Stream s(bytes);
  bool done = pict.decode(&s.io);
  if (ok) *ok = done;
  return done ? pixelsOf(pict) : Pixels();
}

// An n-bit channel written from the oracle's 8 bits, widened back by
// repeating its bits.
uint32_t bitChannel(uint32_t c8, int n) {
  uint32_t v = static_cast<uint32_t>(std::lround(c8 * ((1 << n) - 1) / 255.0)), out = 0;
  for (int at = 8 - n; at > -n; at -= n) out |= at >= 0 ? v << at : v >> -at;
  return out & 255;
}

uint32_t fromMaskBits(uint32_t argb, int r, int g, int b) {
  return 0xFF000000u | bitChannel(argb >> 16 & 255, r) << 16 | bitChannel(argb >> 8 & 255, g) << 8 |
         bitChannel(argb & 255, b);
}

TEST(BmpDecode, ToolFilesMatchImageMagickAndNetpbm) {
  std::string rgb = sourcePicture("rgb.pam", 37, 23, 0, false, 1);
  std::string few = sourcePicture("few.pam", 31, 17, 16, false, 2);
  std::string two = sourcePicture("two.pam", 33, 9, 2, false, 3);
  std::string many = sourcePicture("many.pam", 61, 40, 200, false, 4);
  std::string alpha = sourcePicture("alpha.pam", 19, 13, 0, true, 5);
  const std::string magick = "convert {} -depth 8 pam:-", netpbm = "bmptopnm {}";
  const std::vector<std::string> both = {magick, netpbm}, magickOnly = {magick};
  auto rgb555 = [](uint32_t v) { return fromMaskBits(v, 5, 5, 5); };
  auto rgb565 = [](uint32_t v) { return fromMaskBits(v, 5, 6, 5); };
  // netpbm refuses ImageMagick's run-length lines, which fill their padding.
  expectToolCasesMatch<cPictBMP>(
      {
          {"BMP2 palette", "convert " + few + " -type Palette BMP2:{}", both},
          {"BMP3 palette", "convert " + few + " -type Palette BMP3:{}", both},
          {"BMP3 two colours", "convert " + two + " -type Palette BMP3:{}", both},
          {"BMP 256 colours, RLE8 in a large header", "convert " + many + " -type Palette BMP:{}",
           magickOnly},
          {"BMP3 RLE8", "convert " + many + " -type Palette -compress RLE BMP3:{}", magickOnly},
          {"BMP3 RLE8 few", "convert " + few + " -type Palette -compress RLE BMP3:{}", magickOnly},
          {"BMP 24", "convert " + rgb + " BMP:{}", both},
          {"BMP3 24", "convert " + rgb + " BMP3:{}", both},
          {"RGB555", "convert " + rgb + " -define bmp:subtype=RGB555 BMP:{}", magickOnly, rgb555},
          {"RGB565", "convert " + rgb + " -define bmp:subtype=RGB565 BMP:{}", magickOnly, rgb565},
          {"32 with alpha", "convert " + alpha + " BMP:{}", magickOnly},
          {"ppmtobmp 1", "ppmtobmp -bpp 1 " + two + " > {}", both},
          {"ppmtobmp 4", "ppmtobmp -bpp 4 " + few + " > {}", both},
          {"ppmtobmp 8", "ppmtobmp -bpp 8 " + many + " > {}", both},
          {"ppmtobmp 24", "ppmtobmp -bpp 24 " + rgb + " > {}", both},
          {"ppmtobmp os2", "ppmtobmp -os2 " + few + " > {}", both},
      },
      ".bmp");
}

// Rows of `w` pixels from `words` (top-down), as stored bottom-up 24-bit rows.
Bytes rows24(const std::vector<uint32_t>& words, long long w, long long h, bool topDown) {
  Bytes out;
  long long stride = (w * 3 + 3) / 4 * 4;
  for (long long r = 0; r < h; ++r) {
    long long y = topDown ? r : h - 1 - r;
    for (long long x = 0; x < w; ++x) {
      uint32_t v = words[static_cast<size_t>(y * w + x)];
      out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)});
    }
    out.resize(out.size() + static_cast<size_t>(stride - w * 3), 0);
  }
  return out;
}

TEST(BmpDecode, TopDownRowsPassTheProbeAndTheFactory) {
  std::vector<uint32_t> words;
  for (uint32_t i = 0; i < 15; ++i) words.push_back(0xFF000000u | ((i * 0x111111u) ^ 0x00A050u));
  Dib top{.w = 5, .h = -3, .pixels = rows24(words, 5, 3, true)};
  Stream topFile(top.file());
  cPictBase::sPictInfo info;
  EXPECT_TRUE(cPictBMP::validFor(&topFile.io, &info));
  EXPECT_EQ(info.height, 3);
  cPtr<cPictBase> viaFactory(cPictBase::mkPicture(&topFile.io, nullptr));
  ASSERT_TRUE(viaFactory);
  EXPECT_EQ(viaFactory->typeOf(), kPictBMP);
  Pixels p = pixelsOf(*viaFactory);
  EXPECT_EQ(p.argb, words);
}

TEST(BmpDecode, HandMadeLayoutsMendsAndRefusals) {
  struct Case {
    const char* name;
    Dib d;
    bool bare;
    std::vector<uint32_t> want;  // top-down; empty: the decode fails
  };
  const Case cases[] = {
      // Plain 16 bits are 5-5-5; masks after a 40-byte header come from the
      // bytes that follow it; full scale stays full scale at any width.
      {"5-5-5 maximum", {.w = 1, .h = 1, .bits = 16, .pixels = {0xFF, 0x7F, 0, 0}}, false, {0xFFFFFFFF}},
      {"5-5-5", {.w = 1, .h = 1, .bits = 16, .pixels = {0x10, 0x7C, 0, 0}}, false, {0xFFFF0084}},
      {"5-6-5 masks after the header",
       {.w = 2,
        .h = 1,
        .bits = 16,
        .compression = 3,
        .masks = {0xF800, 0x07E0, 0x001F},
        .pixels = {0xFF, 0xFF, 0x21, 0x84}},
       false,
       {0xFFFFFFFF, 0xFF848608}},
      // OS/2 core headers put their pixels as early as byte 26.
      {"core header, 24 bits",
       {.headerSize = 12, .w = 1, .h = 1, .pixels = {1, 2, 3, 0}},
       false,
       {0xFF030201}},
      {"core header, 1-bit palette",
       {.headerSize = 12,
        .w = 1,
        .h = 1,
        .bits = 1,
        .palette = {0x112233, 0x445566},
        .pixels = {0x80, 0, 0, 0}},
       false,
       {0xFF445566}},
      {"4-bit masks with alpha",
       {.w = 1,
        .h = 1,
        .bits = 16,
        .compression = 3,
        .masks = {0xF00, 0xF0, 0xF, 0xF000},
        .pixels = {0x0F, 0x8F, 0, 0}},
       false,
       {0x88FF00FF}},
      {"32 bits keep their alpha",
       {.w = 2, .h = 1, .bits = 32, .pixels = {1, 2, 3, 0x40, 4, 5, 6, 0}},
       false,
       {0x40030201, 0x00060504}},
      {"4-bit bare without palette",
       {.w = 2, .h = 1, .bits = 4, .pixels = {0x1F, 0, 0, 0}},
       true,
       {0xFF0000AA, 0xFFFFFFFF}},
      // Colours-used is clamped to the 256 an 8-bit index reaches.
      {"colours used past 32 bits",
       {.w = 2,
        .h = 1,
        .bits = 8,
        .colorsUsed = 0xFFFFFFFF,
        .palette = std::vector<uint32_t>(256, 0x123456),
        .pixels = {255, 0, 0, 0}},
       false,
       {0xFF123456, 0xFF123456}},
      {"non-zero padding", {.w = 1, .h = 1, .pixels = {1, 2, 3, 9}}, false, {}},
      {"index past the palette",
       {.w = 1, .h = 1, .bits = 8, .colorsUsed = 2, .palette = {0xFF0000, 0x00FF00}, .pixels = {2, 0, 0, 0}},
       false,
       {}},
      {"8-bit bare without palette", {.w = 1, .h = 1, .bits = 8, .pixels = {0, 0, 0, 0}}, true, {}},
      {"32-bit masks all zero",
       {.w = 1, .h = 1, .bits = 32, .compression = 3, .masks = {0, 0, 0}, .pixels = {1, 2, 3, 4}},
       false,
       {}},
      {"65536 squared", {.w = 65536, .h = 65536, .bits = 32, .pixels = {1, 2, 3, 4}}, false, {}},
      {"rows cut short", {.w = 1, .h = 1, .pixels = {1, 2}}, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cPictBMP bmp;
    cPictDIB dib;
    bool ok;
    Pixels got =
        decodeBytes(c.bare ? static_cast<cPictBase&>(dib) : bmp, c.bare ? c.d.bare() : c.d.file(), &ok);
    EXPECT_EQ(ok, !c.want.empty());
    EXPECT_EQ(got.argb, c.want);
  }
}

// A bitmap may carry a whole JPEG or PNG file as its pixels: the picture is
// what the inner decoder gives for that file on its own. Such bitmaps say 0
// bits per pixel, though some writers put the inner file's.
TEST(BmpDecode, EmbeddedJpegAndPng) {
  std::string source = sourcePicture("inner.pam", 29, 21, 0, false, 9);
  struct Case {
    const char* name;
    std::string make;
    unsigned compression;
    int bits;
  };
  const Case cases[] = {{"JPEG", "convert " + source + " -quality 90 jpg:", 4, 0},
                        {"PNG", "convert " + source + " png:", 5, 0},
                        {"JPEG saying 24 bits", "convert " + source + " -quality 90 jpg:", 4, 24}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string inner = path(std::string("inner.") + std::to_string(c.compression));
    ASSERT_TRUE(run(c.make + inner));
    Dib d{.w = 29, .h = 21, .bits = c.bits, .compression = c.compression, .pixels = readFile(inner)};
    d.imageSize = static_cast<unsigned>(d.pixels.size());
    std::unique_ptr<cPictBase> alone(c.compression == 4 ? static_cast<cPictBase*>(new cPictJPEG)
                                                        : static_cast<cPictBase*>(new cPictPNG));
    Pixels want = decodeBytes(*alone, d.pixels);
    ASSERT_EQ(want.w, 29);
    cPictBMP bmp;
    EXPECT_EQ(differences(decodeBytes(bmp, d.file()), want), "");
  }
}

TEST(BmpDecode, RunLengthsWithDeltasAndEnds) {
  std::vector<uint32_t> pal = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  struct Case {
    const char* name;
    int bits;
    long long w, h;
    Bytes codes;
    std::vector<uint32_t> want;  // top-down; empty: the decode fails
  };
  const uint32_t K = 0xFF000000, R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF;
  // Sixteen bytes for 12,000 pixels: deltas skip the bottom 599 rows.
  std::vector<uint32_t> sparse(20 * 600, K);
  std::fill_n(sparse.begin(), 20, R);
  const Case cases[] = {
      {"rle8 deltas skip most of a tall picture", 8, 20, 600,
       {0, 2, 0, 255, 0, 2, 0, 255, 0, 2, 0, 89, 20, 1, 0, 1}, sparse},
      // Bottom row first: a run of 3, then an absolute run with its pad byte.
      {"rle8 ends closing the last line", 8, 3, 2, {3, 1, 0, 0, 0, 3, 2, 3, 1, 0, 0, 1}, {G, B, R, R, R, R}},
      {"rle8 ends after the last line's end", 8, 3, 2, {3, 1, 0, 0, 3, 2, 0, 0, 0, 1}, {G, G, G, R, R, R}},
      {"rle8 runs into the row padding", 8, 3, 1, {4, 3, 0, 1}, {B, B, B}},
      {"rle8 delta skips a row", 8, 2, 3, {1, 2, 0, 2, 0, 1, 1, 3, 0, 0, 2, 3, 0, 1}, {B, B, K, B, G, K}},
      {"rle4 nibbles alternate", 4, 3, 1, {3, 0x12, 0, 1}, {R, G, R}},
      {"rle4 absolute run", 4, 3, 1, {0, 3, 0x32, 0x10, 0, 1}, {B, G, R}},
      {"rle4 run one nibble long", 4, 3, 1, {4, 0x31, 0, 1}, {B, R, B}},
      {"run past the row padding", 8, 2, 1, {5, 1, 0, 1}, {}},
      {"delta past the picture", 8, 2, 2, {0, 2, 0, 2, 0, 1}, {}},
      {"delta past the line", 8, 2, 2, {0, 2, 3, 0, 0, 1}, {}},
      {"short line before its end", 8, 2, 1, {1, 1, 0, 0, 0, 1}, {}},
      {"no end of bitmap", 8, 2, 1, {2, 1}, {}},
      {"absolute run past the row padding", 8, 2, 1, {0, 5, 1, 1, 1, 1, 1, 0, 0, 1}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dib d;
    d.w = c.w;
    d.h = c.h;
    d.bits = c.bits;
    d.compression = c.bits == 8 ? 1 : 2;
    d.palette = pal;
    d.colorsUsed = 4;
    d.pixels = c.codes;
    cPictBMP bmp;
    bool ok;
    Pixels got = decodeBytes(bmp, d.file(), &ok);
    EXPECT_EQ(ok, !c.want.empty());
    if (ok) {
      EXPECT_EQ(got.argb, c.want);
    }
  }
}

TEST(BmpDecode, IconModeAppliesTheMaskAsAlpha) {
  // 32 x 64 stored: 32 rows of 8-bit pixels, then 32 rows of mask.
  Dib d;
  d.w = 32;
  d.h = 64;
  d.bits = 8;
  d.palette = {0x112233, 0x445566};
  d.colorsUsed = 2;
  for (int r = 0; r < 32; ++r)
    for (int x = 0; x < 32; ++x) d.pixels.push_back(static_cast<uint8_t>((x + r) & 1));
  for (int r = 0; r < 32; ++r) d.pixels.insert(d.pixels.end(), {uint8_t(r == 0 ? 0x80 : 0), 0, 0, 0});
  Bytes bytes = d.bare();
  Stream s(bytes);
  cPictBase::sPictInfo info;
  EXPECT_TRUE(cPictDIB::validFor(&s.io, &info, true));
  EXPECT_EQ(info.height, 32);
  // The palette follows the header in icons, where no offset says so.
  cPictDIB icon;
  icon.setUseAlphaBp(true);
  icon.setForcedPalletteLoad(true);
  s.io.set_fp(0);
  ASSERT_TRUE(icon.decode(&s.io));
  ASSERT_EQ(icon.height(), 32);
  const unsigned int* px = icon.raw8Bpp();
  EXPECT_EQ(px[0], 0x00112233u);  // bottom row, first pixel: masked
  EXPECT_EQ(px[1], 0xFF445566u);
  EXPECT_EQ(px[32], 0xFF445566u);
  // Run lengths have no place in icons.
  d.compression = 1;
  Stream rle(d.bare());
  EXPECT_FALSE(icon.decode(&rle.io));
}

// A plain 32-bit bitmap whose fourth byte is 0 in every pixel has no alpha
// and is opaque, whatever its header's size; one non-zero fourth byte makes
// them all alpha. ImageMagick reads a 40-byte header so, and the same pixels
// behind one are the oracle for every size. Masks that name alpha keep it
// as stored, also when it is 0 everywhere, as ImageMagick keeps it.
TEST(BmpDecode, PlainThirtyTwoBitsWithoutAlphaAreOpaque) {
  struct Case {
    int headerSize;
    unsigned compression;
    bool someAlpha;
  };
  const Case cases[] = {{40, 0, false},  {52, 0, false}, {56, 0, false}, {64, 0, false}, {108, 0, false},
                        {124, 0, false}, {40, 0, true},  {124, 0, true}, {56, 3, false}, {124, 3, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.headerSize) + (c.compression ? " bit fields" : " plain") +
                 (c.someAlpha ? ", some alpha" : ""));
    Dib d{.headerSize = c.headerSize, .w = 7, .h = 5, .bits = 32, .compression = c.compression};
    for (int i = 0; i < 35; ++i)
      d.pixels.insert(d.pixels.end(), {uint8_t(i * 7), uint8_t(i * 13), uint8_t(i * 29),
                                       uint8_t(c.someAlpha && i % 3 ? i * 7 : 0)});
    Bytes file = d.file();
    const uint32_t masks[] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    if (c.compression)
      for (int k = 0; k < 16; ++k) file[14 + 40 + k] = static_cast<uint8_t>(masks[k / 4] >> (k % 4 * 8));
    Dib plain = d;
    plain.headerSize = 40;
    writeFile(path("plain32.bmp"), c.compression ? file : plain.file());
    cPictBMP bmp;
    Pixels ref;
    ASSERT_TRUE(oracle("convert {} -depth 8 pam:-", path("plain32.bmp"), ref));
    EXPECT_EQ(differences(decodeBytes(bmp, file), ref), "");
  }
}

TEST(BmpWrite, WrittenFilesReadBackThroughBothOracles) {
  struct Case {
    long long w, h;
    bool sixteen;
  };
  for (const Case& c : {Case{1, 1, false}, Case{7, 5, false}, Case{13, 3, true}, Case{64, 2, false}}) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    cPictDummy pict;
    std::mt19937 rng(static_cast<uint32_t>(c.w * 7 + c.h));
    if (c.sixteen) {
      ASSERT_TRUE(pict.create16(c.w, c.h, 0));
      for (long long i = 0; i < c.w * c.h; ++i)
        pict.raw16Bpp()[i] = 0xFFFF000000000000ULL | (rng() * 0x10001ULL);
    } else {
      ASSERT_TRUE(pict.create(c.w, c.h, 0));
      for (long long i = 0; i < c.w * c.h; ++i) pict.raw8Bpp()[i] = rng() | 0xFF000000u;
    }
    cMemIOTarget out;
    ASSERT_TRUE(cPictBMP::save(&pict, &out));
    _typebuf<unsigned char> bytes;
    ASSERT_TRUE(out.toBuffer(bytes));
    std::string file = path("written.bmp");
    writeFile(file, Bytes(bytes.ptr, bytes.ptr + bytes.count));
    Pixels want = pixelsOf(pict), ref;
    ASSERT_TRUE(oracle("convert {} -depth 8 pam:-", file, ref));
    EXPECT_EQ(differences(want, ref), "");
    ASSERT_TRUE(oracle("bmptopnm {}", file, ref));
    EXPECT_EQ(differences(want, ref), "");
    cPictBMP back;
    Stream s(Bytes(bytes.ptr, bytes.ptr + bytes.count));
    ASSERT_TRUE(back.decode(&s.io));
    EXPECT_EQ(differences(pixelsOf(back), want), "");
  }
  cPictDummy empty;
  cMemIOTarget out;
  EXPECT_FALSE(cPictDIB::save(&empty, &out));
}

}  // namespace

namespace {

// Ten bits a channel (the 2-10-10-10 layout) are scaled onto 0..255, full
// scale to 255, truncated in single precision. ImageMagick keeps them as
// sixteen-bit values and truncates those, so it may read one lower.
TEST(BmpDecode, TenBitChannelsAreScaled) {
  Dib d{.w = 64, .h = 16, .bits = 32, .compression = 3, .masks = {0x3FF00000, 0xFFC00, 0x3FF}};
  auto channels = [](uint32_t i) { return std::array<uint32_t, 3>{i, (i * 7 + 3) % 1024, 1023 - i}; };
  for (uint32_t i = 0; i < 1024; ++i) {
    auto c = channels(i);
    uint32_t word = c[0] << 20 | c[1] << 10 | c[2];
    d.pixels.insert(d.pixels.end(), {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)});
  }
  std::string file = path("ten.bmp");
  writeFile(file, d.file());
  Pixels ref;
  ASSERT_TRUE(oracle("convert {} -depth 8 pam:-", file, ref));
  cPictBMP bmp;
  bool ok;
  Pixels ours = decodeBytes(bmp, d.file(), &ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(ours.argb.size(), ref.argb.size());
  const float scale = 255.0f / 1023.0f;
  for (uint32_t i = 0; i < 1024; ++i) {
    // Rows are stored bottom-up.
    const size_t at = static_cast<size_t>((15 - i / 64) * 64 + i % 64);
    auto c = channels(i);
    for (int k = 0; k < 3; ++k) {
      const int shift = 16 - 8 * k;
      const int got = static_cast<int>(ours.argb[at] >> shift & 255), magick = static_cast<int>(ref.argb[at] >> shift & 255);
      ASSERT_EQ(got, static_cast<int>(static_cast<float>(c[k]) * scale)) << i << " channel " << k;
      ASSERT_TRUE(got == magick || got == magick + 1) << i << " channel " << k << ": " << got << " vs " << magick;
    }
  }
}

}  // namespace
