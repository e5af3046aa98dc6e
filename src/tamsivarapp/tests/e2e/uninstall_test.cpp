// `zvk uninstall` as a user runs it: the question, the closing box, what is
// left on disk. Each box takes the focus, and its caption lends itself to
// the form's window too, so a box is the window of that caption that was
// not there before.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "e2e/xuser.h"
#include "install_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kZvk = std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk";

PkgVersion sample() {
  PkgVersion v;
  v.files = {{"bin/run", "#!/bin/sh\necho one\n", {7, 5, 5}},
             {"lib/deep/data.bin", randomBytes(5000, 1), {6, 4, 4}},
             {"share/doc/readme.txt", "readme", {4, 4, 4}}};
  return v;
}

// The display and nothing else of ours: a fresh HOME, the system's PATH.
std::vector<std::string> userEnv(const std::string& home) {
  std::vector<std::string> env = {"HOME=" + home, "PATH=/usr/bin:/bin", "ASAN_OPTIONS=detect_leaks=0"};
  for (const std::string& e : e2e::displayEnv(home + "/.Xauthority", false)) env.push_back(e);
  return env;
}

// Runs zvk with these arguments while `user` plays the user; a stuck run
// is ended by timeout rather than hanging the test.
int runZvk(const std::string& home, const std::vector<std::string>& args,
           const std::function<std::string()>& user, std::string& userProblem) {
  std::vector<std::string> argv = {"timeout", "60", kZvk};
  argv.insert(argv.end(), args.begin(), args.end());
  auto played = std::async(std::launch::async, user);
  int status = runWithEnv(argv, userEnv(home)).status;
  userProblem = played.get();
  return status;
}

struct Installed {
  ScratchDir dir;
  std::string home = dir.file("home"), root = dir.file("home/apps/sample");
  Installed() {
    fs::create_directories(home);
    EXPECT_EQ(installVersion(root, home + "/.zvk", sample()).job, 0);
  }
  bool recorded() {
    cCIAppFullConfig cfg;
    return cfg.openConfig((home + "/.zvk").c_str()) && cfg.hasSection("install/sample");
  }
};

TEST(UninstallAsAUser, YesRemovesThePackageNoKeepsIt) {
  if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
  const std::string shots = std::string(ZVK_BINARY_DIR) + "/screenshots";
  fs::create_directories(shots);
  struct Case {
    const char* name;
    std::string key;  // the answer to the question
    int status;
    bool removed;
  } cases[] = {{"yes", "Return", 0, true}, {"no", "Escape", 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installed pkg;
    std::string problem;
    int status = runZvk(pkg.home, {"uninstall", "sample"}, [&]() -> std::string {
      std::string question = e2e::waitNewWindow({}, "Confirm");
      if (question.empty()) return "no question";
      const std::vector<std::string> before = e2e::windowsCaptioned("Confirm");
      e2e::settle();
      e2e::screenshot(question, shots + "/uninstall_question_" + c.name + ".png");
      e2e::typeKey(c.key);
      std::string box = e2e::waitNewWindow(before, "Information");
      if (box.empty()) return "no closing box";
      e2e::settle();
      e2e::screenshot(box, shots + "/uninstall_end_" + c.name + ".png");
      e2e::typeKey("Return");
      return std::string();
    }, problem);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(status, c.status);
    for (const PkgFile& f : sample().files) EXPECT_EQ(fs::exists(pkg.root + "/" + f.rel), !c.removed) << f.rel;
    EXPECT_EQ(fs::exists(pkg.root), !c.removed);
    EXPECT_TRUE(fs::exists(pkg.home + "/apps")) << "the installation folder's parent stays";
    EXPECT_EQ(pkg.recorded(), !c.removed);
  }
}

TEST(UninstallAsAUser, UnknownAndEmptyCodes) {
  if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
  Installed pkg;
  std::string problem;
  EXPECT_EQ(runZvk(pkg.home, {"uninstall", "nosuch"}, [&]() -> std::string {
    std::string box = e2e::waitNewWindow({}, "Error");
    if (box.empty()) return "no error box";
    e2e::settle();
    e2e::typeKey("Return");
    return std::string();
  }, problem), 1);
  EXPECT_EQ(problem, "");
  EXPECT_EQ(runZvk(pkg.home, {"uninstall", ""}, [] { return std::string(); }, problem), 1);
  EXPECT_TRUE(pkg.recorded());
}

}  // namespace
