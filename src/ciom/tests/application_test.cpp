#include "ciom/application.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ciom/ciomlangs.h"
#include "support/testplatform.h"

namespace {

// Answers openConfig from a script and counts what it was asked.
class cScriptedConfig : public cApplicationConfig {
 public:
  int opens = 0;
  bool openAnswers[2] = {true, true};
  bool* deleted;
  int* opensSeen = nullptr;

  explicit cScriptedConfig(bool* d) : deleted(d) {}
  ~cScriptedConfig() override {
    *deleted = true;
    if (opensSeen) *opensSeen = opens;
  }
  void* rootContextHandle() override { return nullptr; }
  void* subContextHandle(const char*, void*, bool) override { return nullptr; }
  bool getParamValueSize(void*, long long&) override { return false; }
  bool isTextConfig() override { return false; }
  bool newConfig(const char*) override { return true; }
  bool openConfig(const char*) override { return openAnswers[opens++ > 0]; }
};

struct sSeen {
  bool initialised = false, ran = false, destroyed = false, deleted = false;
  std::string path, folder;
  bool current = false, hadMaker = false;
  // What a setting written and read back in onInit gave.
  bool wrote = false;
  std::string readBack;
};

class cProbeApp : public cCIApplication {
 public:
  sSeen* seen;
  bool accept = true;
  int statusOnRefusal = 1;
  int runResult = 0;

  explicit cProbeApp(sSeen* s) : seen(s) {}
  ~cProbeApp() override { seen->deleted = true; }
  bool onInit(int, char**, int& status) override {
    seen->initialised = true;
    seen->path = appPath() ? appPath() : "(null)";
    seen->folder = appFolder() ? appFolder() : "(null)";
    seen->current = appRef() == this;
    cLibLang::applyLang(eLangRUS);
    seen->wrote = config()->setParamStr("probe/value", "kept", -1);
    _guardchar<char> value;
    seen->readBack = config()->getParamStr("probe/value", value) ? value.ptr : "(missing)";
    if (!accept) status = statusOnRefusal;
    return accept;
  }
  int run() override {
    seen->ran = true;
    seen->hadMaker = windowMaker() != nullptr;
    return runResult;
  }
  void onDestroy() override { seen->destroyed = true; }
};

int runWith(cProbeApp* app, const char* arg0, cApplicationConfig* config) {
  char* argv[] = {const_cast<char*>(arg0), nullptr};
  return cCIApplication::runApp(app, nullptr, nullptr, 0, arg0 ? 1 : 0, argv, config, "zvk");
}

}  // namespace

TEST(Application, RefusedStartUpMakesNoWindowMakerAndKeepsTheStatusLeft) {
  for (auto [arg0, folder] : {std::pair{"prog", "./"}, {"/usr/bin/prog", "/usr/bin"}, {"/prog", ""}}) {
    sSeen seen;
    bool configDeleted = false;
    auto* app = new cProbeApp(&seen);
    app->accept = false;
    app->statusOnRefusal = 0;
    int made = cTestWindowMaker::made;
    EXPECT_EQ(runWith(app, arg0, new cScriptedConfig(&configDeleted)), 0);
    EXPECT_EQ(cTestWindowMaker::made, made);
    EXPECT_EQ(seen.path, arg0);
    EXPECT_EQ(seen.folder, folder);
    EXPECT_TRUE(seen.current && !seen.ran && seen.deleted && configDeleted);
    EXPECT_EQ(cCIApplication::appRef(), nullptr);
  }
}

TEST(Application, AcceptedStartUpRunsWithAMakerAndTheToolkitTextsJoinTheLanguage) {
  sSeen seen;
  bool configDeleted = false;
  auto* app = new cProbeApp(&seen);
  app->runResult = 7;
  int made = cTestWindowMaker::made;
  EXPECT_EQ(runWith(app, nullptr, new cScriptedConfig(&configDeleted)), 7);
  EXPECT_EQ(cTestWindowMaker::made, made + 1);
  EXPECT_TRUE(seen.ran && seen.hadMaker && seen.destroyed && seen.deleted && configDeleted);
  EXPECT_STREQ(cLibLang::gCiomLang.code, "RUS");
  // The toolkit's provider is made once per process.
  cCIOMLang* first = gCILang;
  EXPECT_EQ(runWith(new cProbeApp(&seen), "prog", new cScriptedConfig(&configDeleted)), 0);
  EXPECT_EQ(gCILang, first);

  // A maker that cannot be prepared ends the start-up with 1.
  cTestWindowMaker::createAnswer = false;
  sSeen failed;
  EXPECT_EQ(runWith(new cProbeApp(&failed), "prog", new cScriptedConfig(&configDeleted)), 1);
  cTestWindowMaker::createAnswer = true;
  EXPECT_TRUE(failed.initialised && !failed.ran && !failed.destroyed && failed.deleted);
}

// The store is opened again after making a new one; the start-up goes on
// whatever the second answer.
TEST(Application, AConfigurationIsOpenedAgainAfterMakingIt) {
  for (bool secondOpen : {true, false}) {
    sSeen seen;
    bool configDeleted = false;
    auto* config = new cScriptedConfig(&configDeleted);
    config->openAnswers[0] = false;
    config->openAnswers[1] = secondOpen;
    int opens = 0;
    config->opensSeen = &opens;
    EXPECT_EQ(runWith(new cProbeApp(&seen), "prog", config), 0);
    EXPECT_EQ(opens, 2);
    EXPECT_TRUE(seen.initialised && seen.ran && seen.deleted && configDeleted);
  }
}

// A user without a home, or with one nothing can be written into (the
// superuser included), still gets the program, with a configuration that
// keeps nothing; a writable home gets its folder.
TEST(Application, WithoutAWritableHomeTheProgramRunsAndWritesNothing) {
  char pattern[] = "/tmp/zvk-app-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::filesystem::path scratch = pattern, before = std::filesystem::current_path();
  const char* home = getenv("HOME");
  std::string savedHome = home ? home : "";
  ASSERT_EQ(chdir(scratch.c_str()), 0);

  const struct {
    const char* home;  // null: unset
    bool keeps;
  } cases[] = {{nullptr, false}, {"/proc", false}, {pattern, true}};
  for (const auto& c : cases) {
    c.home ? setenv("HOME", c.home, 1) : unsetenv("HOME");
    sSeen seen;
    EXPECT_EQ(runWith(new cProbeApp(&seen), "prog", nullptr), 0);
    EXPECT_TRUE(seen.initialised && seen.ran);
    EXPECT_EQ(seen.wrote, c.keeps);
    EXPECT_EQ(seen.readBack, c.keeps ? "kept" : "(missing)");
    EXPECT_EQ(std::filesystem::is_empty(scratch), !c.keeps);
    EXPECT_FALSE(std::filesystem::exists("/proc/.zvk"));
  }
  EXPECT_TRUE(std::filesystem::is_directory(scratch / ".zvk"));

  home ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
  ASSERT_EQ(chdir(before.c_str()), 0);
  std::filesystem::remove_all(scratch);
}
