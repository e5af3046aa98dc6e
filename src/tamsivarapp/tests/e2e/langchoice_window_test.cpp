// The language chooser and the manager's language button in real windows,
// played through XTest: every key goes to the focused window, and only once
// the window the test found anew has the focus.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "base/stringkey.h"
#include "base/tests/scratch_dir.h"
#include "ciom/ciappconfig.h"
#include "ciom/customform.h"
#include "ciom/liblang.h"
#include "ciom/windowmaker.h"
#include "e2e/instwiz_support.h"
#include "e2e/xuser.h"
#include "tamsivarapp/langsel.h"
#include "tamsivarapp/langsw.h"
#include "tamsivarapp/main.h"
#include "tamsivarapp/tamsivar.h"

namespace {

bool waitUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 300; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
    if (done()) return true;
  return false;
}

// The height of `window` as the server has it; 0 where it is gone.
int heightOf(const std::string& window) {
  const std::string geometry = runWithEnv({"xdotool", "getwindowgeometry", window}).out;
  const size_t at = geometry.find("Geometry:");
  const size_t x = at == std::string::npos ? at : geometry.find('x', at);
  return x == std::string::npos ? 0 : std::atoi(geometry.c_str() + x + 1);
}

bool waitApplied(int lang) { return waitUntil([&] { return static_cast<int>(cLibLang::appliedLang()) == lang; }); }

// Runs `body` as the application's run, with a configuration under a
// scratch HOME; its result is runApp's.
class cScriptedApp : public cTamsivarApp {
 public:
  explicit cScriptedApp(std::function<int()> body) : myBody(std::move(body)) {}
  int run() override { return myBody(); }

 private:
  std::function<int()> myBody;
};

class LanguageWindows : public ::testing::Test {
 protected:
  ScratchDir home;
  std::string shots = std::string(ZVK_BINARY_DIR) + "/screenshots";

  void SetUp() override {
    if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
    setenv("HOME", home.root.c_str(), 1);
    std::filesystem::create_directories(shots);
  }
  void TearDown() override { cLibLang::applyLang(eLangENG); }

  int runApp(std::function<int()> body) {
    char arg0[] = "/nowhere/zvk";
    char* argv[] = {arg0, nullptr};
    return cCIApplication::runApp(new cScriptedApp(std::move(body)), nullptr, nullptr, 0, 1, argv,
                                  new cCIAppFullConfig, "zvk");
  }
};

struct sBrowsed {
  int lang;
  const char* code;  // in screenshot names
};
const sBrowsed kOrder[] = {{eLangENG, "en"}, {eLangDEU, "de"}, {eLangRUS, "ru"},    {eLangUKR, "uk"},
                           {eLangKOR, "ko"}, {eLangJPN, "ja"}, {eLangCHN, "zh-CN"}, {eLangTWN, "zh-TW"}};

// A user who cannot go on ends the test process: the form it was to answer
// would wait for ever.
void endIfStuck(const std::string& failed) {
  if (failed.empty()) return;
  std::fprintf(stderr, "%s\n", failed.c_str());
  std::abort();
}

// The form has no caption; the window found anew is the form of this run.
std::string newFocusedForm(std::vector<std::string>& known, const std::string& caption) {
  const std::string w = e2e::waitNewWindow(known, caption);
  if (w.empty() || !e2e::waitFocus(w)) return "";
  known.push_back(w);
  return w;
}

