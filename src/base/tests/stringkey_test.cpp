#include "base/stringkey.h"

#include <gtest/gtest.h>

#include <string>

#include "base/btree.h"

namespace {

cStringKey key(const std::string& s) { return cStringKey(s.data(), static_cast<long long>(s.size())); }

TEST(StringKey, OrdersAsItsBytes) {
  EXPECT_LT(key("abc"), key("abd"));
  EXPECT_LT(key("ab"), key("abc"));
  EXPECT_LT(key("abcd"), key("abcde"));
  EXPECT_LT(key("B"), key("a"));
  EXPECT_GT(key("x\xC3"), key("x~"));
  EXPECT_GT(key("abcd\xC3"), key("abcdz"));
  EXPECT_LE(key("abc"), key("abc"));
  EXPECT_GE(key("abc"), key("abc"));
  EXPECT_NE(key("abc"), key("abC"));

  cStringKey empty, other;
  EXPECT_EQ(empty, other);
  EXPECT_LT(empty, key("\x01"));
  EXPECT_EQ(cStringKey(static_cast<const char*>(nullptr), 5), empty);
  EXPECT_EQ(cStringKey("", -1), empty);
}

TEST(StringKey, PaddingDecidesEquality) {
  EXPECT_EQ(key(std::string("a", 1)), key(std::string("a\0", 2)));
  cStringKey longer = key(std::string("a\0\0\0\0", 5));
  EXPECT_EQ(longer.words.count, 2);
  EXPECT_GT(longer, key("a"));
  cStringKey hello = key("hello");
  ASSERT_EQ(hello.words.count, 2);
  EXPECT_EQ(hello.words[0], 0x68656C6Cu);
  EXPECT_EQ(hello.words[1], 0x6F000000u);

  _typebuf<char> out;
  key("abcd").utf8(out);
  EXPECT_EQ(std::string(out.ptr, static_cast<size_t>(out.count)), "abcd");
  key("abc").utf8(out);
  EXPECT_EQ(std::string(out.ptr, static_cast<size_t>(out.count)), std::string("abc\0", 4));
  cStringKey().utf8(out);
  EXPECT_EQ(out.count, 0);
}

TEST(StringKey, Utf16GivesTheSameKeyAsUtf8) {
  struct Case {
    std::u16string wide;
    std::string narrow;
  };
  const Case cases[] = {
      {u"", ""},
      {u"abc", "abc"},
      {u"abcd", "abcd"},
      {u"\u20ACa",
       "\xE2\x82\xAC"
       "a"},
      {u"\u00E9t\u00E9", "\xC3\xA9t\xC3\xA9"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    auto* units = reinterpret_cast<const unsigned short*>(c.wide.c_str());
    EXPECT_EQ(cStringKey(units, -1), key(c.narrow)) << c.narrow;
    cStringKey assigned = key("old");
    assigned = units;
    EXPECT_EQ(assigned, c.narrow.empty() ? key("old") : key(c.narrow)) << c.narrow;
  }
  const unsigned short exact[] = {'a', 'b', 'c', 'd', 'e'};
  EXPECT_EQ(cStringKey(exact, 3), key("abc"));
  EXPECT_EQ(cStringKey(static_cast<const unsigned short*>(nullptr), -1), cStringKey());
}

TEST(StringKey, AssignmentKeepsTheOldKeyForNothing) {
  cStringKey k = key("kept");
  k = static_cast<const char*>(nullptr);
  EXPECT_EQ(k, key("kept"));
  k = "";
  EXPECT_EQ(k, key("kept"));
  k = "new";
  EXPECT_EQ(k, key("new"));
  cStringKey& same = k;
  k = same;
  EXPECT_EQ(k, key("new"));
  cStringKey copy(k);
  EXPECT_EQ(copy, k);
  EXPECT_NE(copy.words.ptr, k.words.ptr);
}

TEST(StringKey, KeysAMap) {
  cFasterTreeList<cStringKey, int> map;
  EXPECT_EQ(map.depthLimit, 2048u);
  EXPECT_EQ((cFasterTreeList<cSerializedKey<cStringKey>, int>().depthLimit), 3072u);
  const char* names[] = {"lang/current", "install/app/ver", "installer/temp", "Install", "install"};
  for (int i = 0; i < 5; ++i) *map.insert(cStringKey(names[i], -1)) = i;
  EXPECT_EQ(*map.find(cStringKey("install", -1)), 4);
  EXPECT_EQ(map.find(cStringKey("instal", -1)), nullptr);
  std::string order;
  using Map = decltype(map);
  for (auto* n = Map::leftmost(map.root); n; n = Map::next(n)) order += std::to_string(n->value);
  EXPECT_EQ(order, "34120");
  EXPECT_TRUE(map.dettach(cStringKey("Install", -1)));
  EXPECT_FALSE(map.dettach(cStringKey("Install", -1)));
}

}  // namespace
