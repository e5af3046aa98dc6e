#include "base/str.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

unsigned short* u16(const char16_t* s) { return reinterpret_cast<unsigned short*>(const_cast<char16_t*>(s)); }

std::u16string text(const unsigned short* s) { return reinterpret_cast<const char16_t*>(s); }

TEST(StrCopy, CopiesCutAtTheSizeAndAlwaysTerminate) {
  char dst[10];
  memset(dst, '#', sizeof dst);
  _strcpy_s(dst, 4, "0123456789");
  EXPECT_STREQ(dst, "012");
  EXPECT_EQ(dst[4], '#');
  _strcpy_s(dst, 8, nullptr);
  EXPECT_STREQ(dst, "012") << "nothing written";
  _strncpy_s(dst, 4, "abcdef", 10);
  EXPECT_STREQ(dst, "abc");
  _strncpy_s(dst, 10, "xy", -1);
  EXPECT_STREQ(dst, "abc");

  unsigned short w[6];
  _wcsncpy_s(w, 3, u16(u"abcd"), 3);
  EXPECT_EQ(text(w), u"ab");
  _wcscpy_s(w, 6, u16(u"ab"));
  _wcscat_s(w, 6, u16(u"cdefgh"));
  EXPECT_EQ(text(w), u"abcde");
  unsigned short full[3] = {'a', 'b', 'c'};
  _wcscat_s(full, 3, u16(u"d"));
  EXPECT_EQ(full[2], 0) << "an unterminated destination is cut at its end";
}

TEST(StrSearchAndCompare, BoundsAndSigns) {
  unsigned short* s = u16(u"abcabc");
  EXPECT_EQ(_wcsrchr(s, 0), s + 6);
  EXPECT_EQ(_wcsstr(s, u16(u"abcabcd"), -1, -1), nullptr);
  EXPECT_EQ(_wcsstr(s, u16(u"bc"), 2, -1), nullptr) << "the text length bounds the search";
  unsigned short* hay = u16(u"xxΣΑΒyy");
  EXPECT_EQ(_wcsistr(hay, u16(u"σαβ"), -1, -1), hay + 2);
  EXPECT_EQ(_wcsistr(hay, u16(u"σαβ"), 4, -1), nullptr);

  EXPECT_EQ(_wcscmp(u16(u"\uffff"), u16(u"a")), 1);
  EXPECT_EQ(__stricmp("\xC3", "a"), -1) << "signed: high bytes before ASCII";
  EXPECT_EQ(__stricmp("\xC3", "a", 1), 1) << "unsigned when bounded";
  EXPECT_EQ(__stricmp("ab", "ab", 0), -1);
  EXPECT_EQ(__memicmp("a\0B", "A\0b", 3), 0) << "zero bytes do not stop it";
  EXPECT_EQ(__wcsicmp(u16(u"ÄBC"), u16(u"äbc")), 0);
  EXPECT_EQ(__wcsicmp(u16(u"Straße"), u16(u"STRASSE")), 1);
  EXPECT_EQ(__wcsnicmp(u16(u"a"), u16(u"b"), 0), -1) << "the first unit is always compared";
}

TEST(StrFormat, NeverWritesPastTheSize) {
  char dst[8];
  memset(dst, '#', sizeof dst);
  _sprintf_s(dst, 5, "%d-%s", 12345, "abc");
  EXPECT_STREQ(dst, "1234");
  EXPECT_EQ(dst[5], '#');
  EXPECT_EQ(_sprintf_s(dst, 0, "x"), 0);
  int n = 0;
  EXPECT_EQ(_sscanf_s(nullptr, "%d", &n), 0);

  unsigned short wide[16];
  EXPECT_EQ(_swprintf_s(wide, 16, u16(u"%d:%s"), 7, "é中"), 7) << "the byte count";
  EXPECT_EQ(text(wide), u"7:é中");
  unsigned short small[6] = {'#', '#', '#', '#', '#', '#'};
  _swprintf_s(small, 4, u16(u"%s"), "0123456789");
  EXPECT_EQ(text(small), u"012");
  EXPECT_EQ(small[4], '#');
  EXPECT_EQ(_swprintf_s(small, 0, u16(u"x")), 0);
  EXPECT_EQ(small[0], '0') << "size 0 writes nothing";

  char word[8];
  EXPECT_EQ(_swscanf_s(u16(u"  12 ü"), u16(u"%d %7s"), &n, word), 2);
  EXPECT_STREQ(word, "ü");
  EXPECT_EQ(_swscanf_s(nullptr, u16(u"%d"), &n), -1) << "an empty input";
}

}  // namespace
