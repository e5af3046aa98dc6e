#include <gtest/gtest.h>
#include <unistd.h>

#include "base/tests/scratch_dir.h"
#include "base/targets.h"
#include "ciom/langids.h"
#include "ciom/liblang.h"
#include "install_support.h"
#include "support/runprog.h"
#include "tamsivarapp/installinitui.h"
#include "tamsivarapp/lang.h"

namespace fs = std::filesystem;

namespace {

PkgVersion small() {
  PkgVersion v;
  v.files = {{"bin/tool", "tool bytes", {7, 5, 5}}, {"doc/a.txt", "text", {8, 8, 8}}};
  return v;
}

struct Answers : cInstallInitHost {
  int answer = -1;  // -1: keep the preselected language
  int asked = -1;
  int chooseLang(sPkgInstallContext&, int preselected) override {
    asked = preselected;
    return answer < 0 ? preselected : answer;
  }
};

// A package file as the maker leaves it: the scenario with its items after
// whatever precedes it.
void writePackage(const std::string& path, cSoftPkgScenario& scen, unsigned int padding) {
  cFileIO out;
  ASSERT_TRUE(out.create(path.c_str(), fmWrite));
  std::string lead(padding, 'P');
  if (padding) {
    ASSERT_TRUE(out.writef(lead.data(), padding));
  }
  ASSERT_TRUE(scen.saveBinConfig(&out));
}

TEST(InstallInit, PackagesOpenAtTheirOffsetAndAskForTheirLanguage) {
  ScratchDir dir;
  std::string root = dir.file("app"), cfgDir = dir.file("cfg"), pkg = dir.file("p.pkg");
  std::unique_ptr<cSoftPkgScenario> scen(buildScenario(root, small()));
  for (int lang : {0, 1, 3}) scen->declareLang(lang);
  // The folder is the user's choice, never the package's.
  scen->clearStr("pgm");
  writePackage(pkg, *scen, 0x10);
  fs::create_directories(cfgDir);
  // The bundle "make" writes, its scenario inside, as a user holds it.
  const std::string bundle = dir.file("kit/Demo.app");
  fs::create_directories(bundle + "/Contents/Resources");
  fs::copy_file(pkg, bundle + "/Contents/Resources/scenario.data");
  fs::create_directories(dir.file("kit/Plain.app"));
  const std::string program = dir.file("kit/zvk");
  // A text scenario given for its compiled form, a damaged package, and
  // packages whose codename or targets leave their place.
  writeFile(dir.file("kit/scenario.txt"), "[General]\nlangs = ENG\n");
  writeFile(dir.file("damaged.pkg"), "ZVKSOPKG" + std::string(100, 'x'));
  std::unique_ptr<cSoftPkgScenario> evil(buildScenario(root, small()));
  evil->declareLang(0);
  evil->clearStr("pgm");
  evil->setStr(-1, "codename", "../../evil");
  writePackage(dir.file("evil.pkg"), *evil, 0);
  std::unique_ptr<cSoftPkgScenario> relative(buildScenario(root, small()));
  relative->declareLang(0);
  relative->clearStr("pgm");
  relative->files.head->value.target.var.set("");
  relative->files.head->value.target.rest.set("relpwn/x");
  writePackage(dir.file("relative.pkg"), *relative, 0);
  // Run options as an older maker let them through: an address, which the
  // desktop opens, and a relative path, which would run wherever the
  // installer started.
  const auto withRun = [&](const char* name, const char* rest) {
    std::unique_ptr<cSoftPkgScenario> scen(buildScenario(root, small()));
    scen->declareLang(0);
    scen->clearStr("pgm");
    scen->setStr(-1, "go", "Go");
    auto& run = scen->runs.add()->value;
    run.caption.set("go");
    run.program.var.set("");
    run.program.rest.set(rest);
    writePackage(dir.file(name), *scen, 0);
  };
  withRun("address.pkg", "https://example.com/");
  withRun("relrun.pkg", "docs:x");
  struct Case {
    const char* what;
    std::string path;
    unsigned int offset;
    int answer;
    int code;
    int lang;
    const char* problem = nullptr;  // the path the message names
    std::string opened = {};        // the file read, when not installed from
  } cases[] = {
      {"missing package", dir.file("none.pkg"), 0x10, -1, iiBadPackagePath, -1, "none.pkg"},
      {"a folder that is no bundle", dir.file("kit/Plain.app"), 0x10, -1, iiBadPackagePath, -1, "Plain.app"},
      {"beside the program, no bundle", "./Plain.app", 0x10, -1, iiBadPackagePath, -1, "./Plain.app"},
      {"the bundle", bundle, 0x10, 3, iiReady, 3, nullptr, bundle + "/Contents/Resources/scenario.data"},
      {"the bundle beside the program", "./Demo.app", 0x10, 3, iiReady, 3, nullptr,
       bundle + "/Contents/Resources/scenario.data"},
      // A file that opens but does not load is a package that cannot be
      // loaded, not a wrong path.
      {"a text scenario", dir.file("kit/scenario.txt"), 0, -1, iiBadPackage, -1},
      {"wrong offset", pkg, 0, -1, iiBadPackage, -1},
      {"damaged", dir.file("damaged.pkg"), 0, -1, iiBadPackage, -1},
      {"codename leaving its place", dir.file("evil.pkg"), 0, -1, iiBadPackage, -1},
      // A sound package with a path that is not absolute is no damaged one:
      // the path is named with its section.
      {"relative target", dir.file("relative.pkg"), 0, -1, iiRelativePath, -1, "[Install] relpwn/x"},
      {"relative run option", dir.file("relrun.pkg"), 0, -1, iiRelativePath, -1, "[Run] docs:x"},
      {"a run option that opens an address", dir.file("address.pkg"), 0, -1, iiReady, -1, nullptr,
       dir.file("address.pkg")},
      {"cancelled language", pkg, 0x10, 10, iiLangCancelled, -1},
      {"ready, the lowest language preselected", pkg, 0x10, 3, iiReady, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
    sPkgInstallContext ctx;
    ctx.program.set(program.c_str());
    ctx.package.set(c.path.c_str());
    ctx.offset = c.offset;
    Answers host;
    host.answer = c.answer;
    EXPECT_EQ(runInstallInit(ctx, &cfg, host), c.code);
    if (c.code == iiBadPackage) {
      EXPECT_EQ(std::string(ctx.problemPath.ptr ? ctx.problemPath.ptr : ""), c.path);
    }
    if (c.problem) {
      EXPECT_TRUE(ctx.problemPath.ptr && std::string(ctx.problemPath.ptr).ends_with(c.problem))
          << (ctx.problemPath.ptr ? ctx.problemPath.ptr : "");
    }
    if (!c.opened.empty()) {
      EXPECT_EQ(std::string(ctx.package.ptr), c.opened);
    }
    if (c.code != iiReady || !c.opened.empty()) continue;
    EXPECT_EQ(host.asked, 0);
    EXPECT_EQ(ctx.scenario->currLangID(), c.lang);
    ctx.scenario->setStr(-1, "pgm", root.c_str());  // as the target page does
    ASSERT_EQ(compareFiles(ctx), iiReady);
    TestHost job;
    ASSERT_EQ(runInstallerJob(ctx, job, &cfg), 0) << ctx.problemPath.ptr;
    EXPECT_EQ(readFile(root + "/bin/tool"), "tool bytes");
  }
  // The next run preselects the language of the installation (JPN), but
  // one this version no longer has (DEU, then one past every language)
  // gives way to the package's lowest, in which the run goes on.
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
  unsigned long long recorded = 0;
  EXPECT_TRUE(cfg.getParamInt("install/sample/lang", recorded) && recorded == 3);
  for (const auto& [stored, shown] : {std::pair{3ULL, 3}, {2ULL, 0}, {1ULL << 32, 0}}) {
    SCOPED_TRACE(stored);
    cfg.setParamInt64("install/sample/lang", static_cast<long long>(stored));
    sPkgInstallContext ctx;
    ctx.package.set(pkg.c_str());
    ctx.offset = 0x10;
    Answers host;
    EXPECT_EQ(runInstallInit(ctx, &cfg, host), iiNothingToDo);
    EXPECT_EQ(host.asked, shown);
    EXPECT_EQ(ctx.scenario->currLangID(), shown);
  }
}

// What stands in the way before anything is copied, each case against an
// installation of the same package at version 1.0 or none.
TEST(InstallInit, ObstaclesAndDamagedRecordsStopBeforeAnyCopy) {
  struct Case {
    const char* what;
    bool installFirst;
    std::function<void(const std::string& root, cApplicationConfig& cfg)> damage;
    int code;
    const char* problem;
  } cases[] = {
      {"foreign file at a new target", false,
       [](const std::string& root, cApplicationConfig&) { writeFile(root + "/doc/a.txt", "foreign"); },
       iiForeignFile, "/doc/a.txt"},
      {"identical foreign file is accepted", false,
       [](const std::string& root, cApplicationConfig&) { writeFile(root + "/doc/a.txt", "text"); }, iiReady, ""},
      {"folder at a target", false,
       [](const std::string& root, cApplicationConfig&) { fs::create_directories(root + "/doc/a.txt"); },
       iiSpecialObject, "/doc/a.txt"},
      {"path under a file", false,
       [](const std::string& root, cApplicationConfig&) { writeFile(root + "/doc", "file"); }, iiSpecialObject,
       "/doc/a.txt"},
      {"installation folder gone", true,
       [](const std::string& root, cApplicationConfig&) { fs::remove_all(root); }, iiFolderGone, ""},
      {"no file count", true,
       [](const std::string&, cApplicationConfig& cfg) { cfg.setParamInt32("install/sample/files", 0); },
       iiRecordDamaged, ""},
      {"a file listed twice", true,
       [](const std::string& root, cApplicationConfig& cfg) {
         cfg.setParamStr("install/sample/file1", (root + "/bin/tool").c_str(), -1);
       },
       iiRecordDamaged, ""},
      // Uninstalling, which leaves the user's folder alone, is the way on.
      {"a folder the user put at a listed file's place", true,
       [](const std::string& root, cApplicationConfig&) {
         fs::remove(root + "/doc/a.txt");
         writeFile(root + "/doc/a.txt/mine", "mine");
       },
       iiRecordDamaged, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    std::string root = dir.file("app"), cfgDir = dir.file("cfg");
    PkgVersion v = small();
    if (c.installFirst) {
      ASSERT_EQ(installVersion(root, cfgDir, v).job, 0);
    }
    {
      cCIAppFullConfig cfg;
      fs::create_directories(cfgDir);
      ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
      c.damage(root, cfg);
      cfg.saveConfig();
    }
    v.ver[1] = 1;
    Outcome o = installVersion(root, cfgDir, v);
    EXPECT_EQ(o.init, c.code);
    if (*c.problem) {
      EXPECT_EQ(o.problem, root + c.problem);
    }
  }
}

// A path that is not absolute in the chosen language: the refusal names the
// language and the path as the eye can read it, and offers only a way on
// that works: the package's languages in which every path is absolute, or
// else another package from its maker. The driver's line shows the path
// as the box does; a directive in the path is no place for a value.
TEST(InstallInit, ARelativePathIsRefusedNamingItsLanguageAndAWayOnThatWorks) {
  const std::string head = "a path in it is not absolute, so it would name a file wherever this installer was "
                           "started:\n[Run] rel/%s\\ty\nThe package file is sound; its maker has to give the path "
                           "the base $pgm or one that begins with \"/\". ";
  const std::string tail = "\nThis installation will exit now.";
  const std::string askTheMaker =
      "No other language of the package can be installed either: ask its maker for a package with absolute "
      "paths, or, if you made it, make it again with \"zvk make\", which refuses such paths.";
  const std::string choose = "Run this installer again and choose another of its languages, in which every path "
                             "is absolute: ";
  const struct {
    const char* what;
    std::vector<std::pair<int, const char*>> bases;  // each language's base of the [Run] program
    int chosen;
    std::string way;
  } cases[] = {
      {"the only language", {{eLangENG, "rel"}}, eLangENG, askTheMaker},
      {"relative in every language", {{eLangENG, "rel"}, {eLangDEU, "rel"}}, eLangDEU, askTheMaker},
      {"another language installs", {{eLangENG, "/abs"}, {eLangDEU, "rel"}}, eLangDEU,
       choose + ciLangName(eLangENG) + "."},
      {"two others install", {{eLangENG, "/abs"}, {eLangRUS, "/abs"}, {eLangDEU, "rel"}}, eLangDEU,
       choose + ciLangName(eLangENG) + ", " + ciLangName(eLangRUS) + "."},
      {"one other of two installs", {{eLangENG, "rel"}, {eLangRUS, "/abs"}, {eLangDEU, "rel"}}, eLangENG,
       choose + ciLangName(eLangRUS) + "."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    fs::create_directories(dir.file("home"));
    std::unique_ptr<cSoftPkgScenario> scen(buildScenario(dir.file("app"), small()));
    scen->clearStr("pgm");
    for (const auto& [lang, base] : c.bases) {
      scen->declareLang(lang);
      scen->setStr(lang, "base", base);
    }
    scen->setStr(-1, "go", "Go");
    auto& run = scen->runs.add()->value;
    run.caption.set("go");
    run.program.var.set("base");
    run.program.rest.set("%s\ty");
    const std::string pkg = dir.file("p.pkg");
    writePackage(pkg, *scen, 0);
    cCIAppFullConfig cfg;
    fs::create_directories(dir.file("cfg"));
    ASSERT_TRUE(cfg.openConfig(dir.file("cfg").c_str()));
    sPkgInstallContext ctx;
    ctx.package.set(pkg.c_str());
    Answers host;
    host.answer = c.chosen;
    ASSERT_EQ(runInstallInit(ctx, &cfg, host), iiRelativePath);
    cSOPKGLang::init();
    ASSERT_TRUE(cLibLang::applyLang(eLangENG));
    EXPECT_EQ(relativePathWords(ctx, cLibLang::gCiomLang.sections.find(cStringKey("pkgm::iini", -1))), "This package cannot be installed in " +
                                                 std::string(ciLangName(c.chosen)) + ": " + head + c.way + tail);
    const sRunResult driven = runWithEnv({ZVK_INSTALL_DRIVER, pkg, "--lang", std::to_string(c.chosen)},
                                         {"HOME=" + dir.file("home"), "ASAN_OPTIONS=detect_leaks=0"});
    EXPECT_EQ(driven.out, "init 16 path [Run] rel/%s\\ty\n");
    EXPECT_EQ(driven.status, 16);
  }
}

}  // namespace
