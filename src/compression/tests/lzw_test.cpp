#include <gtest/gtest.h>

#include <random>

#include "compression/lzwdecompress.h"
#include "lzw_encoder.h"
#include "zlib_support.h"

namespace {

tBytes sampleSymbols(size_t n, int alphabet, unsigned seed) {
  std::mt19937 rng(seed);
  tBytes b(n);
  for (size_t i = 0; i < n; ++i) {
    // Runs and repeats, so codes that refer to the entry being assigned occur often.
    if (i > 50 && rng() % 3 == 0)
      b[i] = b[i - 1 - rng() % 50];
    else
      b[i] = static_cast<unsigned char>(rng() % static_cast<unsigned>(alphabet));
  }
  return b;
}

struct sLzwSetup {
  bool msbFirst;
  int width;
  bool earlyChange;
};

class LzwRoundTrip : public testing::TestWithParam<sLzwSetup> {};

TEST_P(LzwRoundTrip, DecodesWhatTheEncoderWrote) {
  const sLzwSetup s = GetParam();
  const int alphabet = 1 << (s.width - 1);
  // A run of one byte makes nearly every code the one being assigned.
  for (const tBytes& plain :
       {sampleSymbols(1, alphabet, 1), sampleSymbols(2, alphabet, 2), sampleSymbols(1000, alphabet, 3),
        sampleSymbols(60000, alphabet, 4), tBytes(5000, 1)}) {
    sLzwCodes packed = lzwEncode(plain, s.msbFirst, s.width, s.earlyChange);
    if (plain.size() == 60000 && s.width == 9) {
      EXPECT_GT(packed.clears, 1);  // the table filled
    }
    cLZWDecompress lzw(s.msbFirst, s.width, s.earlyChange);
    _typebuf<unsigned char> buf;
    // Input and output may be the same buffer.
    ASSERT_TRUE(lzw.decompress(fill(buf, packed.bytes), buf)) << plain.size();
    EXPECT_EQ(bytesOf(buf), plain) << plain.size();
  }
}

INSTANTIATE_TEST_SUITE_P(Lzw, LzwRoundTrip,
                         testing::Values(sLzwSetup{true, 9, true}, sLzwSetup{true, 9, false},
                                         sLzwSetup{false, 9, true}, sLzwSetup{false, 9, false},
                                         sLzwSetup{false, 3, false}, sLzwSetup{true, 5, true}),
                         [](const testing::TestParamInfo<sLzwSetup>& info) {
                           return std::string(info.param.msbFirst ? "Msb" : "Lsb") +
                                  std::to_string(info.param.width) +
                                  (info.param.earlyChange ? "Early" : "Late");
                         });

// Builds code streams by hand, for the cases an encoder never writes.
tBytes codes(bool msbFirst, std::initializer_list<std::pair<int, int>> codeAndWidth) {
  cTestBitWriter w(msbFirst);
  for (auto [code, width] : codeAndWidth) w.put(static_cast<unsigned>(code), width);
  return w.bytes;
}

TEST(Lzw, WidthGrowsAfterCode510WithEarlyChangeAnd511Without) {
  for (bool early : {true, false}) {
    // 254 literals after a clear assign codes 258 to 510.
    cTestBitWriter w(true);
    w.put(256, 9);
    tBytes expect;
    for (int i = 0; i < 254; ++i) {
      w.put(static_cast<unsigned>(i % 7), 9);
      expect.push_back(static_cast<unsigned char>(i % 7));
    }
    if (!early) {
      // Without early change one more code (assigning 511) is still 9 bits wide.
      w.put(3, 9);
      expect.push_back(3);
    }
    w.put(257, 10);
    cLZWDecompress lzw(true, 9, early);
    _typebuf<unsigned char> in, out;
    ASSERT_TRUE(lzw.decompress(fill(in, w.bytes), out)) << early;
    EXPECT_EQ(bytesOf(out), expect) << early;
  }
}

// Streams an encoder never writes: no clear code first, no end code.
TEST(Lzw, ShortStreamsAndFirstCodes) {
  cLZWDecompress lzw(false, 9, false);
  _typebuf<unsigned char> in, out;
  EXPECT_FALSE(lzw.decompress(in, out));
  const std::pair<tBytes, tBytes> cases[] = {
      {codes(false, {{257, 9}}), {}},
      // The first literal adds no entry, so 258 is "ab".
      {codes(false, {{'a', 9}, {'b', 9}, {258, 9}, {257, 9}}), {'a', 'b', 'a', 'b'}},
      {codes(false, {{256, 9}, {'q', 9}, {'r', 9}}), {'q', 'r'}},
  };
  for (const auto& [stream, plain] : cases) {
    EXPECT_TRUE(lzw.decompress(fill(in, stream), out));
    EXPECT_EQ(bytesOf(out), plain);
  }
}

TEST(Lzw, HostileCodesFailWithThePrefix) {
  cLZWDecompress lzw(true, 9, true);
  _typebuf<unsigned char> in, out;
  // 300 is beyond the next code to be assigned (259).
  EXPECT_FALSE(
      lzw.decompress(fill(in, codes(true, {{256, 9}, {'a', 9}, {'b', 9}, {300, 9}, {257, 9}})), out));
  EXPECT_EQ(bytesOf(out), (tBytes{'a', 'b'}));

  // Garbage of every kind decodes or fails without touching memory it does not own (ASan).
  std::mt19937 rng(11);
  for (int i = 0; i < 2000; ++i) {
    tBytes junk(1 + rng() % 400);
    for (auto& b : junk) b = static_cast<unsigned char>(rng());
    for (bool msb : {true, false}) {
      cLZWDecompress any(msb, 2 + i % 8, i % 2 == 0);
      any.decompress(fill(in, junk), out);
    }
  }
}

TEST(Lzw, StopsAtTheOutputLimit) {
  tBytes run(100000, 7);
  sLzwCodes packed = lzwEncode(run, false, 9, false);
  cLZWDecompress lzw(false, 9, false);
  lzw.setOutputLimit(12345);
  _typebuf<unsigned char> in, out;
  EXPECT_TRUE(lzw.decompress(fill(in, packed.bytes), out));
  EXPECT_EQ(bytesOf(out), tBytes(12345, 7));
}

}  // namespace
