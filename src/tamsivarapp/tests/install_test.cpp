#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <set>

#include "base/tests/scratch_dir.h"
#include "install_support.h"
#include "support/childtext.h"
#include "tamsivarapp/installfiles.h"
#include "tamsivarapp/installrecord.h"
#include "tamsivarapp/jobpanel.h"

namespace fs = std::filesystem;

namespace {

PkgVersion v1() {
  PkgVersion v;
  v.files = {{"bin/run", "#!/bin/sh\necho one\n", {7, 5, 5}},
             {"lib/deep/data.bin", randomBytes(200000, 1), {7, 5, 8}},
             {"gone/old.txt", "dropped later", {8, 8, 8}},
             {"readme.txt", "read me", {8, 8, 8}}};
  return v;
}

PkgVersion v2() {
  PkgVersion v = v1();
  v.ver[1] = 1;
  v.files[0].bytes = "#!/bin/sh\necho two\n";
  v.files.erase(v.files.begin() + 2);
  v.files.push_back({"share/new/added.txt", "added", {8, 8, 8}});
  return v;
}

// The record lists exactly the version's files, under its version.
void expectRecord(const std::string& cfgDir, const PkgVersion& v) {
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
  unsigned long long ver = 0, files = 0;
  EXPECT_TRUE(cfg.getParamInt("install/sample/ver", ver));
  EXPECT_EQ(ver, (static_cast<unsigned long long>(v.ver[0]) << 48) | (static_cast<unsigned long long>(v.ver[1]) << 32));
  EXPECT_TRUE(cfg.getParamInt("install/sample/files", files));
  EXPECT_EQ(files, v.files.size());
  _guardchar<char> beyond;
  EXPECT_FALSE(cfg.getParamStr(("install/sample/file" + std::to_string(v.files.size())).c_str(), beyond));
}

void expectInstalled(const std::string& root, const std::string& cfgDir, const PkgVersion& v) {
  std::set<std::string> expected, found;
  for (const PkgFile& f : v.files) {
    EXPECT_EQ(readFile(root + "/" + f.rel), f.bytes) << f.rel;
    expected.insert(root + "/" + f.rel);
  }
  for (auto& e : fs::recursive_directory_iterator(root))
    if (!e.is_directory()) found.insert(e.path().string());
  EXPECT_EQ(found, expected);
  expectRecord(cfgDir, v);
}

// Runs `work` as the unprivileged owner of the files when we are root, for
// whom no permission would hold; any other user is such an owner already.
Outcome asOwner(bool owner, const std::function<Outcome()>& work) {
  if (!owner || geteuid() != 0) return work();
  const std::string text = textFromChild([&] {
    Outcome o;
    if (setresgid(65534, 65534, 65534) == 0 && setresuid(65534, 65534, 65534) == 0) o = work();
    return std::to_string(o.init) + " " + std::to_string(o.job) + " " + std::to_string(o.result) + " " + o.problem;
  });
  Outcome o;
  std::istringstream in(text);
  in >> o.init >> o.job >> o.result;
  in.get();
  std::getline(in, o.problem);
  return o;
}

// Names `sides` in the record as a killed run of the installer leaves them.
void markLeftBy(const std::string& cfgDir, const std::set<std::string>& sides) {
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
  writeSideMark(&cfg, "install/sample", asMade(sides));
  ASSERT_TRUE(cfg.saveConfig());
  // The store stays its owner's, who may be another user than we are.
  struct stat st;
  if (::stat(cfgDir.c_str(), &st) == 0)
    for (auto& e : fs::recursive_directory_iterator(cfgDir)) ::lchown(e.path().c_str(), st.st_uid, st.st_gid);
}

std::map<std::string, FileId> ids(const std::string& root) {
  std::map<std::string, FileId> out;
  for (auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) out[e.path().string()] = fileId(e.path().string());
  return out;
}

TEST(InstallerJob, RoadsThroughVersionsLeaveExactlyTheNewFilesAndRecord) {
  ScratchDir dir;
  std::string root = dir.file("app"), cfgDir = dir.file("cfg");
  PkgVersion same2 = v2();
  same2.ver[1] = 2;
  PkgVersion older = v1();

  Outcome fresh = installVersion(root, cfgDir, v1());
  ASSERT_EQ(fresh.init, 0) << fresh.problem;
  ASSERT_EQ(fresh.job, 0) << fresh.problem;
  expectInstalled(root, cfgDir, v1());
  EXPECT_EQ(fs::status(root + "/bin/run").permissions(), fs::perms(0755));
  EXPECT_EQ(fs::status(root + "/lib/deep/data.bin").permissions(), fs::perms(0754)) << "digit 8 takes 0664's";
  EXPECT_EQ(fs::status(root + "/readme.txt").permissions(), fs::perms(0664));

  auto before = ids(root);
  EXPECT_EQ(installVersion(root, cfgDir, v1()).init, iiNothingToDo);
  EXPECT_EQ(ids(root), before) << "an equal version touches no file";

  Outcome up = installVersion(root, cfgDir, v2());
  ASSERT_EQ(up.job, 0) << up.problem;
  expectInstalled(root, cfgDir, v2());
  auto after = ids(root);
  EXPECT_NE(after[root + "/bin/run"].ino, before[root + "/bin/run"].ino);
  EXPECT_EQ(after[root + "/lib/deep/data.bin"], before[root + "/lib/deep/data.bin"]);
  EXPECT_FALSE(fs::exists(root + "/gone")) << "the emptied folder goes with the dropped file";

  Outcome identical = installVersion(root, cfgDir, same2);
  ASSERT_EQ(identical.init, 0);
  ASSERT_EQ(identical.job, 0);
  expectInstalled(root, cfgDir, same2);
  EXPECT_EQ(ids(root), after) << "identical files under a higher version are not written";

  EXPECT_EQ(installVersion(root, cfgDir, older).init, iiNewerInstalled);
  expectInstalled(root, cfgDir, same2);
}

// More files than are made at once, each filled after all are named: as a
// user for whom permissions hold, under a umask that takes even the
// owner's writing away, every file gets its bytes and then the mode the
// package gives, read-only ones included.
TEST(InstallerJob, ManyFilesGetTheirBytesAndModesWhateverTheUmask) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to become nobody";
  struct Case {
    mode_t umask;
    unsigned char perms[3];
    fs::perms mode;
  } cases[] = {{0277, {4, 4, 4}, fs::perms(0444)}, {0077, {6, 4, 0}, fs::perms(0640)},
               {0022, {4, 0, 0}, fs::perms(0400)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "umask 0" << std::oct << c.umask);
    ScratchDir dir;
    // Folders the run would make take the umask too: the folder is there.
    const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
    for (const std::string& p : {dir.root, root, cfgDir}) {
      fs::create_directories(p);
      ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0);
    }
    PkgVersion v;
    for (int i = 0; i < 150; ++i) {
      // Appended rather than added to a literal, which -O3 misreads as an overlap.
      std::string name = "f";
      name += std::to_string(i);
      v.files.push_back({name, randomBytes(3000, static_cast<unsigned>(i))});
      std::copy(std::begin(c.perms), std::end(c.perms), v.files.back().perms);
    }
    const pid_t child = fork();
    if (child == 0) {
      ::umask(c.umask);
      if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) _exit(99);
      _exit(installVersion(root, cfgDir, v).job);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    expectInstalled(root, cfgDir, v);
    for (const PkgFile& f : v.files) EXPECT_EQ(fs::status(root + "/" + f.rel).permissions(), c.mode) << f.rel;
  }
}

