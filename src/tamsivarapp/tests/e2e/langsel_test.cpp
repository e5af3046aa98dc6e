#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "base/stringkey.h"
#include "base/tests/scratch_dir.h"
#include "ciom/ciappconfig.h"
#include "ciom/liblang.h"
#include "e2e/xuser.h"
#include "tamsivarapp/langsel.h"
#include "tamsivarapp/main.h"

namespace {

const int kOrder[] = {eLangENG, eLangDEU, eLangRUS, eLangUKR, eLangKOR, eLangJPN, eLangCHN, eLangTWN};

// Runs the choice twice in one application: browsed to the end and taken
// with Enter, then browsed one step and cancelled.
class cChooseApp : public cTamsivarApp {
 public:
  int run() override {
    _List<int> list;
    for (int l : kOrder) list.add()->value = l;
    first = cLangSelectionForm::chooseLang(&list, eLangENG, "demo", nullptr);
    firstApplied = static_cast<int>(cLibLang::appliedLang());
    cLibLang::applyLang(eLangENG);
    second = cLangSelectionForm::chooseLang(&list, eLangENG, nullptr, nullptr);
    secondApplied = static_cast<int>(cLibLang::appliedLang());
    list.destroy();
    return 0;
  }
  static inline int first = -1, second = -1, firstApplied = -1, secondApplied = -1;
};

std::string confirmCaption() {
  cCiomLangData* s = cLibLang::gCiomLang.sections.find(cStringKey("ciom::messages", -1));
  const char* t = s ? s->string(6) : nullptr;
  return t ? t : "";
}

bool waitApplied(int lang) {
  for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
    if (static_cast<int>(cLibLang::appliedLang()) == lang) return true;
  return false;
}

TEST(LanguageSelection, ArrowsApplyEachLanguageEnterTakesItEscapeCancels) {
  if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
  ScratchDir home;
  setenv("HOME", home.root.c_str(), 1);
  const std::string shots = std::string(ZVK_BINARY_DIR) + "/screenshots";
  std::filesystem::create_directories(shots);
  auto user = std::async(std::launch::async, [&] {
    std::string form = e2e::waitWindowSized(400, 370);
    if (form.empty()) return std::string("no form");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int i = 0; i < 8; ++i) {
      if (i > 0) e2e::key(form, "Down");
      if (!waitApplied(kOrder[i])) return "not applied: " + std::to_string(kOrder[i]);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      e2e::screenshot(form, shots + "/langsel_" + std::to_string(kOrder[i]) + ".png");
    }
    if (!e2e::answer(form, "Return")) return std::string("Enter did not close");
    form = e2e::waitWindowSized(400, 370);
    if (form.empty()) return std::string("no second form");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    e2e::key(form, "Down");
    if (!waitApplied(eLangDEU)) return std::string("German not applied");
    e2e::key(form, "Escape");
    const std::string box = e2e::waitWindow(confirmCaption());
    if (box.empty()) return "no confirmation " + confirmCaption();
    if (!e2e::answer(box, "Return")) return std::string("Yes did not close");
    return std::string();
  });
  char arg0[] = "/nowhere/zvk";
  char* argv[] = {arg0, nullptr};
  EXPECT_EQ(cCIApplication::runApp(new cChooseApp, nullptr, nullptr, 0, 1, argv, new cCIAppFullConfig, "zvk"), 0);
  EXPECT_EQ(user.get(), "");
  EXPECT_EQ(cChooseApp::first, eLangTWN);
  EXPECT_EQ(cChooseApp::firstApplied, eLangTWN);
  EXPECT_EQ(cChooseApp::second, kNoLangChosen);
  EXPECT_EQ(cChooseApp::secondApplied, eLangDEU);
  cLibLang::applyLang(eLangENG);
}

}  // namespace
