#include <gtest/gtest.h>

#include "compression/zdecompress.h"
#include "compression/zdeflate.h"
#include "zlib_support.h"

namespace {

TEST(ZDeflate, OutputInflatesWithZlibAtBothLevels) {
  tBytes plain = sampleBytes(200000);
  for (int level : {9, 5}) {
    cZDeflate deflater(level);
    tBytes packed(compressBound(plain.size()));
    EXPECT_EQ(deflater.deflate(plain.data(), 5000, packed.data(), 100), 0u);  // no room
    // One object compresses buffer after buffer.
    for (size_t size : {plain.size(), size_t(1000), size_t(0)}) {
      unsigned int n = deflater.deflate(plain.data(), static_cast<unsigned int>(size), packed.data(),
                                        static_cast<unsigned int>(packed.size()));
      ASSERT_GT(n, 0u) << level;
      EXPECT_EQ(zlibInflate(packed.data(), n, size), tBytes(plain.begin(), plain.begin() + size)) << level;
    }
  }
}

TEST(ZInflate, AnswersThePlainBytesProduced) {
  tBytes plain = sampleBytes(70000), packed = zlibCompress(plain, 6), out(plain.size());
  cZInflate inflater;
  for (size_t have : {packed.size(), packed.size() / 2}) {
    unsigned int n = inflater.inflate(packed.data(), static_cast<unsigned int>(have), out.data(),
                                      static_cast<unsigned int>(out.size()));
    EXPECT_EQ(n == plain.size(), have == packed.size());
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + n, plain.begin()));
  }
}

TEST(ZDecompress, OneShotGivesWholeOrPrefix) {
  cZDecompress z;
  _typebuf<unsigned char> in, out;
  EXPECT_TRUE(z.decompress(in, out));
  EXPECT_EQ(out.count, 0);

  // Zeros expand far beyond one 64 KiB step per input byte.
  tBytes zeros(10 << 20, 0);
  tBytes packed = zlibCompress(zeros, 9);
  EXPECT_TRUE(z.decompress(fill(in, packed.data(), packed.size()), out));
  EXPECT_EQ(bytesOf(out), zeros);

  tBytes plain = sampleBytes(300000);
  packed = zlibCompress(plain, 9);
  EXPECT_TRUE(z.decompress(fill(in, packed.data(), packed.size() / 2), out));
  ASSERT_GT(out.count, 0);
  ASSERT_LT(out.count, static_cast<long long>(plain.size()));
  EXPECT_TRUE(std::equal(out.ptr, out.ptr + out.count, plain.begin()));

  packed.back() ^= 0x55;  // a wrong check value is damage too, and still answers true
  EXPECT_TRUE(z.decompress(fill(in, packed.data(), packed.size()), out));
  EXPECT_EQ(bytesOf(out), plain);
}

TEST(ZDecompress, PartsInAnySizeMakeTheWhole) {
  tBytes plain = sampleBytes(400000);
  tBytes packed = zlibCompress(plain, 7);
  cZDecompress z;
  z.init();
  ASSERT_TRUE(z.reset());
  std::mt19937 rng(3);
  tBytes got;
  for (size_t at = 0; at < packed.size();) {
    size_t n = std::min<size_t>(1 + rng() % 5000, packed.size() - at);
    _typebuf<unsigned char> out;
    ASSERT_TRUE(z.decompressPart(packed.data() + at, static_cast<long long>(n), out));
    got.insert(got.end(), out.ptr, out.ptr + out.count);
    at += n;
  }
  EXPECT_EQ(got, plain);

  // The same object begins a second stream after reset; damage fails it
  // with the bytes decoded before the damage was found.
  ASSERT_TRUE(z.reset());
  packed.back() ^= 0xFF;
  _typebuf<unsigned char> out;
  EXPECT_FALSE(z.decompressPart(packed.data(), static_cast<long long>(packed.size()), out));
  EXPECT_EQ(bytesOf(out), plain);
}

TEST(ZDecompress, StepsBetweenCallerBuffers) {
  tBytes plain = sampleBytes(100000);
  tBytes packed = zlibCompress(plain, 9);
  cZDecompress z;
  long long inLen = 0, outLen = 99;
  EXPECT_TRUE(z.decompressPart(nullptr, inLen, nullptr, outLen));  // nothing pending
  EXPECT_EQ(inLen, 0);
  EXPECT_EQ(outLen, 0);

  tBytes got, chunk(777);
  long long consumedTotal = 0;
  bool first = true;
  for (;;) {
    long long in = first ? static_cast<long long>(packed.size()) : 0;
    long long out = static_cast<long long>(chunk.size());
    bool ok = z.decompressPart(first ? packed.data() : nullptr, in, chunk.data(), out);
    first = false;
    consumedTotal += in;
    got.insert(got.end(), chunk.begin(), chunk.begin() + out);
    if (!ok || (in == 0 && out == 0)) break;
  }
  EXPECT_EQ(consumedTotal, static_cast<long long>(packed.size()));
  EXPECT_EQ(got, plain);
}

// A stream is inflated to its end only while it makes no more than the
// bytes allowed: at the limit it is whole, one byte past it runs on, and a
// damaged checksum or a cut stream is broken within the limit, running on
// past it.
TEST(ZDecompress, StreamEndsWholeWithinItsLimit) {
  const tBytes plain = sampleBytes(100000, 5);
  const tBytes packed = zlibCompress(plain, 6);
  tBytes spoilt = packed;
  spoilt.back() ^= 1;
  const tBytes cut(packed.begin(), packed.end() - 100);
  const struct {
    const char* name;
    const tBytes& stream;
    unsigned long long most;
    eZlibEnd end;
  } cases[] = {{"at the limit", packed, plain.size(), eZlibEnd::whole},
               {"one byte past", packed, plain.size() - 1, eZlibEnd::runsOn},
               {"nothing allowed", packed, 0, eZlibEnd::runsOn},
               {"no limit", packed, ~0ULL, eZlibEnd::whole},
               {"checksum spoilt", spoilt, ~0ULL, eZlibEnd::broken},
               {"checksum spoilt past the limit", spoilt, plain.size() - 1, eZlibEnd::runsOn},
               {"cut", cut, ~0ULL, eZlibEnd::broken}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(zlibStreamEnd(c.stream.data(), c.stream.size(), c.most).end, c.end);
  }
}

}  // namespace