TEST(InstallerJob, AnUpgradeNamesALinkInTheFolderThatLeadsOut) {
  ScratchDir dir;
  const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
  ASSERT_EQ(installVersion(root, cfgDir, v1()).job, 0);
  fs::remove_all(root + "/lib");
  fs::create_directory_symlink(dir.root, root + "/lib");
  const Outcome up = installVersion(root, cfgDir, v2());
  EXPECT_EQ(up.init, iiSpecialObject);
  EXPECT_EQ(up.problem, root + "/lib");
}

TEST(InstallerJob, APackageThatPlacesNoFileFailsAndRecordsNothing) {
  ScratchDir dir;
  cCIAppFullConfig cfg;
  cfg.openConfig(dir.file("cfg").c_str());
  sPkgInstallContext ctx;
  ctx.scenario = buildScenario(dir.file("nowhere"), PkgVersion{});
  ctx.codename.set("sample");
  ctx.recordName.set("sample");
  TestHost host;
  EXPECT_EQ(runInstallerJob(ctx, host, &cfg), 1);
  EXPECT_EQ(ctx.result, irItemUnreadable);
  unsigned long long files = 0;
  EXPECT_FALSE(cfg.getParamInt("install/sample/files", files));
}

TEST(InstallerJob, RecordHoldsTheKeysLaterRunsRead) {
  ScratchDir dir;
  std::string root = dir.file("app"), cfgDir = dir.file("cfg");
  ASSERT_EQ(installVersion(root, cfgDir, v1()).job, 0);
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
  _guardchar<char> text;
  struct Case {
    const char* key;
    std::string value;
  } cases[] = {{"install/sample/path", root},
               {"install/sample/name", "Sample"},
               {"install/sample/file0", root + "/bin/run"},
               {"install/sample/file3", root + "/readme.txt"}};
  for (const Case& c : cases) {
    ASSERT_TRUE(cfg.getParamStr(c.key, text)) << c.key;
    EXPECT_STREQ(text.ptr, c.value.c_str()) << c.key;
  }
  unsigned long long n = 0;
  EXPECT_TRUE(cfg.getParamInt("install/sample/utime", n));
  EXPECT_TRUE(cfg.getParamInt("install/sample/shortc", n));
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(cfg.getParamStr("install/sample/icon", text)) << "no icon, no key";
}

std::string cfgOf(const std::string& root) { return fs::path(root).parent_path().string() + "/cfg"; }

// Each case damages the installation of v1 in its own way, then installs
// v2: the leftovers of an interrupted run are settled, and a failure leaves
// v1 as it was. The owner's cases need permissions that hold, so they run as
// nobody when we are root.
TEST(InstallerJob, LeftoversAreRepairedAndFailuresPutTheOldFilesBack) {
  struct Case {
    const char* name;
    // Side files it leaves are named in the record as the run that made them
    // named them.
    std::function<void(const std::string& root, TestHost& host)> damage;
    int job;
    int result;
    const char* problem;
    bool owner = false;
  } cases[] = {
      {"backup over a missing target",
       [](const std::string& root, TestHost&) {
         fs::rename(root + "/bin/run", root + "/bin/run.bkp");
         markLeftBy(cfgOf(root), {root + "/bin/run.bkp"});
       },
       0, 0, ""},
      {"backup over the same file",
       [](const std::string& root, TestHost&) {
         fs::create_hard_link(root + "/bin/run", root + "/bin/run.bkp");
         markLeftBy(cfgOf(root), {root + "/bin/run.bkp"});
       },
       0, 0, ""},
      {"stale copy",
       [](const std::string& root, TestHost&) {
         writeFile(root + "/bin/run.tmp", "half");
         markLeftBy(cfgOf(root), {root + "/bin/run.tmp"});
       },
       0, 0, ""},
      {"folder at a copy",
       [](const std::string& root, TestHost&) {
         fs::create_directories(root + "/readme.txt.tmp/x");
         markLeftBy(cfgOf(root), {root + "/readme.txt.tmp"});
       },
       1, irObstacle, "/readme.txt.tmp"},
      {"stopped while unpacking", [](const std::string&, TestHost& host) { host.stopAfter = 1; }, 1, irStopped,
       ""},
      {"a copy appears after the repairs",
       [](const std::string& root, TestHost& host) {
         host.atStage = [root](int s) {
           if (s == 1) fs::create_directories(root + "/bin/run.tmp");
         };
       },
       1, irCannotCreate, "/bin/run.tmp"},
      {"the copy cannot be written (file size limit)",
       [](const std::string&, TestHost& host) {
         host.atStage = [](int s) {
           rlimit tiny = {4, RLIM_INFINITY};
           if (s == 1) setrlimit(RLIMIT_FSIZE, &tiny);
         };
       },
       1, irWriteFailed, "/bin/run.tmp"},
      {"target becomes a folder before the backups",
       [](const std::string& root, TestHost& host) {
         host.atStage = [root](int s) {
           if (s == 2) {
             fs::remove(root + "/share/new/added.txt");
             fs::create_directories(root + "/share/new/added.txt/in");
           }
         };
       },
       1, irObstacle, "/share/new/added.txt"},
      {"apply fails after the first file",
       [](const std::string& root, TestHost& host) {
         host.atStage = [root](int s) {
           if (s == 4) fs::create_directories(root + "/share/new/added.txt/in");
         };
       },
       1, irCannotApply, "/share/new/added.txt"},
      {"an item whose stream breaks off halfway",
       [](const std::string&, TestHost& host) {
         host.atOpen = [](cSoftPkgScenario& s) {
           const std::string bytes = randomBytes(200000, 9);
           cMemIOTarget src;
           src.fromBuffer(bytes.data(), static_cast<long long>(bytes.size()));
           s.files.head->value.index = static_cast<unsigned int>(s.pkg.addPkgItem(&src, true));
           auto* last = s.pkg.items.head;
           while (last->next) last = last->next;
           last->value.data.count /= 2;
         };
       },
       1, irReadFailed, "/bin/run.tmp"},
      {"stale copy in a folder made read-only",
       [](const std::string& root, TestHost& host) {
         writeFile(root + "/bin/run.tmp", "half");
         markLeftBy(cfgOf(root), {root + "/bin/run.tmp"});
         host.atStage = [root](int s) {
           if (s == 0) chmod((root + "/bin").c_str(), 0555);
         };
       },
       1, irStaleSideFile, "/bin/run.tmp", true},
      {"no backup in a folder made read-only, the user gives up",
       [](const std::string& root, TestHost& host) {
         host.atStage = [root](int s) {
           if (s == 3) chmod((root + "/bin").c_str(), 0555);  // after the two unpack stages
         };
       },
       1, irBackupGivenUp, "/bin/run.bkp", true},
  };
  rlimit fileSize;
  getrlimit(RLIMIT_FSIZE, &fileSize);
  signal(SIGXFSZ, SIG_IGN);
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    if (c.owner) chown(dir.root.c_str(), 65534, 65534);
    std::string root = dir.file("app"), cfgDir = dir.file("cfg");
    auto install = [&](const PkgVersion& v, TestHost& host) {
      return asOwner(c.owner, [&] { return installVersion(root, cfgDir, v, host); });
    };
    TestHost plain;
    ASSERT_EQ(install(v1(), plain).job, 0);
    TestHost host;
    c.damage(root, host);
    Outcome o = install(v2(), host);
    setrlimit(RLIMIT_FSIZE, &fileSize);
    EXPECT_EQ(o.init, 0);
    EXPECT_EQ(o.job, c.job);
    EXPECT_EQ(o.result, c.result);
    if (*c.problem) {
      EXPECT_EQ(o.problem, root + c.problem);
    }
    if (c.job == 0) {
      expectInstalled(root, cfgDir, v2());
      continue;
    }
    for (const PkgFile& f : v1().files) EXPECT_EQ(readFile(root + "/" + f.rel), f.bytes) << f.rel;
    // Where no file may grow, the record cannot be put back either.
    if (c.result != irWriteFailed) expectRecord(cfgDir, v1());
    for (const std::string& s : sideFiles(root))
      EXPECT_TRUE(c.owner || fs::is_directory(s)) << "only the planted obstacle may stay: " << s;
    chmod((root + "/bin").c_str(), 0755);
    std::error_code ec;
    for (const std::string& s : sideFiles(root)) fs::remove_all(s, ec);
    fs::remove_all(root + "/share/new/added.txt", ec);
    Outcome again = install(v2(), plain);
    EXPECT_EQ(again.job, 0) << again.problem;
    expectInstalled(root, cfgDir, v2());
  }
}

