#include "ciom/ciomlangs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The printf directives of a text, in order: flags, width, precision and
// the conversion letter (or the escaped percent sign).
std::vector<std::string> directives(const std::string& text) {
  std::vector<std::string> found;
  for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at)) {
    size_t end = text.find_first_not_of("-+ #0123456789.", at + 1);
    if (end == std::string::npos) end = text.size() - 1;
    found.push_back(text.substr(at, end - at + 1));
    at = end + 1;
  }
  return found;
}

long long lineBreaks(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

const char* const kSections[] = {"ciom::filechoose", "ciom::folderchoose", "ciom::messages", "ciom::progress",
                                 "ciom::propsheet"};

void loadTable(const cLibLang::sLangDef& def, cCiomLang& store) {
  EXPECT_TRUE(loadCiomLangData(def.data, def.size, store)) << "table of language " << def.lang;
}

long long slotCount(cCiomLang& store, const char* section) {
  cCiomLangData* data = store.sections.find(cStringKey(section, -1));
  return data ? data->strings.count : -1;
}

}  // namespace

// Every table has its header, the English sections and slot counts, and in
// each slot the English slot's printf directives and line breaks.
TEST(ToolkitTables, NineTablesKeepTheEnglishShape) {
  const eCIOMStdLangs langs[] = {eLangENG, eLangRUS, eLangUKR, eLangDEU, eLangFRA,
                                 eLangJPN, eLangKOR, eLangCHN, eLangTWN};
  const char* const headers[][2] = {{"ENG", "English"}, {"RUS", "Русский"}, {"UKR", "Українська"},
                                    {"DEU", "Deutsch"}, {"FRA", "French"},  {"JPN", "日本語"},
                                    {"KOR", "한국어"},  {"CHI", "中国语"},  {"TWN", "中國語"}};
  // The header's code is a label: simplified Chinese is language 8, "CHN".
  EXPECT_STREQ(ciLangID(eLangCHN), "CHN");
  cCiomLang english;
  loadTable(cCIOMLang::gLangs[0], english);
  const long long counts[] = {26, 8, 7, 5, 3};
  for (int s = 0; s < 5; ++s) EXPECT_EQ(slotCount(english, kSections[s]), counts[s]) << kSections[s];

  for (int n = 0; n < cCIOMLang::kLangCount; ++n) {
    const cLibLang::sLangDef& def = cCIOMLang::gLangs[n];
    EXPECT_EQ(def.lang, langs[n]);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(def.data + 8), 8), "CIOMBASE");
    cCiomLang table;
    loadTable(def, table);
    EXPECT_STREQ(table.code, headers[n][0]);
    EXPECT_STREQ(table.name.ptr, headers[n][1]);
    int sections = 0;
    for (auto* item = table.sections.leftmost(table.sections.root); item; item = table.sections.next(item))
      ++sections;
    EXPECT_EQ(sections, 5) << table.code;
    for (const char* section : kSections) {
      ASSERT_EQ(slotCount(table, section), slotCount(english, section)) << table.code << " " << section;
      cCiomLangData* ours = table.sections.find(cStringKey(section, -1));
      cCiomLangData* theirs = english.sections.find(cStringKey(section, -1));
      for (long long i = 0; i < ours->strings.count; ++i) {
        const char* text = ours->string(i);
        ASSERT_TRUE(text && *text) << table.code << " " << section << " " << i;
        std::string model = theirs->string(i);
        EXPECT_EQ(directives(text), directives(model)) << table.code << " " << section << " " << i;
        EXPECT_EQ(lineBreaks(text), lineBreaks(model)) << table.code << " " << section << " " << i;
      }
    }
  }
}
