#include "base/casemap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace {

constexpr int kPairs = 973;

// What the tables say, by binary search, for comparison with the lookups.
unsigned short fromTable(const sCasePair* table, unsigned short u) {
  const sCasePair* end = table + kPairs;
  const sCasePair* at =
      std::lower_bound(table, end, u, [](const sCasePair& p, unsigned short key) { return p.from < key; });
  return at != end && at->from == u ? at->to : u;
}

TEST(CaseTables, SortedAndTheUpperMapIsTheExactInverse) {
  for (int i = 0; i < kPairs; ++i) {
    if (i > 0) {
      EXPECT_LT(__acp_lowermap[i - 1].from, __acp_lowermap[i].from);
      EXPECT_LT(__acp_uppermap[i - 1].from, __acp_uppermap[i].from);
    }
    EXPECT_NE(__acp_lowermap[i].from, __acp_lowermap[i].to);
    // Each pair appears swapped in the upper map.
    EXPECT_EQ(fromTable(__acp_uppermap, __acp_lowermap[i].to), __acp_lowermap[i].from);
  }
  for (int i = kPairs; i < 976; ++i) {
    EXPECT_EQ(__acp_lowermap[i].from | __acp_lowermap[i].to, 0);
    EXPECT_EQ(__acp_uppermap[i].from | __acp_uppermap[i].to, 0);
  }
}

TEST(CaseMaps, EveryUnitAgreesWithTheTables) {
  for (unsigned u = 0; u <= 0xFFFF; ++u) {
    const auto unit = static_cast<unsigned short>(u);
    ASSERT_EQ(__acp_lower(unit), fromTable(__acp_lowermap, unit)) << std::hex << u;
    ASSERT_EQ(__acp_upper(unit), fromTable(__acp_uppermap, unit)) << std::hex << u;
  }
  // Title-case letters and one-way mappings have no pair.
  for (unsigned short u : {0x01C5, 0x0130, 0x1E9E}) EXPECT_EQ(__acp_lower(u), u);
  for (unsigned short u : {0x00B5, 0x0131, 0x017F, 0x03C2, 0x01C5}) EXPECT_EQ(__acp_upper(u), u);
}

TEST(CaseMaps, BytesChangeOnlyForAsciiLetters) {
  for (int b = -128; b < 128; ++b) {
    const char c = static_cast<char>(b);
    // A byte is a unit sign-extended to 16 bits, cut back to 8.
    const auto unit = static_cast<unsigned short>(static_cast<short>(c));
    EXPECT_EQ(__acp_lower(c), static_cast<char>(__acp_lower(unit))) << b;
    EXPECT_EQ(__acp_upper(c), static_cast<char>(__acp_upper(unit))) << b;
  }
  for (int u = 0; u < 0x3000; ++u) {
    const bool space = u == 9 || u == 10 || u == 13 || u == 32;
    EXPECT_EQ(__acp_isspace(static_cast<unsigned short>(u)), space) << u;
    if (u < 256) {
      EXPECT_EQ(__acp_isspace(static_cast<char>(u)), space) << u;
    }
  }
}

TEST(CaseMaps, LowerCasedUtf8StringsAlsoInPlace) {
  _guardchar<char> text(
      "\xC3\x80"
      "B \xD0\x90\xF0\x9F\x98\x80Z");
  EXPECT_TRUE(__acp_lower(text, text));
  EXPECT_STREQ(text.ptr,
               "\xC3\xA0"
               "b \xD0\xB0\xF0\x9F\x98\x80z");
}

}  // namespace
