#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "base/codepages.h"
#include "codepage_test_support.h"

namespace {

constexpr int kIso2022Jp = 50221, kIso2022Cn = 50227, kEucJp = 51932, kEucCn = 51936;

tUnits decode(const std::string& bytes, int cp) {
  return decodeExactly(bytes, cp, intrnl_2022_a2w, intrnl_2022_a2w_require);
}

// Every character of a 94 x 94 set, read by the C library through an EUC
// form: `prefix` then the two bytes of each position.
tUnits charsetCharacters(const char* eucName, const std::string& prefix) {
  tUnits all, one;
  for (int row = 0xA1; row <= 0xFE; ++row)
    for (int col = 0xA1; col <= 0xFE; ++col)
      if (iconvDecode(eucName, prefix + static_cast<char>(row) + static_cast<char>(col), one) &&
          one.size() == 1)
        all.push_back(one[0]);
  return all;
}

// Text in lines, as the encoders expect: each line ends in the initial state.
tUnits inLines(const tUnits& chars) {
  tUnits text;
  for (size_t i = 0; i < chars.size(); ++i) {
    text.push_back(chars[i]);
    if (i % 40 == 39) text.push_back('\n');
  }
  return text;
}

tUnits ascii() {
  tUnits text;
  for (unsigned short c = 0x20; c < 0x7F; ++c) text.push_back(c);
  text.push_back('\n');
  return text;
}

tUnits operator+(tUnits a, const tUnits& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void expectRoundTrip(const char* iconvName, int cp, const tUnits& text) {
  std::string bytes;
  ASSERT_TRUE(iconvEncode(iconvName, text, bytes)) << iconvName;
  EXPECT_EQ(decode(bytes, cp), text) << iconvName;
  // The terminated form reads the same text and counts its terminator.
  tUnits out(text.size() + 1, 0xAAAA);
  EXPECT_EQ(intrnl_2022_a2w_require(bytes.c_str(), -1, cp), static_cast<long long>(text.size() + 1));
  EXPECT_EQ(intrnl_2022_a2w(out.data(), out.size(), bytes.c_str(), -1, cp),
            static_cast<long long>(text.size()));
  EXPECT_EQ(out.back(), 0);
}

TEST(StatefulPage, TextsWrittenByTheCLibraryReadBack) {
  tUnits jisx0208 = charsetCharacters("EUC-JP", "");
  tUnits jisx0212 = charsetCharacters("EUC-JP", "\x8F");
  tUnits gb2312 = charsetCharacters("EUC-CN", "");
  ASSERT_EQ(jisx0208.size(), 6879u);
  ASSERT_EQ(jisx0212.size(), 6067u);
  ASSERT_EQ(gb2312.size(), 7445u);

  expectRoundTrip("ISO-2022-JP", kIso2022Jp, ascii() + inLines(jisx0208) + tUnits{0xA5, 0x203E, '\n'});
  expectRoundTrip("ISO-2022-JP-2", kIso2022Jp, inLines(jisx0212));
  tUnits kana;
  for (unsigned short u = 0xFF61; u <= 0xFF9F; ++u) kana.push_back(u);
  expectRoundTrip("ISO-2022-JP-3", kIso2022Jp, kana);
  // The C library writes a run of CNS 11643 plane 2 characters under one
  // single shift, which covers only the first of them; spaces between them keep its text sound.
  tUnits plane2;
  for (unsigned short u : charsetCharacters("EUC-TW", "\x8E\xA2")) plane2.insert(plane2.end(), {u, ' '});
  expectRoundTrip("ISO-2022-CN", kIso2022Cn,
                  ascii() + inLines(gb2312) + inLines(charsetCharacters("EUC-TW", "")) + inLines(plane2));
  expectRoundTrip("EUC-CN", kEucCn, ascii() + inLines(gb2312));

  // EUC-JP-MS writes two characters of JIS X 0212 with Microsoft's own codes,
  // which the standard sets read otherwise: the fullwidth tilde as A1 C1 (the
  // wave dash of JIS X 0208), the numero sign in NEC's row 13.
  std::erase_if(jisx0212, [](unsigned short u) { return u == 0xFF5E || u == 0x2116; });
  tUnits privateUse;
  for (unsigned short u = 0xE000; u <= 0xE757; ++u) privateUse.push_back(u);
  expectRoundTrip("EUC-JP-MS", kEucJp, ascii() + inLines(jisx0208) + inLines(jisx0212) + kana + privateUse);
}

TEST(StatefulPage, EscapesAndShifts) {
  EXPECT_EQ(decode("\x1B$@$\"", kIso2022Jp), tUnits{0x3042});
  EXPECT_EQ(decode("\\~\x1B(J\\~", kIso2022Jp), (tUnits{'\\', '~', 0xA5, 0x203E}));
  // An escape of another set, or a byte the set lacks, ends the text there.
  EXPECT_EQ(decode("A\x1B$)CB", kIso2022Jp), tUnits{'A'});
  EXPECT_EQ(decode("A\x1B(I`", kIso2022Jp), tUnits{'A'});
  EXPECT_EQ(decode("A\xA4", kIso2022Jp), tUnits{'A'});

  EXPECT_EQ(decode("A\x1B$)A\x0E\x30\x21\x0F"
                   "B",
                   kIso2022Cn),
            (tUnits{'A', 0x554A, 'B'}));
  EXPECT_EQ(decode("\x1B$*H\x1BN!!", kIso2022Cn), tUnits{0x4E42});
  // Shifting out needs a designated set, a single shift its own designation.
  EXPECT_EQ(decode("A\x0E\x30\x21", kIso2022Cn), tUnits{'A'});
  EXPECT_EQ(decode("A\x1B$)A\x1BN!!", kIso2022Cn), tUnits{'A'});

  EXPECT_EQ(decode("A\x8E\x41", kEucJp), tUnits{'A'});
  EXPECT_EQ(decode("A\xA9\xA1", kEucJp), tUnits{'A'});  // a row without characters
  EXPECT_EQ(decode("A\x8E\xB1", kEucCn), tUnits{'A'});
}

TEST(StatefulPage, CutAndDamagedTextsStopCleanly) {
  const std::pair<int, const char*> samples[] = {
      {kIso2022Jp, "a\x1B$B$\"$$\x1B(Jb\\\x1B(I12\x1B$(D\"/\x1B(Bz"},
      {kIso2022Cn,
       "a\x1B$)A\x0E\x30\x21\x30\x22\x0F\x1B$*H\x1BN!!b\x1B$)G\x0E\x44\x21\x0F"
       "z"},
      {kEucJp,
       "a\xA4\xA2\x8E\xB1\x8F\xB0\xA1\xF5\xA1"
       "z"},
      {kEucCn,
       "a\xB0\xA1\xB0\xA2"
       "z"},
  };
  std::mt19937 random(50221);
  for (auto [cp, sample] : samples) {
    SCOPED_TRACE(cp);
    const std::string whole = sample;
    const tUnits full = decode(whole, cp);
    ASSERT_EQ(full.back(), 'z');  // the sample reads to its end
    // Every cut gives the start of the text, never more.
    for (size_t len = 0; len <= whole.size(); ++len) {
      tUnits part = decode(whole.substr(0, len), cp);
      ASSERT_LE(part.size(), full.size());
      EXPECT_TRUE(std::equal(part.begin(), part.end(), full.begin())) << len;
    }
    // Damage anywhere stops the decoding cleanly; decode() checks the count
    // against what is written, and the exact-size buffer catches overreads.
    for (int round = 0; round < 500; ++round) {
      std::string bytes = whole;
      bytes[random() % bytes.size()] = static_cast<char>(random());
      decode(bytes, cp);
    }
  }
}

}  // namespace