// A kill at any moment leaves every target with its old or its new bytes
// and the record old or new; the next run finishes the upgrade.
TEST(InstallerJob, KilledAtRandomMomentsLeavesOldOrNewAndTheNextRunRepairs) {
  PkgVersion a, b;
  for (int i = 0; i < 24; ++i) {
    const std::string rel = std::string("d") + std::to_string(i % 4) + "/f" + std::to_string(i);
    a.files.push_back({rel, randomBytes(400000, static_cast<unsigned>(i)), {8, 8, 8}});
    // The new version drops a few files, which must not outlive a kill.
    if (i % 6 != 5) b.files.push_back({rel, randomBytes(400000, static_cast<unsigned>(i + 100)), {8, 8, 8}});
  }
  b.ver[0] = 2;
  {
    // The narrowest moment: the new record saved, nothing cleaned up yet.
    ScratchDir dir;
    std::string root = dir.file("app"), cfgDir = dir.file("cfg");
    ASSERT_EQ(installVersion(root, cfgDir, a).job, 0);
    pid_t child = fork();
    if (child == 0) {
      TestHost host;
      host.atLastStage = [] { _exit(0); };
      installVersion(root, cfgDir, b, host);
      _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    Outcome again = installVersion(root, cfgDir, b);
    EXPECT_TRUE(again.init == iiNothingToDo || again.job == 0) << again.init << " " << again.problem;
    expectInstalled(root, cfgDir, b);
  }
  RandomKiller killer(27);
  for (int round = 0; round < 11; ++round) {
    ScratchDir dir;
    std::string root = dir.file("app"), cfgDir = dir.file("cfg");
    ASSERT_EQ(installVersion(root, cfgDir, a).job, 0);
    // The first round measures the run the others interrupt.
    ASSERT_TRUE(killer.run([&] { return installVersion(root, cfgDir, b).job; }));
    if (round == 0) continue;
    for (const PkgFile& old : a.files) {
      auto now = std::find_if(b.files.begin(), b.files.end(), [&](const PkgFile& f) { return f.rel == old.rel; });
      if (now == b.files.end()) continue;
      std::string bytes = readFile(root + "/" + old.rel);
      EXPECT_TRUE(bytes == old.bytes || bytes == now->bytes) << "round " << round << " " << old.rel;
    }
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
    unsigned long long ver = 0;
    EXPECT_TRUE(cfg.getParamInt("install/sample/ver", ver));
    EXPECT_TRUE(ver == a.ver[0] * (1ULL << 48) || ver == b.ver[0] * (1ULL << 48)) << ver;
    Outcome again = installVersion(root, cfgDir, b);
    EXPECT_TRUE(again.init == iiNothingToDo || again.job == 0) << again.init << " " << again.problem;
    expectInstalled(root, cfgDir, b);
  }
}

// A package of more files than one batch makes: the bar's fill stages
// follow the batches, so the second file is filled while later ones are
// not made yet, rather than after every file was made.
TEST(InstallerJob, FillingFollowsEachBatchOfFilesMade) {
  PkgVersion v;
  for (int i = 0; i < 700; ++i) {
    // Appended piece by piece: g++ -O3 takes a chain of + for an overlap.
    std::string rel = "d";
    rel += std::to_string(i % 7);
    rel += "/f";
    rel += std::to_string(i);
    v.files.push_back({rel, "x"});
  }
  ScratchDir dir;
  const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
  TestHost host;
  size_t sidesAtSecondFill = 0;
  host.atStage = [&](int s) {
    if (s == 2) sidesAtSecondFill = sideFiles(root).size();
  };
  ASSERT_EQ(installVersion(root, cfgDir, v, host).job, 0);
  expectInstalled(root, cfgDir, v);
  EXPECT_GT(sidesAtSecondFill, 0u);
  EXPECT_LT(sidesAtSecondFill, v.files.size());
}

// The wizard's abort question, asked at a chosen report of each phase up
// to the record of the new version: the run waits for the answer without
// a step, and Yes puts the old version back at once.
TEST(InstallerJob, TheAbortQuestionHoldsEachPhaseAndYesUndoesAtOnce) {
  PkgVersion a, b;
  for (int i = 0; i < 40; ++i) {
    const std::string rel = std::string("d") + std::to_string(i % 4) + "/f" + std::to_string(i);
    a.files.push_back({rel, randomBytes(100000, static_cast<unsigned>(i))});
    b.files.push_back({rel, randomBytes(100000, static_cast<unsigned>(i + 100))});
  }
  b.files.push_back({"d9/new", "new"});
  b.ver[0] = 2;
  const int n = static_cast<int>(b.files.size());
  const struct {
    const char* phase;
    int stage;
    int report;
  } cases[] = {{"make", 0, 5}, {"fill", 3, 1}, {"backup", n + 1, 3},
               {"apply", n + 2, 3}, {"before the record", n + 2, n + 1}};
  struct Panel : cJobPanel {
    std::function<void()> work;
    int job() override { return work(), 0; }
    void onJobEnd(unsigned long) override {}
  };
  // Reports to the panel as the installer's does, and asks at the chosen one.
  struct Asking : TestHost {
    Panel& panel;
    int stage = 0, askAt = 0, askStage = 0, seen = 0;
    std::atomic<int> reports{0};
    std::atomic<bool> asked{false};
    explicit Asking(Panel& p) : panel(p) {}
    void notifyStage(int s) override { panel.notifyStage(stage = s); }
    bool notifyProgress(double percent) override {
      ++reports;
      if (stage == askStage && ++seen == askAt) {
        panel.hold();
        asked = true;
      }
      return panel.notifyProgress(percent);
    }
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.phase);
    ScratchDir dir;
    const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
    ASSERT_EQ(installVersion(root, cfgDir, a).job, 0);
    Panel panel;
    panel.setNumStages(n + 4);
    Asking host(panel);
    host.askStage = c.stage;
    host.askAt = c.report;
    Outcome o;
    panel.work = [&] { o = installVersion(root, cfgDir, b, host); };
    ASSERT_TRUE(panel.start());
    while (!host.asked && panel.runs()) sched_yield();
    if (!host.asked) {
      ADD_FAILURE() << "the run ended without asking";
      continue;
    }
    const int reports = host.reports;
    const auto files = ids(root);
    usleep(300000);
    EXPECT_EQ(host.reports, reports);
    EXPECT_EQ(ids(root), files) << "nothing changes while the question is open";
    panel.stop();
    panel.release();
    const auto answered = std::chrono::steady_clock::now();
    while (panel.runs()) sched_yield();
    EXPECT_LT(std::chrono::steady_clock::now() - answered, std::chrono::seconds(1));
    EXPECT_EQ(o.result, irStopped);
    for (const PkgFile& f : a.files) EXPECT_EQ(readFile(root + "/" + f.rel), f.bytes) << f.rel;
    EXPECT_FALSE(fs::exists(root + "/d9"));
    EXPECT_TRUE(sideFiles(root).empty());
    expectRecord(cfgDir, a);
  }
}

