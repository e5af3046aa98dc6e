#include "picts/dng.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <type_traits>

#include "picts/pixelalloc.h"
#include "picts/raw_interpol.h"
#include "picts/tests/camera_support.h"

namespace {

using rawtest::DngSpec;
using tifftest::Bytes;

// Keeps the raw plane as the finishing would take it, and the finishing
// choices, instead of finishing.
template <class T>
struct Capture : T {
  std::vector<uint16_t> plane;
  sMarginInfo margins;
  unsigned black = 0;
  std::vector<double> multipliers;
  bool onRawDecoded(cFileIOTarget*) override {
    if constexpr (std::is_same_v<T, cPictDNG>) {
      if (!this->shapeRaw()) return false;
    }
    const uint16_t* p = reinterpret_cast<const uint16_t*>(this->myRaw.ptr);
    plane.assign(p, p + this->myRawWidth * this->myRawHeight);
    if constexpr (std::is_same_v<T, cPictDNG>) {
      margins = this->cropMargins(this->myRawWidth, this->myRawHeight);
      black = this->myBlack;
      multipliers.assign(this->myMultipliers.ptr, this->myMultipliers.ptr + this->myMultipliers.count);
    }
    return true;
  }
};

DngSpec spec(int w, int h, int bits, unsigned seed) {
  DngSpec s;
  s.width = w;
  s.height = h;
  s.bits = bits;
  s.samples = rawtest::mosaic(w, h, false, seed);
  for (uint16_t& v : s.samples) v = uint16_t(v >> (16 - bits));
  return s;
}

bool decodes(const Bytes& file) {
  pngtest::MemStream m(file);
  cPictDNG dng;
  return dng.decode(&m.io);
}

// Every layout comes back as the plane it was written from, and where dcraw
// reads the file, its raw output agrees.
TEST(DngRaw, PlanesMatchTheSourceAndDcraw) {
  struct Case {
    const char* name;
    DngSpec::eLayout layout;
    DngSpec::ePlace place;
    int bits, w, h;
    bool ep;
    int dcrawRows;  // dcraw reads only the first strip of a lossless TIFF/EP
  };
  const Case cases[] = {
      {"16-bit strip", DngSpec::kStrip, DngSpec::kMain, 16, 40, 30, false, 30},
      {"8-bit strip", DngSpec::kStrip, DngSpec::kMain, 8, 40, 30, false, 30},
      {"one strip, no byte counts", DngSpec::kStripNoCounts, DngSpec::kMain, 16, 23, 25, false, 25},
      {"lossless tiles", DngSpec::kLJpegTiles, DngSpec::kMain, 14, 37, 29, false, 29},
      {"raw in main, RGB preview SubIFD", DngSpec::kStrip, DngSpec::kMainWithPreview, 16, 24, 22, false, 22},
      {"raw in SubIFD 0", DngSpec::kLJpegTiles, DngSpec::kSubIFD, 12, 32, 32, false, 32},
      {"TIFF/EP 12-bit packed", DngSpec::kPacked12, DngSpec::kSubIFD, 12, 30, 22, true, 22},
      {"TIFF/EP lossless strips", DngSpec::kLJpegStrips, DngSpec::kSubIFD, 12, 26, 22, true, 4},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DngSpec s = spec(c.w, c.h, c.bits, unsigned(++n));
    s.layout = c.layout;
    s.place = c.place;
    s.ep = c.ep;
    Bytes file = rawtest::writeDng(s);
    std::vector<uint16_t> want = s.samples;
    if (c.bits == 8 && !c.ep)
      for (uint16_t& v : want) v = uint16_t(v * 256);
    pngtest::MemStream m(file);
    cPictBase::sPictInfo info;
    cPtr<cPictBase> probed(cPictBase::mkPicture(&m.io, &info));
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->typeOf(), c.ep ? kPictTIFF_EP : kPictDNG);
    EXPECT_EQ(info.width, c.w);
    std::vector<uint16_t> got;
    if (c.ep) {
      Capture<cPictTIFF_EP> ep;
      ASSERT_TRUE(ep.decode(&m.io));
      got = ep.plane;
    } else {
      Capture<cPictDNG> dng;
      ASSERT_TRUE(dng.decode(&m.io));
      got = dng.plane;
    }
    EXPECT_TRUE(got == want);
    rawtest::Pnm ref = cameratest::dcrawPlane(file, "plane" + std::to_string(n) + ".dng");
    if (c.ep && ref.v.empty()) continue;  // dcraw knows no camera called "Test"
    ASSERT_FALSE(ref.v.empty());
    ASSERT_EQ(ref.width * ref.height, c.w * c.h);
    for (uint16_t& v : ref.v)
      if (c.bits == 8) v = uint16_t(v * 256);
    const long rows = long(c.dcrawRows) * c.w;
    EXPECT_TRUE(std::equal(ref.v.begin(), ref.v.begin() + rows, want.begin()));
  }
}

// Lossless tiles with every predictor: the samples as written, as dcraw
// reads them too.
TEST(DngRaw, LosslessTilesOfEveryPredictorMatchDcraw) {
  for (int predictor = 1; predictor <= 7; ++predictor) {
    SCOPED_TRACE(predictor);
    DngSpec s = spec(37, 29, 14, unsigned(60 + predictor));
    s.layout = DngSpec::kLJpegTiles;
    s.predictor = predictor;
    const Bytes file = rawtest::writeDng(s);
    pngtest::MemStream m(file);
    Capture<cPictDNG> dng;
    ASSERT_TRUE(dng.decode(&m.io));
    EXPECT_TRUE(dng.plane == s.samples);
    const rawtest::Pnm ref = cameratest::dcrawPlane(file, "predictor" + std::to_string(predictor) + ".dng");
    EXPECT_TRUE(ref.v == s.samples);
  }
}

