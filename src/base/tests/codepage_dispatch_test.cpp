#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "base/codepages.h"
#include "base/textconv.h"

namespace {

TEST(CodePageDispatch, TheCoreConvertersReachEveryKindOfPage) {
  unsigned short wide[8];
  for (auto [bytes, length, cp, unit] :
       {std::tuple<const char*, long long, int, unsigned short>{"\x80", -1, 1252, 0x20AC},
        {"\x80", 1, 936, 0x20AC},
        {"\x1B$B$\"\x1B(BA", -1, 50221, 0x3042}}) {
    EXPECT_GT(__a2w(bytes, length, wide, 8, cp), 0) << cp;
    EXPECT_EQ(wide[0], unit) << cp;
  }
  // Single-byte sizes are the byte counts, one more for a terminator.
  EXPECT_EQ(__a2w_require("\xC0\xC1", -1, 1251), 3);
  EXPECT_EQ(__a2w_require("\x82\xA0\x82\xA2", -1, 932), 3);
  EXPECT_EQ(__a2w(nullptr, -1, wide, 8, 1251), 0);
  // 1253 is no known page at all; an owned string still holds a terminator.
  EXPECT_EQ(__a2w("a", -1, wide, 8, 1253), 0);
  _guardchar<unsigned short> owned;
  __a2w("a", -1, owned, 1253);
  ASSERT_NE(owned.ptr, nullptr);
  EXPECT_EQ(owned.ptr[0], 0);

  // The multi-byte pages are read, never written.
  const unsigned short units[] = {0x20AC, 'A', 0};
  char bytes[8];
  EXPECT_EQ(__w2a(units, -1, bytes, 8, 932), 0);
  EXPECT_EQ(__w2a_require(units, -1, 50221), 0);
}

TEST(CodePageDispatch, ForeignTextReadsIntoUtf8) {
  char utf8[32];
  EXPECT_GE(_enc2pc("\xCF\xF0\xE8\xE2\xE5\xF2", -1, utf8, sizeof utf8, 1251), 12);
  EXPECT_STREQ(utf8, "Привет");
  _guardchar<char> owned;
  _enc2pc("\x1B$)A\x0E\x30\x21\x0F!", -1, owned, 50227);
  EXPECT_STREQ(owned.ptr, "啊!");
  EXPECT_GE(_pc2enc("€uro", -1, utf8, sizeof utf8, 1252), 4);
  EXPECT_STREQ(utf8, "\x80uro");
}

// Every decoder stops at a zero byte, also inside an exact range, and writes
// it; a full destination takes no terminator.
TEST(CodePageDecoders, ZeroEndsTheTextAndAFullDestinationTakesNoTerminator) {
  using tDecoder = long long (*)(unsigned short*, long long, const char*, long long, int);
  const std::pair<tDecoder, int> decoders[] = {{intrnl_ACP_a2w, 1251},   {intrnl_JIS_a2w, 932},
                                               {intrnl_2022_a2w, 50221}, {intrnl_2022_a2w, 50227},
                                               {intrnl_2022_a2w, 51932}, {intrnl_2022_a2w, 51936}};
  for (auto [decode, cp] : decoders) {
    unsigned short out[4] = {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA};
    EXPECT_EQ(decode(out, 4, std::string("A\0B", 3).c_str(), 3, cp), 1) << cp;
    EXPECT_EQ(out[1], 0) << cp;
    EXPECT_EQ(out[2], 0xAAAA) << cp;
    EXPECT_EQ(decode(out, 2, "XYZ", -1, cp), 2) << cp;
    EXPECT_EQ(out[2], 0xAAAA) << cp;
  }
  EXPECT_EQ(intrnl_2022_a2w_require("A\0B", 3, 50221), 1);
  EXPECT_EQ(intrnl_2022_a2w_require("AB", 2, 932), 0);
  EXPECT_EQ(intrnl_JIS_a2w_require("\x82\xA0", -1, 932), 2);  // with its terminator
  // A lead byte before the terminator is dropped, the terminator not read past.
  unsigned short out[4] = {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA};
  EXPECT_EQ(intrnl_JIS_a2w(out, 4, "A\x82", -1, 932), 1);
  EXPECT_EQ(out[1], 0xAAAA);
  EXPECT_EQ(intrnl_JIS_a2w_require("A\x82", -1, 932), 2);
  EXPECT_EQ(intrnl_ACP_a2w(out, 4, nullptr, 1, 1251), 0);
  const unsigned short units[] = {0x0410, 0, 0x0411};
  char bytes[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(intrnl_ACP_w2a(units, 3, bytes, 4, 1251), 1);
  EXPECT_EQ(std::string(bytes, 3), std::string("\xC0\0x", 3));
}

}  // namespace
