#include <gtest/gtest.h>
#include <pango/pango.h>

#include <map>
#include <string>
#include <vector>

#include "ciplatform/macctfont.h"
#include "ciplatform/pangotext.h"
#include "tamsivarapp/cistd.h"
#include "tamsivarapp/lang.h"

namespace {

using tSections = std::map<std::string, std::vector<std::string>>;  // absent rows: ""

// The named sections of a table, and how many sections it has in all.
tSections load(const cLibLang::sLangDef& def, const std::vector<std::string>& names, int& total) {
  cCiomLang store;
  EXPECT_TRUE(loadCiomLangData(def.data, def.size, store)) << def.lang;
  total = 0;
  for (auto* s = store.sections.root ? store.sections.leftmost(store.sections.root) : nullptr; s;
       s = store.sections.next(s))
    ++total;
  tSections out;
  for (const std::string& name : names) {
    cCiomLangData* section = store.sections.find(cStringKey(name.c_str(), -1));
    if (!section) continue;
    std::vector<std::string>& rows = out[name];
    for (long long i = 0; i < section->strings.count; ++i) {
      const char* t = section->strings.ptr[i].ptr;
      rows.push_back(t ? t : "");
    }
  }
  return out;
}

// Each "%..." conversion as written: flags, width, precision, length and
// the conversion letter.
std::vector<std::string> directives(const std::string& text) {
  std::vector<std::string> out;
  for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at)) {
    size_t end = text.find_first_not_of("-+ #0123456789.lh", at + 1);
    if (end == std::string::npos) end = text.size() - 1;
    out.push_back(text.substr(at, end - at + 1));
    at = end + 1;
  }
  return out;
}

TEST(AppLanguages, EightTablesInOrderWithEnglishRowsAndDirectives) {
  const unsigned int order[] = {eLangENG, eLangDEU, eLangRUS, eLangUKR, eLangKOR, eLangJPN, eLangCHN, eLangTWN};
  const std::map<std::string, size_t> rowCounts = {
      {"pkgm::langs", 8}, {"pkgm::resp", 2},  {"pkgm::iini", 21},
      {"pkgm::instp", 6}, {"pkgm::unin", 42}, {"pkgm::rem", 7},
      {"pkgm::tamsivar", 19}, {"pkgm::updr", 17}, {"pkgm::updi", 17},
      {"pkgm::instw", 26}, {"pkgm::fsel", 14}, {"pkgm::fin", 16}, {"pkgm::run", 10}};
  std::vector<std::string> names;
  for (const auto& entry : rowCounts) names.push_back(entry.first);
  int total = 0;
  const tSections english = load(cSOPKGLang::gLangs[0], names, total);
  EXPECT_EQ(english.at("pkgm::langs")[0], "Select setup language");
  EXPECT_EQ(english.at("pkgm::resp")[1], "Waiting for response...");

  auto* font = static_cast<cMacCTFont*>(mkStdFont());
  ASSERT_NE(font, nullptr);
  for (int i = 0; i < cSOPKGLang::kLangCount; ++i) {
    const cLibLang::sLangDef& def = cSOPKGLang::gLangs[i];
    SCOPED_TRACE(def.lang);
    EXPECT_EQ(def.lang, order[i]);
    const tSections table = load(def, names, total);
    EXPECT_EQ(total, static_cast<int>(rowCounts.size()));
    // Buttons side by side say different words: Update (5) and Refresh (12).
    EXPECT_NE(table.at("pkgm::tamsivar")[5], table.at("pkgm::tamsivar")[12]);
    for (const auto& [name, count] : rowCounts) {
      ASSERT_EQ(table.count(name), 1u) << name;
      const std::vector<std::string>& rows = table.at(name);
      ASSERT_EQ(rows.size(), count) << name;
      for (size_t r = 0; r < count; ++r) {
        EXPECT_FALSE(rows[r].empty()) << name << " " << r;
        EXPECT_EQ(directives(rows[r]), directives(english.at(name)[r])) << name << " " << r;
        cPangoText shown(rows[r].c_str(), -1);
        EXPECT_EQ(pango_layout_get_unknown_glyphs_count(font->layoutOf(shown.bytes, shown.length)), 0)
            << rows[r];
      }
    }
  }
}

}  // namespace