// Compressed raw strips come back whole; one cut short is damage, never a
// picture with black rows reported as decoded. TIFF/EP's packed 12-bit
// units likewise, cut by 8 bytes still long enough for the plane's bits
// once their padding bytes are counted.
TEST(DngRaw, CompressedStripsCutShortAreRefused) {
  // 97 bytes are the last PackBits record whole (480 bytes go in records of
  // 128): the stream still ends cleanly, only short.
  for (uint16_t compression : {8, 32773, 32769})
    for (size_t cut : {0, 8, 97}) {
      SCOPED_TRACE(std::to_string(compression) + " cut " + std::to_string(cut));
      const bool packed = compression == 32769;
      DngSpec s = spec(24, 10, packed ? 12 : 16, 7);
      s.compression = compression;
      s.cut = cut;
      if (packed) {
        s.layout = DngSpec::kPacked12;
        s.place = DngSpec::kSubIFD;
        s.ep = true;
      }
      pngtest::MemStream m(rawtest::writeDng(s));
      Capture<cPictDNG> dng;
      Capture<cPictTIFF_EP> ep;
      EXPECT_EQ(packed ? ep.decode(&m.io) : dng.decode(&m.io), cut == 0);
      if (cut == 0) {
        EXPECT_TRUE((packed ? ep.plane : dng.plane) == s.samples);
      }
    }
}

// Crop, black level, white balance, version and preview as the tags say.
TEST(DngRaw, TagsGiveCropLevelsBalanceAndPreview) {
  struct Case {
    const char* name;
    std::vector<uint32_t> crop;
    uint32_t black;
    bool rational;
    std::vector<uint32_t> neutral;
    sMarginInfo margins;  // left, right, top, bottom
    std::vector<double> multipliers;
  };
  const Case cases[] = {
      {"crop inside", {2, 2, 30, 20}, 64, false, {}, {2, 8, 2, 8}, {}},
      {"odd origin", {3, 1, 30, 20}, 0, false, {}, {4, 6, 2, 8}, {}},
      {"origin beyond the width", {45, 0, 10, 10}, 0, false, {}, {0, 30, 0, 20}, {}},
      {"rational black, neutral", {}, 512, true, {1, 2, 1, 1, 4, 5}, {0, 0, 0, 0}, {2, 1, 1.25}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DngSpec s = spec(40, 30, 16, 7);
    s.crop = c.crop;
    s.black = c.black;
    s.blackRational = c.rational;
    s.neutral = c.neutral;
    pngtest::MemStream m(rawtest::writeDng(s));
    Capture<cPictDNG> dng;
    ASSERT_TRUE(dng.decode(&m.io));
    EXPECT_EQ(dng.margins.left, c.margins.left);
    EXPECT_EQ(dng.margins.right, c.margins.right);
    EXPECT_EQ(dng.margins.top, c.margins.top);
    EXPECT_EQ(dng.margins.bottom, c.margins.bottom);
    EXPECT_EQ(dng.black, c.black);
    EXPECT_EQ(dng.multipliers, c.multipliers);
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictDNG::validFor(&m.io, &info));
    EXPECT_EQ(info.width, c.crop.empty() ? 40 : (long long)c.crop[2]);
    // The whole chain: the cropped picture in 16 bits.
    cPictDNG full;
    ASSERT_TRUE(full.decode(&m.io));
    EXPECT_EQ(full.width(), 40LL - c.margins.left - c.margins.right);
    EXPECT_EQ(full.height(), 30LL - c.margins.top - c.margins.bottom);
    EXPECT_TRUE(full.is16Bpp());
  }
  for (auto [major, minor, taken] : {std::tuple{0, 9, false}, {1, 0, true}}) {
    DngSpec s = spec(8, 6, 16, 1);
    s.version[0] = uint8_t(major);
    s.version[1] = uint8_t(minor);
    pngtest::MemStream m(rawtest::writeDng(s));
    EXPECT_EQ(cPictDNG::validFor(&m.io, nullptr), taken);
  }
  for (auto place : {DngSpec::kMain, DngSpec::kMainWithPreview, DngSpec::kSubIFD}) {
    DngSpec s = spec(16, 12, 16, 2);
    s.place = place;
    pngtest::MemStream m(rawtest::writeDng(s));
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictDNG::validFor(&m.io, &info));
    EXPECT_EQ(info.hasPreview, place != DngSpec::kMain);
    cPictDNG dng;
    cPictDummy preview;
    const long long maxW = 4;
    EXPECT_EQ(dng.getPreview(&m.io, preview, &maxW, nullptr), place != DngSpec::kMain);
    if (place != DngSpec::kMain) {
      EXPECT_EQ(preview.width(), 4);  // 8 x 6 scaled by one half
      EXPECT_EQ(preview.height(), 3);
    }
  }
}

