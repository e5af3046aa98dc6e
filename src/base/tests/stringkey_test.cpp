#include "base/stringkey.h"

#include <gtest/gtest.h>

#include <string>

namespace {

cStringKey key(const std::string& s) { return cStringKey(s.data(), static_cast<long long>(s.size())); }

TEST(StringKey, OrdersAsItsBytesAndPaddingDecidesEquality) {
  EXPECT_LT(key("ab"), key("abc"));
  EXPECT_LT(key("abcd"), key("abcde"));
  EXPECT_LT(key("B"), key("a"));
  EXPECT_GT(key("x\xC3"), key("x~"));
  EXPECT_GT(key("abcd\xC3"), key("abcdz"));
  EXPECT_LT(cStringKey(), key("\x01"));
  EXPECT_EQ(cStringKey(static_cast<const char*>(nullptr), 5), cStringKey());
  EXPECT_EQ(key(std::string("a", 1)), key(std::string("a\0", 2)));
  EXPECT_GT(key(std::string("a\0\0\0\0", 5)), key("a"));
  _typebuf<char> out;
  key("abc").utf8(out);
  EXPECT_EQ(std::string(out.ptr, static_cast<size_t>(out.count)), std::string("abc\0", 4));
}

TEST(StringKey, Utf16GivesTheSameKeyAsUtf8AndNothingKeepsTheOldKey) {
  const std::pair<std::u16string, std::string> cases[] = {{u"", ""},
                                                          {u"abcd", "abcd"},
                                                          {u"\u00E9t\u20AC", "\xC3\xA9t\xE2\x82\xAC"},
                                                          {u"\U0001F600", "\xF0\x9F\x98\x80"}};
  for (const auto& [wide, narrow] : cases) {
    auto* units = reinterpret_cast<const unsigned short*>(wide.c_str());
    EXPECT_EQ(cStringKey(units, -1), key(narrow)) << narrow;
    cStringKey assigned = key("old");
    assigned = units;
    EXPECT_EQ(assigned, narrow.empty() ? key("old") : key(narrow)) << narrow;
  }
  cStringKey k = key("kept");
  k = static_cast<const char*>(nullptr);
  EXPECT_EQ(k, key("kept"));
  cStringKey& same = k;
  k = same;
  EXPECT_EQ(k, key("kept"));
  cStringKey copy(k);
  EXPECT_NE(copy.words.ptr, k.words.ptr);
}

}  // namespace
