// The manager's Uninstall while another run holds the package: that run
// upgrades or removes it, and once the wait is over the manager shows what
// the record holds before anything is asked or told.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "base/utils.h"
#include "ciom/ciappconfig.h"
#include "ciom/listview.h"
#include "support/wizwindow.h"
#include "tamsivarapp/main.h"
#include "tamsivarapp/runlock.h"
#include "tamsivarapp/tamsivar.h"

namespace {

constexpr unsigned long long kOld = 1ULL << 48 | 2ULL << 16;  // 1.0.2
constexpr unsigned long long kNew = 2ULL << 48 | 1ULL << 16;  // 2.0.1
constexpr int kOldTime = 1700000000, kNewTime = 1750000000;
constexpr int kWaitingRow = 26, kStoreWaitingRow = 36, kNothingInstalledRow = 13;

void record(cApplicationConfig& cfg, unsigned long long version, int utime, const std::string& folder) {
  cfg.setParamStr("install/hello/name", "Hello", -1);
  cfg.setParamInt64("install/hello/ver", static_cast<long long>(version));
  cfg.setParamInt32("install/hello/utime", utime);
  cfg.setParamInt16("install/hello/lang", 0);
  cfg.setParamStr("install/hello/path", folder.c_str(), -1);
}

std::string timeText(int utime) {
  char text[32] = "";
  unixToStr(static_cast<unsigned int>(utime), text, sizeof text);
  return text;
}

const char* rowText(const char* section, int row) {
  cCiomLangData* s = cLibLang::gCiomLang.sections.find(cStringKey(section, -1));
  return s && s->string(row) ? s->string(row) : "";
}

// Every text the element and those shown inside it show, the list's cells too.
void textsIn(cChildElement* e, std::vector<std::string>& out) {
  if (!e->visible_child()) return;
  if (e->text() && *e->text()) out.emplace_back(e->text());
  if (auto* list = dynamic_cast<cListViewChild*>(e))
    for (int row = 0; row < list->getRowCount(); ++row)
      for (int col = 1; col <= 3; ++col) out.emplace_back(list->text(row, col) ? list->text(row, col) : "");
  for (cChildElement* c = e->getFirstChild(); c; c = e->getNextChild(c)) textsIn(c, out);
}

bool shows(cChildElement* e, const std::string& text) {
  std::vector<std::string> texts;
  textsIn(e, texts);
  for (const std::string& t : texts)
    if (t.find(text) != std::string::npos) return true;
  return false;
}

cChildElement* withText(cChildElement* e, const char* text) {
  if (e->text() && std::string(e->text()) == text) return e;
  for (cChildElement* c = e->getFirstChild(); c; c = e->getNextChild(c))
    if (cChildElement* found = withText(c, text)) return found;
  return nullptr;
}

// Pumps the window's queue until `done`, for at most a minute.
bool settleUntil(cWizTestWindow& w, const std::function<bool()>& done) {
  for (int i = 0; i < 600 && !done(); ++i) w.waitAndSettle(100);
  return done();
}

// Plays `play` on the manager, open over a store that records version
// 1.0.2 of hello in `folder`, its list read.
void withManager(cApplicationConfig& cfg, const std::string& folder,
                 const std::function<void(cTamsivarForm&, cWizTestWindow&)>& play) {
  record(cfg, kOld, kOldTime, folder);
  EXPECT_TRUE(cfg.saveConfig());
  cWizTestWindow window;
  cTamsivarForm manager;
  window.bind(&manager, 770, 480);
  EXPECT_TRUE(settleUntil(window, [&] { return shows(&manager, "1.0.2"); }));
  play(manager, window);
}

void clickUninstall(cTamsivarForm& manager) {
  cChildElement::cChildAction click;
  cChildElement* uninstall = withText(&manager, rowText("pkgm::tamsivar", 6));
  EXPECT_TRUE(uninstall);
  if (uninstall) manager.onAction(uninstall, &click);
}

struct sCase {
  const char* name;
  // What the other run does to the record while the uninstall waits.
  std::function<void(cApplicationConfig&, const std::string&)> change;
  // What the manager must show, and must not, under the first box.
  std::vector<std::string> shown, gone;
};

class cManagerApp : public cTamsivarApp {
 public:
  explicit cManagerApp(const sCase& c, const std::string& folder) : myCase(c), myFolder(folder) {}
  bool needsWindowMaker() override { return false; }
  int run() override {
    withManager(*config(), myFolder, [this](cTamsivarForm& manager, cWizTestWindow& window) { play(manager, window); });
    return 0;
  }

 private:
  void play(cTamsivarForm& manager, cWizTestWindow& window) {
    cPackageRunLock other;
    EXPECT_EQ(other.take(config(), "hello", nullptr), cPackageRunLock::rlHeld);
    cWizTestWindow::scripts.push_back([&](cWizTestWindow& form) {
      EXPECT_TRUE(settleUntil(form, [&] { return shows(form.root, rowText("pkgm::unin", kWaitingRow)); }));
      cCIAppFullConfig by;
      EXPECT_TRUE(by.openConfig("zvk"));
      myCase.change(by, myFolder);
      EXPECT_TRUE(by.saveConfig());
      other.release();
      settleUntil(form, [&] { return form.result != cWizTestWindow::kNoResult; });
    });
    // The first box over the manager, answered No when it asks.
    cWizTestWindow::scripts.push_back([&](cWizTestWindow&) {
      // A list read anew comes through the manager's own queue.
      settleUntil(window, [&] {
        for (const std::string& t : myCase.shown)
          if (!shows(&manager, t)) return false;
        return true;
      });
      for (const std::string& t : myCase.shown) EXPECT_TRUE(shows(&manager, t)) << t;
      for (const std::string& t : myCase.gone) EXPECT_FALSE(shows(&manager, t)) << t;
    });
    clickUninstall(manager);
    EXPECT_TRUE(cWizTestWindow::scripts.empty());
    cWizTestWindow::scripts.clear();
  }

