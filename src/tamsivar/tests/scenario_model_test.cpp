#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "base/tests/scratch_dir.h"
#include "scenario_support.h"

namespace {

TEST(ScenarioModel, PathDefinitionsJoinValueAndRest) {
  cSoftPkgScenario s;
  s.setStr(-1, "slash", "/opt/app/");
  s.setStr(-1, "plain", "/opt/app");
  s.setStr(-1, "empty", "");
  s.setStr(-1, "dotted", "/./opt//app/.");
  struct Case {
    const char* var;
    const char* rest;
    bool ok;
    const char* path;
  } cases[] = {
      {"slash", "bin/run", true, "/opt/app/bin/run"},
      {"plain", "bin/run", true, "/opt/app/bin/run"},
      {"empty", "bin/run", true, "bin/run"},
      {"plain", "", true, "/opt/app"},
      {"", "/etc/app.conf", true, "/etc/app.conf"},
      {nullptr, "rest", true, "rest"},
      {"undefined", "x", false, nullptr},
      // Recorded as written: one spelling for one place, but a ".." stays,
      // since a link before it decides where it leads.
      {"dotted", "bin/./run", true, "/opt/app/bin/run"},
      {"dotted", "", true, "/opt/app"},
      {"slash", "//bin//run/", true, "/opt/app/bin/run"},
      {"", "/etc/./app.conf", true, "/etc/app.conf"},
      {"plain", "bin/../run", true, "/opt/app/bin/../run"},
      {"", "//./", true, "/"},
  };
  for (Case& c : cases) {
    cSoftPkgScenario::sPathDef def;
    setPath(def, c.var, c.rest);
    _guardchar<char> out;
    EXPECT_EQ(s.defToPath(def, out), c.ok) << text(c.var);
    if (c.ok) {
      EXPECT_EQ(text(out.ptr), c.path);
    }
  }
}

TEST(ScenarioModel, StringsFallBackFromTheLanguageToTheNeutralTable) {
  cSoftPkgScenario s;
  EXPECT_FALSE(s.setStr(2, "k", "v")) << "an undeclared language has no table";
  s.declareLang(0);
  s.declareLang(2);
  s.setStr(-1, "both", "neutral");
  s.setStr(2, "both", "deutsch");
  s.setStr(-1, "absent", nullptr);
  s.setStr(2, "absentHere", nullptr);
  s.setStr(-1, "absentHere", "neutral");
  EXPECT_FALSE(s.setCurrLangID(5));
  EXPECT_EQ(s.currLangID(), 0);
  ASSERT_TRUE(s.setCurrLangID(2));
  EXPECT_EQ(text(s.getStr("both")), "deutsch");
  EXPECT_EQ(text(s.getStr("absent")), "") << "absent neutral text reads as empty";
  EXPECT_EQ(s.getStr("absentHere"), nullptr) << "absent language text stays absent";
  EXPECT_EQ(s.getStr("nowhere"), nullptr);
  s.setCurrLangID(0);
  EXPECT_EQ(text(s.getStr("both")), "neutral");
  s.clearStr("both");
  EXPECT_EQ(s.getStr("both"), nullptr);
  _List<int> langs;
  s.getSupportedLangs(langs);
  ASSERT_TRUE(langs.head && langs.head->next);
  EXPECT_EQ(langs.head->value, 0);
  EXPECT_EQ(langs.head->next->value, 2);
  langs.destroy();

  int bad = -1;
  s.setStr(0, "onlyEnglish", "x");
  EXPECT_FALSE(s.isValidDef("onlyEnglish", bad));
  EXPECT_EQ(bad, 2);
  EXPECT_TRUE(s.isValidDef("pgm", bad));
  EXPECT_TRUE(s.isValidDef("absent", bad));
  cSoftPkgScenario none;
  EXPECT_TRUE(none.isValidDef("anything", bad)) << "no language declared";
}

TEST(ScenarioModel, VersionTexts) {
  struct Case {
    unsigned v[4];
    bool full;
    const char* text;
  } cases[] = {
      {{1, 2, 0, 7}, false, "1.2"},  {{1, 2, 3, 7}, false, "1.2.3"},  {{1, 2, 3, 7}, true, "1.2.3.7"},
      {{1, 2, 3, 0}, true, "1.2.3"}, {{1, 2, 0, 7}, true, "1.2.0.7"},
  };
  for (Case& c : cases) {
    cSoftPkgScenario s;
    std::copy(c.v, c.v + 4, s.ver);
    _guardchar<char> out;
    EXPECT_TRUE(s.getStrVer(out, c.full));
    EXPECT_EQ(text(out.ptr), c.text);
    EXPECT_EQ(s.getVerID(),
              (1ull << 48) | (2ull << 32) | (static_cast<unsigned long long>(c.v[2]) << 16) | c.v[3]);
  }
}

TEST(ScenarioModel, SpaceAndFilesFollowBitnessAndLanguage) {
  cSoftPkgScenario s;
  s.declareLang(0);
  s.declareLang(1);
  s.setStr(-1, "pgm", "/opt/app");
  ASSERT_EQ(addItem(s, sampleBytes(1)), 0);
  ASSERT_EQ(addItem(s, sampleBytes(65537), true), 1);
  ASSERT_EQ(addItem(s, sampleBytes(100000)), 2);
  addFile(s, 0, "pgm", "one");
  addFile(s, 1, "pgm", "big");
  addFile(s, 2, "pgm", "only32", true, false);
  auto& russian = addFile(s, 0, "pgm", "ru");
  russian.langs.add()->value = 1;
  russian.langs.add()->value = 2;
  EXPECT_EQ(s.requiresSize(65536), 196608u + 65536u) << "language lists are not consulted, bitness is";
  EXPECT_EQ(s.requiresSize(0), 65538u + 1);

  _List<cSoftPkgScenario::sCopiedFile> out;
  ASSERT_TRUE(s.getCopiedFiles(out));
  std::vector<std::string> paths;
  for (auto* it = out.head; it; it = it->next) paths.push_back(text(it->value.path.ptr));
  EXPECT_EQ(paths, (std::vector<std::string>{"/opt/app/one", "/opt/app/big"}));
  s.setCurrLangID(1);
  ASSERT_TRUE(s.getCopiedFiles(out));
  paths.clear();
  for (auto* it = out.head; it; it = it->next) paths.push_back(text(it->value.path.ptr));
  EXPECT_EQ(paths, (std::vector<std::string>{"/opt/app/one", "/opt/app/big", "/opt/app/ru"}));
  unsigned char d[32];
  s.digest(1, d);
  EXPECT_EQ(std::memcmp(out.head->next->value.digest, d, 32), 0);
  out.destroy();
}

TEST(ScenarioModel, TargetsStayInsideTheirFolder) {
  EXPECT_TRUE(restLeavesFolder("../x"));
  EXPECT_TRUE(restLeavesFolder("a/../../x"));
  EXPECT_TRUE(restLeavesFolder("./.."));
  // Steps that come back to the folder would write the file over it.
  EXPECT_TRUE(restLeavesFolder("sub/.."));
  EXPECT_TRUE(restLeavesFolder("sub/./../"));
  EXPECT_TRUE(restLeavesFolder("."));
  EXPECT_FALSE(restLeavesFolder(""));
  EXPECT_FALSE(restLeavesFolder("a/../b"));
  EXPECT_FALSE(restLeavesFolder("a/./b/.."));
  EXPECT_FALSE(restLeavesFolder("/opt/x"));
  EXPECT_FALSE(restLeavesFolder(nullptr));

  ScratchDir dir;
  std::filesystem::create_directories(dir.file("app/data"));
  std::filesystem::create_directories(dir.file("outside"));
  std::filesystem::create_directory_symlink(dir.file("outside"), dir.file("app/escape"));
  std::filesystem::create_directory_symlink(dir.file("app/data"), dir.file("app/alias"));
  std::filesystem::create_directory_symlink(dir.file("app"), dir.file("app/self"));
  // The files of one package share their folders: what was found of a
  // folder for one file holds for the next, and no more.
  struct Case {
    const char* var;
    std::vector<const char*> rests;
    bool ok;
    const char* blocker;
  } cases[] = {
      {"pgm", {"data/file"}, true, nullptr},         {"pgm", {"new/deeper/file"}, true, nullptr},
      {"pgm", {"alias/file"}, true, nullptr},        {"pgm", {"escape/file"}, false, "app/escape"},
      {"pgm", {"escape"}, false, "app/escape"},      {"pgm", {"../x"}, false, nullptr},
      {"pgm", {"a/../../x"}, false, nullptr},        {"pgm", {"a/../b"}, true, nullptr},
      {"", {"/tmp/absolute"}, true, nullptr},
      {"pgm", {"self/file", "self/../x"}, false, "app/self/.."},
      {"pgm", {"data/a", "data/b", "alias/c", "escape/d"}, false, "app/escape"},
      {"pgm", {"new/a", "new/b", "data/c"}, true, nullptr},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.rests.back());
    cSoftPkgScenario s;
    s.setStr(-1, "pgm", dir.file("app").c_str());
    addItem(s, sampleBytes(10));
    for (const char* rest : c.rests) addFile(s, 0, c.var, rest);
    _List<cSoftPkgScenario::sCopiedFile> out;
    _guardchar<char> blocker;
    EXPECT_EQ(s.getCopiedFiles(out, &blocker), c.ok);
    EXPECT_EQ(text(blocker.ptr), c.blocker ? dir.file(c.blocker) : "(null)");
    out.destroy();
  }
}

