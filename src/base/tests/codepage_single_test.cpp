#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "base/codepages.h"
#include "codepage_test_support.h"

namespace {

struct sPageName {
  int cp;
  const char* iconvName;
};

// clang-format off
const sPageName kPages[] = {
    {37, "IBM037"}, {437, "IBM437"}, {500, "IBM500"}, {737, "CP737"}, {850, "IBM850"}, {852, "IBM852"},
    {855, "IBM855"}, {857, "IBM857"}, {858, "IBM858"}, {862, "IBM862"}, {866, "IBM866"}, {870, "IBM870"},
    {1250, "CP1250"}, {1251, "CP1251"}, {1252, "CP1252"}, {1254, "CP1254"}, {1255, "CP1255"},
    {10007, "MAC-CYRILLIC"}, {10029, "MAC-CENTRALEUROPE"}, {20866, "KOI8-R"}, {21866, "KOI8-U"},
    {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"}, {28593, "ISO-8859-3"}, {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"}, {28597, "ISO-8859-7"}, {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"},
    {28605, "ISO-8859-15"}};
// clang-format on

// Where a page reads a byte otherwise than the C library does, and why.
struct sDeviation {
  int cp;
  const char* reason;
  std::vector<std::pair<int, unsigned short>> bytes;
};

// Unassigned bytes numbered in byte order from a private-use unit, the way
// the pages of one family share a single private-use range between them.
std::vector<std::pair<int, unsigned short>> privateRun(unsigned short first, std::vector<int> bytes) {
  std::vector<std::pair<int, unsigned short>> run;
  for (int b : bytes) run.push_back({b, first++});
  return run;
}

std::vector<std::pair<int, unsigned short>> same(unsigned short unit, std::vector<int> bytes) {
  std::vector<std::pair<int, unsigned short>> list;
  for (int b : bytes) list.push_back({b, unit ? unit : static_cast<unsigned short>(b)});
  return list;
}

const std::vector<sDeviation>& deviations() {
  static const std::vector<sDeviation> list = {
      {437,
       "control bytes are the graphic characters of the original screen font",
       {{0x01, 0x263A}, {0x02, 0x263B}, {0x03, 0x2665}, {0x04, 0x2666}, {0x05, 0x2663}, {0x06, 0x2660},
        {0x07, 0x2022}, {0x08, 0x25D8}, {0x09, 0x25CB}, {0x0A, 0x25D9}, {0x0B, 0x2642}, {0x0C, 0x2640},
        {0x0D, 0x266A}, {0x0E, 0x266B}, {0x0F, 0x263C}, {0x10, 0x25BA}, {0x11, 0x25C4}, {0x12, 0x2195},
        {0x13, 0x203C}, {0x14, 0x00B6}, {0x15, 0x00A7}, {0x16, 0x25AC}, {0x17, 0x21A8}, {0x18, 0x2191},
        {0x19, 0x2193}, {0x1A, 0x2192}, {0x1B, 0x2190}, {0x1C, 0x221F}, {0x1D, 0x2194}, {0x1E, 0x25B2},
        {0x1F, 0x25BC}, {0x7F, 0x2302}}},
      {857, "unassigned bytes keep a private-use unit each", privateRun(0xF8BB, {0xD5, 0xE7, 0xF2})},
      {1250, "unassigned bytes read as ?", same('?', {0x81, 0x83, 0x88, 0x90, 0x98})},
      {1251, "unassigned bytes read as ?", same('?', {0x98})},
      {1255, "unassigned bytes read as ?",
       same('?', {0x81, 0x8A, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x9A, 0x9C, 0x9D, 0x9E, 0x9F,
                  0xCA, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xFB, 0xFC, 0xFF})},
      {1252, "unassigned bytes keep their own value", same(0, {0x81, 0x8D, 0x8F, 0x90, 0x9D})},
      {1254, "unassigned bytes keep their own value", same(0, {0x81, 0x8D, 0x8E, 0x8F, 0x90, 0x9D, 0x9E})},
      {10007, "the older Mac Cyrillic: cent sign and partial differential", {{0xA2, 0x00A2}, {0xB6, 0x2202}}},
      {21866, "the short U of Belarusian where KOI8-U draws boxes", {{0xAE, 0x045E}, {0xBE, 0x040E}}},
      {28593, "unassigned bytes keep a private-use unit each",
       privateRun(0xF7F5, {0xA5, 0xAE, 0xBE, 0xC3, 0xD0, 0xE3, 0xF0})},
      {28596, "unassigned bytes keep a private-use unit each",
       privateRun(0xF7C8, {0xA1, 0xA2, 0xA3, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAE, 0xAF,
                           0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBC,
                           0xBD, 0xBE, 0xC0, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xF3, 0xF4, 0xF5, 0xF6,
                           0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF})},
      {28597, "the first edition's quotation marks", {{0xA1, 0x02BD}, {0xA2, 0x02BC}}},
      {28597, "unassigned in the first edition (no euro, drachma or ypogegrammeni yet)",
       privateRun(0xF7C2, {0xA4, 0xA5, 0xAA, 0xAE, 0xD2, 0xFF})},
      {28598, "the first edition's overline", {{0xAF, 0x203E}}},
      {28598, "unassigned in the first edition (no direction marks yet)",
       privateRun(0xF79C, {0xA1, 0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA,
                           0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7,
                           0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF})},
  };
  return list;
}

TEST(SingleBytePage, EveryByteDecodesLikeTheCLibraryOrAsAListedDeviation) {
  for (const sPageName& page : kPages) {
    SCOPED_TRACE(page.cp);
    std::map<int, std::pair<unsigned short, const char*>> deviating;
    for (const sDeviation& d : deviations())
      if (d.cp == page.cp)
        for (auto [b, u] : d.bytes) deviating[b] = {u, d.reason};

    const unsigned short* table = intrnl_ACP_symtab(page.cp);
    for (int b = 0; b < 256; ++b) {
      SCOPED_TRACE(b);
      tUnits expected;
      bool known = iconvDecode(page.iconvName, std::string(1, static_cast<char>(b)), expected);
      EXPECT_EQ(table[b], __a2w(static_cast<char>(b), page.cp));
      auto it = deviating.find(b);
      if (it == deviating.end()) {
        ASSERT_TRUE(known);
        ASSERT_EQ(expected.size(), 1u);
        EXPECT_EQ(table[b], expected[0]);
      } else {
        SCOPED_TRACE(it->second.second);
        EXPECT_EQ(table[b], it->second.first);
        // A listed deviation must really be one.
        EXPECT_TRUE(!known || expected.size() != 1 || expected[0] != table[b]);
      }
    }
  }
  // Pages without a table of their own read as ISO 8859-1.
  for (int cp : {0, 1253, 28594, 65001})
    for (int b = 0; b < 256; ++b) EXPECT_EQ(__a2w(static_cast<char>(b), cp), b);
}

TEST(SingleBytePage, EveryCharacterEncodesToABytePageThatDecodesItBack) {
  for (const sPageName& page : kPages) {
    SCOPED_TRACE(page.cp);
    const unsigned short* table = intrnl_ACP_symtab(page.cp);
    std::map<unsigned short, int> lowest;
    for (int b = 255; b >= 0; --b) lowest[table[b]] = b;
    for (int b = 0; b < 256; ++b) {
      unsigned char back = static_cast<unsigned char>(__w2a(table[b], page.cp));
      EXPECT_EQ(back, lowest[table[b]]) << "byte " << b;
      EXPECT_EQ(table[back], table[b]) << "byte " << b;
    }
  }
}

TEST(SingleBytePage, EncodingMarksWhatThePageLacksAndKeepsTheQuestionMark) {
  EXPECT_EQ(__w2a(0x20AC, 28591), 0);
  unsigned short euro[] = {0x20AC, 0x0416, 0};
  char out[8] = {};
  EXPECT_EQ(intrnl_ACP_w2a(euro, -1, out, 8, 28591), 2);
  EXPECT_EQ(std::string(out), "??");
  // Several unassigned bytes decode to "?" in these pages; none of them may
  // stand in for the character when it is written back.
  for (int cp : {1250, 1251, 1255}) EXPECT_EQ(__w2a('?', cp), '?') << cp;
}

}  // namespace
