#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "base/utils.h"

namespace {

const unsigned short* u16(const char16_t* s) { return reinterpret_cast<const unsigned short*>(s); }

TEST(Hex, DigitPairsBytesAndGuids) {
  EXPECT_EQ(getHexb("A0"), 160);
  EXPECT_EQ(getHexb("\xb7\x30"), -1);
  EXPECT_EQ(getHexb(u16(u"\u0661\u0662")), -1) << "only ASCII digits count";

  _typebuf<unsigned char> out;
  EXPECT_FALSE(hexToBytes("abc", out));
  EXPECT_FALSE(hexToBytes("12zz34", out));
  EXPECT_EQ(out.ptr[0], 0x12) << "pairs before the bad one are kept";

  unsigned char guid[16];
  unsigned char text[] = "00112233-4455-6677-8899-aabbccddeeff";
  ASSERT_TRUE(parseGUID(text, guid));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(guid[i], i * 0x11);
  // A short text is refused without reading past its end (ASan watches).
  unsigned char* shortText = new unsigned char[9];
  memcpy(shortText, "00112233", 9);
  EXPECT_FALSE(parseGUID(shortText, guid));
  delete[] shortText;
}

TEST(Numbers, ParsingWithPresetsForNonsense) {
  EXPECT_EQ(strToU64("0x"), ~0ull);
  EXPECT_EQ(strToU64("   "), 0u);
  EXPECT_EQ(strToU64("-1"), ~0ull) << "two's complement";
  EXPECT_EQ(strToU64(u16(u" 0x\u0661")), ~0ull);

  EXPECT_EQ(strToInt64("  - 12"), -12) << "white space again after the sign";
  EXPECT_EQ(strToInt64("-letters"), LLONG_MIN);
  EXPECT_EQ(strToInt64("0xFFFFFFFFFFFFFFFF"), LLONG_MIN) << "beyond the signed range";
  EXPECT_EQ(strToInt64(static_cast<const char*>(nullptr)), 0);
  EXPECT_EQ(strToInt64(u16(u"-0x10")), -16);
}

TEST(Numbers, WhiteSpaceOffsetsMagnitudesAndZeros) {
  EXPECT_EQ(str_offset("  ab", 2), -1) << "only the first n count";
  EXPECT_EQ(str_offset("  ", 10), -1) << "the terminator is not a character";
  EXPECT_EQ(wcs_offset(u16(u"\r\nx"), -1), 2);
  EXPECT_EQ(stre_offset("ab", 10), 2);
  EXPECT_EQ(stre_offset("ab", -2), 0);
  EXPECT_EQ(wcse_offset(u16(u"x\u00a0 "), -1), 2) << "no-break space is not white space here";

  EXPECT_EQ(minDiff(4, -4), -4);
  EXPECT_EQ(minDiff(LLONG_MIN, LLONG_MAX), LLONG_MAX);

  unsigned char buf[21] = {};
  EXPECT_TRUE(iszero(buf, 21));
  EXPECT_FALSE(iszero(nullptr, 0));
  for (int at : {0, 7, 8, 20}) {
    buf[at] = 1;
    EXPECT_FALSE(iszero(buf, 21)) << at;
    EXPECT_TRUE(iszero(buf, at)) << "bytes past n are not looked at";
    buf[at] = 0;
  }
}

}  // namespace
