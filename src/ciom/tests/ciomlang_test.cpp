#include "ciom/ciomlang.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "compression/tests/zlib_support.h"
#include "hive_bytes.h"

namespace {

// Slot number to text; a missing number is an absent slot.
void addSection(cCiomLang& store, const std::string& name,
                const std::map<unsigned short, std::string>& texts) {
  cFasterTreeList<unsigned short, _guardchar<char>> slots;
  for (const auto& [slot, text] : texts) slots.insert(slot)->set(text.c_str());
  ASSERT_TRUE(store.sections.insert(cStringKey(name.c_str(), -1))->create(slots));
}

Bytes block(cCiomLang& store, const char* kind = "CIOMBASE") {
  _typebuf<unsigned char> out;
  EXPECT_TRUE(saveCiomLangData(kind, store, out));
  return Bytes(out.ptr, out.ptr + out.count);
}

bool load(const Bytes& bytes, cCiomLang& store) {
  return loadCiomLangData(bytes.data(), static_cast<long long>(bytes.size()), store);
}

std::string slot(cCiomLang& store, const char* section, long long i) {
  cCiomLangData* data = store.sections.find(cStringKey(section, -1));
  if (!data) return "<no section>";
  const char* text = data->string(i);
  return text ? text : "<absent>";
}

Bytes u32(unsigned long long v) {
  return Bytes{static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
               static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
}

// A block around hand-made plain data, declaring `declared` plain bytes.
Bytes rawBlock(const Bytes& plain, unsigned long long declared) {
  return text("CIOMLAFICIOMBASEDEU") + Bytes{2} + text("De") + u32(declared) + zlibCompress(plain, 5);
}

Bytes section(const std::string& field, const Bytes& data) {
  return u32(field.size()) + text(field) + u32(data.size()) + data;
}

class LanguageBlock : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(english.create("ENG", "English"));
    addSection(english, "ciom::folderchoose", {{0, "Choose a folder"}, {1, ""}, {3, "Line one\nline two"}});
    addSection(english, "ciom::msg", {{0, "OK"}, {1, "Cancel"}});
  }
  cCiomLang english;
};

TEST_F(LanguageBlock, RoundTripsWithTheDocumentedLayout) {
  Bytes bytes = block(english);
  ASSERT_GT(bytes.size(), 31u);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 27),
            text("CIOMLAFICIOMBASEENG") + Bytes{7} + text("English"));

  // The plain table: magic, then sections in key order with padded names.
  unsigned long long plainSize = bytes[27] | bytes[28] << 8 | bytes[29] << 16 | bytes[30] << 24;
  Bytes plain = zlibInflate(bytes.data() + 31, bytes.size() - 31, plainSize);
  ASSERT_EQ(plain.size(), plainSize);
  Bytes folderData = Bytes{4, 0, 15, 0, 0, 0, 0xFF, 0xFF, 17, 0} + text("Choose a folderLine one\nline two");
  Bytes msgData = Bytes{2, 0, 2, 0, 6, 0} + text("OKCancel");
  EXPECT_EQ(plain, text("CIOMLANG") + section(std::string("ciom::folderchoose\0\0", 20), folderData) +
                       section(std::string("ciom::msg\0\0\0", 12), msgData));

  cCiomLang back;
  ASSERT_TRUE(load(bytes, back));
  EXPECT_STREQ(back.name.ptr, "English");
  const char* expected[] = {"Choose a folder", "", "<absent>", "Line one\nline two", "<absent>"};
  for (int i = -1; i < 5; ++i) EXPECT_EQ(slot(back, "ciom::folderchoose", i), expected[i < 0 ? 2 : i]) << i;

  // The kind is padded in the header and is not the reader's business.
  Bytes namesBlock = block(english, "CIOMLN");
  EXPECT_EQ(Bytes(namesBlock.begin() + 8, namesBlock.begin() + 16), text("CIOMLN  "));
  ASSERT_TRUE(load(namesBlock, back));
}

TEST_F(LanguageBlock, ASectionOfALaterBlockReplacesTheEarlierWhole) {
  cCiomLang german;
  ASSERT_TRUE(german.create("DEU", "Deutsch"));
  addSection(german, "ciom::folderchoose", {{0, "Ordner"}});
  cCiomLang merged;
  ASSERT_TRUE(load(block(english), merged));
  ASSERT_TRUE(load(block(german), merged));
  EXPECT_STREQ(merged.code, "DEU");
  EXPECT_EQ(slot(merged, "ciom::folderchoose", 0), "Ordner");
  EXPECT_EQ(slot(merged, "ciom::folderchoose", 3), "<absent>");
  EXPECT_EQ(slot(merged, "ciom::msg", 0), "OK");

  // A refused block keeps the identity of the last good one.
  Bytes cut = block(english);
  cut.resize(cut.size() - 3);
  EXPECT_FALSE(load(cut, merged));
  EXPECT_STREQ(merged.code, "DEU");
}