// Killed while the files the new version dropped are being removed, or
// after, before the record lists the rest: the record, of the new version,
// still names the dropped files, or marks them by identity, and the next
// run of that version leaves it naming exactly the version's own, whatever
// of them is left, and the folder it emptied gone.
TEST(InstallerJob, KilledWhileDroppedFilesGoTheNextRunNamesOnlyTheVersionsFiles) {
  const PkgVersion a = v1(), b = v2();
  for (const auto& [allGone, marked] : {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
    SCOPED_TRACE(std::to_string(allGone) + " marked " + std::to_string(marked));
    ScratchDir dir;
    const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
    PkgVersion both = a;
    both.files.push_back(b.files.back());
    both.files.push_back({"gone/other.txt", "dropped too", {8, 8, 8}});
    ASSERT_EQ(installVersion(root, cfgDir, both).job, 0);
    ASSERT_EQ(installVersion(root, cfgDir, b).job, 0);
    std::vector<std::string> listed;
    for (const PkgFile& f : b.files) listed.push_back(root + "/" + f.rel);
    listed.push_back(root + "/gone/old.txt");
    listed.push_back(root + "/gone/other.txt");
    if (allGone)
      fs::create_directories(root + "/gone");
    else
      writeFile(root + "/gone/other.txt", "dropped too");
    {
      cCIAppFullConfig cfg;
      ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
      if (marked) {
        // Killed after the file went, the run left its mark alone.
        const std::string other = root + "/gone/other.txt";
        if (allGone) writeFile(other, "dropped too");
        listed.resize(b.files.size());
        writeSideMark(&cfg, "install/sample", {{other, ownIdAt(AT_FDCWD, other)}});
        if (allGone) fs::remove(other);
      }
      writeFileList(&cfg, "install/sample", listed);
      ASSERT_TRUE(cfg.saveConfig());
    }
    Outcome again = installVersion(root, cfgDir, b);
    EXPECT_EQ(again.init, 0) << again.problem;
    EXPECT_EQ(again.job, 0) << again.problem;
    expectInstalled(root, cfgDir, b);
    {
      cCIAppFullConfig cfg;
      ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
      EXPECT_TRUE(readSideMark(&cfg, "install/sample").empty());
    }
    // A folder the run emptied goes; one standing empty where the files
    // were gone already may be the user's, made again.
    EXPECT_EQ(fs::exists(root + "/gone"), allGone);
  }
}

// Runs killed once their side files are made and named, each under the
// names the one before left: every side file there is the one the saved
// record names with its identity, batch after batch, and the next run
// takes them all.
TEST(InstallerJob, RunsKilledAfterManyFilesAreMadeLeaveEachNamedInTheRecord) {
  ScratchDir dir;
  const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
  PkgVersion v;
  for (int i = 0; i < 150; ++i) {
    std::string name = "d";
    name += std::to_string(i % 3);
    name += "/f";
    name += std::to_string(i);
    v.files.push_back({name, randomBytes(2000, static_cast<unsigned>(i))});
  }
  for (int kill = 0; kill < 2; ++kill) {
    SCOPED_TRACE(kill);
    const pid_t child = fork();
    if (child == 0) {
      TestHost host;
      // Before the second file is filled, every file made and named.
      host.atStage = [](int s) {
        if (s == 2) _exit(0);
      };
      installVersion(root, cfgDir, v, host);
      _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::vector<std::string> left = sideFiles(root);
    EXPECT_EQ(left.size(), v.files.size());
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
    const tSideMark marked = readSideMark(&cfg, "install/sample");
    for (const std::string& side : left) {
      ASSERT_TRUE(marked.count(side)) << side;
      EXPECT_EQ(marked.at(side), ownIdAt(AT_FDCWD, side)) << side;
    }
  }
  EXPECT_EQ(installVersion(root, cfgDir, v).job, 0);
  expectInstalled(root, cfgDir, v);
}

// Under a low limit of open files a run makes its new files in as many
// batches as fit and succeeds, also where a batch overruns what it counted
// on; below that it fails with a clear reason before the old version is
// touched, and leaves nothing behind.
// Descriptors a caller left open, then exactly `room` numbers free below
// the limit of open files.
bool leaveFree(const std::string& cfgDir, int room) {
  // The sanitizers open descriptors of their own the first time they check
  // a type: the store is read once while there are some.
  cCIAppConfig().openConfig(cfgDir.c_str());
  for (int i = 0; i < 6; ++i)
    if (open("/dev/null", O_RDONLY | O_CLOEXEC) < 0) return false;
  int limit = 0;
  for (int free = 0; fcntl(limit, F_GETFD) >= 0 || free++ < room;) ++limit;
  rlimit low{};
  getrlimit(RLIMIT_NOFILE, &low);
  low.rlim_cur = static_cast<rlim_t>(limit);
  return setrlimit(RLIMIT_NOFILE, &low) == 0;
}

TEST(InstallerJob, ALowLimitOfOpenFilesTakesMoreBatchesOrFailsLosingNothing) {
  PkgVersion many = v2();
  for (int i = 0; i < 150; ++i) {
    std::string name = "many/";
    name += std::to_string(i % 50);
    name += "/f";
    name += std::to_string(i);
    many.files.push_back({name, randomBytes(100, static_cast<unsigned>(i))});
  }
  int firstRoom = -1;
  // Descriptors left beyond those open: each count until the first that
  // suffices, then counts whose batches overrun by the folders held.
  for (int room = 1; room < 300; room = firstRoom < 0 ? room + 1 : room + 60) {
    SCOPED_TRACE(room);
    ScratchDir dir;
    const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
    ASSERT_EQ(installVersion(root, cfgDir, v1()).job, 0);
    const std::string text = textFromChild([&] {
      if (!leaveFree(cfgDir, room)) return std::string("none left open");
      const Outcome o = installVersion(root, cfgDir, many);
      return std::to_string(o.job) + " " + std::to_string(o.result);
    });
    if (text == "0 0") {
      if (firstRoom < 0) firstRoom = room;
      expectInstalled(root, cfgDir, many);
      continue;
    }
    ASSERT_LT(firstRoom, 0) << text;
    // With the package's lock taking the last descriptor, the files
    // compared fail to open before the job starts.
    EXPECT_TRUE(text == "1 " + std::to_string(irCannotCreate) || text == "1 " + std::to_string(irRecordUnsaved) ||
                text == "-1 -1")
        << text;
    for (const PkgFile& f : v1().files) EXPECT_EQ(readFile(root + "/" + f.rel), f.bytes) << f.rel;
    expectRecord(cfgDir, v1());
    EXPECT_TRUE(sideFiles(root).empty());
    EXPECT_FALSE(fs::exists(root + "/many"));
  }
  // Far fewer than one batch of all the files would hold.
  EXPECT_GT(firstRoom, 0);
  EXPECT_LT(firstRoom, 64);
}

// The files of one folder share its descriptor, so a batch holds one more
// descriptor per file: the saves that name the batches fall as the free
// descriptors rise, and a few free ones still take the files in few saves.
TEST(InstallerJob, ABatchTakesAFileForNearlyEachFreeDescriptor) {
  struct CountingConfig : cCIAppFullConfig {
    int saves = 0;
    bool saveConfig() override {
      ++saves;
      return cCIAppFullConfig::saveConfig();
    }
  };
  constexpr int kFiles = 240;
  PkgVersion many = v1();
  for (int i = 0; i < kFiles; ++i) many.files.push_back({"one/f" + std::to_string(i), std::to_string(i)});
  for (const int room : {16, 40, 100}) {
    SCOPED_TRACE(room);
    ScratchDir dir;
    const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
    fs::create_directories(cfgDir);
    const std::string text = textFromChild([&] {
      if (!leaveFree(cfgDir, room)) return std::string("none left open");
      CountingConfig cfg;
      cfg.openConfig(cfgDir.c_str());
      TestHost host;
      const Outcome o = installWith(cfg, root, many, host);
      return std::to_string(o.job) + " " + std::to_string(cfg.saves);
    });
    ASSERT_EQ(text.substr(0, 2), "0 ") << text;
    expectInstalled(root, cfgDir, many);
    // A quarter of the free descriptors hold files, at the least, whatever
    // else the run and the save keep for themselves (the package's lock
    // one); the run's mark and its end take a save each.
    EXPECT_LE(std::stoi(text.substr(2)), kFiles * 4 / (room - 1) + 3) << text;
  }
}

// Files the package did not make stay where they are and keep their bytes:
// the user's own under the names the installer's side files take, and what
// a link swapped in after the checks leads to.
TEST(InstallerJob, NeverWritesOrTakesWhatIsNotThePackages) {
  struct Case {
    const char* name;
    // Plants what must survive; answers the files it must find unchanged.
    std::function<std::map<std::string, std::string>(const std::string& root, const std::string& outside,
                                                     TestHost& host)>
        plant;
    int job;
  } cases[] = {
      {"the user's own side files beside listed ones",
       [](const std::string& root, const std::string&, TestHost&) {
         std::map<std::string, std::string> mine = {{root + "/bin/run.bkp", "my backup"},
                                                    {root + "/bin/run.tmp", "my notes"},
                                                    {root + "/readme.txt.bkp", "mine too"},
                                                    {root + "/lib/deep/data.bin.bkp.tmp", "and this"}};
         for (const auto& [path, bytes] : mine) writeFile(path, bytes);
         return mine;
       },
       0},
      {"a folder on the way swapped for a link after the checks",
       [](const std::string& root, const std::string& outside, TestHost& host) {
         writeFile(outside + "/data.bin", "outside");
         host.atStage = [root, outside](int s) {
           if (s != 0) return;
           fs::remove_all(root + "/lib/deep");
           fs::create_directory_symlink(outside, root + "/lib/deep");
         };
         return std::map<std::string, std::string>{{outside + "/data.bin", "outside"}};
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string root = dir.file("app"), cfgDir = dir.file("cfg"), outside = dir.file("outside");
    ASSERT_EQ(installVersion(root, cfgDir, v1()).job, 0);
    TestHost host;
    PkgVersion next = v2();
    next.files[1].bytes = randomBytes(1000, 7);
    const auto kept = c.plant(root, outside, host);
    const Outcome up = installVersion(root, cfgDir, next, host);
    EXPECT_EQ(up.job, c.job) << up.problem;
    for (const auto& [path, bytes] : kept) EXPECT_EQ(readFile(path), bytes) << path;
    if (fs::exists(outside)) {
      for (auto& e : fs::recursive_directory_iterator(outside))
        EXPECT_TRUE(kept.count(e.path().string())) << "written outside: " << e.path();
    }
    if (c.job != 0) continue;
    for (const PkgFile& f : next.files) EXPECT_EQ(readFile(root + "/" + f.rel), f.bytes) << f.rel;
  }
}

// A folder moved and a link put in its place while the files are copied:
// the run fails, nothing reaches the link's folder, and the side file it
// made in the moved folder is named where it is and kept in the record
// with its identity, so that the next run takes it.
TEST(InstallerJob, ASideFileALinkCutOffIsNamedWhereItIsAndTakenLater) {
  ScratchDir dir;
  const std::string root = dir.file("app"), cfgDir = dir.file("cfg"), outside = dir.file("outside");
  ASSERT_EQ(installVersion(root, cfgDir, v1()).job, 0);
  PkgVersion next = v2();
  next.files[1].bytes = randomBytes(1000, 7);
  fs::create_directories(outside);
  TestHost host;
  // Before the second file, whose side file is made already, is filled.
  host.atStage = [&](int s) {
    if (s != 2) return;
    fs::rename(root + "/lib/deep", root + "/lib/deep.moved");
    fs::create_directory_symlink(outside, root + "/lib/deep");
  };
  const Outcome up = installVersion(root, cfgDir, next, host);
  EXPECT_EQ(up.job, 1);
  const std::string left = root + "/lib/deep.moved/data.bin.tmp";
  ASSERT_EQ(up.kept.size(), 1u);
  EXPECT_EQ(up.kept[0].path, left);
  EXPECT_EQ(up.kept[0].reason, kKeptFolderMoved);
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_EQ(readFile(root + "/lib/deep.moved/data.bin"), v1().files[1].bytes);
  {
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
    const tSideMark sides = readSideMark(&cfg, "install/sample");
    ASSERT_TRUE(sides.count(left));
    EXPECT_EQ(sides.at(left), ownIdAt(AT_FDCWD, left));
  }
  // The user takes the link away; the next upgrade takes the side file.
  fs::remove(root + "/lib/deep");
  const Outcome again = installVersion(root, cfgDir, next);
  EXPECT_FALSE(fs::exists(left)) << again.job << " " << again.init << " " << again.problem;
  EXPECT_TRUE(fs::is_empty(outside));
}

// A file the previous version placed outside the folder is replaced only
// where no link leads to it: a folder on its way swapped for a link to the
// user's files, before the checks or after them, leaves those files whole.
TEST(InstallerJob, AnUpgradeReplacesNoFileOutsideTheFolderThatALinkNowReaches) {
  for (const bool afterChecks : {false, true}) {
    SCOPED_TRACE(afterChecks ? "swapped after the checks" : "swapped before the upgrade");
    ScratchDir dir;
    const std::string root = dir.file("app"), cfgDir = dir.file("cfg"), sub = dir.file("sub"),
                      victim = dir.file("victim");
    const auto placing = [&](const char* bytes) {
      TestHost host;
      host.atOpen = [&sub, bytes](cSoftPkgScenario& s) {
        cMemIOTarget item;
        item.fromBuffer(bytes, static_cast<long long>(std::strlen(bytes)));
        auto& def = s.files.add()->value;
        def.index = static_cast<unsigned int>(s.pkg.addPkgItem(&item, false));
        def.target.rest.set((sub + "/abs.txt").c_str());
        def.for32 = def.for64 = 1;
        def.perms[0] = def.perms[1] = def.perms[2] = 6;
      };
      return host;
    };
    fs::create_directories(sub);
    TestHost first = placing("first");
    ASSERT_EQ(installVersion(root, cfgDir, v1(), first).job, 0);
    writeFile(victim + "/abs.txt", "the user's");
    const auto swap = [&] {
      fs::rename(sub, sub + ".real");
      fs::create_directory_symlink(victim, sub);
    };
    TestHost second = placing("second");
    if (afterChecks)
      second.atStage = [&swap](int s) {
        if (s == 0) swap();
      };
    else
      swap();
    const Outcome up = installVersion(root, cfgDir, v2(), second);
    EXPECT_TRUE(up.init != 0 || up.job != 0);
    EXPECT_EQ(readFile(victim + "/abs.txt"), "the user's");
    EXPECT_EQ(readFile(sub + ".real/abs.txt"), "first");
    for (auto& e : fs::directory_iterator(victim)) EXPECT_EQ(e.path().filename(), "abs.txt") << "written outside";
  }
}

// Files a new version drops go as the uninstaller takes files: never what a
// link or a ".." step leads to outside the folder; those stay listed, so
// that the uninstaller names them.
TEST(InstallerJob, DroppedFilesGoOnlyFromTheOldFolderDownThroughNoLink) {
  ScratchDir dir;
  const std::string root = dir.file("app"), cfgDir = dir.file("cfg"), outside = dir.file("outside");
  PkgVersion first = v1();
  first.files.push_back({"data/d4/x1", "x1", {8, 8, 8}});
  first.files.push_back({"data/d4/x2", "x2", {8, 8, 8}});
  ASSERT_EQ(installVersion(root, cfgDir, first).job, 0);
  writeFile(outside + "/d4/x1", "outside x1");
  writeFile(outside + "/d4/x2", "outside x2");
  writeFile(outside + "/dd.txt", "outside dd");
  fs::remove_all(root + "/data/d4");
  fs::create_directory_symlink(outside + "/d4", root + "/data/d4");
  const std::string dotted = root + "/data/../../outside/dd.txt";
  {
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
    cfg.setParamStr("install/sample/file6", dotted.c_str(), -1);
    cfg.setParamInt32("install/sample/files", 7);
    ASSERT_TRUE(cfg.saveConfig());
  }
  const Outcome up = installVersion(root, cfgDir, v2());
  ASSERT_EQ(up.job, 0) << up.problem;
  for (const char* f : {"d4/x1", "d4/x2", "dd.txt"}) EXPECT_TRUE(fs::exists(outside + "/" + f)) << f;
  EXPECT_FALSE(fs::exists(root + "/gone")) << "a plain dropped file still goes";
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
  std::set<std::string> listed;
  unsigned long long count = 0;
  ASSERT_TRUE(cfg.getParamInt("install/sample/files", count));
  for (unsigned long long i = 0; i < count; ++i) {
    _guardchar<char> path;
    if (cfg.getParamStr(("install/sample/file" + std::to_string(i)).c_str(), path)) listed.insert(path.ptr);
  }
  for (const std::string& f : {root + "/data/d4/x1", root + "/data/d4/x2", dotted})
    EXPECT_TRUE(listed.count(f)) << f;
  EXPECT_EQ(count, v2().files.size() + 3);
}

// The dropped files an upgrade keeps are named, each with the reason the
// uninstaller would give; another spelling of a file the new version
// installs is not: the user deletes by hand what the list names.
TEST(InstallerJob, AnUpgradeNamesTheDroppedFilesItKeptAndWhy) {
  ScratchDir dir;
  const std::string root = dir.file("app"), cfgDir = dir.file("cfg"), outside = dir.file("outside");
  const struct {
    std::string listed;  // by the previous record
    std::string made;    // the file the path leads to, made outside
    int reason;          // 0: not named
  } cases[] = {
      {root + "/data/d4/x1", outside + "/d4/x1", kKeptThroughLink},
      {root + "/data/../../outside/dd.txt", outside + "/dd.txt", kKeptOddPath},
      {dir.file("placed/abs.txt"), outside + "/abs.txt", kKeptThroughLink},
      {root + "/bin/../readme.txt", "", 0},
  };
  PkgVersion first = v1();
  first.files.push_back({"data/d4/x1", "x1", {8, 8, 8}});
  ASSERT_EQ(installVersion(root, cfgDir, first).job, 0);
  fs::remove_all(root + "/data/d4");
  fs::create_directory_symlink(outside + "/d4", root + "/data/d4");
  fs::create_directory_symlink(outside, dir.file("placed"));
  std::map<std::string, int> expected;
  {
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
    int n = static_cast<int>(first.files.size());
    for (const auto& c : cases) {
      if (!c.made.empty()) writeFile(c.made, "the user's");
      if (c.reason) expected[c.listed] = c.reason;
      if (c.listed.starts_with(root + "/data/d4/x")) continue;
      cfg.setParamStr(("install/sample/file" + std::to_string(n++)).c_str(), c.listed.c_str(), -1);
    }
    cfg.setParamInt32("install/sample/files", n);
    ASSERT_TRUE(cfg.saveConfig());
  }
  const Outcome up = installVersion(root, cfgDir, v2());
  ASSERT_EQ(up.init, 0) << up.problem;
  ASSERT_EQ(up.job, 0) << up.problem;
  EXPECT_EQ(up.result, irOk);
  std::map<std::string, int> named;
  for (const sKeptFile& k : up.kept) {
    EXPECT_TRUE(named.emplace(k.path, k.reason).second) << "twice: " << k.path;
  }
  EXPECT_EQ(named, expected);
  for (const auto& c : cases) {
    if (c.reason) {
      EXPECT_EQ(readFile(c.made), "the user's") << c.listed;
    }
  }
}

// A dropped folder the user replaced by a link to a sibling the upgrade
// removes as its own: the paths through the link stay at first, then lead
// nowhere, so nothing was kept and nothing is named or recorded.
TEST(InstallerJob, AnUpgradeNamesNoKeptFileALaterRemovalTookAway) {
  ScratchDir dir;
  const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
  PkgVersion first = v1();
  for (const char* folder : {"copy", "orig"})
    for (int i = 0; i < 3; ++i)
      first.files.push_back({std::string(folder) + "/f" + std::to_string(i), "same", {8, 8, 8}});
  ASSERT_EQ(installVersion(root, cfgDir, first).job, 0);
  fs::remove_all(root + "/copy");
  fs::create_directory_symlink("orig", root + "/copy");
  const Outcome up = installVersion(root, cfgDir, v2());
  ASSERT_EQ(up.job, 0) << up.problem;
  EXPECT_EQ(up.result, irOk);
  EXPECT_TRUE(up.kept.empty());
  EXPECT_FALSE(fs::exists(root + "/orig"));
  expectRecord(cfgDir, v2());
}

// A run that fails takes the folders it made with it, and only those.
TEST(InstallerJob, AFailedInstallRemovesTheFoldersItMade) {
  ScratchDir dir;
  const std::string mine = dir.file("a/mine");
  fs::create_directories(mine);
  const std::string root = dir.file("a/b/c/app");
  PkgVersion deep = v1();
  deep.files.push_back({"x/y/z/w/file", "deep", {8, 8, 8}});
  TestHost host;
  host.stopAfter = 0;
  const Outcome o = installVersion(root, dir.file("cfg"), deep, host);
  EXPECT_EQ(o.result, irStopped);
  EXPECT_FALSE(fs::exists(dir.file("a/b")));
  EXPECT_TRUE(fs::is_directory(mine));
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig(dir.file("cfg").c_str()));
  EXPECT_FALSE(cfg.hasSection("install/sample")) << "nothing was installed";
}

TEST(InstallFiles, PossibleInstallPathsAndCleanRemoval) {
  ScratchDir dir;
  writeFile(dir.file("plain"), "x");
  fs::create_directories(dir.file("ro"));
  fs::permissions(dir.file("ro"), fs::perms(0555));
  bool root = geteuid() == 0;
  struct Case {
    std::string path;
    int code;
  } cases[] = {{dir.file("a/b/c/new.txt"), 0}, {dir.file("plain"), 1},         {"", 1},
               {dir.file("plain/under"), 2},   {dir.file("ro/x/y"), root ? 0 : 3}, {"relative", 1}};
  for (const Case& c : cases) EXPECT_EQ(isPossibleInstallPath(c.path.c_str()), c.code) << c.path;
  fs::permissions(dir.file("ro"), fs::perms(0755));

  struct Removal {
    std::string file;
    std::string stop;
    std::string gone;  // the highest folder expected to go, or empty
    std::string kept;
  } removals[] = {
      {"top/one/two/f", "top", "top", ""},
      {"top2/one/two/f", "top2/one", "top2/one", "top2"},
      {"out/one/f", "elsewhere", "", "out/one"},
      // The text of a ".." path says nothing of where its folders lie.
      {"top3/a/../../out3/f", "top3", "", "out3"},
  };
  fs::create_directories(dir.file("top3/a"));
  for (const Removal& r : removals) {
    writeFile(dir.file(r.file), "x");
    EXPECT_TRUE(rmFileClean(dir.file(r.file).c_str(), dir.file(r.stop).c_str()));
    EXPECT_FALSE(fs::exists(dir.file(r.file)));
    if (!r.gone.empty()) {
      EXPECT_FALSE(fs::exists(dir.file(r.gone))) << r.file;
    }
    if (!r.kept.empty()) {
      EXPECT_TRUE(fs::exists(dir.file(r.kept))) << r.file;
    }
  }
  fs::create_directories(dir.file("afolder"));
  EXPECT_FALSE(rmFileClean(dir.file("afolder").c_str(), nullptr)) << "only files are removed";
  EXPECT_TRUE(rmFileClean(dir.file("missing").c_str(), nullptr));
  EXPECT_TRUE(fs::exists(dir.root));
}

// Runs `work` in a child process that ends, as a kill would end it, at the
// first stage `killAt` reaches.
void killedAt(int killAt, const std::function<void(TestHost&)>& work) {
  pid_t child = fork();
  if (child == 0) {
    TestHost host;
    host.atStage = [killAt](int s) {
      if (s == killAt) _exit(0);
    };
    work(host);
    _exit(1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run did not reach stage " << killAt;
}

// A first installation killed while it fills its files, then the next
// version installed over it: the folders the killed run made for files
// the next one does not place go with its side files.
TEST(InstallerJob, FoldersOfAKilledFirstInstallGoWithTheNextVersion) {
  ScratchDir dir;
  const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
  PkgVersion first, next;
  for (int i = 0; i < 40; ++i) first.files.push_back({"old" + std::to_string(i) + "/deep/f", "one"});
  next.ver[1] = 1;
  next.files = {{"new/f", "two"}, {"old0/deep/f", "two"}};
  killedAt(20, [&](TestHost& host) { installVersion(root, cfgDir, first, host); });
  ASSERT_EQ(installVersion(root, cfgDir, next).job, 0);
  expectInstalled(root, cfgDir, next);
  std::set<std::string> folders;
  for (auto& e : fs::recursive_directory_iterator(root))
    if (e.is_directory()) folders.insert(e.path().string());
  EXPECT_EQ(folders, (std::set<std::string>{root + "/new", root + "/old0", root + "/old0/deep"}));
}

// A first installation killed after its record was first saved, before
// the folder had a file of its own, is finished by the next run, never
// reported as installed without its folder.
TEST(InstallerJob, AFirstInstallKilledAfterItsMarkIsFinishedByTheNextRun) {
  ScratchDir dir;
  const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
  killedAt(1, [&](TestHost& host) { installVersion(root, cfgDir, v1(), host); });
  const Outcome first = installVersion(root, cfgDir, v1());
  EXPECT_EQ(first.init, 0);
  ASSERT_EQ(first.job, 0) << first.problem;
  expectInstalled(root, cfgDir, v1());
}

// The store lost once the new files took their names: the upgrade fails,
// naming the store and why, and the previous version is whole, the files
// the new one drops included.
TEST(InstallerJob, AnUpgradeWhoseRecordCannotBeSavedKeepsTheDroppedFiles) {
  ScratchDir dir;
  const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
  ASSERT_EQ(installVersion(root, cfgDir, v1()).job, 0);
  TestHost host;
  host.atStage = [&](int s) {
    if (s != 4) return;  // two changed files: unpacked, backed up, applied next
    fs::rename(cfgDir, cfgDir + ".moved");
    writeFile(cfgDir, "not a folder");
  };
  const Outcome up = installVersion(root, cfgDir, v2(), host);
  EXPECT_EQ(up.job, 1);
  EXPECT_EQ(up.result, irRecordUnsaved);
  EXPECT_EQ(up.problem, cfgDir + ": " + std::strerror(ENOTDIR)) << "where the store is, and why";
  for (const PkgFile& f : v1().files) EXPECT_EQ(readFile(root + "/" + f.rel), f.bytes) << f.rel;
  EXPECT_TRUE(sideFiles(root).empty());
}

// A record an earlier build wrote spells the folder as HOME was typed
// ("//", "/./", a closing slash): its files are the package's files all
// the same, upgraded and dropped as such.
TEST(InstallerJob, ARecordSpelledAsTheFolderWasTypedIsUpgraded) {
  for (const char* typed : {"//app/", "/./app", "//./app//"}) {
    SCOPED_TRACE(typed);
    ScratchDir dir;
    const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
    ASSERT_EQ(installVersion(root, cfgDir, v1()).job, 0);
    {
      cCIAppFullConfig cfg;
      ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
      const std::string folder = dir.root + typed;
      cfg.setParamStr("install/sample/path", folder.c_str(), -1);
      for (const char* key : {"install/sample/pathdev", "install/sample/pathino"}) cfg.removeSection(key);
      std::vector<std::string> entries;
      for (const PkgFile& f : v1().files) entries.push_back(folder + (folder.ends_with('/') ? "" : "/") + f.rel);
      writeFileList(&cfg, "install/sample", entries);
      ASSERT_TRUE(cfg.saveConfig());
    }
    const Outcome up = installVersion(root, cfgDir, v2());
    EXPECT_EQ(up.init, 0) << up.problem;
    EXPECT_EQ(up.job, 0) << up.problem;
    EXPECT_TRUE(up.kept.empty());
    expectInstalled(root, cfgDir, v2());
  }
}

}  // namespace

// Files of the user's under the side names beside unchanged files are no
// work of the package's: the same version again has nothing to do and
// touches none of them.
TEST(InstallerJob, TheSameVersionAgainLeavesTheUsersSideNamedFilesAlone) {
  for (const char* side : {".bkp", ".tmp", ".bkp.tmp", ".tmp1"}) {
    SCOPED_TRACE(side);
    ScratchDir dir;
    const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
    ASSERT_EQ(installVersion(root, cfgDir, v1()).job, 0);
    writeFile(root + "/bin/run" + side, "the user's");
    const auto before = ids(root);
    EXPECT_EQ(installVersion(root, cfgDir, v1()).init, iiNothingToDo);
    EXPECT_EQ(ids(root), before);
    EXPECT_EQ(readFile(root + "/bin/run" + side), "the user's");
  }
}

// A folder of the package's the user made unreadable keeps what it holds:
// an upgrade that cannot look at a listed file, kept or dropped by the new
// version, takes it for neither gone nor its own and changes nothing,
// naming it.
TEST(InstallerJob, AnUpgradeThatCannotLookAtAListedFileChangesNothing) {
  for (const char* locked : {"gone", "lib/deep"}) {
    SCOPED_TRACE(locked);
    ScratchDir dir;
    if (geteuid() == 0) chown(dir.root.c_str(), 65534, 65534);
    const std::string root = dir.file("app"), cfgDir = dir.file("cfg");
    const auto install = [&](const PkgVersion& v) {
      return asOwner(true, [&] { return installVersion(root, cfgDir, v); });
    };
    ASSERT_EQ(install(v1()).job, 0);
    ASSERT_EQ(chmod((root + "/" + locked).c_str(), 0), 0);
    const Outcome o = install(v2());
    EXPECT_EQ(o.init, iiUnreadableFile);
    EXPECT_EQ(o.problem.substr(0, root.size() + std::strlen(locked) + 1), root + "/" + locked);
    ASSERT_EQ(chmod((root + "/" + locked).c_str(), 0755), 0);
    expectInstalled(root, cfgDir, v1());
  }
}