// A flat mosaic: each sample its colour's level plus the black of its place
// in a 2 x 2 tile.
std::vector<uint16_t> flat(int w, int h, const unsigned (&level)[3],
                           const std::vector<uint32_t>& blacks = {}) {
  std::vector<uint16_t> v(size_t(w * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int place = (y % 2) * 2 + x % 2, colour = place == 0 ? 0 : place == 3 ? 2 : 1;
      v[size_t(y * w + x)] = uint16_t(level[colour] + (blacks.empty() ? 0 : blacks[size_t(place)]));
    }
  return v;
}

// The channels of a pixel from the brightest down (0 red, 1 green, 2 blue).
std::vector<int> brightestFirst(unsigned r, unsigned g, unsigned b) {
  std::vector<int> order{0, 1, 2};
  const unsigned v[3] = {r, g, b};
  std::stable_sort(order.begin(), order.end(), [&](int a, int c) { return v[a] > v[c]; });
  return order;
}

// Our picture's centre against dcraw's (PPG, camera colours): the same
// colour, told by which channel is brightest down to the darkest.
void expectDcrawColour(const Bytes& file, const std::string& name, long long w, long long h) {
  pngtest::MemStream m(file);
  cPictDNG dng;
  ASSERT_TRUE(dng.decode(&m.io));
  ASSERT_TRUE(dng.is16Bpp());
  EXPECT_EQ(dng.width(), w);
  EXPECT_EQ(dng.height(), h);
  const unsigned long long p = dng.raw16Bpp()[(h / 2) * w + w / 2];
  const std::string path = tifftest::scratchDir() + "/" + name, out = path + ".ppm";
  tifftest::writeFile(path, file);
  rawtest::Pnm ref;
  ASSERT_TRUE(rawtest::dcrawTo({"-q", "2", "-o", "0", "-4", "-c"}, path, out));
  ASSERT_TRUE(rawtest::readPnm16(tifftest::readFile(out), ref));
  const size_t at = 3 * (size_t(ref.height / 2) * size_t(ref.width) + size_t(ref.width / 2));
  EXPECT_EQ(brightestFirst(p >> 32 & 0xFFFF, p >> 16 & 0xFFFF, p & 0xFFFF),
            brightestFirst(ref.v[at], ref.v[at + 1], ref.v[at + 2]));
}

// An odd crop origin in either direction keeps the mosaic's phase: a flat
// orange file stays orange, as dcraw shows it, and keeps its crop height
// (an odd top read the pattern a row off: blue-cyan, one row short).
TEST(DngRaw, OddCropOriginsKeepTheColours) {
  const unsigned orange[3] = {30000, 15000, 3000};
  for (auto [x, y] : {std::pair{0u, 0u}, {1u, 0u}, {0u, 1u}, {1u, 1u}}) {
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    DngSpec s = spec(40, 30, 16, 1);
    s.samples = flat(40, 30, orange);
    s.crop = {x, y, 30, 20};
    expectDcrawColour(rawtest::writeDng(s), "crop.dng", 30, 20);
  }
}

// ActiveArea, LinearizationTable and BlackLevel over a 2 x 2 repeat tile,
// as dcraw reads them: the raw plane against its -D output, the picture's
// colour against its own.
TEST(DngRaw, ActiveAreaLinearizationAndBlackTilesReadAsDcraw) {
  struct Case {
    const char* name;
    int w, h, bits;
    std::vector<uint32_t> area, crop;
    std::vector<uint16_t> table;
    sMarginInfo margins;  // left, right, top, bottom
  };
  std::vector<uint16_t> squares(256), falling(1000);
  for (size_t i = 0; i < squares.size(); ++i) squares[i] = uint16_t(i * i + 7);
  for (size_t i = 0; i < falling.size(); ++i) falling[i] = uint16_t(65535 - i * 60);
  const Case cases[] = {
      {"active area", 240, 160, 16, {4, 6, 156, 236}, {}, {}, {0, 0, 0, 0}},
      {"odd active area, crop inside it",
       240,
       160,
       16,
       {3, 5, 157, 233},
       {2, 4, 200, 140},
       {},
       {2, 26, 4, 10}},
      {"8-bit table", 40, 30, 8, {}, {}, squares, {0, 0, 0, 0}},
      {"16-bit table shorter than the levels", 40, 30, 16, {}, {}, falling, {0, 0, 0, 0}},
  };
  auto shaped = [](const Case& c, unsigned seed) {
    DngSpec s = spec(c.w, c.h, c.bits, seed);
    s.activeArea = c.area;
    s.crop = c.crop;
    s.linearization = c.table;
    // Levels past a table take its last value; dcraw's table stops at
    // 4096 levels and leaves those above as they are.
    if (c.bits == 16 && !c.table.empty())
      for (uint16_t& v : s.samples) v = uint16_t(v >> 4);
    return s;
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = rawtest::writeDng(shaped(c, unsigned(++n)));
    rawtest::Pnm ref = cameratest::dcrawPlane(file, "shaped" + std::to_string(n) + ".dng");
    ASSERT_FALSE(ref.v.empty());
    pngtest::MemStream m(file);
    Capture<cPictDNG> dng;
    ASSERT_TRUE(dng.decode(&m.io));
    EXPECT_EQ(long(dng.plane.size()), long(ref.width) * ref.height);
    EXPECT_TRUE(dng.plane == ref.v);
    EXPECT_EQ(dng.margins.left, c.margins.left);
    EXPECT_EQ(dng.margins.right, c.margins.right);
    EXPECT_EQ(dng.margins.top, c.margins.top);
    EXPECT_EQ(dng.margins.bottom, c.margins.bottom);
  }
  // Blacks that turn a green-yellow file blue when only the first is taken.
  const unsigned greenish[3] = {4000, 6000, 2000};
  const std::vector<uint32_t> blacks = {1000, 2000, 3000, 9000};
  DngSpec s = spec(40, 30, 16, 1);
  s.samples = flat(40, 30, greenish, blacks);
  s.blacks = blacks;
  expectDcrawColour(rawtest::writeDng(s), "blacks.dng", 40, 30);
}

// AsShotNeutral balances the demosaiced picture: the decoder's result is
// PPG of the plane as the sensor saw it, then the capped factors, then the
// levels; never PPG of a pre-scaled plane.
TEST(DngRaw, NeutralBalancesAfterDemosaicing) {
  DngSpec s = spec(40, 30, 16, 11);
  s.neutral = {1, 2, 1, 1, 4, 5};
  pngtest::MemStream m(rawtest::writeDng(s));
  cPictDNG dng;
  ASSERT_TRUE(dng.decode(&m.io));
  ASSERT_TRUE(dng.is16Bpp());
  std::vector<unsigned long long> want(40 * 30);
  cStdCFAFilter filter;
  sInterpolateInfo info;
  info.raw = s.samples.data();
  info.pixels = want.data();
  info.rawWidth = 40;
  info.rawHeight = 30;
  info.filter = &filter;
  info.bottomUp = true;
  ASSERT_TRUE(interpolatePPG(info, nullptr, nullptr));
  balanceRGB(want.data(), 40 * 30, {2, 1, 1.25});
  ASSERT_TRUE(finishLevels(want.data(), 40 * 30, true, nullptr));
  EXPECT_TRUE(std::equal(want.begin(), want.end(), dng.raw16Bpp()));
}

// LinearRaw: three samples a pixel. With AsShotNeutral it is balanced and
// finished (a grey picture is tinted); without it, it is left as decoded.
TEST(DngRaw, LinearRawIsBalancedAndFinished) {
  for (bool tinted : {false, true}) {
    DngSpec s;
    s.width = 16;
    s.height = 12;
    s.linear = true;
    for (int i = 0; i < 16 * 12; ++i) s.samples.insert(s.samples.end(), 3, uint16_t(i * 300));
    if (tinted) s.neutral = {1, 2, 1, 1, 4, 5};
    pngtest::MemStream m(rawtest::writeDng(s));
    cPictDNG dng;
    ASSERT_TRUE(dng.decode(&m.io));
    ASSERT_EQ(dng.width(), 16);
    ASSERT_TRUE(dng.is16Bpp());
    int grey = 0, asDecoded = 0;
    for (long long i = 0; i < 16 * 12; ++i) {
      unsigned long long p = dng.raw16Bpp()[i];
      grey += (p >> 32 & 0xFFFF) == (p >> 16 & 0xFFFF) && (p >> 16 & 0xFFFF) == (p & 0xFFFF);
      asDecoded += (p & 0xFFFF) == uint16_t(((11 - i / 16) * 16 + i % 16) * 300);  // rows bottom-up
    }
    EXPECT_EQ(grey == 16 * 12, !tinted);
    EXPECT_EQ(asDecoded == 16 * 12, !tinted);
  }
}

// Damaged and forged files answer false under the allocation cap.
// A little-endian number of `bytes` at `i`, and its replacement.
uint32_t numberAt(const Bytes& f, size_t i, int bytes) {
  uint32_t v = 0;
  for (int k = bytes - 1; k >= 0; --k) v = v << 8 | f[i + size_t(k)];
  return v;
}
void putNumber(Bytes& f, size_t i, uint32_t v) {
  for (int k = 0; k < 4; ++k) f[i + size_t(k)] = uint8_t(v >> 8 * k);
}

// Where the main IFD's entry for `tag` lies; 0 when it has none.
size_t entryOf(const Bytes& f, uint16_t tag) {
  const size_t ifd = numberAt(f, 4, 4);
  for (size_t e = ifd + 2; e < ifd + 2 + 12 * numberAt(f, ifd, 2); e += 12)
    if (numberAt(f, e, 2) == tag) return e;
  return 0;
}

// The main IFD's entry for `tag` given another count (and value).
Bytes patchedFile(Bytes f, uint16_t tag, uint32_t count, int64_t value) {
  if (const size_t e = entryOf(f, tag)) {
    putNumber(f, e + 4, count);
    if (value >= 0) putNumber(f, e + 8, uint32_t(value));
  }
  return f;
}

TEST(DngRaw, HostileFilesAreRefused) {
  DngSpec small = spec(8, 6, 16, 3);
  for (auto layout : {DngSpec::kStrip, DngSpec::kLJpegTiles}) {
    small.layout = layout;
    Bytes file = rawtest::writeDng(small);
    ASSERT_TRUE(decodes(file));
    for (size_t n = 0; n + 1 < file.size(); ++n)
      EXPECT_FALSE(decodes(Bytes(file.begin(), file.begin() + long(n)))) << n;
  }
  auto patched = [&](const DngSpec& s, uint16_t tag, uint32_t count, int64_t value = -1) {
    return patchedFile(rawtest::writeDng(s), tag, count, value);
  };
  DngSpec s = spec(9, 6, 16, 4);
  EXPECT_FALSE(decodes(patched(s, 33422, 3))) << "CFA pattern of 3 entries";
  EXPECT_FALSE(decodes(patched(s, 256, 1, 0))) << "width 0";
  EXPECT_FALSE(decodes(patched(s, 256, 1, 1 << 30))) << "huge width";
  EXPECT_FALSE(decodes(patched(s, 257, 1, 0xFFFFFFFF))) << "huge height";
  // 16000 x 16000 samples from a file of a few hundred bytes: refused
  // before 512 MB are asked for (over the sanitizer's cap in these tests).
  for (auto layout : {DngSpec::kStrip, DngSpec::kLJpegTiles}) {
    DngSpec forged = s;
    forged.layout = layout;
    Bytes f = patchedFile(patched(forged, 256, 1, 16000), 257, 1, 16000);
    EXPECT_FALSE(decodes(f));
  }
  DngSpec tiled = s;
  tiled.layout = DngSpec::kLJpegTiles;
  Bytes bigTiles = patchedFile(patched(tiled, 322, 1, 16000), 323, 1, 16000);
  EXPECT_FALSE(decodes(bigTiles)) << "16000 x 16000 tiles over a 9 x 6 raw";
  EXPECT_FALSE(decodes(patchedFile(patched(tiled, 322, 1, 20000), 323, 1, 20000)))
      << "tiles past the library's pixel limit";
  EXPECT_FALSE(decodes(patched(s, 33421, 3))) << "three CFA dimensions";
  EXPECT_FALSE(decodes(patched(s, 33421, 2, 65526 | 65533LL << 16)))
      << "CFA dimensions whose product passes int";
  DngSpec wrongColour = s;
  wrongColour.cfa[3] = 5;
  EXPECT_FALSE(decodes(rawtest::writeDng(wrongColour)));
  DngSpec noPixel = spec(10, 6, 16, 5);
  noPixel.crop = {9, 0, 4, 4};  // the origin rounds up to the width
  EXPECT_FALSE(decodes(rawtest::writeDng(noPixel)));
  DngSpec zero = s;
  zero.crop = {0, 0, 0, 4};
  EXPECT_FALSE(decodes(rawtest::writeDng(zero)));
}

// A DNG of some 140,000 lossless tiles comes back as the plane it was
// written from; with its last tile past the end of the file, or one tile
// fewer than the raw needs, it is refused before the raw plane is made.
TEST(DngRaw, ManyTilesComeBackWholeOrAreRefusedBeforeThePlane) {
  DngSpec s;
  s.width = s.height = 6000;
  s.bits = 14;
  s.layout = DngSpec::kLJpegTiles;
  s.samples = rawtest::mosaic(s.width, s.height, true, 6);
  for (uint16_t& v : s.samples) v = uint16_t(v >> 2);
  const Bytes sound = rawtest::writeDng(s);
  {
    pngtest::MemStream m(sound);
    Capture<cPictDNG> dng;
    ASSERT_TRUE(dng.decode(&m.io));
    EXPECT_TRUE(dng.plane == s.samples);
  }
  const size_t offsets = entryOf(sound, 324);
  ASSERT_NE(offsets, 0u);
  const uint32_t tiles = numberAt(sound, offsets + 4, 4);
  Bytes past = sound;
  putNumber(past, numberAt(sound, offsets + 8, 4) + 4 * (tiles - 1), 0xFFFFFF00);
  for (const auto& [name, file] : {std::pair{"last tile past the end", past},
                                   {"one tile fewer", patchedFile(sound, 324, tiles - 1, -1)}}) {
    SCOPED_TRACE(name);
    pngtest::MemStream m(file);
    const unsigned long long before = pictBytesRequested();
    cPtr<cPictBase> pict(cPictBase::mkPicture(&m.io, nullptr));
    EXPECT_FALSE(pict);
    EXPECT_LT(pictBytesRequested() - before, 64ULL << 20);
  }
}

// Counts the samples' bytes each raw unit's decoding makes.
struct Counting : Capture<cPictDNG> {
  unsigned long long made = 0;
  bool decodeStripe(_typebuf<unsigned char>& in, int compression, sDecomress& out) override {
    const bool done = Capture<cPictDNG>::decodeStripe(in, compression, out);
    made += static_cast<unsigned long long>(out.data.count);
    return done;
  }
};

// Raw tiles of 16 x 262,144 over a 64 x 16 raw, all at one Deflate stream
// of 8 MiB whose first 256 samples count up: they cost the raw's rows, not
// the stream's length, and each shows the stream's first rows.
TEST(DngRaw, TallTilesSharingOneStreamCostOnlyTheRawsRows) {
  DngSpec s = spec(64, 16, 16, 9);
  s.layout = DngSpec::kLJpegTiles;
  Bytes file = patchedFile(patchedFile(rawtest::writeDng(s), 259, 1, 8), 323, 1, 1 << 18);
  Bytes samples(size_t(16) << 19, 0);
  for (size_t i = 0; i < 256; ++i) samples[2 * i] = uint8_t(i * 5 + 1);
  const Bytes stream = rawtest::deflated(samples);
  const uint32_t at = uint32_t(file.size());
  file.insert(file.end(), stream.begin(), stream.end());
  for (int k = 0; k < 4; ++k) {
    putNumber(file, numberAt(file, entryOf(file, 324) + 8, 4) + 4 * size_t(k), at);
    putNumber(file, numberAt(file, entryOf(file, 325) + 8, 4) + 4 * size_t(k), uint32_t(stream.size()));
  }
  pngtest::MemStream m(file);
  Counting dng;
  ASSERT_TRUE(dng.decode(&m.io));
  EXPECT_LE(dng.made, 64u * 16 * 2);
  ASSERT_EQ(dng.plane.size(), 64u * 16);
  for (size_t i = 0; i < dng.plane.size(); ++i)
    ASSERT_EQ(dng.plane[i], samples[2 * (i / 64 * 16 + i % 16)]) << i;
}

// A narrow tall raw in tiles wider than it, as a writer with a tile size of
// its own makes it, comes back as the plane it was written from.
TEST(DngRaw, TilesWiderThanANarrowRawComeBackWhole) {
  DngSpec s = spec(18, 60000, 16, 11);
  s.layout = DngSpec::kLJpegTiles;
  s.tile = 256;
  pngtest::MemStream m(rawtest::writeDng(s));
  Capture<cPictDNG> dng;
  ASSERT_TRUE(dng.decode(&m.io));
  EXPECT_TRUE(dng.plane == s.samples);
}

// A 64 x 48 raw in 32 x 32 Deflate tiles, one of which has a byte count of
// 0 and so holds what its 32 rows would uncompressed: whether that tile is
// in the top row or in the bottom one, half outside the raw, it decodes alike.
TEST(DngRaw, ZeroCountTilesReadAlikeInEveryRow) {
  DngSpec s = spec(64, 48, 16, 12);
  s.layout = DngSpec::kLJpegTiles;
  s.tile = 32;
  // Nine-bit samples that hardly compress, the bottom tiles' rows below the
  // raw too: each stream is longer than a bottom tile's rows inside the raw.
  auto sample = [](int x, int y) { return uint16_t(uint32_t(y * 64 + x) * 2654435761u >> 23); };
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) s.samples[size_t(y * s.width + x)] = sample(x, y);
  for (size_t zeroCounted : {0, 2}) {
    SCOPED_TRACE("tile " + std::to_string(zeroCounted));
    Bytes file = patchedFile(rawtest::writeDng(s), 259, 1, 8);
    for (size_t k = 0; k < 4; ++k) {
      Bytes tile;
      for (int y = int(k / 2) * 32; y < int(k / 2) * 32 + 32; ++y)
        for (int x = int(k % 2) * 32; x < int(k % 2) * 32 + 32; ++x) {
          const uint16_t v = sample(x, y);
          tile.insert(tile.end(), {uint8_t(v), uint8_t(v >> 8)});
        }
      const Bytes stream = rawtest::deflated(tile);
      putNumber(file, numberAt(file, entryOf(file, 324) + 8, 4) + 4 * k, uint32_t(file.size()));
      putNumber(file, numberAt(file, entryOf(file, 325) + 8, 4) + 4 * k,
                k == zeroCounted ? 0 : uint32_t(stream.size()));
      file.insert(file.end(), stream.begin(), stream.end());
    }
    file.resize(file.size() + 2048);
    pngtest::MemStream m(file);
    Capture<cPictDNG> dng;
    ASSERT_TRUE(dng.decode(&m.io));
    EXPECT_TRUE(dng.plane == s.samples);
  }
}