TEST(ScenarioModel, MenuItemsAndRunsResolveTheirTexts) {
  cSoftPkgScenario s;
  s.setStr(-1, "pgm", "/opt/app");
  s.setStr(-1, "cap", "Run it");
  s.setStr(-1, "args", "-x");
  auto& m = s.menu.add()->value;
  m.caption.set("cap");
  m.arguments.set("args");
  setPath(m.program, "pgm", "bin/run");
  setPath(m.icon, "pgm", "icon.png");
  m.flags = 3;
  auto& r = s.runs.add()->value;
  r.caption.set("cap");
  setPath(r.program, "pgm", "bin/run");
  r.checked = 1;
  // The menu's texts and paths are followed through a whole package in the
  // make tests; here, what they leave out.
  _List<cSoftPkgScenario::sMenuItemDef> items;
  ASSERT_TRUE(s.getMenuItems(items));
  EXPECT_EQ(items.head->value.comment.ptr, nullptr);
  _List<cSoftPkgScenario::sOnCompletionRun> runs;
  ASSERT_TRUE(s.getOnCompletionRun(runs));
  EXPECT_TRUE(runs.head->value.checked);
  EXPECT_EQ(text(runs.head->value.program.ptr), "/opt/app/bin/run");
  m.caption.set("missing");
  EXPECT_FALSE(s.getMenuItems(items));
  items.destroy();
  runs.destroy();
}

}  // namespace
