#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/tests/scratch_dir.h"
#include "ciom/ciappconfig.h"
#include "ciom/liblang.h"
#include "tamsivarapp/langsel.h"
#include "tamsivarapp/langsw.h"
#include "tamsivarapp/main.h"

namespace {

void fill(_List<int>& list, std::initializer_list<int> langs) {
  for (int l : langs) list.add()->value = l;
}

TEST(LanguageChoice, NoOrOneLanguageNeedsNoWindow) {
  _List<int> none;
  EXPECT_EQ(cLangSelectionForm::chooseLang(&none, 0, "app", nullptr), kNoLangChosen);
  EXPECT_EQ(cLangSelectionForm::chooseLang(nullptr, 0, "app", nullptr), kNoLangChosen);
  _List<int> one;
  fill(one, {6});
  EXPECT_EQ(cLangSelectionForm::chooseLang(&one, 0, "app", nullptr), 6);
  one.destroy();
}

TEST(LanguageChoice, TheLinkCarriesTheNameEncoded) {
  const struct {
    const char* name;
    std::string query;
  } cases[] = {
      {"demo", "demo"},
      {"a b;touch x", "a%20b%3Btouch%20x"},
      {"x; rm -rf ~", "x%3B%20rm%20-rf%20~"},
      {"日", "%E6%97%A5"},
      {"", ""},
  };
  for (const auto& c : cases) {
    const std::string address = cLangSelectionForm::langPageAddress(c.name);
    EXPECT_EQ(address.substr(address.find("app_lang_opts.php?app=") + 22), c.query) << c.name;
    EXPECT_EQ(address.find(' '), std::string::npos);
  }
}

// Runs the switch inside an application with a configuration of its own.
class cSwitchApp : public cTamsivarApp {
 public:
  bool needsWindowMaker() override { return false; }
  int run() override {
    cLangSwitchCtl ctl;
    ctl.update(false);
    shownFirst = ctl.shownLang();
    sameRefused = !ctl.switchTo(shownFirst);
    unsigned long long stored = 99;
    untouched = !config()->getParamInt("lang/current", stored);
    switched = ctl.switchTo(eLangDEU);
    config()->getParamInt("lang/current", stored);
    storedAfter = static_cast<int>(stored);
    applied = static_cast<int>(cLibLang::appliedLang());
    return 0;
  }
  static inline int shownFirst = -1, storedAfter = -1, applied = -1;
  static inline bool sameRefused = false, untouched = false, switched = false;
};

TEST(LanguageSwitch, StoresAndAppliesANewLanguageOnly) {
  ScratchDir home;
  setenv("HOME", home.root.c_str(), 1);
  char arg0[] = "/nowhere/zvk";
  char* argv[] = {arg0, nullptr};
  ASSERT_EQ(cCIApplication::runApp(new cSwitchApp, nullptr, nullptr, 0, 1, argv, new cCIAppFullConfig, "zvk"), 0);
  EXPECT_EQ(cSwitchApp::shownFirst, eLangENG);
  EXPECT_TRUE(cSwitchApp::sameRefused);
  EXPECT_TRUE(cSwitchApp::untouched);
  EXPECT_TRUE(cSwitchApp::switched);
  EXPECT_EQ(cSwitchApp::storedAfter, eLangDEU);
  EXPECT_EQ(cSwitchApp::applied, eLangDEU);
  cLibLang::applyLang(eLangENG);
}

}  // namespace
