#include "tamsivarapp/uninstall.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "base/conproc.h"
#include "base/tests/scratch_dir.h"
#include "ciom/ciomlangs.h"
#include "install_support.h"
#include "tamsivarapp/installfiles.h"
#include "tamsivarapp/lang.h"
#include "tamsivarapp/uninstallerpanel.h"

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
             {"share/doc/readme.txt", "readme", {4, 4, 4}}};
  return v;
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
// it, the user is told which and why, and the record keeps listing only
// those until they are gone.
TEST(Uninstall, KeepsWhatMayNotBeThePackagesAndSaysSo) {
  Installed pkg;
  std::string outside = pkg.dir.file("outside.txt"), foreign = pkg.root + "/share/doc/notes.txt";
  std::string linkOut = pkg.root + "/lib/out", victim = pkg.dir.file("elsewhere/victim");
  writeFile(outside, "mine");
  writeFile(foreign, "mine too");
  writeFile(victim, "victim");
  writeFile(pkg.parent + "/dotted.txt", "dotted");
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
            unKept);
  std::vector<std::string> keptPaths;
  size_t k = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.listed);
    EXPECT_EQ(fs::exists(c.file), c.reason != 0);
    if (c.reason == 0) continue;
    keptPaths.push_back(c.listed);
    ASSERT_LT(k, kept.size());
    EXPECT_EQ(kept[k].path, c.listed);
    EXPECT_EQ(kept[k++].reason, c.reason);
  }
  EXPECT_EQ(k, kept.size());
  EXPECT_EQ(readFile(foreign), "mine too");
  EXPECT_FALSE(fs::exists(pkg.root + "/bin"));
  EXPECT_FALSE(fs::exists(pkg.root + "/share/doc/readme.txt"));
  EXPECT_TRUE(pkg.recorded());
  EXPECT_EQ(pkg.listed(), keptPaths);

  // Asked again, the same answer; once the user has dealt with the files,
  // the record goes.
  EXPECT_EQ(pkg.uninstall(host), unKept);
  EXPECT_EQ(pkg.listed(), keptPaths);
  fs::remove(victim);
  fs::remove(pkg.parent + "/dotted.txt");
  EXPECT_EQ(pkg.uninstall(host), unDone);
  EXPECT_FALSE(pkg.recorded());
}

