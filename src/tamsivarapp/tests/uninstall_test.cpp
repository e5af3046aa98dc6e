#include "tamsivarapp/uninstall.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <set>
#include <thread>

#include "base/conproc.h"
#include "base/tests/private_mounts.h"
#include "base/tests/scratch_dir.h"
#include "ciom/ciomlangs.h"
#include "install_support.h"
#include "tamsivarapp/heldpath.h"
#include "tamsivarapp/installfiles.h"
#include "tamsivarapp/installrecord.h"
#include "tamsivarapp/lang.h"
#include "tamsivarapp/remove.h"
#include "tamsivarapp/uninstallerpanel.h"
#include "tamsivarapp/uninstallui.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

// Runs `check` in a child that dropped to nobody when we are root, so the
// permission cases mean what they say; true when it answered true.
bool asNobody(const std::function<bool()>& check) {
  if (::geteuid() != 0) return check();
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
    ::_exit(check() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Host : cUninstallHost {
  bool yes = true;
  int chosen = -1;
  int asked = 0;
  std::function<bool(const char*)> release = [](const char*) { return true; };
  std::function<void()> onConfirm = [] {};
  // As the form applies it: every table that has the language takes it,
  // the others their default.
  bool applyLang(int lang) override {
    static bool registered = (cLibLang::ref(new cCIOMLang), true);
    (void)registered;
    return cLibLang::applyLang(static_cast<eCIOMStdLangs>(lang));
  }
  int chooseLang(sPkgUninstallContext&, int preset) override {
    ++asked;
    return chosen < 0 ? preset : chosen;
  }
  bool confirm(int) override {
    onConfirm();
    return yes;
  }
  bool askRelease(const char* path) override { return release(path); }
};

PkgVersion sample() {
  PkgVersion v;
  v.files = {{"bin/run", "#!/bin/sh\necho one\n", {7, 5, 5}},
             {"lib/deep/data.bin", randomBytes(5000, 1), {6, 4, 4}},
             // Writable by its owner: an upgrade run by a user who may not
             // write a changed file is refused before it starts.
             {"share/doc/readme.txt", "readme", {6, 4, 4}}};
  return v;
}

// Uninstalls the package recorded in `cfgDir`, after `edit` changed the
// record.
int uninstallFrom(const std::string& cfgDir, Host& host, const std::function<void(cApplicationConfig&)>& edit = {},
                  std::vector<sKeptFile>* kept = nullptr) {
  cSOPKGLang::init();
  cCIAppFullConfig cfg;
  EXPECT_TRUE(cfg.openConfig(cfgDir.c_str()));
  if (edit) edit(cfg);
  sPkgUninstallContext ctx;
  ctx.id.set("sample");
  ctx.config = &cfg;
  int code = runUninstall(ctx, host);
  if (kept) *kept = ctx.kept;
  return code;
}

struct Installed {
  ScratchDir dir;
  std::string parent = dir.file("opt"), root = parent + "/app", cfgDir = dir.file("cfg");
  Installed() {
    ::chmod(dir.root.c_str(), 0777);
    Outcome o = installVersion(root, cfgDir, sample());
    EXPECT_EQ(o.job, 0);
  }
  int uninstall(Host& host, const std::function<void(cApplicationConfig&)>& edit = {},
                std::vector<sKeptFile>* kept = nullptr) {
    return uninstallFrom(cfgDir, host, edit, kept);
  }
  // Nobody owns the tree and the record, as after an installation of their
  // own, so that a read-only folder holds for an uninstall run as nobody.
  void handToNobody() {
    if (::geteuid() != 0) return;
    for (const std::string& top : {parent, cfgDir}) {
      ::chown(top.c_str(), kNobody, kNobody);
      for (auto& e : fs::recursive_directory_iterator(top)) ::lchown(e.path().c_str(), kNobody, kNobody);
    }
  }
  // Lists exactly `files` in the record.
  static void relist(cApplicationConfig& cfg, const std::vector<std::string>& files) {
    for (size_t i = 0; i < files.size(); ++i)
      cfg.setParamStr(("install/sample/file" + std::to_string(i)).c_str(), files[i].c_str(), -1);
    cfg.setParamInt32("install/sample/files", static_cast<int>(files.size()));
  }
  std::vector<std::string> listed() {
    cCIAppFullConfig cfg;
    unsigned long long count = 0;
    std::vector<std::string> out;
    if (!cfg.openConfig(cfgDir.c_str()) || !cfg.getParamInt("install/sample/files", count)) return out;
    for (unsigned long long i = 0; i < count; ++i) {
      _guardchar<char> path;
      if (cfg.getParamStr(("install/sample/file" + std::to_string(i)).c_str(), path) && path.ptr)
        out.emplace_back(path.ptr);
    }
    return out;
  }
  // Uninstalling leaves nothing of the package, not even a side file.
  void expectGone() {
    if (fs::exists(root)) for (auto& e : fs::recursive_directory_iterator(root)) ADD_FAILURE() << e.path();
    EXPECT_FALSE(fs::exists(root));
    EXPECT_FALSE(recorded());
  }
  bool recorded() {
    cCIAppFullConfig cfg;
    return cfg.openConfig(cfgDir.c_str()) && cfg.hasSection("install/sample");
  }
  void expectWhole() {
    for (const PkgFile& f : sample().files) EXPECT_EQ(readFile(root + "/" + f.rel), f.bytes) << f.rel;
    EXPECT_TRUE(sideFiles(root).empty());
    EXPECT_TRUE(recorded());
  }
};

TEST(Uninstall, RemovesTheRecordedFilesAndFoldersUpToTheInstallationFolder) {
  Installed pkg;
  Host host;
  EXPECT_EQ(pkg.uninstall(host), unDone);
  if (fs::exists(pkg.root)) for (auto& e : fs::recursive_directory_iterator(pkg.root)) ADD_FAILURE() << e.path();
  EXPECT_FALSE(fs::exists(pkg.root));
  EXPECT_TRUE(fs::is_directory(pkg.parent));
  EXPECT_FALSE(pkg.recorded());
}

// Entries a damaged or hostile record lists beside the package's own: a
// file outside the folder stays when a link or a "." or ".." step leads to
// it, and the user is told which and why. The record stays naming only
// what a link kept, which may be the package's, until the link is gone; a
// spelling the package never wrote holds nothing back.
TEST(Uninstall, KeepsWhatMayNotBeThePackagesAndSaysSoOnce) {
  Installed pkg;
  std::string outside = pkg.dir.file("outside.txt"), foreign = pkg.root + "/share/doc/notes.txt";
  std::string linkOut = pkg.root + "/lib/out", victim = pkg.dir.file("elsewhere/victim");
  std::string twice = pkg.dir.file("twice.txt");
  writeFile(outside, "mine");
  writeFile(foreign, "mine too");
  writeFile(victim, "victim");
  writeFile(twice, "one file, two spellings");
  writeFile(pkg.parent + "/dotted.txt", "dotted");
  writeFile(pkg.parent + "/binned.txt", "binned");
  fs::create_directory_symlink(pkg.dir.file("elsewhere"), linkOut);
  const struct {
    std::string listed;
    std::string file;  // what stands there
    int reason;        // 0: removed
  } cases[] = {
      // Reached through no link, as an absolute target installed outside
      // the folder is: it goes.
      {outside, outside, 0},
      {linkOut + "/victim", victim, kKeptThroughLink},
      {pkg.root + "/../dotted.txt", pkg.parent + "/dotted.txt", kKeptOddPath},
      {pkg.dir.file("./elsewhere/victim"), victim, kKeptOddPath},
      // Named even though the folder its spelling passes through went.
      {pkg.root + "/bin/../../binned.txt", pkg.parent + "/binned.txt", kKeptOddPath},
      // Kept under one spelling, removed under the other: not named.
      {pkg.dir.file("./twice.txt"), twice, 0},
      {twice, twice, 0},
  };
  Host host;
  std::vector<sKeptFile> kept;
  EXPECT_EQ(pkg.uninstall(host,
                          [&](cApplicationConfig& cfg) {
                            int n = 3;
                            for (const auto& c : cases)
                              cfg.setParamStr(("install/sample/file" + std::to_string(n++)).c_str(),
                                              c.listed.c_str(), -1);
                            cfg.setParamInt32("install/sample/files", n);
                          },
                          &kept),
            unRecordKept);
  size_t k = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.listed);
    EXPECT_EQ(fs::exists(c.file), c.reason != 0);
    if (c.reason == 0) continue;
    ASSERT_LT(k, kept.size());
    EXPECT_EQ(kept[k].path, c.listed);
    EXPECT_EQ(kept[k++].reason, c.reason);
  }
  EXPECT_EQ(k, kept.size());
  EXPECT_EQ(readFile(foreign), "mine too");
  EXPECT_FALSE(fs::exists(pkg.root + "/bin"));
  EXPECT_FALSE(fs::exists(pkg.root + "/share/doc/readme.txt"));
  EXPECT_EQ(pkg.listed(), std::vector<std::string>{linkOut + "/victim"});
  EXPECT_EQ(pkg.uninstall(host), unRecordKept);
  fs::remove(linkOut);
  EXPECT_EQ(pkg.uninstall(host), unDone);
  EXPECT_FALSE(pkg.recorded());
  EXPECT_EQ(pkg.uninstall(host), unNotInstalled);
  EXPECT_EQ(readFile(victim), "victim");
  struct Declines : cRemoveHost {
    bool confirm(int) override { return false; }
  } declines;
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig(pkg.cfgDir.c_str()));
  EXPECT_EQ(runRemoveManager(&cfg, nullptr, declines), rmDeclined) << "no package is left to refuse for";
}

