#include "tamsivar/manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "base/tests/scratch_dir.h"
#include "ciom/application.h"
#include "ciom/liblang.h"

namespace {

void waitForTheJob() {
  for (int i = 0; i < 500 && gThisAppUpdateChecker.runs(); ++i) cJob::sleep(10);
}

TEST(ManagerLocation, NamesFollowTheInterfaceLanguage) {
  EXPECT_EQ(tamsivarName(3), nullptr);
  const char* home = std::getenv("HOME");
  std::string was = home ? home : "";
  struct Case {
    eCIOMStdLangs lang;
    const char* name;
  } cases[] = {{eLangKOR, "ZVK 소프트웨어 관리자"},
               {eLangJPN, "ZVK ソフトウェアマネージャー"},
               {eLangDEU, "ZVK Software Manager"},
               {eLangENG, "ZVK Software Manager"}};
  // The place is recorded as the packages' folders are: plainly spelled.
  for (const char* spelled : {"/home/someone", "/home/./someone", "//home//someone/./"}) {
    setenv("HOME", spelled, 1);
    for (Case& c : cases) {
      cLibLang::applyLang(c.lang);
      _guardchar<char> path;
      EXPECT_TRUE(getAppManagerPath(path));
      EXPECT_EQ(std::string(path.ptr),
                std::string("/home/someone/Applications/") + c.name + ".app/Contents/MacOS/Tamsivar")
          << spelled;
    }
  }
  setenv("HOME", was.c_str(), 1);
  cLibLang::applyLang(eLangENG);
}

// A manager that writes down the arguments of each start, one line a start.
class Trigger : public ::testing::Test {
 protected:
  ScratchDir dir;
  std::string savedHome, savedCwd;

  void SetUp() override {
    savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    savedCwd = std::filesystem::current_path();
    setenv("HOME", dir.root.c_str(), 1);
    std::filesystem::current_path(dir.root);
    cLibLang::applyLang(eLangENG);
    std::string folder = dir.file("Applications/ZVK Software Manager.app/Contents/MacOS");
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/Tamsivar")
        << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done >> \"$HOME/calls\"\n"
           "echo >> \"$HOME/calls\"\n";
    chmod((folder + "/Tamsivar").c_str(), 0755);
  }
  void TearDown() override {
    std::filesystem::current_path(savedCwd);
    setenv("HOME", savedHome.c_str(), 1);
  }
  std::string calls() { return dir.read("calls"); }
};

TEST_F(Trigger, WithoutConfigurationRunsEveryTimeAndQuotesTheCodename) {
  EXPECT_FALSE(autoCheckUpdates(""));
  EXPECT_FALSE(autoCheckUpdates(nullptr));
  for (const char* codename : {"demo", "demo", "x; touch pwned", "it's"}) {
    ASSERT_TRUE(autoCheckUpdates(codename)) << codename;
    waitForTheJob();
  }
  EXPECT_EQ(calls(),
            "[update][demo][quite]\n[update][demo][quite]\n[update][x; touch pwned][quite]\n"
            "[update][it's][quite]\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("pwned")));
  std::filesystem::remove_all(dir.file("Applications"));
  EXPECT_FALSE(autoCheckUpdates("demo")) << "no manager installed";
}

class cTriggerApp : public cCIApplication {
 public:
  std::string* log;
  std::function<std::string()> calls;
  bool onInit(int, char**, int& status) override {
    auto pull = [&](const char* what) {
      bool ok = autoCheckUpdates("demo");
      waitForTheJob();
      *log += std::string(what) + (ok ? " true " : " false ") + std::to_string(calls().size()) + "\n";
    };
    pull("first");
    pull("again today");
    int stamp = config()->getParamInt32("updates/demo");
    config()->setParamInt32("updates/demo", stamp - 1);
    pull("after yesterday's stamp");
    status = 0;
    return false;
  }
};

TEST_F(Trigger, WithConfigurationRunsOnceADay) {
  std::string log;
  auto* app = new cTriggerApp;
  app->log = &log;
  app->calls = [this] { return calls(); };
  char arg0[] = "zvk";
  char* argv[] = {arg0, nullptr};
  cCIApplication::runApp(app, nullptr, nullptr, 0, 1, argv, nullptr, "zvk");
  size_t line = std::string("[update][demo][quite]\n").size();
  EXPECT_EQ(log, "first true " + std::to_string(line) + "\nagain today true " + std::to_string(line) +
                     "\nafter yesterday's stamp true " + std::to_string(2 * line) + "\n");
}

}  // namespace