  const sCase& myCase;
  std::string myFolder;
};

// Runs the manager `makeApp` gives for the package folder, in a home of its
// own where update checks meet a closed port at once; its exit status.
template <class MakeApp>
int runInOwnHome(MakeApp makeApp) {
  ScratchDir home;
  setenv("HOME", home.root.c_str(), 1);
  setenv("ZVK_UPDATE_URL", "http://127.0.0.1:9/", 1);
  const std::string folder = home.file("hello");
  mkdir(folder.c_str(), 0755);
  char arg0[] = "/nowhere/zvk";
  char* argv[] = {arg0, nullptr};
  return cCIApplication::runApp(makeApp(folder), nullptr, nullptr, 0, 1, argv, new cCIAppFullConfig, "zvk");
}

TEST(ManagerUninstall, AfterWaitingForAnotherRunItShowsWhatTheRecordHoldsNow) {
  cWizTestWindow::useLanguage(eLangENG);
  const sCase cases[] = {
      {"upgraded",
       [](cApplicationConfig& cfg, const std::string& folder) { record(cfg, kNew, kNewTime, folder); },
       {"2.0.1", timeText(kNewTime)},
       {"1.0.2", timeText(kOldTime)}},
      {"removed",
       [](cApplicationConfig& cfg, const std::string&) { cfg.removeSection("install/hello"); },
       {rowText("pkgm::tamsivar", kNothingInstalledRow)},
       {"Hello", "1.0.2"}},
  };
  for (const sCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(runInOwnHome([&](const std::string& folder) { return new cManagerApp(c, folder); }), 0);
  }
  unsetenv("ZVK_UPDATE_URL");
  cLibLang::applyLang(eLangENG);
}

// The uninstall's wait says what it waits for, in the language the
// package was installed in, whatever the manager speaks: another run of
// the package, or another run, of any package, writing the store.
class cHeldApp : public cTamsivarApp {
 public:
  cHeldApp(bool store, int lang, const std::string& folder, std::string& shown)
      : myStore(store), myLang(lang), myFolder(folder), myShown(shown) {}
  bool needsWindowMaker() override { return false; }
  int run() override {
    withManager(*config(), myFolder, [this](cTamsivarForm& manager, cWizTestWindow&) {
      config()->setParamInt16("install/hello/lang", myLang);
      EXPECT_TRUE(config()->saveConfig());
      play(manager);
    });
    return 0;
  }

 private:
  void play(cTamsivarForm& manager) {
    cApplicationConfig& cfg = *config();
    // Held here: the lock of a file open twice is the file's, not the process's.
    cPackageRunLock other;
    const int store = open((std::string(getenv("HOME")) + "/.zvk/install").c_str(), O_RDWR | O_CLOEXEC);
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_len = 4;
    EXPECT_TRUE(myStore ? fcntl(store, F_OFD_SETLK, &range) == 0
                        : other.take(&cfg, "hello", nullptr) == cPackageRunLock::rlHeld);
    cWizTestWindow::scripts.push_back([&](cWizTestWindow& form) {
      // Asked anew at each look: a language applied meanwhile replaces the texts.
      const auto showing = [&]() -> std::string {
        for (const int row : {kStoreWaitingRow, kWaitingRow})
          if (shows(form.root, rowText("pkgm::unin", row))) return rowText("pkgm::unin", row);
        return "";
      };
      EXPECT_TRUE(settleUntil(form, [&] { return !showing().empty(); }));
      myShown = showing();
      form.key(cChildElement::kcEscape);
      settleUntil(form, [&] { return form.result != cWizTestWindow::kNoResult; });
    });
    // The store is met at the save after the files go: Yes, remove it.
    cWizTestWindow::scripts.push_back([](cWizTestWindow& box) { box.result = 1; });
    clickUninstall(manager);
    cWizTestWindow::scripts.clear();
    close(store);
  }

  bool myStore;
  int myLang;
  std::string myFolder;
  std::string& myShown;
};

TEST(ManagerUninstall, TheWaitSaysWhatItWaitsForInThePackagesLanguage) {
  cWizTestWindow::useLanguage(eLangENG);
  for (const eCIOMStdLangs lang : {eLangENG, eLangRUS, eLangJPN}) {
    for (const bool store : {false, true}) {
      SCOPED_TRACE(std::to_string(lang) + (store ? " store" : " package"));
      std::string shown;
      runInOwnHome([&](const std::string& folder) { return new cHeldApp(store, lang, folder, shown); });
      cWizTestWindow::useLanguage(lang);
      EXPECT_EQ(shown, rowText("pkgm::unin", store ? kStoreWaitingRow : kWaitingRow));
    }
  }
  unsetenv("ZVK_UPDATE_URL");
  cLibLang::applyLang(eLangENG);
}

}  // namespace
