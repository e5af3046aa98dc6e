#include <gtest/gtest.h>

#include "picts/pictarw.h"
#include "picts/tests/camera_ifd_support.h"

namespace {

using cameratest::Bytes;
using cameratest::Captured;

enum Body { kPacked, kSixteen, kArw1, kArw2 };
enum Balance { kNone, kPrivate, kMinolta };

struct ArwSpec {
  int w = 64, h = 24;
  Body body = kArw2;
  bool big = false;
  std::string model = "DSLR-A700";
  Balance balance = kPrivate;
  unsigned privateLength = 0;  // forged length of the private block
  Bytes preview = {};            // a JPEG for the first IFD, which then gets a next IFD
};

const uint16_t kBalance[4] = {700, 1024, 1024, 500};  // as stored: R, G, G, B

// Samples every body can carry: ARW2 blocks store 11-bit values at 7 bits
// above their minimum and keep half of each, so those planes come from
// blocks built first.
std::vector<uint16_t> arw2Plane(const ArwSpec& s, Bytes& body, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint16_t> plane(size_t(s.w) * size_t(s.h));
  for (int row = 0; row < s.h; ++row)
    for (int start = 0; start < s.w - 30; start += start & 1 ? 31 : 1) {
      const int sh = int(rng() % 5);
      const int spread = sh ? (64 << sh) + int(rng() % unsigned(64 << sh)) : int(rng() % 128);
      const int min = int(rng() % unsigned(2048 - spread));
      const int max = min + spread, imax = int(rng() % 16), imin = (imax + 1 + int(rng() % 15)) % 16;
      uint8_t block[16] = {};
      auto put = [&](int bit, unsigned v, int n) {
        for (int k = 0; k < n; ++k)
          if (v >> k & 1) block[(bit + k) / 8] |= uint8_t(1 << ((bit + k) % 8));
      };
      put(0, unsigned(max | min << 11 | imax << 22 | imin << 26), 30);
      for (int i = 0, bit = 30; i < 16; ++i) {
        int v = i == imax ? max : i == imin ? min : 0;
        if (i != imax && i != imin) {
          const int field = int(rng() % unsigned(std::min(128, ((2047 - min) >> sh) + 1)));
          put(bit, unsigned(field), 7);
          bit += 7;
          v = min + (field << sh);
        }
        plane[size_t(row * s.w + start + 2 * i)] = uint16_t(v >> 1);
      }
      body.insert(body.end(), block, block + 16);
    }
  return plane;
}

// The first compressed body: one running sum down the columns, right to left.
Bytes arw1Body(const std::vector<uint16_t>& v, int w, int rows) {
  static const uint16_t kCodes[] = {
#include "picts/raw_arw1_codes.inc"
  };
  std::vector<std::pair<uint32_t, int>> codes(18);
  for (uint32_t pos = 0, i = 0; i < 18; pos += 32768u >> (kCodes[i] >> 8), ++i)
    if (!codes[kCodes[i] & 0xFF].second) codes[kCodes[i] & 0xFF] = {pos >> (15 - (kCodes[i] >> 8)), kCodes[i] >> 8};
  cameratest::BitWriter bw;
  const int total = rows + 8;
  int sum = 0;
  for (int col = w; col--;)
    for (int row = 0; row < total + 1; row += 2) {
      if (row == total) row = 1;
      const int target = row < rows ? v[size_t(row * w + col)] : sum;
      cameratest::putDiff(bw, target - sum, codes);
      sum = target;
    }
  return bw.finish();
}

struct ArwFile {
  Bytes bytes;
  std::vector<uint16_t> plane;
};

ArwFile writeArw(const ArwSpec& s, unsigned seed = 9) {
  tifftest::Writer w;
  w.bigEndian = s.big;
  const bool a100 = s.model == "DSLR-A100";
  const int rows = a100 ? s.h + 8 : s.h;
  ArwFile f;
  Bytes body;
  if (s.body == kArw2) {
    f.plane = arw2Plane(s, body, seed);
  } else {
    f.plane = rawtest::mosaic(s.w, rows, true, seed);
    for (auto& x : f.plane) x >>= s.body == kSixteen ? 0 : 4;
    for (size_t i = 0; i < f.plane.size(); i += s.body == kPacked ? 2 : 1) {
      const unsigned a = f.plane[i], b = s.body == kPacked ? f.plane[i + 1] : 0;
      if (s.body == kSixteen)
        s.big ? body.insert(body.end(), {uint8_t(a >> 8), uint8_t(a)}) : body.insert(body.end(), {uint8_t(a), uint8_t(a >> 8)});
      else if (s.body == kPacked)
        rawtest::putPair12(body, a, b, s.big);
    }
    if (s.body == kArw1) body = arw1Body(f.plane, s.w, rows);
  }
  const uint64_t bodyAt = w.addBlob(body);
  Bytes cfa = {0, 1, 1, 2};
  const uint64_t subAt = a100 ? bodyAt
                              : cameratest::addIfdBlob(w, {w.longEntry(256, {uint64_t(s.w)}),
                                                           w.longEntry(257, {uint64_t(s.h)}),
                                                           w.shortEntry(258, {s.body == kSixteen ? 16u : 12u}),
                                                           w.shortEntry(259, {s.body == kSixteen ? 1u : 32767u}),
                                                           w.longEntry(273, {bodyAt}),
                                                           w.shortEntry(277, {1}),
                                                           w.longEntry(278, {uint64_t(s.h)}),
                                                           w.longEntry(279, {body.size()}),
                                                           w.shortEntry(33421, {2, 2}),
                                                           {33422, 1, 4, cfa}});
  std::vector<tifftest::Entry> ifd = {
      w.longEntry(256, {uint64_t(s.w)}),
      w.longEntry(257, {uint64_t(s.h)}),
      {271, 2, 5, Bytes{'S', 'O', 'N', 'Y', 0}},
      {272, 2, s.model.size() + 1, Bytes(s.model.c_str(), s.model.c_str() + s.model.size() + 1)},
      w.longEntry(330, {subAt}),
  };
  if (s.balance == kPrivate) {
    const uint32_t key = 0x1234ABCD;
    const uint64_t at = w.headerSize() + w.blobs.size();
    Bytes block = w.values(1, 2);
    for (uint64_t v : {uint64_t(29459), uint64_t(3), uint64_t(4), at + 18}) w.put(block, v, v == 29459 || v == 3 ? 2 : 4);
    w.put(block, 0, 4);
    for (uint16_t b : kBalance) w.put(block, b, 2);
    cPictARW::sonyDecrypt(block.data(), block.size() / 4, key);
    w.addBlob(block);
    // The block's tags sit in a private IFD that DNGPrivateData points at.
    const uint64_t privateAt = cameratest::addIfdBlob(
        w, {w.longEntry(29184, {at}), w.longEntry(29185, {s.privateLength ? s.privateLength : block.size()}),
            {29217, 7, 4, w.values(key, 4)}, w.longEntry(29265, {0})});
    ifd.push_back({50740, 1, 4, w.values(privateAt, 4)});
  } else if (s.balance == kMinolta) {
    Bytes mrm = {0, 'M', 'R', 'M', 0, 0, 0, 36, 0, 'P', 'R', 'D', 0, 0, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8,
                 0, 'W', 'B', 'G', 0, 0, 0, 12, 0, 0, 0, 0};
    for (uint16_t b : kBalance) mrm.insert(mrm.end(), {uint8_t(b >> 8), uint8_t(b)});
    ifd.push_back({29264, 7, mrm.size(), mrm});
  }
  if (!s.preview.empty()) {
    ifd.push_back(w.longEntry(513, {w.addBlob(s.preview)}));
    ifd.push_back(w.longEntry(514, {s.preview.size()}));
  }
  std::sort(ifd.begin(), ifd.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
  w.ifds.push_back(ifd);
  if (!s.preview.empty()) w.ifds.push_back({w.longEntry(256, {1})});
  f.bytes = w.build();
  return f;
}

TEST(ArwDecode, BodiesComeBackAsTheirSourcePlanesWithTheirBalance) {
  struct Case {
    const char* name;
    ArwSpec spec;
    bool dcraw;
  } cases[] = {
      {"ARW2, private block", {64, 24, kArw2}, true},
      {"ARW1", {64, 24, kArw1}, true},
      {"packed II", {64, 24, kPacked}, true},
      {"packed MM", {64, 24, kPacked, true}, false},  // dcraw keeps the little-endian order
      {"16-bit II, Minolta block", {64, 24, kSixteen, false, "DSLR-A700", kMinolta}, true},
      {"16-bit MM, no balance", {64, 24, kSixteen, true, "DSLR-A700", kNone}, true},
      {"A100", {64, 24, kArw1, false, "DSLR-A100", kNone}, false},
      {"model factors", {64, 24, kArw2, false, "ILCE-6000"}, false},
  };
  for (const Case& c : cases) {
    const ArwFile f = writeArw(c.spec);
    Captured<cPictARW> d;
    ASSERT_TRUE(cameratest::decodePlane(f.bytes, d)) << c.name;
    EXPECT_EQ(d.plane, f.plane) << c.name;
    // RGGB: red, the second green, blue; else the standard balance.
    const bool stored = c.spec.balance != kNone;
    double m[3] = {stored ? kBalance[0] : 1.4, stored ? kBalance[2] : 1.0, stored ? kBalance[3] : 1.1};
    cPictARW::sModel model{};
    for (int i = 0; i < cPictARW::kModelCount; ++i)
      if (c.spec.model == cPictARW::kModels[i].key) model = cPictARW::kModels[i];
    m[0] *= model.f0, m[1] *= model.f1, m[2] *= model.f2;
    const double white = model.white ? model.white : c.spec.body == kSixteen ? 65535 : 4095;
    const double scale = 65536 / white / std::min({m[0], m[1], m[2]});
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(d.multipliers[i], m[i] * scale) << c.name << i;
    EXPECT_EQ(d.black, model.black) << c.name;
    if (!c.dcraw) continue;
    // dcraw shows the first body's 8 rows below the picture too.
    rawtest::Pnm p = cameratest::dcrawPlane(f.bytes, "arw.arw");
    ASSERT_EQ(p.width, c.spec.w) << c.name;
    ASSERT_GE(p.v.size(), f.plane.size()) << c.name;
    EXPECT_TRUE(std::equal(f.plane.begin(), f.plane.end(), p.v.begin())) << c.name;
  }
}

TEST(ArwDecode, PrivateBlockBalanceIsTheCamerasAsDcrawReadsIt) {
  double d[4] = {};
  ASSERT_TRUE(camtest::dcrawMultipliers(writeArw(ArwSpec{}).bytes, "balance.arw", d));
  // dcraw lists red, green, blue, second green.
  EXPECT_EQ(d[0], kBalance[0]);
  EXPECT_EQ(d[1], kBalance[1]);
  EXPECT_EQ(d[2], kBalance[3]);
  EXPECT_EQ(d[3], kBalance[2]);
}

TEST(ArwDecode, ModelRowsAndHostileFiles) {
  for (int i = 0; i < cPictARW::kModelCount; ++i) {
    const cPictARW::sModel& m = cPictARW::kModels[i];
    ArwSpec s;
    s.model = m.key;
    s.body = m.a100 ? kArw1 : kArw2;
    Captured<cPictARW> d;
    ASSERT_TRUE(cameratest::decodePlane(writeArw(s).bytes, d)) << m.key;
    EXPECT_EQ(d.margins.right, m.right) << m.key;
    EXPECT_EQ(d.black, m.black) << m.key;
  }
  ArwSpec longer;
  longer.model = "DSLR-A700X";
  Captured<cPictARW> d;
  ASSERT_TRUE(cameratest::decodePlane(writeArw(longer).bytes, d));
  EXPECT_EQ(d.black, 0u);
  ArwSpec beyond;
  beyond.privateLength = 1u << 30;  // the block would reach past the file: no balance, no allocation
  ASSERT_TRUE(cameratest::decodePlane(writeArw(beyond).bytes, d));
  EXPECT_DOUBLE_EQ(d.multipliers[0] / d.multipliers[1], 1.4);
  ArwSpec narrow;
  narrow.model = "DSC-R1";
  narrow.w = 58;
  narrow.body = kSixteen;
  cameratest::Memory m(writeArw(narrow).bytes);
  EXPECT_FALSE(d.decode(&m.io));
  ArwSpec withPreview;
  withPreview.preview = cameratest::toolJpeg("80x60", "xc:red");
  cameratest::Memory p(writeArw(withPreview).bytes);
  cPictBase::sPictInfo info;
  ASSERT_TRUE(cPictARW::validFor(&p.io, &info));
  EXPECT_TRUE(info.hasPreview);
  cPictDummy out;
  const long long side = 40;
  ASSERT_TRUE(d.getPreview(&p.io, out, &side, &side));
  EXPECT_EQ(out.width(), 40);
  EXPECT_EQ(out.height(), 30);
  ArwSpec small{8, 4, kSixteen};
  cameratest::survivesEveryTruncation<cPictARW>(writeArw(small).bytes);
}

}  // namespace
