#include "picts/raw_common.h"

#include <gtest/gtest.h>

#include "base/memio.h"
#include "picts/tests/png_support.h"
#include "picts/tests/tiff_support.h"

namespace {

using tifftest::Bytes;

using Stream = pngtest::MemStream;

TEST(RawBits, ReadersAnswerZeroOutsideTheirRangeAndFlagADryStream) {
  Stream s({0xA5, 0x3C, 0xFF, 0x01});
  getbithuff_ctx g(&s.io);
  EXPECT_EQ(getbithuff(0, nullptr, g), 0u);
  EXPECT_EQ(getbithuff(26, nullptr, g), 0u);
  EXPECT_EQ(g.bytesRead, 0u);
  EXPECT_EQ(getbithuff(4, nullptr, g), 0xAu);
  EXPECT_EQ(getbithuff(12, nullptr, g), 0x53Cu);
  EXPECT_EQ(getbithuff(25, nullptr, g), 0u);
  EXPECT_EQ(g.error, 1);
  EXPECT_EQ(g.bytesRead, 4u);

  Stream w({0x78, 0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89});
  sph1_bithuff_ctx p(&w.io);
  EXPECT_EQ(ph1_bithuff(0, p), 0u);
  EXPECT_EQ(ph1_bithuff(8, p), 0x12u);
  EXPECT_EQ(ph1_bithuff(28, p), 0x3456788u);
  EXPECT_EQ(ph1_bithuff(28, p), 0x9ABCDEFu);
  EXPECT_EQ(ph1_bithuff(8, p), 0u);
  EXPECT_EQ(p.error, 1);
}

TEST(RawBits, LosslessDifferencesThroughALookupTable) {
  // Code "0": length 4; "10": length 16; "11": length 0.
  const unsigned short list[] = {0x104, 0x210, 0x200};
  _typebuf<unsigned short> table;
  ASSERT_TRUE(makeRawLookup(list, 3, 2, table));
  // 0 1010 | 0 0101 | 10 | 11 | 00 and a dry stream.
  Stream s({0x51, 0x6C});
  getbithuff_ctx g(&s.io);
  for (int want : {10, -10, -32768, 0, 0}) EXPECT_EQ(rawLosslessDiff(2, table.ptr, g), want);
  EXPECT_EQ(g.error, 1);

  const unsigned short tooMany[] = {0x100, 0x100, 0x100}, tooLong[] = {0x300};
  EXPECT_FALSE(makeRawLookup(tooMany, 3, 2, table));
  EXPECT_FALSE(makeRawLookup(tooLong, 1, 2, table));
}

TEST(RawPackings, EachPackingUnpacksAHandWrittenGroup) {
  Bytes swapped;
  for (int i = 0; i < 12; ++i) swapped.push_back((uint8_t)(i * 0x11));
  Bytes padded;
  for (int g = 0; g < 6; ++g) {
    padded.insert(padded.end(), {0x12, 0x34, 0x56});
    if (g == 4) padded.push_back(0xEE);
  }
  std::vector<uint16_t> paddedWant;
  for (int g = 0; g < 6; ++g) paddedWant.insert(paddedWant.end(), {0x412, 0x563});
  struct Case {
    eRawPacking packing;
    Bytes in;
    std::vector<uint16_t> want;
  } cases[] = {
      {rpLittle, {0x12, 0x34, 0x56}, {0x412, 0x563}},
      {rpBig, {0x12, 0x34, 0x56}, {0x123, 0x456}},
      {rpSwappedGroups, swapped, {0x332, 0x211, 0x007, 0x766, 0x554, 0x4BB, 0xAA9, 0x988}},
      {rpPaddedLittle, padded, paddedWant},
  };
  for (const Case& c : cases) {
    std::vector<uint16_t> out(c.want.size() + 2, 0);
    EXPECT_EQ(unpackRaw12(c.packing, c.in.data(), (long long)c.in.size(), out.data(), (long long)out.size()),
              (long long)c.want.size())
        << c.packing;
    out.resize(c.want.size());
    EXPECT_EQ(out, c.want) << c.packing;
  }
}

TEST(RawStrips, SettleFillsTheRestOfTheStreamAndRefusesWhatWouldWrap) {
  struct Case {
    std::vector<unsigned> offsets, counts;
    unsigned rows;
    bool zeroIsMissing, ok;
    unsigned wantCount, wantRows;
  } cases[] = {
      {{100}, {}, 0, false, true, 900, 10},       {{100}, {0}, 0, true, true, 900, 10},
      {{100}, {0}, 4, false, true, 0, 4},         {{1000}, {}, 0, false, false, 0, 0},
      {{2000}, {0}, 0, true, false, 0, 0},        {{0}, {}, 0, false, false, 0, 0},
      {{100, 200}, {}, 5, false, false, 0, 0},    {{100, 200}, {5}, 5, false, false, 0, 0},
      {{100, 200}, {1, 2}, 0, false, false, 0, 0},
  };
  for (const Case& c : cases) {
    sRawStrips s;
    s.offsets.set((long long)c.offsets.size());
    for (size_t i = 0; i < c.offsets.size(); ++i) s.offsets.ptr[i] = c.offsets[i];
    s.counts.set((long long)c.counts.size());
    for (size_t i = 0; i < c.counts.size(); ++i) s.counts.ptr[i] = c.counts[i];
    s.rowsPerStrip = c.rows;
    ASSERT_EQ(s.settle(10, 1000, c.zeroIsMissing), c.ok) << c.offsets[0];
    if (!c.ok) continue;
    EXPECT_EQ(s.counts.ptr[0], c.wantCount);
    EXPECT_EQ(s.rowsPerStrip, c.wantRows);
  }
  sRawStrips three;
  three.offsets.set(3);
  three.rowsPerStrip = 4;
  EXPECT_EQ(three.rowsOf(0, 10), 4u);
  EXPECT_EQ(three.rowsOf(2, 10), 2u);
  EXPECT_EQ(three.rowsOf(1, 5), 1u);
  EXPECT_EQ(three.rowsOf(2, 5), 0u);
  three.rowsPerStrip = 2;
  EXPECT_EQ(three.rowsOf(2, 10), 6u);  // the last strip takes the rest

  // Bytes inside the stream only: a strip past the end brings none.
  sRawStrips body;
  body.offsets.set(2);
  body.counts.set(2);
  body.offsets.ptr[0] = 100, body.counts.ptr[0] = 500;
  body.offsets.ptr[1] = 900, body.counts.ptr[1] = 500;
  EXPECT_TRUE(body.canHold(1000, 600 * 8, 1));
  EXPECT_FALSE(body.canHold(1000, 600 * 8 + 8, 1));
  EXPECT_FALSE(body.canHold(1000, 600 * 8, 2));
  EXPECT_FALSE(body.canHold(50, 8, 1));

  cRawWalkGuard guard;
  EXPECT_TRUE(guard.enter(8));
  EXPECT_FALSE(guard.enter(8));
  for (unsigned at : {16, 24, 32}) EXPECT_TRUE(guard.enter(at));
  EXPECT_FALSE(guard.enter(40));
  guard.leave();
  EXPECT_TRUE(guard.enter(40));
}

class PreviewProbe : public cCameraRawPict {
 public:
  using cCameraRawPict::embeddedPreview;
  bool isPicture(cFileIOTarget*, sPictInfo*) override { return false; }
  bool decode(cFileIOTarget*) override { return false; }
};

TEST(RawPreview, EmbeddedJpegIsScaledToTheLimitsNeverEnlarged) {
  const std::string jpg = tifftest::scratchDir() + "/raw_preview.jpg";
  ASSERT_TRUE(tifftest::run({"convert", "-size", "120x80", "gradient:red-blue", jpg}));
  Bytes file(37, 0x5A);
  Bytes j = tifftest::readFile(jpg);
  file.insert(file.end(), j.begin(), j.end());
  file.insert(file.end(), 11, 0xA5);
  Stream s(file);
  struct Case {
    long long maxW, maxH;
    bool given;
    long long w, h;
  } cases[] = {{0, 0, false, 120, 80}, {60, 60, true, 60, 40},     {30, 100, true, 30, 20},
               {500, 500, true, 120, 80}, {120, 79, true, 119, 79}, {0, 5, true, 0, 0}};
  for (const Case& c : cases) {
    cPictDummy out;
    bool ok = PreviewProbe::embeddedPreview(&s.io, 37, j.size(), out, c.given ? &c.maxW : nullptr,
                                            c.given ? &c.maxH : nullptr);
    ASSERT_EQ(ok, c.w > 0) << c.maxW;
    if (!ok) continue;
    EXPECT_EQ(out.width(), c.w) << c.maxW;
    EXPECT_EQ(out.height(), c.h) << c.maxW;
    EXPECT_FALSE(out.is16Bpp());
  }
  cPictDummy out;
  EXPECT_FALSE(PreviewProbe::embeddedPreview(&s.io, 0, j.size(), out, nullptr, nullptr));
  EXPECT_FALSE(PreviewProbe::embeddedPreview(&s.io, 36, j.size(), out, nullptr, nullptr));
}

}  // namespace
