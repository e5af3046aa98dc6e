#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <thread>

#include "base/tests/scratch_dir.h"
#include "install_support.h"
#include "tamsivarapp/installrecord.h"

namespace fs = std::filesystem;

namespace {

PkgVersion version(const char* text, unsigned int minor) {
  PkgVersion v;
  v.ver[1] = minor;
  v.files = {{"bin/run", text, {7, 5, 5}}, {"lib/data.txt", text, {8, 8, 8}}};
  return v;
}

// Install mode with the store opened under HOME by its name, as the
// program opens it.
Outcome installUnderHome(const std::string& home, const std::string& root, const PkgVersion& v, TestHost& host,
                         const char* name = "sample") {
  const char* was = std::getenv("HOME");
  const std::string saved = was ? was : "";
  setenv("HOME", home.c_str(), 1);
  Outcome o;
  {
    cCIAppFullConfig cfg;
    if (!cfg.openConfig(kRecordStore)) cfg.openConfig(kRecordStore);
    o = installWith(cfg, root, v, host, name);
  }
  was ? setenv("HOME", saved.c_str(), 1) : unsetenv("HOME");
  return o;
}

unsigned long long recordedVersion(const std::string& home) {
  cCIAppFullConfig cfg;
  unsigned long long ver = 0;
  if (!cfg.openConfig((home + "/.zvk").c_str()) || !cfg.getParamInt("install/sample/ver", ver)) return 0;
  return ver;
}

// An install ends with its record, or fails and leaves the previous
// installation as it was: a package without a record could be neither
// removed nor upgraded.
TEST(InstallerJob, AnInstallEndsWithItsRecordOrFails) {
  // In place of the store's folder: the user runs as root here, whom no
  // mode stops, so a file stands where the folder should be.
  const auto fileInPlace = [](const std::string& home) {
    fs::rename(home + "/.zvk", home + "/moved");
    writeFile(home + "/.zvk", "not a folder");
  };
  const struct Case {
    const char* name;
    bool earlier;  // version 1 installed before
    bool homeMade;
    // Acts on the home before the run, or at the last stage before the
    // files take their names.
    std::function<void(const std::string&)> before, during;
    int job, result;
    const char* runText;  // what bin/run holds afterwards, null: nothing
    unsigned long long recorded;
    const char* reason = nullptr;  // how the message ends: the system's words
    bool storeFull = false;        // no file may grow from the run's start on
  } cases[] = {
      {"home not made yet", false, false, nullptr, nullptr, 0, irOk, "two", (1ULL << 48) | (1ULL << 32)},
      // Refused before the job: -1, no job ran.
      {"store folder a file", false, true, [](const std::string& h) { writeFile(h + "/.zvk", "x"); }, nullptr, -1,
       -1, nullptr, 0, "/.zvk: Not a directory"},
      {"store lost during the run", false, true, nullptr, fileInPlace, 1, irRecordUnsaved, nullptr, 0},
      {"upgrade, store lost during the run", true, true, nullptr, fileInPlace, 1, irRecordUnsaved, "one", 0},
      {"store full", false, true, nullptr, nullptr, 1, irRecordUnsaved, nullptr, 0, "/.zvk: File too large", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string home = dir.file("users/h"), root = dir.file("inst/app");
    fs::create_directories(dir.file("users"));
    if (c.homeMade) fs::create_directories(home);
    if (c.earlier) {
      TestHost first;
      ASSERT_EQ(installUnderHome(home, root, version("one", 0), first).job, 0);
    }
    if (c.before) c.before(home);
    TestHost host;
    // Both files unpacked (stages 1 and 2), the backups made (3): the
    // files take their names next (4).
    // A full file system, as a limit on file sizes gives it: every write
    // that would grow a file fails.
    rlimit was{};
    getrlimit(RLIMIT_FSIZE, &was);
    host.atStage = [&](int stage) {
      if (stage == 4 && c.during) c.during(home);
      if (stage == 0 && c.storeFull) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit none{0, was.rlim_max};
        setrlimit(RLIMIT_FSIZE, &none);
      }
    };
    const Outcome o = installUnderHome(home, root, version("two", 1), host);
    setrlimit(RLIMIT_FSIZE, &was);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(o.job, c.job);
    EXPECT_EQ(o.result, c.result);
    EXPECT_EQ(recordedVersion(home), c.recorded);
    if (c.reason) {
      EXPECT_TRUE(o.problem.ends_with(c.reason)) << o.problem;
    }
    if (c.runText) {
      EXPECT_EQ(readFile(root + "/bin/run"), c.runText);
    } else {
      EXPECT_FALSE(fs::exists(dir.file("inst"))) << "the folders the run made go with it";
    }
    EXPECT_TRUE(sideFiles(dir.root).empty());
  }
}

// Installations of different packages into one home at once, all let go
// together once every one has marked its run: each ends 0 with its record,
// and every record is there after them all.
TEST(InstallerJob, InstallsOfOtherPackagesIntoOneHomeAtOnceKeepEveryRecord) {
  for (const int runs : {2, 4, 8}) {
    SCOPED_TRACE(std::to_string(runs) + " runs");
    ScratchDir dir;
    const std::string home = dir.file("h");
    fs::create_directories(home);
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> children;
    for (int run = 0; run < runs; ++run) {
      const pid_t child = fork();
      if (child == 0) {
        close(go[1]);
        TestHost host;
        // Stage 4: both files unpacked and backed up, the record saved
        // with them; the files take their names next, then the record
        // names the new version. A run that ends before it is counted as
        // ready, so that the others are let go all the same.
        bool waited = false;
        char byte = 1;
        host.atStage = [&](int stage) {
          if (stage != 4) return;
          waited = true;
          if (write(ready[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 0) _exit(3);
        };
        const std::string name = "pkg" + std::to_string(run);
        const Outcome o = installUnderHome(home, dir.file("inst/" + name), version("one", 0), host, name.c_str());
        if (!waited && write(ready[1], &byte, 1) != 1) _exit(4);
        _exit(o.job == 0 && o.result == irOk ? 0 : 1);
      }
      children.push_back(child);
    }
    // A run that ends before it is ready ends the wait too.
    close(go[0]);
    close(ready[1]);
    char byte;
    for (int run = 0; run < runs; ++run) ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(go[1]);
    for (const pid_t child : children) {
      int status = 0;
      EXPECT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    close(ready[0]);
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
    for (int run = 0; run < runs; ++run) {
      const std::string section = "install/pkg" + std::to_string(run);
      unsigned long long ver = 0;
      EXPECT_TRUE(cfg.getParamInt((section + "/ver").c_str(), ver)) << section;
      EXPECT_EQ(readFileList(&cfg, section.c_str()).size(), 2u) << section;
    }
  }
}

}  // namespace

// A record's time tells the folders born before it was written from those
// born after, however close to it and whatever the clock's tick; a precise
// stamp of another second than the whole one beside it is an earlier
// build's leftover.
TEST(InstallRecord, ItsTimeSplitsTheFoldersBornBeforeAndAfterItsSave) {
  ScratchDir dir;
  const std::string cfgDir = dir.file("cfg");
  fs::create_directories(cfgDir);
  sPkgInstallContext ctx;
  ctx.scenario = buildScenario(dir.file("app"), version("v", 1));
  // Another program reading a change time and changing it again has the
  // kernel stamp times, births included, ahead of the coarse clock.
  const std::string touched = dir.write("touched", "");
  std::atomic<bool> done{false};
  std::thread changer([&] {
    for (unsigned i = 0; !done; ++i) {
      struct stat seen;
      if (::stat(touched.c_str(), &seen) != 0 || ::chmod(touched.c_str(), i % 2 ? 0644 : 0600) != 0) return;
    }
  });
  bool births = true;
  for (unsigned round = 0; round < 20 && births; ++round) {
    SCOPED_TRACE(round);
    const std::string before = dir.file("before" + std::to_string(round));
    const std::string after = dir.file("after" + std::to_string(round));
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
    ASSERT_EQ(::mkdir(before.c_str(), 0755), 0);
    ctxToConfig(&ctx, &cfg, "install/sample");
    ASSERT_EQ(::mkdir(after.c_str(), 0755), 0);
    const std::optional<sSaveTime> saved = readRecordTime(&cfg, "install/sample");
    ASSERT_TRUE(saved && saved->fine);
    const sFileId early = ownIdAt(AT_FDCWD, before), late = ownIdAt(AT_FDCWD, after);
    births = early.born;
    EXPECT_FALSE(bornSince(early, *saved));
    EXPECT_EQ(bornSince(late, *saved), births);
  }
  done = true;
  changer.join();
  if (!births) GTEST_SKIP() << "no birth times on this file system";
  struct Case {
    long long utime, stamp;
    sSaveTime read;
  } cases[] = {
      {1700000000, 1700000000123456789LL, {1700000000, true, 123456789}},
      {1700000000, 1700000001000000000LL, {1700000000, false, 0}},
      {1700000000, 0, {1700000000, false, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stamp);
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
    cfg.setParamInt32("install/sample/utime", static_cast<int>(c.utime));
    cfg.setParamInt64("install/sample/utimens", c.stamp);
    const std::optional<sSaveTime> saved = readRecordTime(&cfg, "install/sample");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->sec, c.read.sec);
    EXPECT_EQ(saved->fine, c.read.fine);
    EXPECT_EQ(saved->nsec, c.read.nsec);
  }
}
