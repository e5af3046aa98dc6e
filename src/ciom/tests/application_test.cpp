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

  explicit cScriptedConfig(bool* d) : deleted(d) {}
  ~cScriptedConfig() override { *deleted = true; }
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

// The store is opened again after making a new one; only when that fails too
// does the start-up end, before onInit.
TEST(Application, AConfigurationThatCannotBeOpenedEndsTheStartUp) {
  for (bool secondOpen : {true, false}) {
    sSeen seen;
    bool configDeleted = false;
    auto* config = new cScriptedConfig(&configDeleted);
    config->openAnswers[0] = false;
    config->openAnswers[1] = secondOpen;
    EXPECT_EQ(runWith(new cProbeApp(&seen), "prog", config), secondOpen ? 0 : 1);
    EXPECT_EQ(seen.initialised, secondOpen);
    EXPECT_TRUE(seen.deleted && configDeleted);
  }
}

TEST(Application, WithoutAHomeFolderNothingIsWritten) {
  char pattern[] = "/tmp/zvk-app-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::filesystem::path scratch = pattern, before = std::filesystem::current_path();
  const char* home = getenv("HOME");
  std::string savedHome = home ? home : "";
  ASSERT_EQ(chdir(scratch.c_str()), 0);

  unsetenv("HOME");
  sSeen seen;
  EXPECT_EQ(runWith(new cProbeApp(&seen), "prog", nullptr), 1);
  EXPECT_FALSE(seen.initialised);
  EXPECT_TRUE(std::filesystem::is_empty(scratch));

  setenv("HOME", scratch.c_str(), 1);
  sSeen settled;
  EXPECT_EQ(runWith(new cProbeApp(&settled), "prog", nullptr), 0);
  EXPECT_TRUE(std::filesystem::is_directory(scratch / ".zvk"));

  home ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
  ASSERT_EQ(chdir(before.c_str()), 0);
  std::filesystem::remove_all(scratch);
}
