// Runs of one package take turns. Each round starts 2 to 16 runs of one
// package at the same moment (installs through the driver, which refuses
// while another run holds the package, or uninstalls in child processes),
// and then the record names exactly the files on disk, with the bytes of
// the version it gives, and the one run that ended 0 is the one whose work
// the record holds: every other found the work done or was refused.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "base/tests/scratch_dir.h"
#include "driver/driver_codes.h"
#include "install_support.h"
#include "support/underfault.h"
#include "tamsivarapp/lang.h"
#include "tamsivarapp/uninstall.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 40;

struct Version {
  int major;
  std::map<std::string, std::string> files;  // by path below the folder
};

// The first installs, the upgrade and the uninstall each round cycles
// through; the upgrade drops a file and its folder and makes another.
const Version kVersions[] = {
    {1, {{"a.txt", "one"}, {"lib/deep/b.bin", randomBytes(150000, 1)}, {"old/only1.txt", "old"}}},
    {2, {{"a.txt", "two"}, {"lib/deep/b.bin", randomBytes(150000, 2)}, {"new/only2/c.txt", "new"}}},
};

class UninstallAnswers : public cUninstallHost {
 public:
  bool confirm(int) override { return true; }
  bool askRelease(const char*) override { return true; }
};

class RunsTakingTurns : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = dir_.file("home");
    inst_ = dir_.file("inst");
    fs::create_directories(home_);
    fs::create_directories(dir_.file("tmp"));
    for (const Version& v : kVersions) packages_.push_back(make(v));
  }

  // A package the maker makes of `v`, as a user gets it.
  std::string make(const Version& v) {
    const std::string name = "v" + std::to_string(v.major);
    std::string install;
    for (const auto& [rel, bytes] : v.files) {
      writeFile(dir_.file(name + "/" + rel), bytes);
      install += "\"" + dir_.file(name + "/" + rel) + "\" = $pgm \"" + rel + "\"\n";
    }
    writeFile(dir_.file("eula.ENG.hdl"), "<text>Terms</text>");
    writeFile(dir_.file("eula.idx"), "ENG = \"./eula.ENG.hdl\"\n");
    writeFile(dir_.file(name + ".txt"), "[General]\nlangs = ENG\n[Software]\ncodename = \"demo\"\nname = \"Demo\"\n"
                                        "version = \"" + std::to_string(v.major) + ".0\"\neula = \"" +
                                            dir_.file("eula.idx") + "\"\n[Install]\n" + install);
    const std::string zvk = std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk";
    EXPECT_EQ(runAll(1, [&](int) { return exec({zvk, "make", dir_.file(name + ".txt"), dir_.file(name + ".app")}); })[0], 0);
    return dir_.file(name + ".app/Contents/Resources/scenario.data");
  }

  // Starts `count` children, each doing `work(i)` once all are started,
  // and answers their exit codes.
  std::vector<int> runAll(int count, const std::function<int(int)>& work) {
    int gate[2];
    if (pipe(gate) != 0) return {};
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
      const pid_t child = fork();
      if (child == 0) {
        close(gate[1]);
        char byte;
        // Every child goes on at the moment the parent closes the gate.
        while (read(gate[0], &byte, 1) > 0) {
        }
        setenv("HOME", home_.c_str(), 1);
        setenv("TMPDIR", dir_.file("tmp").c_str(), 1);
        _exit(work(i));
      }
      children.push_back(child);
    }
    close(gate[0]);
    close(gate[1]);
    std::vector<int> codes;
    for (pid_t child : children) {
      int status = 0;
      waitpid(child, &status, 0);
      codes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    return codes;
  }

  static int exec(const std::vector<std::string>& argv) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    return 127;
  }

  int uninstall() {
    cSOPKGLang::init();
    cCIAppFullConfig cfg;
    cfg.openConfig((home_ + "/.zvk").c_str());
    sPkgUninstallContext ctx;
    ctx.id.set("demo");
    ctx.config = &cfg;
    UninstallAnswers host;
    return runUninstall(ctx, host);
  }

  // What the record says is installed, by path, with the version's bytes;
  // none where there is no record.
  std::map<std::string, std::string> recorded(int& major) {
    cCIAppFullConfig cfg;
    std::map<std::string, std::string> files;
    major = 0;
    if (!cfg.openConfig((home_ + "/.zvk").c_str()) || !cfg.hasSection("install/demo")) return files;
    unsigned long long ver = 0;
    EXPECT_TRUE(cfg.getParamInt("install/demo/ver", ver)) << "a record without its version";
    major = static_cast<int>(ver >> 48);
    EXPECT_TRUE(readSideMark(&cfg, "install/demo").empty());
    for (const std::string& path : readFileList(&cfg, "install/demo")) {
      std::string bytes = "(not of the version)";
      for (const Version& v : kVersions)
        if (v.major == major && v.files.count(path.substr(inst_.size() + 1))) bytes = v.files.at(path.substr(inst_.size() + 1));
      files[path] = bytes;
    }
    return files;
  }

  std::map<std::string, std::string> onDisk() const {
    std::map<std::string, std::string> files;
    if (!fs::exists(inst_)) return files;
    for (const auto& e : fs::recursive_directory_iterator(inst_))
      if (!e.is_directory()) files[e.path().string()] = readFile(e.path().string());
    return files;
  }

  void rounds(int runs) {
    for (int round = 0; round < kRounds; ++round) {
      // First installs of 1.0, upgrades to 2.0, uninstalls.
      const int step = round % 3;
      SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(runs) + " runs");
      const std::vector<int> codes = runAll(runs, [&](int) {
        return step == 2 ? uninstall() : exec({ZVK_INSTALL_DRIVER, packages_[step], "--pgm", inst_});
      });
      // The others found the work done, or were refused while it was done.
      const std::set<int> others = step == 2 ? std::set<int>{unNotInstalled, unCancelled}
                                             : std::set<int>{iiNothingToDo, iiPackageBusy};
      int done = 0;
      for (int code : codes) {
        if (code == 0) ++done;
        else EXPECT_TRUE(others.count(code)) << "a run ended " << code;
      }
      EXPECT_EQ(done, 1);
      int major = 0;
      const auto record = recorded(major);
      EXPECT_EQ(major, step == 2 ? 0 : kVersions[step].major);
      EXPECT_EQ(record, onDisk());
      if (HasFailure()) return;
    }
  }

  ScratchDir dir_;
  std::string home_, inst_;
  std::vector<std::string> packages_;
};