// A lossless frame smaller than its strip or tile is damage, never a plane
// with black rows; without RowsPerStrip (or with 0) the strips share the
// rows evenly, as in any TIFF.
TEST(DngRaw, LosslessFramesMustCoverTheirUnit) {
  struct Case {
    const char* name;
    DngSpec::eLayout layout;
    bool ep;
    int rowsPerStrip, frameRows, frameCols;
    bool decodes;
    bool toLastRow = false;
    int levels = 0;  // when set, every sample is 100 plus one of this many steps
  };
  const Case cases[] = {
      {"five 8-row strips, RowsPerStrip 40", DngSpec::kLJpegStrips, false, 40, 0, 0, false},
      {"five 8-row strips, RowsPerStrip 16", DngSpec::kLJpegStrips, false, 16, 0, 0, false},
      {"five 8-row strips, no RowsPerStrip", DngSpec::kLJpegStrips, false, -2, 0, 0, true},
      {"TIFF/EP, RowsPerStrip 0", DngSpec::kLJpegStrips, true, 0, 0, 0, true},
      {"32 x 32 tiles", DngSpec::kLJpegTiles, false, -1, 0, 0, true},
      {"bottom tiles' frames ending at the last row", DngSpec::kLJpegTiles, false, -1, 0, 0, true, true},
      {"32 x 32 tiles of 16-row frames", DngSpec::kLJpegTiles, false, -1, 16, 0, false},
      {"32 x 32 tiles of 16-column frames", DngSpec::kLJpegTiles, false, -1, 0, 16, false},
      {"a flat plane", DngSpec::kLJpegStrips, false, -2, 0, 0, true, false, 1},
      {"flat tiles", DngSpec::kLJpegTiles, false, -1, 0, 0, true, false, 1},
      {"a dark frame of two levels", DngSpec::kLJpegStrips, false, -2, 0, 0, true, false, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DngSpec s = spec(64, 40, 12, 3);
    s.layout = c.layout;
    s.stripRows = 8;
    s.tile = 32;
    s.rowsPerStrip = c.rowsPerStrip;
    s.frameRows = c.frameRows;
    s.frameCols = c.frameCols;
    s.framesToLastRow = c.toLastRow;
    s.ep = c.ep;
    if (c.ep) s.place = DngSpec::kSubIFD;
    if (c.levels)
      for (uint16_t& v : s.samples) v = uint16_t(100 + v % c.levels);
    const Bytes file = rawtest::writeDng(s);
    pngtest::MemStream m(file);
    Capture<cPictDNG> dng;
    Capture<cPictTIFF_EP> ep;
    const bool decoded = c.ep ? ep.decode(&m.io) : dng.decode(&m.io);
    EXPECT_EQ(decoded, c.decodes);
    if (decoded) {
      EXPECT_TRUE((c.ep ? ep.plane : dng.plane) == s.samples);
      // The whole chain too: a plane without spread is still a picture.
      EXPECT_TRUE(c.ep || decodes(file));
    }
  }
}

// 8-bit samples and their black levels are widened together, whether the
// plane is stored plain or as lossless JPEG; BlackLevelDeltaH and V come
// off each column and row of the active area. Each file reads as its twin
// with the levels already applied: the same plane, black and picture.
TEST(DngRaw, EightBitLevelsAndBlackDeltasReadAsTheirTwin) {
  struct Case {
    const char* name;
    DngSpec levelled, twin;
  };
  auto make = [](int bits, DngSpec::eLayout layout, int w = 48, int h = 32) {
    DngSpec s = spec(w, h, 8, 9);
    for (uint16_t& v : s.samples) v = uint16_t(v / 2);
    s.bits = bits;
    s.layout = layout;
    return s;
  };
  // sample(x, y) + add(x, y) everywhere, widened x256 to 16 bits when asked.
  auto shifted = [](DngSpec s, auto add, int scale = 1) {
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x) {
        uint16_t& v = s.samples[size_t(y * s.width + x)];
        v = uint16_t((v + add(x, y)) * scale);
      }
    if (scale != 1) s.bits = 16;
    return s;
  };
  std::vector<Case> cases;
  for (auto layout : {DngSpec::kStrip, DngSpec::kLJpegStrips}) {
    DngSpec a = shifted(make(8, layout), [](int, int) { return 32; });
    a.black = 32;
    DngSpec b = shifted(
        make(8, DngSpec::kStrip), [](int, int) { return 32; }, 256);
    b.black = 32 * 256;
    cases.push_back(
        {layout == DngSpec::kStrip ? "8-bit strip, BlackLevel 32" : "8-bit lossless, BlackLevel 32", a, b});
  }
  const std::vector<uint32_t> blacks = {4, 8, 12, 30};
  auto place = [&](int x, int y) { return int(blacks[size_t((y % 2) * 2 + x % 2)]); };
  DngSpec tiled = shifted(make(8, DngSpec::kStrip), place);
  tiled.blacks = blacks;
  DngSpec tiledTwin = shifted(make(8, DngSpec::kStrip), place, 256);
  for (uint32_t b : blacks) tiledTwin.blacks.push_back(b * 256);
  cases.push_back({"8-bit, 2 x 2 BlackLevel", tiled, tiledTwin});
  // Deltas inside an active area 4 columns and 2 rows in: negative ones
  // lower the black the demosaicing takes.
  auto dh = [](int x) { return (x * 37) % 300 - 50; };
  auto dv = [](int y) { return (y * 13) % 100 - 20; };
  DngSpec deltas = shifted(make(16, DngSpec::kStrip, 48, 32), [&](int x, int y) {
    return x < 4 || x >= 44 || y < 2 || y >= 30 ? 0 : 200 + dh(x - 4) + dv(y - 2);
  });
  deltas.activeArea = {2, 4, 30, 44};
  deltas.black = 200;
  for (int x = 0; x < 40; ++x) deltas.deltaH.push_back(dh(x));
  for (int y = 0; y < 28; ++y) deltas.deltaV.push_back(dv(y));
  DngSpec deltasTwin = shifted(make(16, DngSpec::kStrip, 48, 32),
                               [](int x, int y) { return x < 4 || x >= 44 || y < 2 || y >= 30 ? 0 : 130; });
  deltasTwin.activeArea = {2, 4, 30, 44};
  deltasTwin.black = 130;
  cases.push_back({"BlackLevelDeltaH and V in an active area", deltas, deltasTwin});
  DngSpec rows = shifted(make(8, DngSpec::kStrip), [](int, int y) { return 16 + y % 5; });
  rows.black = 16;
  for (int y = 0; y < 32; ++y) rows.deltaV.push_back(y % 5);
  DngSpec rowsTwin = shifted(
      make(8, DngSpec::kStrip), [](int, int) { return 16; }, 256);
  rowsTwin.black = 16 * 256;
  cases.push_back({"8-bit, BlackLevelDeltaV", rows, rowsTwin});
  // Fractions add up before a sample is rounded: 32.5 at 8 bits is 8320 at
  // 16, and two deltas of a half a whole level.
  DngSpec half = shifted(make(8, DngSpec::kStrip), [](int, int) { return 33; });
  half.black = 65;
  half.blackRational = half.halves = true;
  DngSpec halfTwin = shifted(
      make(8, DngSpec::kStrip), [](int, int) { return 33; }, 256);
  halfTwin.black = 8320;
  cases.push_back({"8-bit, BlackLevel 32.5", half, halfTwin});
  DngSpec halves = shifted(make(16, DngSpec::kStrip), [](int, int) { return 201; });
  halves.black = 400;
  halves.blackRational = halves.halves = true;
  halves.deltaH.assign(48, 1);
  halves.deltaV.assign(32, 1);
  DngSpec halvesTwin = shifted(make(16, DngSpec::kStrip), [](int, int) { return 201; });
  halvesTwin.black = 201;
  cases.push_back({"BlackLevel 200 and deltas of a half across and down", halves, halvesTwin});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pngtest::MemStream m(rawtest::writeDng(c.levelled)), t(rawtest::writeDng(c.twin));
    Capture<cPictDNG> got, want;
    ASSERT_TRUE(got.decode(&m.io));
    ASSERT_TRUE(want.decode(&t.io));
    EXPECT_TRUE(got.plane == want.plane);
    EXPECT_EQ(got.black, want.black);
    cPictDNG gotPicture, wantPicture;
    ASSERT_TRUE(gotPicture.decode(&m.io));
    ASSERT_TRUE(wantPicture.decode(&t.io));
    ASSERT_EQ(gotPicture.width() * gotPicture.height(), wantPicture.width() * wantPicture.height());
    EXPECT_TRUE(std::equal(wantPicture.raw16Bpp(),
                           wantPicture.raw16Bpp() + wantPicture.width() * wantPicture.height(),
                           gotPicture.raw16Bpp()));
  }
  // dcraw sees the same colour in a flat 8-bit file levelled per place.
  const unsigned greenish[3] = {40, 60, 20};
  DngSpec flatFile = spec(40, 30, 8, 1);
  flatFile.samples = flat(40, 30, greenish, blacks);
  flatFile.blacks = blacks;
  expectDcrawColour(rawtest::writeDng(flatFile), "blacks8.dng", 40, 30);
}