TEST_F(LanguageBlock, HostileBlocksFailCleanly) {
  Bytes good = block(english);
  for (size_t n = 0; n < good.size(); ++n) {
    cCiomLang store;
    EXPECT_FALSE(load(Bytes(good.begin(), good.begin() + static_cast<long>(n)), store)) << n;
  }
  // A name length reaching past the plain size field.
  Bytes longName = good;
  longName[19] = 255;
  longName.resize(20 + 255 + 3);
  cCiomLang store;
  EXPECT_FALSE(load(longName, store));

  Bytes data = Bytes{1, 0, 2, 0} + text("hi");
  Bytes plain = text("CIOMLANG") + section(std::string("s\0\0\0", 4), data);
  EXPECT_TRUE(load(rawBlock(plain, plain.size()), store));
  EXPECT_EQ(slot(store, "s", 0), "hi");
  EXPECT_FALSE(load(rawBlock(plain, plain.size() + 1), store));  // inflates short
  EXPECT_FALSE(load(rawBlock(plain, plain.size() - 1), store));  // inflates long
  EXPECT_FALSE(load(rawBlock(plain, 0), store));
  EXPECT_FALSE(load(rawBlock(plain, kCiomLangMaxPlain + 1), store));
  EXPECT_FALSE(load(rawBlock(text("CIOMLANG"), 8), store));
  EXPECT_FALSE(load(rawBlock(text("CIOMLANX") + section("s", data), plain.size()), store));

  // Lengths past the plain data, up to the largest a field can hold.
  for (unsigned long long bad : {5ull, 0xFFFFFFF0ull, 0xFFFFFFFFull}) {
    Bytes badName = text("CIOMLANG") + u32(bad) + text("s\0\0\0") + u32(data.size()) + data;
    EXPECT_FALSE(load(rawBlock(badName, badName.size()), store)) << bad;
    Bytes badData = text("CIOMLANG") + u32(4) + text("s\0\0\0") + u32(bad) + data;
    EXPECT_FALSE(load(rawBlock(badData, badData.size()), store)) << bad;
  }
  for (const Bytes& badSlots : {Bytes{0, 0, 0, 0}, Bytes{3, 0, 1, 0}, Bytes{1, 0, 9, 0, 'x'}}) {
    Bytes p = text("CIOMLANG") + section("s", badSlots);
    EXPECT_FALSE(load(rawBlock(p, p.size()), store));
  }
  Bytes trailing = plain + Bytes{1, 2};
  EXPECT_FALSE(load(rawBlock(trailing, trailing.size()), store));
}

TEST(LanguageSection, RefusesWhatItCouldNotStoreWhole) {
  cCiomLangData data;
  cFasterTreeList<unsigned short, _guardchar<char>> slots;
  EXPECT_FALSE(data.create(slots));
  slots.insert(65535)->set("x");
  EXPECT_FALSE(data.create(slots));
  _typebuf<unsigned char> out;
  cFasterTreeList<unsigned short, _guardchar<char>> big;
  std::string longest(65534, 'a');
  big.insert(0)->set(longest.c_str());
  ASSERT_TRUE(data.create(big));
  ASSERT_TRUE(data.raw(out));
  std::string tooLong(65535, 'a');
  big.insert(1)->set(tooLong.c_str());
  ASSERT_TRUE(data.create(big));
  EXPECT_FALSE(data.raw(out));
}

TEST_F(LanguageBlock, FilesRoundTripAndAreFoundByKind) {
  ScratchDir dir;
  ASSERT_TRUE(saveCiomLangFile("CIOMBASE", dir.file("eng.laci").c_str(), english));
  ASSERT_TRUE(saveCiomLangFile("CIOMLN", dir.file("names.laci").c_str(), english));
  ASSERT_TRUE(saveCiomLangFile("CIOMBASE", dir.file("eng.txt").c_str(), english));
  writeFile(dir.file("junk.laci"), text("CIOMLAFI"));

  cCiomLang back;
  ASSERT_TRUE(loadCiomLangFile(dir.file("eng.laci").c_str(), back));
  EXPECT_EQ(slot(back, "ciom::folderchoose", 3), "Line one\nline two");
  EXPECT_FALSE(loadCiomLangFile(dir.file("junk.laci").c_str(), back));
  writeFile(dir.file("huge.bin"), Bytes(kCiomLangMaxPlain + 1, 0));
  EXPECT_FALSE(loadCiomLangFile(dir.file("huge.bin").c_str(), back));

  // Only files of the asked kind, with the .laci ending, are found.
  for (auto [kind, file] : {std::pair{"CIOMBASE", "eng.laci"}, {"CIOMLN", "names.laci"}}) {
    cFasterTreeList<int, sCiomLangDescrInfo> found;
    ASSERT_TRUE(findCiomLangFiles(dir.root.c_str(), kind, found));
    ASSERT_NE(found.find(0), nullptr);
    EXPECT_EQ(found.find(1), nullptr);
    EXPECT_EQ(std::string(found.find(0)->path.ptr), dir.file(file));
  }
  cFasterTreeList<int, sCiomLangDescrInfo> found;

  EXPECT_FALSE(findCiomLangFiles(dir.file("eng.laci").c_str(), "CIOMBASE", found));
}

}  // namespace