// A kill leaves side files beside the listed ones: an uninstall's backups
// with their file gone, an upgrade's unpacked copies and backups. The next
// uninstall takes them too, and only them.
TEST(Uninstall, CompletesWhatAKilledUninstallOrUpgradeLeft) {
  // An upgrade to a second version that dies on reaching `stage`.
  const auto upgradeKilledAt = [](int stage) {
    return [stage](Installed& pkg) {
      TestHost host;
      PkgVersion v2 = sample();
      v2.ver[1] = 1;
      for (PkgFile& f : v2.files) f.bytes += "2";
      host.atStage = [stage](int s) {
        if (s == stage) _exit(0);
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
         Host host;
         // A folder in the file's place cannot be moved: the busy question,
         // when the first file is already aside.
         const std::string busy = pkg.root + "/lib/deep/data.bin", aside = pkg.dir.file("aside");
         host.onConfirm = [&] {
           fs::rename(busy, aside);
           fs::create_directory(busy);
         };
         host.release = [&](const char*) -> bool {
           fs::remove(busy);
           fs::rename(aside, busy);
           _exit(0);
         };
         pkg.uninstall(host);
       }},
      {"upgrade killed before its backups", upgradeKilledAt(4)},
      {"upgrade killed before moving new files in", upgradeKilledAt(5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installed pkg;
    const std::string stranger = pkg.root + "/bin/run.tmp.keep";
    writeFile(stranger, "not a side file of ours");
    pid_t child = fork();
    if (child == 0) {
      c.kill(pkg);
      _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_FALSE(sideFiles(pkg.root).empty());
    Host host;
    EXPECT_EQ(pkg.uninstall(host), unDone);
    std::vector<std::string> left;
    for (auto& e : fs::recursive_directory_iterator(pkg.root))
      if (!e.is_directory()) left.push_back(e.path().string());
    EXPECT_EQ(left, std::vector<std::string>{stranger});
    EXPECT_FALSE(pkg.recorded());
  }
}

// Killed at any moment, an uninstall or an upgrade leaves what the next
// uninstall finishes.
TEST(Uninstall, KilledAtRandomMomentsTheNextUninstallFinishes) {
  PkgVersion a, b;
  for (int i = 0; i < 24; ++i) {
    std::string rel = "d" + std::to_string(i % 4) + "/f" + std::to_string(i);
    a.files.push_back({rel, randomBytes(400000, static_cast<unsigned>(i)), {8, 8, 8}});
    b.files.push_back({rel, randomBytes(400000, static_cast<unsigned>(i + 100)), {8, 8, 8}});
  }
  a.ver[1] = 5;
  b.ver[0] = 2;
  for (bool upgrade : {false, true}) {
    RandomKiller killer(upgrade ? 52 : 25);
    for (int round = 0; round < 8; ++round) {
      SCOPED_TRACE(std::string(upgrade ? "upgrade" : "uninstall") + " round " + std::to_string(round));
      Installed pkg;
      ASSERT_EQ(installVersion(pkg.root, pkg.cfgDir, a).job, 0);
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
      int code = pkg.uninstall(host);
      EXPECT_TRUE(code == unDone || (code == unNotInstalled && !upgrade)) << code;
      pkg.expectGone();
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
    std::string busy = pkg.root + "/lib/deep/data.bin", aside = pkg.dir.file("aside");
    Host host;
    host.yes = c.yes;
    std::string asked;
    // A folder in the file's place cannot be moved: the busy question.
    host.onConfirm = [&] {
      fs::rename(busy, aside);
      fs::create_directory(busy);
    };
    host.release = [&](const char* path) {
      asked = path;
      if (!c.fixOnAsk) return true;
      fs::remove(busy);
      fs::rename(aside, busy);
      return false;
    };
    EXPECT_EQ(pkg.uninstall(host), c.code);
    if (c.code == unDone) {
      EXPECT_FALSE(fs::exists(pkg.root));
      continue;
    }
    if (c.yes) {
      EXPECT_EQ(asked, busy);
    }
    fs::remove(busy);
    fs::rename(aside, busy);
    pkg.expectWhole();
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
      {"read-only configuration", false, true, unInternal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installed pkg;
    for (const std::string& top : {pkg.parent, pkg.cfgDir}) {
      ::chown(top.c_str(), kNobody, kNobody);
      for (auto& e : fs::recursive_directory_iterator(top)) ::lchown(e.path().c_str(), kNobody, kNobody);
    }
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
      {free, true},          {readOnly, true},          {locked, false}, {dir.file("free/folder"), false},
      {dir.file("free/link"), false}, {dir.file("free/none"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    std::string to = c.from + ".bkp";
    bool moved = asNobody([&] { return moveFileClean(c.from.c_str(), to.c_str()); });
    EXPECT_EQ(moved, c.moves);
    EXPECT_EQ(fs::exists(fs::symlink_status(to)), c.moves);
  }
}

TEST(OwnedBy, OnlyPathsInsideTheFolderWithoutLinksOut) {
  ScratchDir dir;
  std::string base = dir.file("app");
  fs::create_directories(base + "/sub");
  fs::create_directories(dir.file("app2"));
  fs::create_directory_symlink(dir.root, base + "/up");
  fs::create_directory_symlink(base + "/sub", base + "/inner");
  struct Case {
    std::string path;
    bool owned;
  } cases[] = {
      {base + "/sub/f", true},       {base + "/f", true},          {base + "/inner/f", true},
      {dir.file("app2/f"), false},   {base + "/../f", false},      {base + "/up/f", false},
      {base + "/./sub/f", false},    {base, false},                {"sub/f", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ownedBy(c.path, base), c.owned) << c.path;
  EXPECT_TRUE(ownedBy(base + "/sub/f", base + "/"));
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

}  // namespace