// Every strip or tile count of `f` rewritten from its unit's offset, its
// count and the file's size.
Bytes recounted(Bytes f, const std::function<uint32_t(uint32_t, uint32_t, uint32_t)>& to) {
  const bool strips = entryOf(f, 279) != 0;
  const size_t offsets = entryOf(f, strips ? 273 : 324), counts = entryOf(f, strips ? 279 : 325);
  const uint32_t n = numberAt(f, counts + 4, 4);
  auto at = [&](size_t e, uint32_t i) { return n == 1 ? e + 8 : numberAt(f, e + 8, 4) + 4 * size_t(i); };
  for (uint32_t i = 0; i < n; ++i)
    putNumber(f, at(counts, i), to(numberAt(f, at(offsets, i), 4), numberAt(f, at(counts, i), 4), uint32_t(f.size())));
  return f;
}

// Colour mosaics whose byte counts run past the end of the file read the
// bytes their rows need, as dcraw does: the picture of the file as
// written, in dcraw's colour. A mosaic the camera reader refuses is no
// picture at all, never its samples shown as a grey one.
TEST(DngRaw, CountsPastTheFileReadWhatTheRowsNeed) {
  struct Case {
    const char* name;
    DngSpec::eLayout layout;
    int bits;
  };
  const Case layouts[] = {{"10-bit strip", DngSpec::kStrip, 10},
                          {"16-bit strip", DngSpec::kStrip, 16},
                          {"12-bit lossless tiles", DngSpec::kLJpegTiles, 12}};
  const std::pair<const char*, std::function<uint32_t(uint32_t, uint32_t, uint32_t)>> edits[] = {
      {"doubled", [](uint32_t, uint32_t count, uint32_t) { return 2 * count; }},
      {"100,000 past the end", [](uint32_t at, uint32_t, uint32_t size) { return size + 100000 - at; }}};
  const unsigned orange[3] = {30000, 15000, 3000};
  for (const Case& c : layouts)
    for (const auto& [edit, to] : edits) {
      SCOPED_TRACE(std::string(c.name) + ", counts " + edit);
      const unsigned shift = unsigned(16 - c.bits), level[3] = {orange[0] >> shift, orange[1] >> shift,
                                                                orange[2] >> shift};
      DngSpec s = spec(48, 32, c.bits, 1);
      s.samples = flat(48, 32, level);
      s.layout = c.layout;
      const Bytes file = rawtest::writeDng(s), edited = recounted(file, to);
      pngtest::MemStream m(file), e(edited);
      cPtr<cPictBase> want(cPictBase::mkPicture(&m.io, nullptr)), got(cPictBase::mkPicture(&e.io, nullptr));
      ASSERT_TRUE(want && got);
      ASSERT_EQ(got->typeOf(), kPictDNG);
      ASSERT_EQ(got->width() * got->height(), want->width() * want->height());
      EXPECT_TRUE(std::equal(want->raw16Bpp(), want->raw16Bpp() + want->width() * want->height(), got->raw16Bpp()));
      expectDcrawColour(edited, "counts.dng", 48, 32);
    }
  DngSpec old = spec(48, 32, 16, 2);
  old.version[0] = 0;
  DngSpec noPixel = spec(10, 6, 16, 5);
  noPixel.crop = {9, 0, 4, 4};
  for (const auto& [name, refused] : {std::pair{"DNGVersion 0.4", old}, {"a crop that leaves nothing", noPixel}}) {
    SCOPED_TRACE(name);
    pngtest::MemStream m(rawtest::writeDng(refused));
    cPictDummy out;
    EXPECT_FALSE(cPtr<cPictBase>(cPictBase::mkPicture(&m.io, nullptr)));
    EXPECT_NE(cPictBase::getImage(&m.io, out, 100, 100, 0), 0);
    EXPECT_STREQ(cPictBase::unreadableKind(&m.io), "a camera raw mosaic no camera reader here takes");
  }
}

