// Several processes on one configuration folder: what one saves the others
// see, the lock keeps creation apart, and no writer, however many run or
// however it is stopped, leaves a hive that fails to load.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/tests/private_mounts.h"
#include "base/tests/scratch_dir.h"
#include "hive_bytes.h"

namespace {

pid_t spawn(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int exitCode(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A store in `folder` holding one setting.
bool store(const std::string& folder) {
  cCIAppConfig made;
  return made.openConfig(folder.c_str()) && made.setParamInt32("install/foo/round", 7) && made.saveConfig();
}

bool loads(const std::string& path) {
  cCIAppConfig store;
  cCIAppConfig::sDataContainer root;
  return store.loadHive(path.c_str(), root);
}

TEST(HiveProcesses, ASaveIsSeenByTheOtherProcessAtItsNextAccess) {
  ScratchDir dir;
  cCIAppConfig store;
  ASSERT_TRUE(store.openConfig(dir.root.c_str()));
  ASSERT_TRUE(store.setParamStr("install/foo/ver", "1.0", -1));
  ASSERT_TRUE(store.saveConfig());
  // Every round takes a few milliseconds: the saves share their second.
  for (int round = 0; round < 5; ++round) {
    std::string mine = store.getParamInt32("install/foo/round") == round ? "ok" : "stale";
    ASSERT_EQ(mine, "ok") << round;
    pid_t other = spawn([&] {
      cCIAppConfig theirs;
      _guardchar<char> ver;
      if (!theirs.openConfig(dir.root.c_str()) || !theirs.getParamStr("install/foo/ver", ver) ||
          std::string(ver.ptr) != "1.0")
        return 1;
      return theirs.setParamInt32("install/foo/round", round + 1) && theirs.saveConfig() ? 0 : 2;
    });
    ASSERT_EQ(exitCode(other), 0);
    EXPECT_EQ(store.getParamInt32("install/foo/round"), round + 1);
  }
}

// A save does not read back its own file, yet the next access still
// reads what another process saved after it: each side sees the other's
// last save, round after round.
TEST(HiveProcesses, WritersTakingTurnsEachSeeTheOthersLastSave) {
  ScratchDir dir;
  cCIAppConfig store;
  ASSERT_TRUE(store.openConfig(dir.root.c_str()));
  for (int round = 0; round < 4; ++round) {
    ASSERT_TRUE(store.setParamInt32("install/foo/mine", round));
    ASSERT_TRUE(store.saveConfig());
    pid_t other = spawn([&] {
      cCIAppConfig theirs;
      if (!theirs.openConfig(dir.root.c_str()) || theirs.getParamInt32("install/foo/mine") != round) return 1;
      return theirs.setParamInt32("install/foo/theirs", round) && theirs.saveConfig() ? 0 : 2;
    });
    ASSERT_EQ(exitCode(other), 0) << round;
    EXPECT_EQ(store.getParamInt32("install/foo/theirs"), round);
    EXPECT_EQ(store.getParamInt32("install/foo/mine"), round);
  }
}

// A save writes its hive to be beside the store's files, locked while it
// does. A process opening the store meanwhile must not take it for a hive:
// the lock it took to read it failed the save.
TEST(HiveProcesses, OpeningTheStoreLeavesAnotherProcesssSideFileAlone) {
  ScratchDir dir;
  ASSERT_TRUE(store(dir.root));
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  pid_t writer = spawn([&] {
    const std::string side = dir.file(".~hive-" + std::to_string(getpid()) + "-0");
    std::error_code failed;
    std::filesystem::copy_file(dir.file("install"), side, failed);
    cFileIO file;
    if (failed || !file.open(side.c_str(), fmReadWrite) || !file.lock(0, 4)) return 1;
    char byte = 1;
    return write(ready[1], &byte, 1) == 1 && read(done[0], &byte, 1) == 1 ? 0 : 2;
  });
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  pid_t opener = spawn([&] {
    alarm(20);  // waiting for the side file's lock, it would wait for ever
    cCIAppConfig theirs;
    return theirs.openConfig(dir.root.c_str()) && theirs.getParamInt32("install/foo/round") == 7 ? 0 : 1;
  });
  EXPECT_EQ(exitCode(opener), 0);
  ASSERT_EQ(write(done[1], &byte, 1), 1);
  EXPECT_EQ(exitCode(writer), 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

TEST(HiveProcesses, CreationFailsWhileAnotherProcessHoldsTheLock) {
  ScratchDir dir;
  std::string path = dir.file("h");
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  pid_t holder = spawn([&] {
    cFileIO file;
    if (!cCIAppConfig::mkNewHive(path.c_str()) || !file.open(path.c_str(), fmReadWrite) || !file.lock_w(0, 4))
      return 1;
    char byte = 1;
    if (write(ready[1], &byte, 1) != 1 || read(done[0], &byte, 1) != 1) return 2;
    return 0;
  });
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  EXPECT_FALSE(cCIAppConfig::mkNewHive(path.c_str()));
  cFileIO probe;
  ASSERT_TRUE(probe.open(path.c_str(), fmReadWrite));
  EXPECT_FALSE(probe.lock(0, 4));
  ASSERT_EQ(write(done[1], &byte, 1), 1);
  EXPECT_EQ(exitCode(holder), 0);
  EXPECT_TRUE(probe.lock(0, 4));
  EXPECT_EQ(readFile(path), (Bytes{'Z', 'V', 'K', 'C', 0, 0, 0}));
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

TEST(HiveProcesses, ConcurrentWritersNeverLeaveADamagedHive) {
  ScratchDir dir;
  const std::string hive = dir.file("shared");
  ASSERT_TRUE(cCIAppConfig::mkNewHive(hive.c_str()));
  constexpr int kWriters = 8, kRounds = 500;
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.push_back(spawn([&, w] {
      cCIAppConfig store;
      if (!store.openConfig(dir.root.c_str())) return 1;
      std::string key = "shared/w" + std::to_string(w);
      std::vector<unsigned char> pad(400, static_cast<unsigned char>(w));
      int failures = 0;
      for (int round = 0; round < kRounds; ++round) {
        bool saved = store.setParamInt32((key + "/round").c_str(), round) &&
                     store.setParam((key + "/pad").c_str(), pad.data(), round % 400) && store.saveConfig();
        failures += !saved + !loads(hive);
      }
      return failures ? 3 : 0;
    }));
  }
  for (pid_t pid : writers) EXPECT_EQ(exitCode(pid), 0);
  cCIAppConfig store;
  ASSERT_TRUE(store.openConfig(dir.root.c_str()));
  for (int w = 0; w < kWriters; ++w)
    EXPECT_EQ(store.getParamInt32(("shared/w" + std::to_string(w) + "/round").c_str()), kRounds - 1) << w;
  EXPECT_TRUE(loads(hive));
}

// Runs that each save their own record into one store in `folder` at once,
// every one of them having read the store and written its record before
// any saves: a run saving its copy whole would take back every record but
// its own.
void runsSavingAtOnceKeepEveryRecord(const std::string& folder) {
  for (const int runs : {2, 4, 8}) {
    SCOPED_TRACE(std::to_string(runs) + " runs");
    const std::string root = folder + "/store" + std::to_string(runs);
    ASSERT_EQ(mkdir(root.c_str(), 0700), 0);
    cCIAppConfig store;
    ASSERT_TRUE(store.openConfig(root.c_str()));
    ASSERT_TRUE(store.setParamStr("install/earlier/ver", "1", -1));
    ASSERT_TRUE(store.saveConfig());
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> children;
    for (int run = 0; run < runs; ++run) {
      children.push_back(spawn([&, run] {
        close(go[1]);
        const std::string section = "install/pkg" + std::to_string(run);
        cCIAppConfig mine;
        bool written = mine.openConfig(root.c_str());
        mine.removeSection(section.c_str());
        for (int file = 0; file < 20; ++file)
          written = mine.setParamStr((section + "/file" + std::to_string(file)).c_str(), "/opt/x", -1) && written;
        written = mine.setParamInt32((section + "/files").c_str(), 20) && written;
        // Every run waits here until all have written, or failed to; the
        // parent's closing of the pipe lets them all go at once.
        char byte = 1;
        if (write(ready[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 0 || !written) return 1;
        return mine.saveConfig() ? 0 : 2;
      }));
    }
    // A run that ends before it is ready ends the wait too.
    close(go[0]);
    close(ready[1]);
    char byte;
    for (int run = 0; run < runs; ++run) ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(go[1]);
    for (pid_t pid : children) EXPECT_EQ(exitCode(pid), 0);
    close(ready[0]);
    cCIAppConfig reader;
    ASSERT_TRUE(reader.openConfig(root.c_str()));
    EXPECT_TRUE(reader.hasSection("install/earlier/ver"));
    for (int run = 0; run < runs; ++run)
      EXPECT_EQ(reader.getParamInt32(("install/pkg" + std::to_string(run) + "/files").c_str()), 20) << run;
  }
}

// Runs a fixed command line of the test's own making; true on status 0.
bool sh(const std::string& line) { return std::system((line + " >/dev/null 2>&1").c_str()) == 0; }

// A file system of the test's own, mounted at `at` until the object goes:
// memory, or an ext2 image with 128-byte inodes, which keep no birth
// times. `why` says why there is none where it cannot be mounted.
struct Mounted {
  explicit Mounted(bool ext2) : at(dir.file("mnt")) {
    const std::string image = dir.file("fs.img");
    keepMountsPrivate();
    if (geteuid() != 0)
      why = "mounting a file system takes root";
    else if (mkdir(at.c_str(), 0700) != 0)
      why = "no folder to mount at";
    else if (ext2 && !(sh("truncate -s 16M " + image) && sh("mkfs.ext2 -q -F -I 128 " + image)))
      why = "no ext2 image can be made here (mkfs.ext2)";
    else if (!sh(ext2 ? "mount -o loop " + image + " " + at : "mount -t tmpfs zvktest " + at))
      why = std::string(kCannotMount) + (ext2 ? ": no loop device" : ": no memory file system");
    mounted = why.empty();
  }
  ~Mounted() {
    if (mounted) sh("umount " + at);
  }

  ScratchDir dir;
  std::string at, why;
  bool mounted = false;
};

TEST(HiveProcesses, RunsSavingTheirOwnRecordsAtOnceKeepEveryRecord) {
  ScratchDir dir;
  runsSavingAtOnceKeepEveryRecord(dir.root);
}

TEST(HiveProcesses, RunsSavingAtOnceOnAMemoryFileSystemKeepEveryRecord) {
  Mounted fs(false);
  if (!fs.mounted) GTEST_SKIP() << fs.why;
  runsSavingAtOnceKeepEveryRecord(fs.at);
}

TEST(HiveProcesses, RunsSavingAtOnceOnExt2WithSmallInodesKeepEveryRecord) {
  Mounted fs(true);
  if (!fs.mounted) GTEST_SKIP() << fs.why;
  runsSavingAtOnceKeepEveryRecord(fs.at);
}

// The bulk values of save number n: sizes change every round, so a save cut
// short could not pass for a complete one.
long long bulkSize(unsigned int n, int k) { return 20000 + (n * 7919 + k * 104729) % 40000; }
constexpr int kBulkKeys = 6;

// True when the hive holds exactly one whole save: every value of the round
// it names, and none of another round.
bool holdsOneWholeSave(cCIAppConfig& reader) {
  unsigned long long n = 0;
  if (!reader.getParamInt("h/n", n)) return !reader.hasSection("h/k0");
  for (int k = 0; k < kBulkKeys; ++k) {
    _typebuf<unsigned char> value;
    if (!reader.getParam(("h/k" + std::to_string(k)).c_str(), value) ||
        value.count != bulkSize(static_cast<unsigned int>(n), k))
      return false;
    for (long long i = 0; i < value.count; ++i)
      if (value.ptr[i] != static_cast<unsigned char>(n + k)) return false;
  }
  return true;
}

TEST(HiveProcesses, AWriterKilledDuringSavesLeavesTheOldOrTheNewHive) {
  ScratchDir dir;
  const std::string hive = dir.file("h");
  ASSERT_TRUE(cCIAppConfig::mkNewHive(hive.c_str()));
  std::mt19937 random(12345);
  int saved[2];
  ASSERT_EQ(pipe(saved), 0);
  for (int kill = 0; kill < 200; ++kill) {
    pid_t writer = spawn([&, kill] {
      cCIAppConfig store;
      if (!store.openConfig(dir.root.c_str())) return 1;
      std::vector<unsigned char> bulk(60000);
      for (unsigned int n = 0;; ++n) {
        for (int k = 0; k < kBulkKeys; ++k) {
          std::fill(bulk.begin(), bulk.end(), static_cast<unsigned char>(n + k));
          store.setParam(("h/k" + std::to_string(k)).c_str(), bulk.data(), bulkSize(n, k));
        }
        store.setParamInt32("h/n", static_cast<int>(n));
        store.setParamInt32("h/round", kill);
        if (store.saveConfig() && n == 0 && write(saved[1], "s", 1) != 1) return 2;
      }
      return 0;
    });
    // The kill lands at a random moment of the saves that follow the first.
    char byte;
    ASSERT_EQ(read(saved[0], &byte, 1), 1);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 15000));
    ::kill(writer, SIGKILL);
    EXPECT_EQ(exitCode(writer), 128 + SIGKILL);
    cCIAppConfig reader;
    ASSERT_TRUE(reader.openConfig(dir.root.c_str()));
    ASSERT_TRUE(holdsOneWholeSave(reader)) << "after kill " << kill;
    EXPECT_EQ(reader.getParamInt32("h/round"), kill);
  }
  for (int fd : saved) close(fd);
}

TEST(HiveProcesses, ASaveThatRunsOutOfSpaceKeepsTheOldHive) {
  ScratchDir dir;
  cCIAppConfig store;
  ASSERT_TRUE(store.openConfig(dir.root.c_str()));
  std::vector<unsigned char> bulk(30000, 'o');
  ASSERT_TRUE(store.setParam("h/a", bulk.data(), 20000));
  ASSERT_TRUE(store.saveConfig());
  Bytes before = readFile(dir.file("h"));
  // The file size limit stands in for a full disk.
  pid_t writer = spawn([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit = {25000, 25000};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 1;
    std::fill(bulk.begin(), bulk.end(), 'n');
    if (!store.setParam("h/a", bulk.data(), 30000)) return 2;
    return store.saveConfig() ? 3 : 0;
  });
  EXPECT_EQ(exitCode(writer), 0);
  EXPECT_EQ(readFile(dir.file("h")), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.root), {}), 1);
}

// Another user's configuration: the files read-only to us, the folder too.
// Root ignores modes, so the reader drops to nobody when it can.
TEST(HiveProcesses, AHiveWeMayNotWriteStillReads) {
  ScratchDir dir;
  cCIAppConfig store;
  ASSERT_TRUE(store.openConfig(dir.root.c_str()));
  ASSERT_TRUE(store.setParamStr("install/foo/ver", "1.0", -1));
  ASSERT_TRUE(store.saveConfig());
  ASSERT_EQ(chmod(dir.file("install").c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir.root.c_str(), 0755), 0);
  pid_t reader = spawn([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 1;
    cCIAppConfig theirs;
    _guardchar<char> ver;
    if (!theirs.openConfig(dir.root.c_str()) || !theirs.getParamStr("install/foo/ver", ver)) return 2;
    return std::string(ver.ptr) == "1.0" ? 0 : 3;
  });
  EXPECT_EQ(exitCode(reader), 0);
}

}  // namespace