TEST_F(LanguageWindows, ArrowsApplyEachLanguageEnterTakesItEscapeOrCloseThenYesCancels) {
  std::vector<int> answers, applied;
  std::vector<std::string> known = e2e::windowsCaptioned("");
  auto script = [&]() -> std::string {
    std::string form = newFocusedForm(known, "");
    if (form.empty()) return "no first form";
    for (const sBrowsed& b : kOrder) {
      if (b.lang != eLangENG) e2e::typeKey("Down");
      if (!waitApplied(b.lang)) return std::string("not applied: ") + b.code;
      e2e::settle();
      e2e::screenshot(form, shots + "/langchoice_" + b.code + ".png");
    }
    e2e::typeKey("Return");
    form = newFocusedForm(known, "");
    if (form.empty()) return "no second form";
    e2e::typeKey("Down");
    if (!waitApplied(eLangDEU)) return "German not applied";
    e2e::typeKey("Escape");
    cCiomLangData* messages = cLibLang::gCiomLang.sections.find(cStringKey("ciom::messages", -1));
    const std::string confirm = messages && messages->string(6) ? messages->string(6) : "";
    if (newFocusedForm(known, confirm).empty()) return "no box " + confirm;
    e2e::typeKey("Return");
    // The close box asks the same question: No keeps the form, Yes ends it.
    form = newFocusedForm(known, "");
    if (form.empty()) return "no third form";
    // Asked in English again, as the form opened.
    messages = cLibLang::gCiomLang.sections.find(cStringKey("ciom::messages", -1));
    const std::string english = messages && messages->string(6) ? messages->string(6) : "";
    for (const char* answer : {"Escape", "Return"}) {
      wizard::closeBox(form);
      if (newFocusedForm(known, english).empty()) return std::string("no box on closing, then ") + answer;
      e2e::typeKey(answer);
    }
    return "";
  };
  auto user = std::async(std::launch::async, [&] { endIfStuck(script()); });
  EXPECT_EQ(runApp([&] {
              _List<int> list;
              for (const sBrowsed& b : kOrder) list.add()->value = b.lang;
              for (const char* app : {"demo", static_cast<const char*>(nullptr), "demo"}) {
                answers.push_back(cLangSelectionForm::chooseLang(&list, eLangENG, app, nullptr));
                applied.push_back(static_cast<int>(cLibLang::appliedLang()));
                cLibLang::applyLang(eLangENG);
              }
              list.destroy();
              return 0;
            }),
            0);
  user.get();
  EXPECT_EQ(answers, (std::vector<int>{eLangTWN, kNoLangChosen, kNoLangChosen}));
  EXPECT_EQ(applied, (std::vector<int>{eLangTWN, eLangDEU, eLangENG}));
}

// A form holding the language button that keeps the button's actions and
// ends on the first change.
class cSwitchHost : public cCustomForm {
 public:
  cLangSwitchCtl button;
  std::vector<int>* actions = nullptr;
  std::atomic<int> buttonX{-1}, buttonY{-1};
  void onConstruct() override {
    cCustomForm::onConstruct();
    clientArea()->attach(&button, 10, 10, 25, 25);
  }
  bool onAfterConstruct() override {
    sPoint at;
    button.absPos(at);
    buttonY = at.y + 12;
    buttonX = at.x + 12;
    return false;
  }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (sender == &button) {
      actions->push_back(a->code);
      if (a->code == acChange) end_modal(1);
    }
    return cCustomForm::onAction(sender, a);
  }
};

TEST_F(LanguageWindows, TheButtonsListStoresAndAnnouncesOnlyANewLanguage) {
  std::vector<int> actions;
  std::vector<std::string> known = e2e::windowsCaptioned("");
  auto* host = new cSwitchHost;
  host->actions = &actions;
  auto script = [&]() -> std::string {
    const std::string form = e2e::waitWindow("zvk-langswitch");
    if (form.empty() || !waitUntil([&] { return host->buttonY >= 0; })) return "no form";
    e2e::settle();
    const std::string x = std::to_string(host->buttonX), y = std::to_string(host->buttonY);
    // English (the current language) first, then German: rows 0 and 2.
    for (int row : {0, 2}) {
      // A window gone before it is measured is no list: the button is
      // clicked again.
      std::string list;
      int height = 0;
      for (int tries = 0; tries < 5 && height <= 0; ++tries) {
        runWithEnv({"xdotool", "mousemove", x, y, "click", "1"});  // absPos is on the screen
        list = e2e::waitNewWindow(known, "");
        if (list.empty()) return "no list";
        known.push_back(list);
        e2e::settle();
        height = heightOf(list);
      }
      if (height <= 0) return "no list to measure";
      if (row == 2) e2e::screenshot(list, shots + "/langswitch_list.png");
      const int rowHeight = (height - 2) / 8;
      runWithEnv({"xdotool", "mousemove", "--window", list, "30", std::to_string(1 + rowHeight * row + rowHeight / 2),
                  "click", "1"});
      e2e::settle();
    }
    return "";
  };
  auto user = std::async(std::launch::async, [&] { endIfStuck(script()); });
  EXPECT_EQ(runApp([&] {
              return cCIApplication::appRef()->windowMaker()->modal("zvk-langswitch", 200, 100, host, nullptr, false);
            }),
            1);
  user.get();
  int changes = 0;
  for (int code : actions) changes += code == cChildElement::acChange;
  EXPECT_EQ(changes, 1);
  cCIAppFullConfig config;
  unsigned long long stored = 0;
  ASSERT_TRUE(config.openConfig((home.root + "/.zvk").c_str()));
  EXPECT_TRUE(config.getParamInt("lang/current", stored));
  EXPECT_EQ(stored, static_cast<unsigned long long>(eLangDEU));
}

// The process a test stops inside a save of the hive at `path`: it holds
// the hive's lock until killed.
pid_t stoppedHolder(const std::string& path) {
  const pid_t holder = fork();
  if (holder == 0) {
    const int fd = open(path.c_str(), O_RDWR);
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_len = 4;
    if (fd < 0 || fcntl(fd, F_OFD_SETLK, &range) != 0) _exit(1);
    raise(SIGSTOP);
    _exit(0);
  }
  int held = 0;
  return holder > 0 && waitpid(holder, &held, WUNTRACED) == holder && WIFSTOPPED(held) ? holder : -1;
}

