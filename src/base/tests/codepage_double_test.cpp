#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/codepages.h"
#include "codepage_test_support.h"

namespace {

// The rows named for each page, as ranges of lead bytes.
struct sDoublePage {
  int cp;
  const char* iconvName;
  std::vector<std::pair<int, int>> rows;
};

const sDoublePage kPages[] = {
    {932, "CP932", {{0x81, 0x84}, {0x87, 0x9F}, {0xE0, 0xEA}, {0xED, 0xEE}, {0xFA, 0xFC}}},
    {936, "CP936", {{0x81, 0xFE}}},
    {949, "CP949", {{0x81, 0xC8}, {0xCA, 0xFD}}},
    {950, "CP950", {{0xA1, 0xC6}, {0xC9, 0xF9}}}};

tUnits decode(const std::string& bytes, int cp) {
  return decodeExactly(bytes, cp, intrnl_JIS_a2w, intrnl_JIS_a2w_require);
}

TEST(DoubleBytePage, EveryPairOfEveryRowDecodesLikeTheCLibrary) {
  for (const sDoublePage& page : kPages) {
    SCOPED_TRACE(page.cp);
    for (auto [first, last] : page.rows)
      for (int lead = first; lead <= last; ++lead)
        for (int trail = 0x40; trail <= 0xFF; ++trail) {
          std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
          tUnits expected;
          // Pairs the page leaves unassigned read as "?".
          if (!iconvDecode(page.iconvName, pair, expected) || expected.size() != 1) expected = {'?'};
          ASSERT_EQ(decode(pair, page.cp), expected) << std::hex << lead << " " << trail;
        }
  }
}

TEST(DoubleBytePage, SingleBytesAndUndecodableOnes) {
  EXPECT_EQ(decode("\x80", 936), tUnits{0x20AC});
  EXPECT_EQ(decode("\xB1\xDF", 932), (tUnits{0xFF71, 0xFF9F}));
  for (int cp : {932, 936, 949, 950}) EXPECT_EQ(decode("Az~\x7F", cp), (tUnits{'A', 'z', '~', 0x7F}));
  // A lead byte without a row, then the byte after it on its own.
  EXPECT_EQ(decode("\x85"
                   "A",
                   932),
            (tUnits{'?', 'A'}));
  EXPECT_EQ(decode("\x81\x41", 950), (tUnits{'?', 'A'}));
  // A trail byte below the rows takes its lead with it.
  EXPECT_EQ(decode("\x82\x20"
                   "A",
                   932),
            (tUnits{'?', 'A'}));
  // A lead byte cut off by the end of the range is dropped.
  EXPECT_EQ(decode("A\x82", 932), tUnits{'A'});
}

TEST(DoubleBytePage, CountAndDecoderAgreeOnAnyBytes) {
  std::mt19937 random(932);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 24, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 255 + 1);
    for (const sDoublePage& page : kPages) {
      tUnits all = decode(bytes, page.cp);
      ASSERT_EQ(static_cast<long long>(all.size()),
                intrnl_JIS_a2w_require(bytes.data(), bytes.size(), page.cp));
      // A smaller destination gets the start of the same text.
      tUnits part(all.size() / 2 + 1, 0xAAAA);
      long long n = intrnl_JIS_a2w(part.data(), all.size() / 2, bytes.data(), bytes.size(), page.cp);
      ASSERT_EQ(n, static_cast<long long>(all.size() / 2));
      EXPECT_TRUE(std::equal(part.begin(), part.begin() + n, all.begin()));
      EXPECT_EQ(part[n], 0xAAAA);
    }
  }
}

}  // namespace
