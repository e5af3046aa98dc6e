#include "hash/checksums.h"

#include <gtest/gtest.h>

#include <string>

#include "digest_support.h"

namespace {

const char kCheck[] = "123456789";
const unsigned char kWords[] = {1, 0, 2, 0, 3, 0, 0, 0};

// The published check values of the nine digits, and what nothing sums to.
TEST(Checksums, CheckValuesEmptyInputsAndTrailingBytes) {
  const std::pair<unsigned long long, unsigned long long> cases[] = {
      {crc32c(0xFFFFFFFF, kCheck, 9), 0xE3069283u},
      {crc32c(~crc32c(0xFFFFFFFF, kCheck, 4), kCheck + 4, 5), 0xE3069283u},  // continued
      {pcrc32(kCheck, 9), 0x377A6011u},
      {adler32(kCheck, 9), 0x091E01DEu},
      {crc32w(kCheck, 9), 0xFC891918u},
      {crc32(kCheck, 9), 0x2DFD2D88u},
      {crc32n(kCheck, 9), 0xCBF43926u},
      {crc64(kCheck, 9), 0xE51BB882A057C05Bull},
      {crc64n(kCheck, 9), 0x83FBBA34AFE8B413ull},
      {sum32_8(kCheck, 9), 477u},
      {crc32n("IEND", 4), 0xAE426082u},
      {pcrc32(nullptr, 5), 0},
      {pcrc32(kCheck, 0), 0},
      {adler32(kCheck, 0), 0},
      {adler32(kCheck, -1), 1},
      {crc32w(kCheck, -3), 0},
      {crc32n(nullptr, 9), 0},
      {crc64n(kCheck, 0), 0},
      {crc32c(0xFFFFFFFF, nullptr, 0), 0},
      // Word sums leave trailing bytes out.
      {sum32_32(kCheck, 3), 0},
      {sum32_16(kWords, 4), 3},
      {sum32_16(kWords, 3), 1},
      {sum32_32(kWords, 8), 0x00020001u + 3u},
      {sum32_32(kWords, 7), 0x00020001u},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
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
    EXPECT_EQ(std::to_string(pcrc32(m.data(), static_cast<long long>(n))), toolAnswer({"cksum"}, m))
        << n << " bytes";
  }
}

}  // namespace
