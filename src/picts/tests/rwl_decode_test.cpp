#include <gtest/gtest.h>

#include <cstring>

#include "picts/pictrwl.h"
#include "picts/tests/camera_support.h"

namespace {

using cameratest::Bytes;
using cameratest::Captured;

enum Body { kPlain16, kPadded, kPackedSplit, kPackedWhole };

// Samples the packed body can carry: 12 bits, never below 16, each parity of
// a 14-column group keeping the low nibble of its first sample.
std::vector<uint16_t> panaSamples(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint16_t> s(size_t(w) * size_t(h));
  unsigned low[2] = {};
  for (size_t i = 0; i < s.size(); ++i) {
    if (i % 14 == 0) low[0] = rng() % 16, low[1] = rng() % 16;
    s[i] = uint16_t((rng() % 255 + 1) << 4 | low[i & 1]);
  }
  return s;
}

// Each 14 columns are one 128-bit chunk read from its top bit down; 16 KiB
// blocks, stored as two swapped halves when `split`.
Bytes panaPack(const std::vector<uint16_t>& s, bool split) {
  Bytes body;
  for (size_t g = 0; g < s.size(); g += 14) {
    uint8_t chunk[16] = {};
    int used = 0;
    auto put = [&](unsigned v, int n) {
      for (int k = n - 1; k >= 0; --k, ++used)
        if (v >> k & 1) chunk[(127 - used) / 8] |= uint8_t(1 << ((127 - used) % 8));
    };
    for (int i = 0; i < 14; ++i) {
      if (i % 3 == 2) put(3, 2);  // shift 4
      const unsigned v = s[g + size_t(i)];
      put(v >> 4, 8);
      if (i < 2) put(v & 15, 4);
    }
    body.insert(body.end(), chunk, chunk + 16);
  }
  body.resize((body.size() + 16383) / 16384 * 16384, 0);
  if (!split) return body;
  Bytes out;
  for (size_t b = 0; b < body.size(); b += 16384) {
    out.insert(out.end(), body.begin() + long(b + 8200), body.begin() + long(b + 16384));
    out.insert(out.end(), body.begin() + long(b), body.begin() + long(b + 8200));
  }
  return out;
}

struct RwlSpec {
  int w = 112, h = 16;
  Body body = kPlain16;
  std::string model = "DMC-FZ30";
  int modelExtra = 1;  // bytes after the key: its zero, or more
  uint32_t cfa = 1;
  size_t cut = 0;  // bytes dropped from the body's end
};

Bytes writeRwl(const RwlSpec& s, const std::vector<uint16_t>& samples) {
  tifftest::Writer w;
  Bytes body;
  if (s.body == kPlain16) {
    for (uint16_t v : samples) body.insert(body.end(), {uint8_t(v), uint8_t(v >> 8)});
  } else if (s.body == kPadded) {
    for (size_t i = 0; i < samples.size(); i += 2) {
      rawtest::putPair12(body, samples[i], samples[i + 1], false);
      if (i % 10 == 8) body.push_back(0xEE);
    }
  } else {
    body = panaPack(samples, s.body == kPackedSplit);
  }
  body.resize(body.size() - s.cut);
  const uint64_t at = w.addBlob(body);
  const bool packedByTag = s.body == kPackedSplit;
  Bytes model(s.model.begin(), s.model.end());
  model.resize(model.size() + size_t(s.modelExtra), 0);
  std::vector<tifftest::Entry> ifd = {
      w.shortEntry(2, {uint64_t(s.w)}),
      w.shortEntry(3, {uint64_t(s.h)}),
      w.shortEntry(9, {s.cfa}),
      w.shortEntry(17, {300}),
      w.shortEntry(18, {600}),
      // For dcraw only: the decoder reads the layout from the byte count.
      w.shortEntry(258, {s.body == kPlain16 ? 16u : 12u}),
      w.shortEntry(259, {s.body == kPlain16 || s.body == kPadded ? 1u : 34316u}),
      {271, 2, 10, Bytes{'P', 'a', 'n', 'a', 's', 'o', 'n', 'i', 'c', 0}},
      {272, 2, model.size(), model},
      w.longEntry(273, {packedByTag ? 0xFFFFFFFFu : at}),
      w.longEntry(278, {uint64_t(s.h)}),
      w.longEntry(279, {packedByTag ? 0 : body.size()}),
  };
  if (packedByTag) ifd.push_back(w.longEntry(280, {at}));
  w.ifds.push_back(ifd);
  Bytes file = w.build();
  file[2] = 0x55;
  file[3] = 0;
  return file;
}

TEST(RwlDecode, BodiesComeBackAsTheirSourcePlanes) {
  struct Case {
    const char* name;
    RwlSpec spec;
    bool ok;
  } cases[] = {
      {"16-bit", {112, 24, kPlain16}, true},
      {"padded 12-bit", {40, 25, kPadded}, true},
      {"packed, split blocks", {112, 24, kPackedSplit}, true},
      {"packed, whole blocks", {112, 16, kPackedWhole, "DMC-L10"}, true},
      {"packed, 7 rows short", {112, 135, kPackedSplit, "DMC-FZ30", 1, 1, 16384}, true},
      {"packed, 8 rows short", {112, 136, kPackedSplit, "DMC-FZ30", 1, 1, 16384}, false},
      {"CFA 2", {112, 16, kPlain16, "DMC-FZ30", 1, 2}, true},
      {"CFA 3", {112, 16, kPlain16, "DMC-FZ30", 1, 3}, true},
      {"CFA 4", {112, 16, kPlain16, "DMC-FZ30", 1, 4}, true},
      {"CFA 5", {112, 16, kPlain16, "DMC-FZ30", 1, 5}, false},
  };
  for (const Case& c : cases) {
    auto samples = panaSamples(c.spec.w, c.spec.h, 7);
    Bytes file = writeRwl(c.spec, samples);
    Captured<cPictRWL> d;
    ASSERT_EQ(cameratest::decodePlane(file, d), c.ok) << c.name;
    if (!c.ok) continue;
    // Rows past a short tail stay zero.
    const size_t have = c.spec.cut ? 128u * size_t(c.spec.w) : samples.size();
    std::fill(samples.begin() + long(have), samples.end(), 0);
    EXPECT_EQ(d.plane, samples) << c.name;
    EXPECT_EQ(d.multipliers[2], 0.5) << c.name;  // tag 17 over tag 18
    EXPECT_EQ(d.width(), c.spec.w - long(d.margins.left + d.margins.right)) << c.name;
    EXPECT_TRUE(d.is16Bpp());

    if (c.spec.cut || c.spec.body == kPackedWhole || c.spec.cfa != 1) continue;
    rawtest::Pnm p = cameratest::dcrawPlane(file, "rwl.rw2");
    ASSERT_FALSE(p.v.empty()) << c.name;
    EXPECT_EQ(p.v, std::vector<uint16_t>(samples.begin(), samples.end())) << c.name;
  }
}

TEST(RwlDecode, ModelTableRowsSetMarginsAndBlack) {
  for (int i = 0; i < cPictRWL::kModelCount; ++i) {
    const cPictRWL::sModel& m = cPictRWL::kModels[i];
    RwlSpec spec{400, 40, kPlain16, m.key};
    Bytes file = writeRwl(spec, panaSamples(400, 40, 3));
    cameratest::Memory mem(file);
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictRWL::validFor(&mem.io, &info)) << m.key;
    EXPECT_EQ(info.width, 400 - m.left - m.right) << m.key;
    EXPECT_EQ(info.height, 40 - m.top - m.bottom) << m.key;
    if (m.flags & cPictRWL::kPacked) continue;
    Captured<cPictRWL> d;
    ASSERT_TRUE(cameratest::decodePlane(file, d)) << m.key;
    EXPECT_EQ(d.black, m.black) << m.key;
  }
  // A value one byte longer than the key and its zero is another model.
  RwlSpec longer{400, 40, kPlain16, "DMC-FZ8", 2};
  cameratest::Memory mem(writeRwl(longer, panaSamples(400, 40, 3)));
  cPictBase::sPictInfo info;
  ASSERT_TRUE(cPictRWL::validFor(&mem.io, &info));
  EXPECT_EQ(info.width, 400);
}