// A mosaic whose pattern no filter here takes is no picture: it is refused
// in the words for it, its samples never shown as a grey picture. So is a
// CFA page that names no pattern: the format gives none by default and
// dcraw shows its samples grey. A mosaic in a SubIFD leaves the main
// page's 8 x 6 picture to be shown, and is told in the same words when that
// page names no strips; one of red-green over green-blue is shown in
// dcraw's colour.
TEST(DngRaw, MosaicsAreTakenByTheirPattern) {
  std::vector<uint8_t> sixBySix(36);
  for (size_t i = 0; i < sixBySix.size(); ++i) sixBySix[i] = uint8_t((i / 6 + i % 6) % 3);
  const std::vector<uint8_t> twoByFour = {0, 1, 0, 1, 1, 2, 1, 2};
  struct Case {
    const char* name;
    std::vector<uint8_t> cfa;
    uint16_t rows, cols;
    DngSpec::ePlace place;
    long long shownWidth;  // 0: refused
  };
  const Case cases[] = {
      {"6 x 6 pattern", sixBySix, 6, 6, DngSpec::kMain, 0},
      {"2 rows by 4 columns", twoByFour, 2, 4, DngSpec::kMain, 0},
      {"2 rows by 4 columns, beside a preview", twoByFour, 2, 4, DngSpec::kMainWithPreview, 0},
      {"2 rows by 4 columns, in a SubIFD", twoByFour, 2, 4, DngSpec::kSubIFD, 8},
      {"no pattern", {}, 0, 0, DngSpec::kMain, 0},
      {"no pattern, beside a preview", {}, 0, 0, DngSpec::kMainWithPreview, 0},
      {"no pattern, in a SubIFD", {}, 0, 0, DngSpec::kSubIFD, 8},
      {"6 x 6, in a SubIFD under a page without strips", sixBySix, 6, 6, DngSpec::kSubIFDUnderBare, 0},
      {"no pattern, in a SubIFD under a page without strips", {}, 0, 0, DngSpec::kSubIFDUnderBare, 0},
      {"red-green over green-blue", {0, 1, 1, 2}, 2, 2, DngSpec::kMain, 48},
  };
  const unsigned orange[3] = {30000, 15000, 3000};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DngSpec s = spec(48, 32, 16, 1);
    s.samples = flat(48, 32, orange);
    s.place = c.place;
    s.cfa = c.cfa;
    s.cfaRows = c.rows;
    s.cfaCols = c.cols;
    const Bytes file = rawtest::writeDng(s);
    pngtest::MemStream m(file);
    cPictBase::sPictInfo info;
    if (!c.shownWidth) {
      EXPECT_FALSE(cPtr<cPictBase>(cPictBase::mkPicture(&m.io, &info)));
      EXPECT_FALSE(cPtr<cPictBase>(cPictBase::mkPicture(&m.io, nullptr)));
      EXPECT_STREQ(cPictBase::unreadableKind(&m.io), "a camera raw mosaic no camera reader here takes");
      continue;
    }
    cPtr<cPictBase> shown(cPictBase::mkPicture(&m.io, nullptr));
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->width(), c.shownWidth);
    if (c.shownWidth == 48) expectDcrawColour(file, "pattern.dng", 48, 32);
  }
}