// Another run stopped inside a save of the store: the language chosen in
// the manager's own window waits for it there, the window painting
// meanwhile. Each way the manager has to quit, its close box and
// Control+Q, gives the wait up at once: the user is told, the language
// stays as it was, and the window then quits as it does when nothing waits.
TEST_F(LanguageWindows, AWaitForAStoppedSaveOfTheStorePaintsAndEachWayToQuitGivesItUp) {
  const std::string store = home.root + "/.zvk", hive = store + "/lang";
  std::filesystem::create_directories(store);
  ASSERT_TRUE(cCIAppConfig::mkNewHive(hive.c_str()));
  const struct {
    const char* name;
    std::function<void(const std::string&)> quit;
  } ways[] = {{"close box", wizard::closeBox}, {"control+q", [](const std::string& w) { e2e::key(w, "ctrl+q"); }}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    const pid_t holder = stoppedHolder(hive);
    ASSERT_GT(holder, 0);
    std::vector<std::string> known = e2e::windowsCaptioned("");
    std::atomic<int> appliedAtBox{-1};
    auto script = [&]() -> std::string {
      const std::string form = e2e::waitWindow("zvk-manager");
      if (form.empty()) return "no manager";
      e2e::settle();
      const std::string face = wizard::pixel(form, 300, 200);
      cCiomLangData* messages = cLibLang::gCiomLang.sections.find(cStringKey("ciom::messages", -1));
      const std::string error = messages && messages->string(5) ? messages->string(5) : "";
      // The language button, at the window's top right, takes clicks once the list is read.
      std::string list;
      auto openList = [&] {
        waitUntil([&] {
          runWithEnv({"xdotool", "mousemove", "--window", form, "711", "37", "click", "1"});
          list = e2e::waitNewWindow(known, "");
          return !list.empty();
        });
        if (!list.empty()) known.push_back(list);
        return !list.empty();
      };
      if (!openList()) return "no list";
      e2e::settle();
      const int watch = inotify_init1(IN_CLOEXEC);
      if (watch < 0 || inotify_add_watch(watch, hive.c_str(), IN_OPEN) < 0) return "no watch";
      // A list still taking its size misses the click: it is given again,
      // on the list as it is now, until the save begins. A click that
      // closed the list on the language already in use saves nothing, so
      // the list is opened again.
      pollfd opened{watch, POLLIN, 0};
      const bool saving = wizard::waitFor([&] {
        const int height = heightOf(list);
        if (height <= 0) {
          if (poll(&opened, 1, 3000) == 1) return true;
          openList();
          return false;
        }
        const int rowHeight = (height - 2) / 8;
        runWithEnv({"xdotool", "mousemove", "--window", list, "30", std::to_string(1 + rowHeight * 2 + rowHeight / 2),
                    "click", "1"});  // German
        return poll(&opened, 1, 1000) == 1;
      });
      close(watch);
      if (!saving) return "no save";
      // Uncovered while it waits, the window paints itself again.
      runWithEnv({"xdotool", "windowunmap", "--sync", form});
      runWithEnv({"xdotool", "windowmap", "--sync", form});
      if (!wizard::waitFor([&] { return wizard::pixel(form, 300, 200) == face; })) return "not painted while waiting";
      way.quit(form);
      const std::string box = e2e::waitNewWindow(known, error);
      if (box.empty()) return "not told";
      appliedAtBox = static_cast<int>(cLibLang::appliedLang());
      e2e::settle();
      e2e::screenshot(box, shots + "/langswitch_not_stored.png");
      e2e::typeKey("Return");
      return "";
    };
    auto user = std::async(std::launch::async, [&] {
      const std::string failed = script();
      // The stopped run ends, so that the window's wait does too.
      kill(holder, SIGKILL);
      endIfStuck(failed);
      return failed;
    });
    const int ended = runApp([&] {
      return cCIApplication::appRef()->windowMaker()->modal("zvk-manager", 770, 480, new cTamsivarForm, nullptr,
                                                            false);
    });
    EXPECT_EQ(user.get(), "");
    waitpid(holder, nullptr, 0);
    // As the same way ends the manager when nothing waits.
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(appliedAtBox, static_cast<int>(eLangENG));
    cCIAppFullConfig config;
    unsigned long long stored = 0;
    ASSERT_TRUE(config.openConfig(store.c_str()));
    EXPECT_FALSE(config.getParamInt("lang/current", stored)) << stored;
  }
}

}  // namespace