TEST(RwlDecode, HostileFilesAreRefused) {
  RwlSpec spec{28, 4, kPlain16};
  const Bytes good = writeRwl(spec, panaSamples(28, 4, 5));
  Bytes mm = good;
  mm[0] = mm[1] = 'M';
  Bytes wide = writeRwl({28, 4, kPlain16, "DMC-FZ30"}, panaSamples(28, 4, 5));  // right margin 16 of 28
  Bytes narrow = writeRwl({16, 4, kPlain16, "DMC-FZ30"}, panaSamples(16, 4, 5));
  Bytes beyond = writeRwl({112, 4, kPackedSplit}, panaSamples(112, 4, 5));
  // Tag 280's offset moved past the stream.
  beyond[beyond.size() - 8] = 0xFF, beyond[beyond.size() - 7] = 0xFF, beyond[beyond.size() - 6] = 0x7F;
  for (const Bytes* f : {&mm, &narrow, &beyond}) {
    cameratest::Memory m(*f);
    EXPECT_FALSE(cPictRWL::validFor(&m.io, nullptr));
  }
  cameratest::Memory m(wide);
  EXPECT_TRUE(cPictRWL::validFor(&m.io, nullptr));
  cameratest::survivesEveryTruncation<cPictRWL>(good);
}

}  // namespace
