#include "hash/checksums.h"

#include <gtest/gtest.h>

#include <string>

#include "digest_support.h"

namespace {

const char kCheck[] = "123456789";

TEST(Checksums, CheckValuesOfTheNineDigits) {
  EXPECT_EQ(crc32c(0xFFFFFFFF, kCheck, 9), 0xE3069283u);
  EXPECT_EQ(pcrc32(kCheck, 9), 0x377A6011u);
  EXPECT_EQ(adler32(kCheck, 9), 0x091E01DEu);
  EXPECT_EQ(crc32w(kCheck, 9), 0xFC891918u);
  EXPECT_EQ(crc32(kCheck, 9), 0x2DFD2D88u);
  EXPECT_EQ(crc32n(kCheck, 9), 0xCBF43926u);
  EXPECT_EQ(crc64(kCheck, 9), 0xE51BB882A057C05Bull);
  EXPECT_EQ(crc64n(kCheck, 9), 0x83FBBA34AFE8B413ull);
  EXPECT_EQ(sum32_8(kCheck, 9), 477u);
  EXPECT_EQ(crc32n("IEND", 4), 0xAE426082u);
}

TEST(Checksums, NothingToSumAnswersZero) {
  EXPECT_EQ(pcrc32(nullptr, 5), 0u);
  EXPECT_EQ(pcrc32(kCheck, 0), 0u);
  EXPECT_EQ(adler32(kCheck, 0), 0u);
  EXPECT_EQ(adler32(kCheck, -1), 1u);
  EXPECT_EQ(crc32w(kCheck, -3), 0u);
  EXPECT_EQ(crc32n(nullptr, 9), 0u);
  EXPECT_EQ(crc64n(kCheck, 0), 0u);
  EXPECT_EQ(sum32_32(kCheck, 3), 0u);
  EXPECT_EQ(crc32c(0xFFFFFFFF, nullptr, 0), 0u);
}

TEST(Checksums, Crc32cContinuesFromTheInvertedResult) {
  unsigned int first = crc32c(0xFFFFFFFF, kCheck, 4);
  EXPECT_EQ(crc32c(~first, kCheck + 4, 5), 0xE3069283u);
}

TEST(Checksums, WordSumsLeaveTrailingBytesOut) {
  const unsigned char words[] = {1, 0, 2, 0, 3, 0, 0, 0};
  EXPECT_EQ(sum32_16(words, 4), 3u);
  EXPECT_EQ(sum32_16(words, 3), 1u);
  EXPECT_EQ(sum32_32(words, 8), 0x00020001u + 3u);
  EXPECT_EQ(sum32_32(words, 7), 0x00020001u);
}

TEST(Checksums, AdlerSurvivesLongRunsOfHighBytes) {
  std::string ff(100000, '\xFF');
  // The modulo is taken per run; a run too long would overflow the sums.
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < ff.size(); ++i) {
    a = (a + 0xFF) % 65521;
    b = (b + a) % 65521;
  }
  EXPECT_EQ(adler32(ff.data(), static_cast<long long>(ff.size())), b << 16 | a);
}

TEST(Checksums, PosixCrcEqualsCksum) {
  for (size_t n : {1u, 255u, 256u, 70000u}) {
    auto m = patternMessage(n);
    EXPECT_EQ(std::to_string(pcrc32(m.data(), static_cast<long long>(n))), toolAnswer("cksum", m))
        << n << " bytes";
  }
}

}  // namespace