// What the probe and getPageSize report is the size the decode gives, and
// an ActiveArea outside the raw is refused by all three.
TEST(DngRaw, ProbedSizeIsTheDecodedSize) {
  struct Case {
    const char* name;
    int w, h;
    std::vector<uint32_t> crop, area;
    long long wantW, wantH;  // 0: refused
  };
  const Case cases[] = {
      {"odd crop height", 120, 90, {0, 0, 100, 79}, {}, 100, 78},
      {"crop past the raw", 120, 90, {10, 8, 200, 150}, {}, 110, 82},
      {"crop of 2^32 - 1", 130, 98, {0, 0, 0xFFFFFFFF, 0xFFFFFFFF}, {}, 130, 98},
      {"crop without its origin", 40, 30, {32, 24}, {}, 32, 24},
      {"crop inside an active area", 48, 32, {1, 1, 20, 15}, {2, 4, 30, 44}, 20, 14},
      {"active area right at 4,000,000,000", 40, 30, {}, {0, 0, 30, 4000000000u}, 0, 0},
      {"active area of 4000 x 3000", 40, 30, {}, {0, 0, 3000, 4000}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DngSpec s = spec(c.w, c.h, 16, 5);
    s.crop = c.crop;
    s.activeArea = c.area;
    pngtest::MemStream m(rawtest::writeDng(s));
    cPictBase::sPictInfo info;
    cPictDNG dng;
    int w = 0, h = 0;
    ASSERT_EQ(cPictDNG::validFor(&m.io, &info), c.wantW > 0);
    ASSERT_EQ(dng.getPageSize(&m.io, 0, w, h), c.wantW > 0);
    ASSERT_EQ(dng.decode(&m.io), c.wantW > 0);
    if (c.wantW == 0) continue;
    EXPECT_EQ(info.width, c.wantW);
    EXPECT_EQ(info.height, c.wantH);
    EXPECT_EQ(w, c.wantW);
    EXPECT_EQ(h, c.wantH);
    EXPECT_EQ(dng.width(), c.wantW);
    EXPECT_EQ(dng.height(), c.wantH);
  }
}

}  // namespace
