#include "base/compactstr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

namespace {

const unsigned short* units(const std::u16string& s) {
  return reinterpret_cast<const unsigned short*>(s.c_str());
}

TEST(CompactStr, KeepsTheSourceLength) {
  cCompactStr s;
  s.set(units(u"a\u00E9\u00E9"), 2);
  EXPECT_STREQ(s.text, "a\xC3\xA9");
  EXPECT_EQ(s.len(), 2);
  // Too long for the 16-bit length: kept as nothing rather than as a wrapped,
  // shorter length.
  std::string huge(40000, 'x');
  s.set(huge.c_str(), -1);
  EXPECT_EQ(s.text, nullptr);
  EXPECT_EQ(s.len(), 0);
}

TEST(CompactStr, CopiesOutStayInsideTheCapacity) {
  cCompactStr s;
  s.set("0123456789", -1);
  char out[8];
  std::memset(out, '#', sizeof out);
  s.str(out, 4);
  EXPECT_STREQ(out, "01");
  EXPECT_EQ(out[4], '#');

  unsigned short wide[8];
  std::fill(std::begin(wide), std::end(wide), 0xFFFF);
  s.str(wide, 4);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wide)), u"012");
  EXPECT_EQ(wide[4], 0xFFFF);
  std::u16string text = u"\u20AC\U0001F600z";
  s.set(units(text), -1);
  s.str(wide, 8);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wide)), text);
}

}  // namespace
