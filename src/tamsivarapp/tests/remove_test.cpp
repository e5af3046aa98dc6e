#include "tamsivarapp/remove.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include <filesystem>

#include "base/tests/scratch_dir.h"
#include "ciom/ciappconfig.h"
#include "ciom/liblang.h"
#include "install_support.h"
#include "tamsivar/manager.h"

namespace fs = std::filesystem;

namespace {

struct Bundle {
  ScratchDir dir;
  std::string apps = dir.file("Applications"), bundle = apps + "/Manager.app", contents = bundle + "/Contents";
  std::string exe = contents + "/MacOS/Tamsivar", outside = dir.file("outside.txt");
  Bundle() {
    for (const std::string& f : {exe, contents + "/Resources/icon.icns", contents + "/PkgInfo", contents + "/Info.plist"})
      writeFile(f, "bundle");
    writeFile(apps + "/sibling.txt", "sibling");
    writeFile(outside, "outside");
  }
};

TEST(RemoveManager, TakesTheBundleAndNothingElse) {
  struct Case {
    const char* name;
    std::function<void(Bundle&)> plant;
    int code;
    bool bundleGone;
  } cases[] = {
      {"plain", [](Bundle&) {}, rmDone, true},
      {"link to a file outside",
       [](Bundle& b) { fs::create_symlink(b.outside, b.contents + "/Resources/link"); }, rmDone, false},
      {"link in place of the icon",
       [](Bundle& b) {
         fs::remove(b.contents + "/Resources/icon.icns");
         fs::create_symlink(b.outside, b.contents + "/Resources/icon.icns");
       },
       rmBadBundle, false},
      {"folder in place of the program",
       [](Bundle& b) {
         fs::remove(b.exe);
         fs::create_directory(b.exe);
       },
       rmBadBundle, false},
      {"Contents is a link out",
       [](Bundle& b) {
         fs::rename(b.contents, b.dir.file("real"));
         fs::create_directory_symlink(b.dir.file("real"), b.contents);
       },
       rmBadBundle, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bundle b;
    c.plant(b);
    EXPECT_EQ(removeManagerAt(b.exe.c_str(), b.dir.file("none").c_str()), c.code);
    EXPECT_EQ(!fs::exists(fs::symlink_status(b.bundle)), c.bundleGone);
    EXPECT_EQ(readFile(b.apps + "/sibling.txt"), "sibling");
    EXPECT_EQ(readFile(b.outside), "outside");
    if (fs::exists(b.dir.file("real"))) {
      EXPECT_EQ(readFile(b.dir.file("real/MacOS/Tamsivar")), "bundle");
    }
  }
}

// Without an installed manager only the running program itself may go.
TEST(RemoveManager, FallbackRemovesOnlyTheRunningProgram) {
  ScratchDir dir;
  std::string other = dir.file("zvk");
  writeFile(other, "another program");
  EXPECT_EQ(removeManagerAt(dir.file("none").c_str(), other.c_str()), rmBadBundle);
  EXPECT_EQ(readFile(other), "another program");
  EXPECT_EQ(removeManagerAt(dir.file("none").c_str(), dir.file("gone").c_str()), rmSelfRemoved);
  char self[PATH_MAX] = {};
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  std::string twin = std::string(self) + ".twin";
  ::unlink(twin.c_str());
  ASSERT_EQ(::link(self, twin.c_str()), 0);
  EXPECT_TRUE(removeOwnProgram(twin.c_str()));
  EXPECT_FALSE(fs::exists(twin));
}

struct Answer : cRemoveHost {
  bool yes;
  int asked = 0;
  explicit Answer(bool y) : yes(y) {}
  bool confirm(int) override {
    ++asked;
    return yes;
  }
};

TEST(RemoveManager, RefusesWhileAPackageIsRecordedAndWhenDeclined) {
  struct Case {
    const char* name;
    const char* recordName;  // null: no record
    bool yes;
    int asked;
    int code;
  } cases[] = {
      {"named record", "Sample", true, 0, rmPackagesLeft},
      {"nameless record, declined", "", false, 1, rmDeclined},
      {"no record, declined", nullptr, false, 1, rmDeclined},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(dir.root.c_str()));
    if (c.recordName) cfg.setParamStr("install/sample/name", c.recordName, -1);
    Answer host(c.yes);
    EXPECT_EQ(runRemoveManager(&cfg, dir.file("zvk").c_str(), host), c.code);
    EXPECT_EQ(host.asked, c.asked);
  }
}

TEST(RemoveManager, FindsAndTakesTheManagerUnderEveryLanguagesName) {
  const std::string eng = tamsivarName(0), jpn = tamsivarName(1);
  const struct {
    std::vector<std::string> present;
    std::string found;  // what an English interface takes for the manager
  } cases[] = {{{jpn}, jpn}, {{eng, jpn}, eng}, {{}, eng}};
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  cLibLang::applyLang(eLangENG);
  for (const auto& c : cases) {
    ScratchDir dir;
    setenv("HOME", dir.root.c_str(), 1);
    auto exe = [&](const std::string& name) {
      return dir.file("Applications/" + name + ".app/Contents/MacOS/Tamsivar");
    };
    for (const std::string& name : c.present) writeFile(exe(name), "bundle");
    _guardchar<char> found;
    getAppManagerPath(found);
    EXPECT_EQ(std::string(found.ptr), exe(c.found));
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(dir.root.c_str()));
    Answer host(true);
    EXPECT_EQ(runRemoveManager(&cfg, dir.file("zvk").c_str(), host),
              c.present.empty() ? rmSelfRemoved : rmDone);
    for (const std::string& name : {eng, jpn}) EXPECT_FALSE(fs::exists(exe(name))) << name;
  }
  setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
