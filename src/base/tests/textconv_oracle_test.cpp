// The UTF-8 codec against the C library's iconv on random text.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/textconv.h"
#include "codepage_test_support.h"

namespace {

std::string iconvConvert(const char* from, const char* to, const std::string& in) {
  cIconv cv(to, from);
  std::string out;
  EXPECT_TRUE(cv.ok() && cv.convert(in.data(), in.size(), out)) << from << " to " << to;
  return out;
}

// Characters of every UTF-8 length in even shares, surrogates left out.
std::string randomUtf32(std::mt19937& rng, size_t count) {
  static const unsigned kFirst[] = {0x0, 0x80, 0x800, 0x10000};
  static const unsigned kLast[] = {0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    int length = static_cast<int>(rng() % 4);
    unsigned c;
    do c = kFirst[length] + rng() % (kLast[length] - kFirst[length] + 1);
    while ((c >= 0xD800 && c <= 0xDFFF) || c == 0);
    for (int k = 0; k < 4; ++k) out += static_cast<char>(c >> (8 * k));
  }
  return out;
}

TEST(Utf8Oracle, WellFormedTextMatchesIconvBothWays) {
  std::mt19937 rng(20261206);
  for (int round = 0; round < 200; ++round) {
    const std::string utf32 = randomUtf32(rng, 1 + rng() % 300);
    const std::string utf8 = iconvConvert("UTF-32LE", "UTF-8", utf32);
    tUnits expected;
    ASSERT_TRUE(iconvDecode("UTF-8", utf8, expected));

    _typebuf<char> bytes;
    bytes.set(static_cast<long long>(utf8.size()));
    std::memcpy(bytes.ptr, utf8.data(), utf8.size());
    _typebuf<unsigned short> units;
    ASSERT_EQ(_pc2w(bytes, units), static_cast<long long>(expected.size()));
    ASSERT_EQ(tUnits(units.ptr, units.ptr + units.count), expected) << "round " << round;

    _typebuf<char> back;
    ASSERT_EQ(_w2pc(units, back), static_cast<long long>(utf8.size()));
    ASSERT_EQ(std::string(back.ptr, back.ptr + back.count), utf8) << "round " << round;
  }
}

TEST(Utf8Oracle, AnyUnitSequenceRoundTrips) {
  // Lone surrogates and zero units included: UTF-16 to UTF-8 and back loses nothing.
  std::mt19937 rng(7);
  static const unsigned short kInteresting[] = {0,      0x7F,   0x80,   0x7FF,  0x800,
                                                0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFFFF};
  for (int round = 0; round < 500; ++round) {
    tUnits text(1 + rng() % 64);
    for (unsigned short& u : text)
      u = rng() % 3 ? static_cast<unsigned short>(rng()) : kInteresting[rng() % std::size(kInteresting)];
    _typebuf<char> bytes;
    _w2pc(text.data(), static_cast<long long>(text.size()), bytes);
    _typebuf<unsigned short> back;
    _pc2w(bytes, back);
    ASSERT_EQ(tUnits(back.ptr, back.ptr + back.count), text) << "round " << round;
  }
}

}  // namespace
