// `zvk remove` as a user runs it, as root and as nobody: the manager's
// bundle goes only when no package is left, the Applications folder and
// whatever else is there stay, and a program outside any bundle removes
// only itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ciom/ciappconfig.h"
#include "e2e/asuser.h"
#include "tamsivar/manager.h"

namespace fs = std::filesystem;

namespace {

class RemoveManager : public e2e::AsUser {
 protected:
  std::string manager, bundle;

  void SetUp() override {
    e2e::AsUser::SetUp();
    if (IsSkipped()) return;
    // Where the program in English looks for the manager under this HOME.
    const char* was = std::getenv("HOME");
    std::string keep = was ? was : "";
    setenv("HOME", home.c_str(), 1);
    _guardchar<char> path;
    getAppManagerPath(path);
    was ? setenv("HOME", keep.c_str(), 1) : unsetenv("HOME");
    manager = path.ptr;
    bundle = fs::path(manager).parent_path().parent_path().parent_path().string();
  }
  // The manager's bundle as installing lays it, a file beside it and one
  // elsewhere.
  void layOut() {
    fs::remove_all(bundle);
    for (const char* f : {"Contents/MacOS/Tamsivar", "Contents/PkgInfo", "Contents/Info.plist",
                          "Contents/Resources/icon.icns"})
      writeText(bundle + "/" + f, f);
    writeText(home + "/Applications/sibling", "sibling");
    writeText(dir.file("outside"), "outside");
  }
  static void writeText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
  }
};

TEST_P(RemoveManager, AnswersAndWhatTheyLeave) {
  const std::string python = "import os,sys;os.execv(sys.argv[1],sys.argv[2:])";
  // The form only says it is busy: it is off the screen while a box asks.
  const auto onlyTheBox = e2e::offScreen("Software manager");
  const std::vector<e2e::sStep> asked = {{"Confirm", "Return", onlyTheBox}, {"Information", "Return", onlyTheBox}};
  struct Case {
    const char* name;
    std::function<void()> prepare;
    // argv; "@copy" is a copy of zvk alone in a folder, started there
    std::vector<std::string> argv;
    std::vector<e2e::sStep> boxes;
    int status;
    bool bundleGone;
  } cases[] = {
      {"a package left",
       [&] {
         cCIAppFullConfig cfg;
         fs::create_directories(home + "/.zvk");
         ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
         cfg.setParamStr("install/demo/name", "Demo", 4);
         ASSERT_TRUE(cfg.saveConfig());
       },
       {"@zvk", "remove"}, {{"Error", "Return", onlyTheBox}}, 1, false},
      {"yes", nullptr, {"@zvk", "remove"}, asked, 0, true},
      {"no", nullptr, {"@zvk", "remove"}, {{"Confirm", "Escape", onlyTheBox}}, 1, false},
      {"a link in the bundle",
       [&] { fs::create_symlink(dir.file("outside"), bundle + "/Contents/Resources/link"); },
       {"@zvk", "remove"}, asked, 0, false},
      {"no manager, the program alone", [&] { fs::remove_all(bundle); }, {"./zvk", "remove"}, asked, 0, true},
      // The program knows its own file whatever name it was started under:
      // it removes that file, never the one the name gives.
      {"no manager, started under another file's name", [&] { fs::remove_all(bundle); },
       {"python3", "-c", python, "@copy", "@other", "remove"}, asked, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string alone = dir.file("alone"), other = dir.file("other");
    fs::create_directories(alone);
    fs::copy_file(zvk, alone + "/zvk", fs::copy_options::overwrite_existing);
    writeText(other, "other");
    layOut();
    if (c.prepare) c.prepare();
    handOver();
    std::vector<std::string> argv;
    for (const std::string& a : c.argv)
      argv.push_back(a == "@zvk" ? zvk : a == "@copy" ? alone + "/zvk" : a == "@other" ? other : a);
    int status = play(argv, c.boxes, alone);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(fs::exists(bundle), !c.bundleGone);
    EXPECT_EQ(readFileBytes(home + "/Applications/sibling"), "sibling");
    EXPECT_EQ(readFileBytes(dir.file("outside")), "outside");
    EXPECT_EQ(readFileBytes(other), "other");
    const bool ranAlone =
        c.argv[0] == "./zvk" || std::find(c.argv.begin(), c.argv.end(), "@copy") != c.argv.end();
    EXPECT_EQ(fs::exists(alone + "/zvk"), !(ranAlone && c.status == 0)) << "the program alone removes itself";
    if (!c.bundleGone && fs::exists(bundle)) {
      EXPECT_EQ(fs::exists(manager), c.status != 0);
    }
    fs::remove_all(home + "/.zvk");
  }
}

INSTANTIATE_TEST_SUITE_P(AsRootAndNobody, RemoveManager, ::testing::Values(false, true), e2e::paramName);

}  // namespace