// A store file that does not read whole is written over by the uninstall's
// save only once its bytes are kept; the uninstall names the copy and is
// no plain success.
TEST(Uninstall, ADamagedStoreIsKeptAsideAndNamed) {
  Installed pkg;
  const std::string store = pkg.cfgDir + "/install";
  std::string damaged = readFile(store);
  // The root's closing byte: every record before it still reads.
  damaged.back() = 2;
  writeFile(store, damaged);
  Host host;
  std::vector<sKeptFile> kept;
  EXPECT_EQ(pkg.uninstall(host, {}, &kept), unKept);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].path, store + ".damaged-1");
  EXPECT_EQ(kept[0].reason, kKeptStoreCopy);
  EXPECT_EQ(readFile(store + ".damaged-1"), damaged);
  EXPECT_FALSE(pkg.recorded());
}

// A kill leaves side files beside the listed ones: an uninstall's backups
// with their file gone, an upgrade's unpacked copies, backups and new files.
// The next uninstall takes them too, and only them: the user's own files
// under the same kind of names stay.
TEST(Uninstall, CompletesWhatAKilledUninstallOrUpgradeLeft) {
  // An upgrade to a second version with files of its own that dies on
  // reaching `stage` (-1: the last).
  const auto upgradeKilledAt = [](int stage) {
    return [stage](Installed& pkg) {
      TestHost host;
      PkgVersion v2 = sample();
      v2.ver[1] = 1;
      for (PkgFile& f : v2.files) f.bytes += "2";
      for (int i = 0; i < 3; ++i) v2.files.push_back({"new/only" + std::to_string(i), randomBytes(3000, 9), {8, 8, 8}});
      host.atStage = [stage](int s) {
        if (s == stage) _exit(0);
      };
      host.atLastStage = [stage] {
        if (stage < 0) _exit(0);
      };
      installVersion(pkg.root, pkg.cfgDir, v2, host);
    };
  };
  struct Case {
    const char* name;
    std::function<void(Installed&)> kill;
  } cases[] = {
      {"uninstall killed asking about the second file",
       [](Installed& pkg) {
         // A read-only folder keeps the second file in place: the busy
         // question, when the first file is already aside.
         pkg.handToNobody();
         ::chmod((pkg.root + "/lib/deep").c_str(), 0555);
         if (asNobody([&] {
               Host host;
               host.release = [](const char*) -> bool { _exit(0); };
               pkg.uninstall(host);
               return false;
             }))
           _exit(0);
       }},
      {"upgrade killed while unpacking", upgradeKilledAt(5)},
      {"upgrade killed before its backups", upgradeKilledAt(7)},
      {"upgrade killed before moving new files in", upgradeKilledAt(8)},
      {"upgrade killed before removing its backups", upgradeKilledAt(-1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installed pkg;
    const std::vector<std::string> strangers = {pkg.root + "/bin/run.tmp.keep", pkg.root + "/share/doc/readme.txt.bkp",
                                                pkg.root + "/share/doc/readme.txt.tmp"};
    for (const std::string& s : strangers) writeFile(s, "not a side file of ours");
    pid_t child = fork();
    if (child == 0) {
      c.kill(pkg);
      _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ::chmod((pkg.root + "/lib/deep").c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_GT(sideFiles(pkg.root).size(), 2u);
    Host host;
    EXPECT_EQ(pkg.uninstall(host), unDone);
    std::vector<std::string> left;
    for (auto& e : fs::recursive_directory_iterator(pkg.root))
      if (!e.is_directory()) left.push_back(e.path().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, strangers);
    EXPECT_FALSE(pkg.recorded());
  }
}

// An upgrade killed once it had removed dropped files, before their emptied
// folders went, leaves a record of the new version still naming them: the
// next run of that version takes the folders born before that record was
// saved, then the uninstall leaves nothing; one the user made there again
// since stays, and so does one made in the second the record was saved
// where the record keeps whole seconds only.
TEST(Uninstall, ARerunTakesOnlyTheFoldersACutShortUpgradeEmptied) {
  struct Case {
    const char* name;
    // The emptied folders standing when the rerun starts.
    std::vector<std::string> standing;
    // From the youngest standing folder's birth to the record's save: in
    // seconds, written alone as earlier builds did, or in nanoseconds.
    long long savedAfter;
    bool fine;
    bool kept;
    bool rerun = true;
    // Folders the user made again after the save.
    std::vector<std::string> remade = {};
    // The folders of the files the record still names.
    std::vector<std::string> gone = {"drop/d0"};
    // Whether the record marks those files by identity instead.
    bool marked = false;
  } cases[] = {
      {"killed before removing the emptied folders", {"drop/d0"}, 1, false, false},
      {"killed between removing one and the next", {"drop"}, 1, false, false},
      {"killed between removing one and the next, uninstalled at once", {"drop"}, 1, false, false, false},
      {"made again after the record was saved, uninstalled at once", {"drop"}, -1, false, true, false},
      {"made again in the second the record was saved", {"drop/d0"}, 0, false, true},
      {"made again after the record was saved", {"drop/d0"}, -1, false, true},
      {"installed and cut short in one second", {"drop/d0"}, 1, true, false},
      {"installed and cut short in one second, uninstalled at once", {"drop"}, 1, true, false, false},
      {"made again at the moment the record was saved", {"drop/d0"}, 0, true, true},
      {"made again a moment after the record was saved", {"drop/d0"}, -1, true, true},
      {"one made again beside others emptied", {"two/b/c", "three", "four/j"}, 1, true, false, true,
       {"one/a", "four/j/k"}, {"two/b/c", "three", "four/j/k", "one/a"}},
      {"one made again beside others emptied, uninstalled at once", {"two/b/c", "three", "four/j"}, 1, true, false,
       false, {"one/a", "four/j/k"}, {"two/b/c", "three", "four/j/k", "one/a"}},
      {"marked, killed between removing one and the next, uninstalled at once", {"drop"}, 1, false, false, false, {},
       {"drop/d0"}, true},
      {"marked, made again after the record was saved, uninstalled at once", {"drop"}, -1, false, true, false, {},
       {"drop/d0"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installed pkg;
    PkgVersion next = sample();
    next.ver[1] = 1;
    ASSERT_EQ(installVersion(pkg.root, pkg.cfgDir, next).job, 0);
    struct statx born {};
    for (const std::string& s : c.standing) {
      fs::create_directories(pkg.root + "/" + s);
      ASSERT_EQ(::statx(AT_FDCWD, (pkg.root + "/" + s).c_str(), 0, STATX_BTIME, &born), 0);
    }
    if (!(born.stx_mask & STATX_BTIME)) GTEST_SKIP() << "no birth times on this file system";
    // Past the clock's tick, so that the user's folders are younger.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    for (const std::string& r : c.remade) fs::create_directories(pkg.root + "/" + r);
    {
      cCIAppFullConfig cfg;
      ASSERT_TRUE(cfg.openConfig(pkg.cfgDir.c_str()));
      std::vector<std::string> listed = readFileList(&cfg, "install/sample");
      tSideMark marks;
      // An identity no file there holds: the marked files are gone.
      for (const std::string& g : c.gone) {
        const std::string file = pkg.root + "/" + g + "/f";
        if (c.marked)
          marks[file] = ownIdAt(AT_FDCWD, pkg.cfgDir);
        else
          listed.push_back(file);
      }
      writeFileList(&cfg, "install/sample", listed);
      writeSideMark(&cfg, "install/sample", marks);
      long long sec = born.stx_btime.tv_sec + (c.fine ? 0 : c.savedAfter);
      if (c.fine) {
        const long long stamp = sec * 1000000000 + born.stx_btime.tv_nsec + c.savedAfter;
        sec = stamp / 1000000000;
        cfg.setParamInt64("install/sample/utimens", stamp);
      } else {
        // A precise stamp of another second tells nothing, as none.
        cfg.setParamInt64("install/sample/utimens", 0);
      }
      cfg.setParamInt32("install/sample/utime", static_cast<int>(sec));
      ASSERT_TRUE(cfg.saveConfig());
    }
    // A standing folder holding one made again stays with it.
    const auto stays = [&](const std::string& s) {
      return c.kept || std::any_of(c.remade.begin(), c.remade.end(), [&](const std::string& r) { return under(r, s); });
    };
    if (c.rerun) {
      const Outcome again = installVersion(pkg.root, pkg.cfgDir, next);
      EXPECT_EQ(again.job, 0) << again.init << " " << again.problem;
      for (const std::string& s : c.standing) EXPECT_EQ(fs::exists(pkg.root + "/" + s), stays(s)) << s;
    }
    Host host;
    EXPECT_EQ(pkg.uninstall(host), unDone);
    for (const std::string& s : c.standing) EXPECT_EQ(fs::is_directory(pkg.root + "/" + s), stays(s)) << s;
    for (const std::string& r : c.remade) EXPECT_TRUE(fs::is_directory(pkg.root + "/" + r)) << r;
    if (!c.kept && c.remade.empty()) pkg.expectGone();
  }
}

// Killed at any moment, an uninstall or an upgrade leaves what the next
// uninstall finishes: every file the package installed and every side file
// this system made goes, the user's own files beside them stay.
TEST(Uninstall, KilledAtRandomMomentsTheNextUninstallFinishes) {
  PkgVersion a, b;
  for (int i = 0; i < 24; ++i) {
    const std::string rel = std::string("d") + std::to_string(i % 4) + "/f" + std::to_string(i);
    a.files.push_back({rel, randomBytes(400000, static_cast<unsigned>(i)), {8, 8, 8}});
    b.files.push_back({rel, randomBytes(400000, static_cast<unsigned>(i + 100)), {8, 8, 8}});
  }
  // Files only the new version has, in a folder of their own.
  for (int i = 0; i < 6; ++i) b.files.push_back({"new/f" + std::to_string(i), randomBytes(200000, 7), {8, 8, 8}});
  a.ver[1] = 5;
  b.ver[0] = 2;
  for (bool upgrade : {false, true}) {
    RandomKiller killer(upgrade ? 52 : 25);
    for (int round = 0; round < 9; ++round) {
      SCOPED_TRACE(std::string(upgrade ? "upgrade" : "uninstall") + " round " + std::to_string(round));
      Installed pkg;
      ASSERT_EQ(installVersion(pkg.root, pkg.cfgDir, a).job, 0);
      std::vector<std::string> mine;
      for (int i : {1, 6, 11})
        for (const char* suffix : {".bkp", ".tmp"}) mine.push_back(pkg.root + "/" + a.files[i].rel + suffix);
      mine.push_back(pkg.root + "/new/f2.bkp");
      for (const std::string& m : mine) writeFile(m, "the user's " + m);
      // The first round measures the run the others interrupt.
      if (upgrade) {
        ASSERT_TRUE(killer.run([&] { return installVersion(pkg.root, pkg.cfgDir, b).job; }));
      } else {
        ASSERT_TRUE(killer.run([&] {
          Host host;
          return pkg.uninstall(host);
        }));
      }
      if (round == 0 && !upgrade) continue;
      Host host;
      std::vector<sKeptFile> kept;
      int code = pkg.uninstall(host, {}, &kept);
      EXPECT_TRUE(code == unDone || (code == unNotInstalled && !upgrade)) << code;
      EXPECT_TRUE(kept.empty());
      std::vector<std::string> left;
      for (auto& e : fs::recursive_directory_iterator(pkg.root))
        if (!e.is_directory()) left.push_back(e.path().string());
      std::sort(left.begin(), left.end());
      std::sort(mine.begin(), mine.end());
      EXPECT_EQ(left, mine);
      for (const std::string& m : mine) EXPECT_EQ(readFile(m), "the user's " + m);
      EXPECT_FALSE(pkg.recorded());
    }
  }
}

// A folder typed or taken from HOME with "." steps or doubled slashes is
// recorded as the files are spelled later, so that an upgrade and the
// uninstaller find the package's own files under it.
TEST(Uninstall, AFolderSpelledWithDotStepsOrDoubledSlashesIsUpgradedAndRemoved) {
  for (const char* spelling : {"/./opt/app", "/opt/./app/.", "//opt//app/", "/opt/app/./"}) {
    SCOPED_TRACE(spelling);
    ScratchDir dir;
    const std::string root = dir.root + spelling, plain = dir.file("opt/app"), cfgDir = dir.file("cfg");
    ASSERT_EQ(installVersion(root, cfgDir, sample()).job, 0);
    PkgVersion v2 = sample();
    v2.ver[1] = 1;
    v2.files[0].bytes = "#!/bin/sh\necho two\n";
    const Outcome up = installVersion(root, cfgDir, v2);
    ASSERT_EQ(up.init, 0) << up.problem;
    ASSERT_EQ(up.job, 0) << up.problem;
    EXPECT_EQ(readFile(plain + "/bin/run"), v2.files[0].bytes);
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
    _guardchar<char> path;
    ASSERT_TRUE(cfg.getParamStr("install/sample/path", path));
    EXPECT_STREQ(path.ptr, plain.c_str());
    EXPECT_EQ(readFileList(&cfg, "install/sample"),
              (std::vector<std::string>{plain + "/bin/run", plain + "/lib/deep/data.bin",
                                        plain + "/share/doc/readme.txt"}));
    Host host;
    EXPECT_EQ(uninstallFrom(cfgDir, host), unDone);
    EXPECT_FALSE(fs::exists(plain));
    EXPECT_TRUE(fs::is_directory(dir.file("opt")));
  }
}

// Records older versions wrote with the folder as it was typed. The folder
// is the same under a "." step or a doubled slash, so the package goes; an
// entry spelled so is still not provably the package's file: it stays and
// is named once. A ".." may lead elsewhere: nothing is touched, and each
// entry is named as unproven.
TEST(Uninstall, ARecordWithTheFolderSpelledAsTypedIsRemoved) {
  struct Case {
    const char* folder;  // below the scratch folder, as recorded
    bool dottedEntries;  // the entries spelled below `folder` too
    int code;
  } cases[] = {
      {"/opt/.//app", true, unKept},
      {"/opt/./app/", false, unDone},
      {"//opt//app//", false, unDone},
      {"/opt/../opt/app", false, unRecordUnfounded},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    Installed pkg;
    const std::string folder = pkg.dir.root + c.folder;
    std::vector<std::string> entries;
    for (const PkgFile& f : sample().files) entries.push_back((c.dottedEntries ? folder + "/" : pkg.root + "/") + f.rel);
    Host host;
    std::vector<sKeptFile> kept;
    EXPECT_EQ(pkg.uninstall(host,
                            [&](cApplicationConfig& cfg) {
                              cfg.setParamStr("install/sample/path", folder.c_str(), -1);
                              Installed::relist(cfg, entries);
                            },
                            &kept),
              c.code);
    if (c.code == unDone) pkg.expectGone();
    if (c.code == unRecordUnfounded) pkg.expectWhole();
    if (c.code == unDone) continue;
    EXPECT_EQ(pkg.recorded(), c.code == unRecordUnfounded);
    ASSERT_EQ(kept.size(), entries.size());
    for (size_t i = 0; i < kept.size(); ++i) {
      EXPECT_EQ(kept[i].path, entries[i]);
      EXPECT_EQ(kept[i].reason, c.code == unKept ? kKeptOddPath : kKeptUnfounded);
      EXPECT_TRUE(fs::is_regular_file(entries[i]));
    }
  }
}

TEST(Uninstall, TakesAbsoluteTargetsInstalledOutsideTheFolder) {
  Installed pkg;
  const std::string bin = pkg.dir.file("bin"), tool = bin + "/tool";
  fs::create_directories(bin);
  TestHost installer;
  installer.atOpen = [&](cSoftPkgScenario& s) {
    cMemIOTarget bytes;
    bytes.fromBuffer("tool", 4);
    auto& def = s.files.add()->value;
    def.index = static_cast<unsigned int>(s.pkg.addPkgItem(&bytes, false));
    def.target.rest.set(tool.c_str());
    def.for32 = def.for64 = 1;
    def.perms[0] = def.perms[1] = def.perms[2] = 8;
  };
  PkgVersion v2 = sample();
  v2.ver[1] = 1;
  ASSERT_EQ(installVersion(pkg.root, pkg.cfgDir, v2, installer).job, 0);
  ASSERT_EQ(readFile(tool), "tool");
  Host host;
  EXPECT_EQ(pkg.uninstall(host), unDone);
  EXPECT_FALSE(fs::exists(tool));
  EXPECT_TRUE(fs::is_directory(bin)) << "a folder outside the package's is shared";
  EXPECT_FALSE(fs::exists(pkg.root));
}

// Giving up puts every file back as it was, a file listed beside its own
// backup name included.
TEST(Uninstall, EndsWithoutRemovingWhenTheUserDeclinesOrGivesUp) {
  struct Case {
    const char* name;
    bool yes;
    bool fixOnAsk;
    int code;
  } cases[] = {
      {"declined", false, false, unCancelled},
      {"gave up on a busy file", true, false, unCancelled},
      {"retried once the file was free", true, true, unDone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installed pkg;
    const std::string run = pkg.root + "/bin/run", listedBackup = run + ".bkp", locked = pkg.root + "/lib/deep";
    const std::string busy = locked + "/data.bin", readme = pkg.root + "/share/doc/readme.txt";
    writeFile(listedBackup, "listed, not a backup");
    pkg.handToNobody();
    // A read-only folder keeps its file in place: the busy question.
    ::chmod(locked.c_str(), 0555);
    EXPECT_TRUE(asNobody([&] {
      Host host;
      host.yes = c.yes;
      std::string asked;
      host.release = [&](const char* path) {
        asked = path;
        if (!c.fixOnAsk) return true;
        ::chmod(locked.c_str(), 0755);
        return false;
      };
      const int code = pkg.uninstall(host, [&](cApplicationConfig& cfg) {
        Installed::relist(cfg, {run, listedBackup, busy, readme});
      });
      return code == c.code && asked == (c.yes ? busy : "");
    }));
    ::chmod(locked.c_str(), 0755);
    if (c.code == unDone) {
      EXPECT_FALSE(fs::exists(pkg.root));
      continue;
    }
    EXPECT_EQ(readFile(listedBackup), "listed, not a backup");
    fs::remove(listedBackup);
    pkg.expectWhole();
  }
}

// The user's own files under the names of side files stay, beside the
// folder's files and beside a file placed outside it; only the side files
// the record names as this system's go, and one that is now a link or a
// folder keeps what it holds, and the user hears of it.
TEST(Uninstall, TakesOnlyTheSideFilesThisSystemNamed) {
  Installed pkg;
  const std::string conf = pkg.dir.file("conf/x.conf"), target = pkg.dir.file("target.txt");
  writeFile(conf, "placed outside by the package");
  writeFile(target, "a link leads here");
  enum { kStays, kGoes, kKept };
  struct Case {
    std::string path;
    bool marked;
    int kind;  // 0 file, 1 link to `target`, 2 folder holding a file
    int outcome;
  } cases[] = {
      {pkg.root + "/share/doc/readme.txt.bkp", false, 0, kStays},
      {pkg.root + "/share/doc/readme.txt.tmp", false, 0, kStays},
      {pkg.root + "/bin/run.bkp", false, 0, kStays},
      {conf + ".bkp", false, 0, kStays},
      {pkg.root + "/lib/deep/data.bin.tmp", true, 0, kGoes},
      {conf + ".tmp", true, 0, kGoes},
      {pkg.root + "/bin/run.tmp", true, 1, kKept},
      {pkg.root + "/share/doc/readme.txt.bkp.tmp", true, 2, kKept},
  };
  std::set<std::string> marks;
  for (const Case& c : cases) {
    if (c.kind == 0) writeFile(c.path, "bytes of " + c.path);
    if (c.kind == 1) fs::create_symlink(target, c.path);
    if (c.kind == 2) writeFile(c.path + "/inside", "inside");
    if (c.marked) marks.insert(c.path);
  }
  Host host;
  std::vector<sKeptFile> kept;
  EXPECT_EQ(pkg.uninstall(host,
                          [&](cApplicationConfig& cfg) {
                            cfg.setParamStr("install/sample/file3", conf.c_str(), -1);
                            cfg.setParamInt32("install/sample/files", 4);
                            writeSideMark(&cfg, "install/sample", asMade(marks));
                          },
                          &kept),
            unKept);
  std::vector<std::string> named;
  for (const sKeptFile& k : kept) {
    EXPECT_EQ(k.reason, kKeptNotAFile) << k.path;
    named.push_back(k.path);
  }
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(fs::exists(fs::symlink_status(c.path)), c.outcome != kGoes);
    if (c.outcome == kStays) {
      EXPECT_EQ(readFile(c.path), "bytes of " + c.path);
    }
    if (c.outcome == kKept) expected.push_back(c.path);
  }
  std::sort(named.begin(), named.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(named, expected);
  EXPECT_FALSE(fs::exists(conf));
  EXPECT_EQ(readFile(target), "a link leads here");
  EXPECT_EQ(readFile(pkg.root + "/share/doc/readme.txt.bkp.tmp/inside"), "inside");
}

// A file the user made later may get the inode number a side file this
// system made had: its later birth tells it apart, and it stays.
TEST(Uninstall, SideFileBornLaterThanMarkedStaysTheUsers) {
  struct Case {
    const char* name;
    long long bornShift;  // seconds between the marked birth and the file's
    bool goes;
  } cases[] = {
      {"bin/run.bkp", 0, true},
      {"bin/run.tmp", -1, false},
      {"share/doc/readme.txt.bkp", -3600, false},
  };
  Installed pkg;
  Host host;
  pkg.uninstall(host, [&](cApplicationConfig& cfg) {
    int n = 0;
    for (const Case& c : cases) {
      const std::string path = pkg.root + "/" + c.name, at = "install/sample/side";
      writeFile(path, "bytes of " + path);
      struct statx st {};
      ASSERT_EQ(::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &st), 0);
      if (!(st.stx_mask & STATX_BTIME)) GTEST_SKIP() << "no birth times on this file system";
      cfg.setParamStr((at + std::to_string(n)).c_str(), path.c_str(), -1);
      cfg.setParamInt64((at + "dev" + std::to_string(n)).c_str(),
                        static_cast<long long>(makedev(st.stx_dev_major, st.stx_dev_minor)));
      cfg.setParamInt64((at + "ino" + std::to_string(n)).c_str(), static_cast<long long>(st.stx_ino));
      cfg.setParamInt64((at + "born" + std::to_string(n)).c_str(), st.stx_btime.tv_sec + c.bornShift);
      cfg.setParamInt64((at + "bornns" + std::to_string(n++)).c_str(), st.stx_btime.tv_nsec);
    }
    cfg.setParamInt32("install/sample/sides", n);
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(fs::exists(pkg.root + "/" + c.name), !c.goes);
  }
}

// An earlier build named side files without their identity: they are
// taken by name, as that build took them. An uninstall it stopped with a
// file moved aside, and an upgrade it killed while unpacking, are finished
// by the next uninstall or upgrade, and nothing of the package is left.
TEST(Uninstall, SideFilesAnEarlierBuildNamedAreTakenAsItTookThem) {
  const struct Case {
    const char* name;
    std::vector<std::string> sides;  // below the installation folder
    bool upgradeFirst;
  } cases[] = {
      {"an uninstall stopped with a file moved aside", {"bin/run.bkp"}, false},
      {"an upgrade killed while unpacking, then an uninstall", {"bin/run.tmp", "lib/deep/data.bin.tmp"}, false},
      {"an upgrade killed while unpacking, then the upgrade", {"bin/run.tmp", "lib/deep/data.bin.tmp"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installed pkg;
    {
      cCIAppFullConfig cfg;
      ASSERT_TRUE(cfg.openConfig(pkg.cfgDir.c_str()));
      int n = 0;
      for (const std::string& rel : c.sides) {
        const std::string path = pkg.root + "/" + rel;
        if (rel.ends_with(".bkp"))
          fs::rename(sideOwner(path), path);
        else
          writeFile(path, "part of a new file");
        cfg.setParamStr(("install/sample/side" + std::to_string(n++)).c_str(), path.c_str(), -1);
      }
      cfg.setParamInt32("install/sample/sides", n);
      ASSERT_TRUE(cfg.saveConfig());
    }
    if (c.upgradeFirst) {
      PkgVersion next = sample();
      next.ver[1] = 1;
      const Outcome up = installVersion(pkg.root, pkg.cfgDir, next);
      EXPECT_EQ(up.job, 0) << up.problem;
      EXPECT_TRUE(up.kept.empty());
      EXPECT_TRUE(sideFiles(pkg.root).empty());
    }
    Host host;
    std::vector<sKeptFile> kept;
    EXPECT_EQ(pkg.uninstall(host, {}, &kept), unDone);
    EXPECT_TRUE(kept.empty());
    pkg.expectGone();
  }
}

// A first installation killed before it ended is taken back by an
// uninstall: the files its run made and its record go, a file the user
// had in a target's place with the package's bytes stays, and so do the
// folders of a mark that names no folder (an earlier build's).
TEST(Uninstall, AFirstInstallKilledBeforeItEndedIsTakenBack) {
  const struct Case {
    const char* name;
    int killAt;  // 1-3 unpacking, 4 backing up, 5 applying
    bool usersFile;
    bool markWithoutFolder;
  } cases[] = {
      {"killed while unpacking", 2, false, false},
      {"killed before applying", 5, false, false},
      {"killed before applying, the user's own copy in place", 5, true, false},
      {"killed while unpacking, marked without folder or language", 2, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string root = dir.file("opt/app"), cfgDir = dir.file("cfg"), own = root + "/bin/run";
    if (c.usersFile) writeFile(own, sample().files[0].bytes);
    const pid_t child = ::fork();
    if (child == 0) {
      TestHost host;
      host.atStage = [&](int s) {
        if (s == c.killAt) ::_exit(0);
      };
      installVersion(root, cfgDir, sample(), host);
      ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "not killed at stage " << c.killAt;
    Host host;
    std::vector<sKeptFile> kept;
    const int code = uninstallFrom(cfgDir, host, [&](cApplicationConfig& cfg) {
      if (!c.markWithoutFolder) return;
      cfg.removeSection("install/sample/path");
      cfg.removeSection("install/sample/lang");
    }, &kept);
    EXPECT_EQ(code, unDone);
    EXPECT_TRUE(kept.empty());
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
    EXPECT_FALSE(cfg.hasSection("install/sample"));
    std::vector<std::string> left;
    if (fs::exists(root))
      for (auto& e : fs::recursive_directory_iterator(root))
        if (!e.is_directory()) left.push_back(e.path().string());
    EXPECT_EQ(left, c.usersFile ? std::vector<std::string>{own} : std::vector<std::string>{});
    if (c.usersFile) {
      EXPECT_EQ(readFile(own), sample().files[0].bytes);
    }
    EXPECT_EQ(fs::exists(root), c.usersFile || c.markWithoutFolder);
  }
}

// Whatever stands in a file's place when the question is answered, the
// uninstall never blocks on it and never reaches past a link: a link in
// the folder goes itself, a folder is not the package's file (the user's,
// left alone and unnamed), and a link swapped in on the way keeps the
// files it leads to.
TEST(Uninstall, WhatStandsInAFilesPlaceWhenTheQuestionIsAnswered) {
  struct Case {
    const char* name;
    std::function<void(Installed&, const std::string& outside)> swap;
    int code;
    std::vector<std::string> keptPaths;  // below the installation folder
  } cases[] = {
      {"a folder with a file of its own",
       [](Installed& pkg, const std::string&) {
         const std::string file = pkg.root + "/lib/deep/data.bin";
         fs::remove(file);
         writeFile(file + "/inner", "inner");
       },
       unDone, {}},
      {"a link to a file outside",
       [](Installed& pkg, const std::string& outside) {
         fs::remove(pkg.root + "/bin/run");
         fs::create_symlink(outside + "/data.bin", pkg.root + "/bin/run");
       },
       unDone, {}},
      {"a folder on the way swapped for a link out",
       [](Installed& pkg, const std::string& outside) {
         fs::remove_all(pkg.root + "/lib/deep");
         fs::create_directory_symlink(outside, pkg.root + "/lib/deep");
       },
       unRecordKept, {"/lib/deep/data.bin"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installed pkg;
    const std::string outside = pkg.dir.file("outside");
    writeFile(outside + "/data.bin", "outside");
    Host host;
    host.onConfirm = [&] { c.swap(pkg, outside); };
    host.release = [](const char*) {
      ADD_FAILURE() << "asked about a file that is not there to move";
      return true;
    };
    std::vector<sKeptFile> kept;
    EXPECT_EQ(pkg.uninstall(host, {}, &kept), c.code);
    std::vector<std::string> named, expected;
    for (const sKeptFile& k : kept) named.push_back(k.path);
    for (const std::string& k : c.keptPaths) expected.push_back(pkg.root + k);
    EXPECT_EQ(named, expected);
    EXPECT_EQ(readFile(outside + "/data.bin"), "outside");
    EXPECT_FALSE(fs::exists(fs::symlink_status(pkg.root + "/bin/run")));
    // What a link kept may be the package's: its record stays, naming it.
    EXPECT_EQ(pkg.listed(), expected);
    EXPECT_EQ(pkg.recorded(), !expected.empty());
  }
}

TEST(Uninstall, AsksForALanguageOnlyWhenTheRecordHasNone) {
  struct Case {
    const char* name;
    int stored;  // -1: a text where the number belongs
    int chosen;
    int asked;
    int code;
  } cases[] = {
      {"stored", 0, -1, 0, unDone},
      {"missing, escape", -1, 10, 1, unCancelled},
      {"unknown, escape", 77, 10, 1, unCancelled},
      {"only the toolkit speaks it, escape", eLangFRA, 10, 1, unCancelled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installed pkg;
    Host host;
    host.chosen = c.chosen;
    int code = pkg.uninstall(host, [&](cApplicationConfig& cfg) {
      std::string key = "install/sample/lang";
      if (c.stored < 0) {
        cfg.setParamStr(key.c_str(), "", -1);
      } else {
        cfg.setParamInt16(key.c_str(), c.stored);
      }
    });
    EXPECT_EQ(host.asked, c.asked);
    EXPECT_EQ(code, c.code);
  }
  cLibLang::applyLang(eLangENG);
}

TEST(Uninstall, UnknownPackageIsNotInstalled) {
  Installed pkg;
  Host host;
  cSOPKGLang::init();
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig(pkg.cfgDir.c_str()));
  sPkgUninstallContext ctx;
  ctx.id.set("nosuch");
  ctx.config = &cfg;
  EXPECT_EQ(runUninstall(ctx, host), unNotInstalled);
  EXPECT_EQ(host.asked, 0);
  pkg.expectWhole();
}

// Nobody owns the installed tree, as after an installation of their own.
TEST(Uninstall, AsTheOwnerOfTheFiles) {
  struct Case {
    const char* name;
    bool readOnlyFiles;
    bool readOnlyConfig;
    int code;  // the files go either way: only the record's save failed
  } cases[] = {
      {"read-only files", true, false, unDone},
      {"read-only configuration", false, true, unRecordUnsaved},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installed pkg;
    pkg.handToNobody();
    if (c.readOnlyFiles)
      for (auto& e : fs::recursive_directory_iterator(pkg.root))
        if (e.is_regular_file()) ::chmod(e.path().c_str(), 0444);
    // The store reads its files under a write lock, so they stay writable;
    // a save replaces a file through its folder.
    if (c.readOnlyConfig) ::chmod(pkg.cfgDir.c_str(), 0555);
    EXPECT_TRUE(asNobody([&] {
      Host host;
      return pkg.uninstall(host) == c.code;
    }));
    EXPECT_EQ(fs::exists(pkg.root), false);
  }
}

TEST(MoveFileClean, MovesWhatARenameMayMove) {
  ScratchDir dir;
  ::chmod(dir.root.c_str(), 0777);
  std::string free = dir.file("free/a"), readOnly = dir.file("free/ro"), locked = dir.file("locked/a");
  writeFile(free, "a");
  writeFile(readOnly, "ro");
  writeFile(locked, "l");
  writeFile(dir.file("free/taken"), "t");
  writeFile(dir.file("free/taken.bkp"), "the user's");
  fs::create_directories(dir.file("free/folder"));
  fs::create_symlink(free, dir.file("free/link"));
  ::chmod(readOnly.c_str(), 0444);
  ::chmod(dir.file("free").c_str(), 0777);
  ::chmod(dir.file("locked").c_str(), 0555);
  ::chmod(locked.c_str(), 0666);
  struct Case {
    std::string from;
    bool moves;
  } cases[] = {
      {free, true},  {readOnly, true}, {locked, false}, {dir.file("free/link"), true},
      {dir.file("free/none"), false}, {dir.file("free/taken"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    std::string to = c.from + ".bkp";
    bool moved = asNobody([&] {
      cHeldFolder folder;
      return folder.hold(dir.root, c.from) &&
             moveFileClean(folder, folder.leaf(), folder.side(".bkp")).how == sChange::done;
    });
    EXPECT_EQ(moved, c.moves);
    EXPECT_EQ(fs::exists(fs::symlink_status(to)), c.moves || c.from.ends_with("taken"));
  }
  EXPECT_EQ(readFile(dir.file("free/taken.bkp")), "the user's");
}

// A held folder is reached from its anchor through real folders only, on
// the anchor's mount; one that is not says what stopped it.
TEST(HeldFolder, OnlyThroughRealFoldersBelowTheAnchor) {
  ScratchDir dir;
  std::string base = dir.file("app");
  fs::create_directories(base + "/sub/deeper");
  fs::create_directories(base + "/bound/in");
  fs::create_directories(dir.file("app2"));
  fs::create_directory_symlink(dir.root, base + "/up");
  fs::create_directory_symlink(base + "/sub", base + "/inner");
  fs::create_directory_symlink(base + "/sub", base + "/sub/deeper/back");
  writeFile(base + "/file", "f");
  // The user's folder bound where the package has one, below a level.
  fs::create_directories(dir.file("users/in"));
  keepMountsPrivate();
  const bool bound =
      ::mount(dir.file("users").c_str(), (base + "/bound").c_str(), nullptr, MS_BIND, nullptr) == 0;
  using W = cHeldFolder::eWay;
  struct Case {
    std::string path;
    W way;
  } cases[] = {
      {base + "/sub/f", W::held},
      {base + "/f", W::held},
      {base + "//sub//f", W::held},
      {base + "/sub/deeper/f", W::held},
      {base + "/sub/deeper/back", W::held},
      {base + "/inner/f", W::refused},
      {dir.file("app2/f"), W::refused},
      {base + "/../f", W::refused},
      {base + "/up/f", W::refused},
      {base + "/./sub/f", W::refused},
      {base, W::refused},
      {"sub/f", W::refused},
      {base + "/file/f", W::refused},
      {base + "/sub/deeper/back/f", W::refused},
      {base + "/none/f", W::gone},
      {base + "/sub/none/f", W::gone},
  };
  for (const Case& c : cases) {
    cHeldFolder folder;
    EXPECT_EQ(folder.hold(base, c.path), c.way == W::held) << c.path;
    EXPECT_EQ(folder.way(), c.way) << c.path;
    // The folder held is the one the leaf is in, whatever the leaf is.
    struct stat held, named;
    if (c.way == W::held) {
      EXPECT_TRUE(::fstat(folder.fd(), &held) == 0 && ::stat(parentOf(c.path).c_str(), &named) == 0 &&
                  held.st_ino == named.st_ino)
          << c.path;
    }
  }
  if (bound) {
    for (const std::string& path : {base + "/bound/f", base + "/bound/in/f"}) {
      cHeldFolder folder;
      EXPECT_FALSE(folder.hold(base, path)) << path;
      EXPECT_EQ(folder.way(), W::mounted) << path;
    }
    ::umount2((base + "/bound").c_str(), MNT_DETACH);
  }
  cHeldFolder made;
  std::vector<std::string> folders;
  ASSERT_TRUE(made.hold(base, base + "/new/deeper/f", &folders));
  EXPECT_EQ(folders, (std::vector<std::string>{base + "/new", base + "/new/deeper"}));
  EXPECT_EQ(made.leaf(), "f");
  EXPECT_FALSE(made.hold(base, base + "/up/x/f", &folders)) << "nothing is made through a link";
  EXPECT_FALSE(fs::exists(dir.file("x")));
}

TEST(WaitDraining, ReadsAsFastAsTheChildWritesAndNeverTakesAnUnseenEndForSuccess) {
  const struct {
    const char* line;
    bool sigchldIgnored;
    int status;
  } cases[] = {
      {"sh -c \"exit 3\"", false, 3},
      {"sh -c \"head -c 100000000 /dev/zero; head -c 100000000 /dev/zero >&2\"", false, 0},
      {"sh -c \"exit 0\"", true, -1},
  };
  for (const auto& c : cases) {
    struct sigaction chld = {}, saved;
    chld.sa_handler = c.sigchldIgnored ? SIG_IGN : SIG_DFL;
    sigaction(SIGCHLD, &chld, &saved);
    cConProcess process;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(process.startProcess(c.line));
    EXPECT_EQ(waitDraining(process), c.status) << c.line;
    // 200 MB through a pipe take a second or two even on a loaded machine;
    // napping whenever the pipe is empty took minutes.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << c.line;
    sigaction(SIGCHLD, &saved, nullptr);
  }
}

TEST(SoftUninstallerPanel, RunsEachSelectedCommandAndKeepsWhatFailed) {
  ScratchDir dir;
  auto script = [&](const char* name, const std::string& body) {
    std::string path = dir.file(name);
    writeFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return "\"" + path + "\"";
  };
  struct Case {
    std::string command;
    bool selected;
    int status;
    bool kept;
  } cases[] = {
      {script("ok", "exit 0\n"), true, 0, false},
      {script("three", "exit 3\n"), true, 3, true},
      {"\"" + dir.file("missing") + "\" uninstall", true, -1, true},
      {script("chatty", "head -c 10000000 /dev/zero\nhead -c 10000000 /dev/zero >&2\nexit 0\n"), true, 0, false},
      {script("unselected", "exit 5\n"), false, 0, true},
  };
  _List<sPackageForRemoval> list;
  for (const Case& c : cases) {
    sPackageForRemoval& p = list.add()->value;
    p.name.set(c.command.c_str());
    p.command.set(c.command.c_str());
    p.selected = c.selected;
  }
  {
    cSoftUninstallerPanel panel;
    ASSERT_TRUE(panel.startRemoval(list));
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (panel.runs() && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_FALSE(panel.runs());
  }
  auto* p = list.head;
  for (const Case& c : cases) {
    if (!c.kept) continue;
    ASSERT_TRUE(p) << c.command;
    EXPECT_EQ(std::string(p->value.command.ptr), c.command);
    EXPECT_EQ(p->value.result, c.status) << c.command;
    p = p->next;
  }
  EXPECT_FALSE(p);
  list.destroy();
  _List<sPackageForRemoval> empty;
  cSoftUninstallerPanel idle;
  EXPECT_FALSE(idle.startRemoval(empty));
}

// The installation folder is the package's while its path resolves where
// it did when made: a link the user put in its place leads the upgrade and
// the uninstall nowhere, and the user's files it reaches stay whole; a
// folder restored from a copy (new inode numbers), or one the user made
// anew at the same path, is the package's and goes; a link above the
// folder that was there from the start (a linked home) changes nothing.
TEST(Uninstall, AFolderIsThePackagesWhileItsPathResolvesWhereItDid) {
  enum eChange { eSwapped, eCopied, eRecreated, eNone };
  const struct Case {
    const char* name;
    eChange change;
  } cases[] = {{"folder swapped for a link", eSwapped},
               {"folder restored from a copy", eCopied},
               {"folder made anew by the user", eRecreated},
               {"home reached through a link", eNone}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    fs::create_directories(dir.file("real"));
    fs::create_directory_symlink(dir.file("real"), dir.file("home"));
    const std::string root = dir.file("home/Applications/app"), cfgDir = dir.file("cfg"), mine = dir.file("mywork");
    ASSERT_EQ(installVersion(root, cfgDir, sample()).job, 0);
    if (c.change == eSwapped) {
      fs::rename(root, root + ".moved");
      for (const PkgFile& f : sample().files) writeFile(mine + "/" + f.rel, "mine");
      fs::create_directory_symlink(mine, root);
    } else if (c.change == eCopied) {
      fs::copy(root, root + ".copy", fs::copy_options::recursive);
      fs::remove_all(root);
      fs::rename(root + ".copy", root);
    } else if (c.change == eRecreated) {
      fs::remove_all(root);
      writeFile(root + "/" + sample().files[2].rel, "mine");
    }
    PkgVersion next = sample();
    next.ver[1] = 1;
    for (PkgFile& f : next.files) f.bytes += " two";
    const Outcome up = installVersion(root, cfgDir, next);
    if (c.change == eRecreated) {
      // The user's file under a listed name is not the installed copy.
      EXPECT_EQ(up.init, iiReady);
      EXPECT_EQ(up.job, 0);
    } else {
      EXPECT_EQ(up.init, c.change == eSwapped ? iiForeignFile : iiReady);
    }
    Host host;
    std::vector<sKeptFile> kept;
    EXPECT_EQ(uninstallFrom(cfgDir, host, {}, &kept), c.change == eSwapped ? unRecordKept : unDone);
    if (c.change != eSwapped) {
      EXPECT_TRUE(kept.empty());
      EXPECT_FALSE(fs::exists(root));
      EXPECT_TRUE(fs::is_directory(dir.file("real/Applications")));
      continue;
    }
    EXPECT_EQ(kept.size(), sample().files.size());
    for (const sKeptFile& k : kept) EXPECT_EQ(k.reason, kKeptThroughLink) << k.path;
    for (const PkgFile& f : sample().files) {
      EXPECT_EQ(readFile(root + "/" + f.rel), "mine") << f.rel;
      EXPECT_EQ(readFile(root + ".moved/" + f.rel), f.bytes) << f.rel;
    }
  }
}

// Runs a fixed command line of the test's own making; true on status 0.
bool sh(const std::string& line) { return std::system((line + " >/dev/null 2>&1").c_str()) == 0; }

// A file system mounted anew (an image on another loop device, a memory
// file system filled again) numbers the folder's device anew: the package
// in it is upgraded and removed all the same. Mounting takes root and loop
// devices.
TEST(Uninstall, AFolderOnAFileSystemMountedAnewIsStillThePackages) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a file system takes root";
  keepMountsPrivate();
  ScratchDir dir;
  const std::string image = dir.file("fs.img"), mnt = dir.file("mnt"), saved = dir.file("saved");
  const std::string root = mnt + "/app", cfgDir = dir.file("cfg");
  fs::create_directories(mnt);
  for (const bool loop : {true, false}) {
    SCOPED_TRACE(loop ? "an image on another loop device" : "a memory file system filled again");
    std::string first, second;
    // Whatever the test ends with, nothing stays mounted or attached.
    struct Unmount {
      const std::string& mnt;
      const std::string &first, &second;
      ~Unmount() {
        while (sh("umount " + mnt)) {
        }
        for (const std::string& dev : {first, second})
          if (!dev.empty()) sh("losetup -d " + dev);
      }
    } unmount{mnt, first, second};
    if (loop) {
      if (!sh("truncate -s 16M " + image) || !sh("mkfs.ext4 -q -F " + image)) GTEST_SKIP() << "no mkfs.ext4";
      // The image on two loop devices: mounted through the second, the
      // same inodes get another device number.
      for (std::string* dev : {&first, &second}) {
        FILE* p = ::popen(("losetup -f --show " + image + " 2>/dev/null").c_str(), "r");
        char line[256] = {};
        if (p && std::fgets(line, sizeof line, p)) *dev = std::string(line, std::strcspn(line, "\n"));
        if (p) ::pclose(p);
      }
      if (first.empty() || second.empty() || !sh("mount " + first + " " + mnt))
        GTEST_SKIP() << kCannotMount << ": no loop device";
    } else if (!sh("mount -t tmpfs zvktest " + mnt)) {
      GTEST_SKIP() << kCannotMount << ": no memory file system";
    }
    ASSERT_EQ(installVersion(root, cfgDir, sample()).job, 0);
    struct stat before {}, after {};
    ::stat(root.c_str(), &before);
    if (loop) {
      EXPECT_TRUE(sh("umount " + mnt) && sh("mount " + second + " " + mnt));
    } else {
      fs::copy(root, saved, fs::copy_options::recursive);
      // Mounted over the first, so the freed number is not handed back.
      EXPECT_TRUE(sh("mount -t tmpfs zvktest " + mnt));
      fs::copy(saved, root, fs::copy_options::recursive);
    }
    ::stat(root.c_str(), &after);
    EXPECT_NE(before.st_dev, after.st_dev);
    PkgVersion next = sample();
    next.ver[1] = 1;
    for (PkgFile& f : next.files) f.bytes += " two";
    const Outcome up = installVersion(root, cfgDir, next);
    EXPECT_EQ(up.init, iiReady);
    EXPECT_EQ(up.job, 0);
    Host host;
    EXPECT_EQ(uninstallFrom(cfgDir, host), unDone);
    EXPECT_FALSE(fs::exists(root));
  }
}

// A killed upgrade made some of its side files; the names it left free
// are the user's to take. The next upgrade and the next uninstall take
// only files the record names with the identity of the file made.
TEST(Uninstall, SideNamesTheUserTookAfterAKilledUpgradeStayTheirs) {
  for (const bool upgradeAgain : {true, false}) {
    SCOPED_TRACE(upgradeAgain ? "the upgrade run again" : "an uninstall");
    Installed pkg;
    PkgVersion next = sample();
    next.ver[1] = 1;
    for (PkgFile& f : next.files) f.bytes += " two";
    // Killed while the second file is unpacked.
    pid_t child = fork();
    if (child == 0) {
      TestHost host;
      host.atStage = [](int s) {
        if (s == 2) _exit(0);
      };
      installVersion(pkg.root, pkg.cfgDir, next, host);
      _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::vector<std::string> users;
    for (const char* name : {"share/doc/readme.txt.bkp", "share/doc/readme.txt.tmp", "share/doc/readme.txt.bkp.tmp",
                             "bin/run.bkp", "lib/deep/data.bin.bkp"}) {
      if (fs::exists(pkg.root + "/" + name)) continue;
      users.push_back(pkg.root + "/" + name);
      writeFile(users.back(), "the user's");
    }
    ASSERT_GE(users.size(), 4u);
    if (upgradeAgain) {
      const Outcome o = installVersion(pkg.root, pkg.cfgDir, next);
      EXPECT_EQ(o.job, 0) << o.problem;
      for (const PkgFile& f : next.files) EXPECT_EQ(readFile(pkg.root + "/" + f.rel), f.bytes) << f.rel;
    } else {
      Host host;
      EXPECT_EQ(pkg.uninstall(host), unDone);
    }
    for (const std::string& u : users) EXPECT_EQ(readFile(u), "the user's") << u;
    std::vector<std::string> left = sideFiles(pkg.root);
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = users;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected) << "the run's own side files went";
  }
}

// An uninstall whose record cannot be written removed the files all the
// same: it says so, with where the store is and why, never as an internal
// error.
TEST(Uninstall, ARecordThatCannotBeWrittenIsToldAfterTheFilesWent) {
  Installed pkg;
  cSOPKGLang::init();
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig(pkg.cfgDir.c_str()));
  sPkgUninstallContext ctx;
  ctx.id.set("sample");
  ctx.config = &cfg;
  Host host;
  host.onConfirm = [&] {
    fs::rename(pkg.cfgDir, pkg.cfgDir + ".moved");
    writeFile(pkg.cfgDir, "not a folder");
  };
  EXPECT_EQ(runUninstall(ctx, host), unRecordUnsaved);
  EXPECT_EQ(ctx.storeTrouble, pkg.cfgDir + ": " + std::strerror(ENOTDIR));
  EXPECT_FALSE(fs::exists(pkg.root));
}

// A file placed outside the folder through a link that was there before
// the first version (as a system's /bin leads into /usr/bin) is the
// package's while its path reaches the folder it was written into: it is
// upgraded and uninstalled. Once a link leads the path elsewhere, what it
// reaches is another's.
TEST(Uninstall, AnAbsoluteTargetBehindALinkThatWasAlwaysThere) {
  for (const bool relinked : {false, true}) {
    SCOPED_TRACE(relinked ? "the link now leads elsewhere" : "the same link");
    ScratchDir dir;
    fs::create_directories(dir.file("sys/usr/bin"));
    fs::create_directories(dir.file("other"));
    fs::create_directory_symlink("usr/bin", dir.file("sys/bin"));
    const std::string tool = dir.file("sys/bin/tool"), root = dir.file("app"), cfgDir = dir.file("cfg");
    const auto version = [](const std::string& bytes, unsigned int minor) {
      PkgVersion v;
      v.ver[1] = minor;
      v.files = {{"bin/run", bytes, {7, 5, 5}}, {"tool", bytes, {7, 5, 5}}};
      return v;
    };
    TestHost host;
    host.atOpen = [&](cSoftPkgScenario& s) {
      s.files.head->next->value.target.var.set("");
      s.files.head->next->value.target.rest.set(tool.c_str());
    };
    ASSERT_EQ(installVersion(root, cfgDir, version("one", 0), host).job, 0);
    EXPECT_EQ(readFile(dir.file("sys/usr/bin/tool")), "one");
    if (relinked) {
      fs::remove(dir.file("sys/bin"));
      fs::create_directory_symlink(dir.file("other"), dir.file("sys/bin"));
      writeFile(dir.file("other/tool"), "the user's");
    }
    const Outcome up = installVersion(root, cfgDir, version("two", 1), host);
    EXPECT_EQ(up.init, relinked ? iiForeignFile : iiReady) << up.problem;
    EXPECT_EQ(readFile(tool), relinked ? "the user's" : "two");
    Host uninstaller;
    std::vector<sKeptFile> kept;
    EXPECT_EQ(uninstallFrom(cfgDir, uninstaller, {}, &kept), relinked ? unRecordKept : unDone);
    EXPECT_EQ(fs::exists(tool), relinked);
    EXPECT_TRUE(fs::is_symlink(dir.file("sys/bin")));
    EXPECT_EQ(fs::exists(dir.file("sys/usr/bin/tool")), relinked) << "version 1's file is left where it was";
  }
}

// Records of the build that pinned folders by their device and inode
// numbers, links followed, in two set-ups it handled: an installation
// folder that was a link already, and a file placed in a folder reached
// through a link such as /bin. Where the numbers still match, the folder
// is the package's: it is upgraded and removed. Where they do not, its
// files are kept, and so is the record naming them.
TEST(Uninstall, ARecordThatPinnedFoldersByNumbersStillUpgradesAndUninstalls) {
  enum eSetup { eLinkedFolder, eLinkedBin };
  const struct Case {
    eSetup setup;
    bool same;     // the numbers recorded are the folder's
    bool upgrade;  // else uninstall
  } cases[] = {{eLinkedFolder, true, true},  {eLinkedFolder, true, false}, {eLinkedFolder, false, true},
               {eLinkedFolder, false, false}, {eLinkedBin, true, true},    {eLinkedBin, true, false},
               {eLinkedBin, false, true},     {eLinkedBin, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.setup) + (c.same ? " same" : " other") + (c.upgrade ? " upgrade" : " uninstall"));
    ScratchDir dir;
    fs::create_directories(dir.file("real"));
    fs::create_directories(dir.file("sys/usr/bin"));
    fs::create_directory_symlink(dir.file("real"), dir.file("linked"));
    fs::create_directory_symlink("usr/bin", dir.file("sys/bin"));
    const std::string root = c.setup == eLinkedFolder ? dir.file("linked") : dir.file("app");
    const std::string tool = dir.file("sys/bin/tool"), cfgDir = dir.file("cfg");
    const auto version = [](unsigned int minor) {
      PkgVersion v;
      v.ver[1] = minor;
      v.files = {{"bin/run", "run " + std::to_string(minor), {7, 5, 5}},
                 {"tool", "tool " + std::to_string(minor), {7, 5, 5}}};
      return v;
    };
    TestHost host;
    if (c.setup == eLinkedBin)
      host.atOpen = [&](cSoftPkgScenario& s) {
        s.files.head->next->value.target.var.set("");
        s.files.head->next->value.target.rest.set(tool.c_str());
      };
    ASSERT_EQ(installVersion(root, cfgDir, version(0), host).job, 0);
    const std::string folder = c.setup == eLinkedFolder ? root : dir.file("sys/bin");
    const std::string placed = c.setup == eLinkedFolder ? root + "/tool" : tool;
    {
      cCIAppFullConfig cfg;
      ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
      const std::string was = c.setup == eLinkedFolder ? "install/sample/path" : "install/sample/file";
      const std::string n = c.setup == eLinkedFolder ? "" : "1";
      ASSERT_TRUE(cfg.hasSection((was + "real" + n).c_str()));
      cfg.removeSection((was + "real" + n).c_str());
      struct stat st {};
      ASSERT_EQ(::stat(folder.c_str(), &st), 0);
      cfg.setParamInt64((was + "dev" + n).c_str(), static_cast<long long>(st.st_dev));
      cfg.setParamInt64((was + "ino" + n).c_str(), static_cast<long long>(st.st_ino + (c.same ? 0 : 1)));
      ASSERT_TRUE(cfg.saveConfig());
    }
    if (c.upgrade) {
      const Outcome up = installVersion(root, cfgDir, version(1), host);
      EXPECT_EQ(up.init, c.same ? iiReady : iiForeignFile) << up.problem;
      EXPECT_EQ(readFile(placed), c.same ? "tool 1" : "tool 0");
      continue;
    }
    Host uninstaller;
    std::vector<sKeptFile> kept;
    EXPECT_EQ(uninstallFrom(cfgDir, uninstaller, {}, &kept), c.same ? unDone : unRecordKept);
    EXPECT_EQ(fs::exists(placed), !c.same);
    std::vector<std::string> stay;
    for (const sKeptFile& k : kept) stay.push_back(k.path);
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
    EXPECT_EQ(cfg.hasSection("install/sample"), !c.same);
    EXPECT_EQ(readFileList(&cfg, "install/sample"), stay);
  }
}

// A link swapped in above a file already moved aside while the busy-file
// question is open: whatever the answer, the backup the link cuts off
// stays where it is and is named there, not where the link leads; it
// stays in the record at that place too, and a later uninstall takes it
// there.
TEST(Uninstall, ABackupALinkCutOffWhileTheQuestionIsOpenIsNamedAndKept) {
  for (const bool giveUp : {true, false}) {
    SCOPED_TRACE(giveUp ? "given up" : "retried");
    Installed pkg;
    const std::string locked = pkg.root + "/lib/deep", mine = pkg.dir.file("mywork");
    const std::string backup = pkg.root + "/bin.moved/run.bkp";
    writeFile(mine + "/run.bkp", "the user's");
    pkg.handToNobody();
    ::chmod(locked.c_str(), 0555);
    EXPECT_TRUE(asNobody([&] {
      Host host;
      host.release = [&](const char*) {
        fs::rename(pkg.root + "/bin", pkg.root + "/bin.moved");
        fs::create_directory_symlink(mine, pkg.root + "/bin");
        if (giveUp) return true;
        ::chmod(locked.c_str(), 0755);
        return false;
      };
      std::vector<sKeptFile> kept;
      const int code = pkg.uninstall(host, {}, &kept);
      // Given up, the box names it below the cancellation.
      const std::string box = cancelledText("Cancelled.", kept, nullptr);
      return code == (giveUp ? unCancelled : unRecordKept) && kept.size() == 1 && kept[0].path == backup &&
             kept[0].reason == kKeptFolderMoved && box.starts_with("Cancelled.\n" + backup + " (");
    }));
    ::chmod(locked.c_str(), 0755);
    EXPECT_EQ(readFile(backup), sample().files[0].bytes);
    EXPECT_EQ(readFile(mine + "/run.bkp"), "the user's");
    {
      cCIAppFullConfig cfg;
      ASSERT_TRUE(cfg.openConfig(pkg.cfgDir.c_str()));
      const tSideMark sides = readSideMark(&cfg, "install/sample");
      EXPECT_EQ(sides.count(pkg.root + "/bin/run.bkp"), 0u);
      ASSERT_EQ(sides.count(backup), 1u);
      EXPECT_EQ(sides.at(backup), ownIdAt(AT_FDCWD, backup));
    }
    Host host;
    std::vector<sKeptFile> kept;
    EXPECT_EQ(pkg.uninstall(host, {}, &kept), unDone);
    EXPECT_TRUE(kept.empty());
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_EQ(readFile(mine + "/run.bkp"), "the user's");
  }
}

}  // namespace

// As nobody, a folder of the package's that the user made unreadable keeps
// what lies behind it: not gone, not removed, it is named with the
// system's reason and the record keeps it, whether the file would have
// gone in place (the user's own file under its backup name) or moved
// aside; once the folder opens again, an uninstall ends the package.
TEST(Uninstall, AFolderThatDoesNotOpenKeepsWhatItHoldsListed) {
  const struct Case {
    const char* locked;
    const char* userBackup;  // the user's own file, beside the package's
  } cases[] = {{"lib", nullptr}, {"lib", "lib/deep/data.bin.bkp"}, {"lib/deep", "lib/deep/data.bin.bkp"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locked) + (c.userBackup ? " beside the user's backup" : ""));
    Installed inst;
    const std::string behind = inst.root + "/lib/deep/data.bin";
    if (c.userBackup) writeFile(inst.root + "/" + c.userBackup, "the user's");
    inst.handToNobody();
    ASSERT_EQ(::chmod((inst.root + "/" + c.locked).c_str(), 0), 0);
    EXPECT_TRUE(asNobody([&] {
      Host host;
      std::vector<sKeptFile> kept;
      const int code = inst.uninstall(host, {}, &kept);
      return code == unRecordKept && kept.size() == 1 && kept[0].path == behind && kept[0].err == EACCES &&
             inst.listed() == std::vector<std::string>{behind};
    }));
    ASSERT_EQ(::chmod((inst.root + "/" + c.locked).c_str(), 0755), 0);
    EXPECT_TRUE(fs::exists(behind));
    EXPECT_TRUE(asNobody([&] {
      Host host;
      return inst.uninstall(host) == unDone && !fs::exists(behind);
    }));
    if (c.userBackup) {
      EXPECT_EQ(readFile(inst.root + "/" + c.userBackup), "the user's");
    }
  }
}