TEST_F(RunsTakingTurns, TwoAtOnce) { rounds(2); }

TEST_F(RunsTakingTurns, FiveAtOnce) { rounds(5); }

TEST_F(RunsTakingTurns, SixteenAtOnce) { rounds(16); }

}  // namespace

namespace {

// The lock itself: a run that meets another of its package waits, asking
// its host, and goes on once the other ends, however it ends (a kill
// included); a run that will not wait gives up; other packages never wait.
TEST(PackageRunLock, WaitsForTheRunHoldingItAndNoOther) {
  ScratchDir dir;
  cCIAppFullConfig cfg;
  fs::create_directories(dir.file("cfg"));
  ASSERT_TRUE(cfg.openConfig(dir.file("cfg").c_str()));
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    cPackageRunLock lock;
    const bool taken = lock.take(&cfg, "demo", nullptr) == cPackageRunLock::rlHeld;
    if (write(ready[1], taken ? "1" : "0", 1) != 1) _exit(1);
    for (;;) pause();
  }
  char taken = 0;
  ASSERT_EQ(read(ready[0], &taken, 1), 1);
  ASSERT_EQ(taken, '1');
  cPackageRunLock mine, other;
  EXPECT_EQ(mine.take(&cfg, "demo", [] { return false; }), cPackageRunLock::rlGivenUp);
  EXPECT_FALSE(mine.held());
  EXPECT_EQ(other.take(&cfg, "other", nullptr), cPackageRunLock::rlHeld);
  int asked = 0;
  EXPECT_EQ(mine.take(&cfg, "demo",
                      [&] {
                        if (++asked == 2) {
                          kill(holder, SIGKILL);
                          waitpid(holder, nullptr, 0);
                        }
                        return true;
                      }),
            cPackageRunLock::rlHeld);
  EXPECT_GE(asked, 2);
  // The lock files are no records: the store reads no hive of them.
  EXPECT_TRUE(fs::is_regular_file(dir.file("cfg/locks/demo")));
  cCIAppFullConfig again;
  ASSERT_TRUE(again.openConfig(dir.file("cfg").c_str()));
  EXPECT_FALSE(again.hasSection("locks/demo"));
  // Held in this process, it keeps out another installation of the package,
  // which changes nothing, and an uninstall, which ends cancelled.
  TestHost host;
  const Outcome refused = installWith(cfg, dir.file("app"), PkgVersion{{1, 0, 0, 0}, {{"a.txt", "one"}}}, host, "demo");
  EXPECT_EQ(refused.init, iiPackageBusy);
  EXPECT_FALSE(fs::exists(dir.file("app")));
  sPkgUninstallContext ctx;
  ctx.id.set("demo");
  ctx.config = &cfg;
  UninstallAnswers answers;
  EXPECT_EQ(runUninstall(ctx, answers), unCancelled);
}

// A try at a free lock that a signal interrupts is no other run holding
// it: a run that would not wait takes it all the same.
TEST(PackageRunLock, AnInterruptedTryIsNoOtherRun) {
  if (access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "needs strace";
  ScratchDir dir;
  fs::create_directories(dir.file("cfg"));
  const sFaultRun run = underFault(
      "flock", "EINTR", 1,
      [&] {
        cCIAppFullConfig cfg;
        cPackageRunLock lock;
        return cfg.openConfig(dir.file("cfg").c_str()) && lock.take(&cfg, "demo", nullptr) == cPackageRunLock::rlHeld
                   ? 0
                   : 1;
      },
      dir.file("trace"));
  EXPECT_TRUE(run.injected);
  EXPECT_EQ(run.status, 0);
}

}  // namespace
