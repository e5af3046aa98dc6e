// Uninstalls and reruns on each kind of file system a package may be on:
// with birth times, without them (ext2 with 128-byte inodes, vfat), with
// neither birth times nor generations (ramfs), and in memory. Whatever the
// file system keeps, a run that ends well leaves nothing of what it was to
// remove, and takes nothing the user made.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>

#include "install_support.h"
#include "support/scratchmounts.h"
#include "support/underfault.h"
#include "tamsivarapp/heldpath.h"
#include "tamsivarapp/lang.h"
#include "tamsivarapp/uninstall.h"

namespace fs = std::filesystem;

namespace {

struct YesHost : cUninstallHost {
  bool confirm(int) override { return true; }
  bool askRelease(const char*) override { return true; }
};

int uninstall(const std::string& cfgDir, std::vector<sKeptFile>* kept = nullptr) {
  cSOPKGLang::init();
  cCIAppFullConfig cfg;
  EXPECT_TRUE(cfg.openConfig(cfgDir.c_str()));
  sPkgUninstallContext ctx;
  ctx.id.set("sample");
  ctx.config = &cfg;
  YesHost host;
  const int code = runUninstall(ctx, host);
  if (kept) *kept = ctx.kept;
  return code;
}

// Each kept file as "<path> <reason row>".
std::vector<std::string> named(const std::vector<sKeptFile>& kept) {
  std::vector<std::string> out;
  for (const sKeptFile& k : kept) out.push_back(k.path + " " + std::to_string(k.reason));
  return out;
}

std::set<std::string> markedIn(const std::string& cfgDir) {
  cCIAppFullConfig cfg;
  std::set<std::string> out;
  if (cfg.openConfig(cfgDir.c_str()))
    for (const auto& [side, id] : readSideMark(&cfg, "install/sample")) out.insert(side);
  return out;
}

bool recorded(const std::string& cfgDir) {
  cCIAppFullConfig cfg;
  return cfg.openConfig(cfgDir.c_str()) && cfg.hasSection("install/sample");
}

PkgVersion withFiles(unsigned minor, const std::vector<std::string>& rels) {
  PkgVersion v;
  v.ver[1] = minor;
  for (const std::string& rel : rels) v.files.push_back({rel, "bytes of " + rel, {6, 4, 4}});
  return v;
}

// Marks `path` as a file the run before removed, with `id`, and stamps the
// record as saved a while after now, as by an upgrade cut short before it
// removed the folders it emptied.
void markDropped(const std::string& cfgDir, const std::string& path, const sFileId& id) {
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
  writeSideMark(&cfg, "install/sample", {{path, id}});
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const long long sec = now.tv_sec + 5;
  cfg.setParamInt32("install/sample/utime", static_cast<int>(sec));
  cfg.setParamInt64("install/sample/utimens", sec * 1000000000LL);
  ASSERT_TRUE(cfg.saveConfig());
}

const std::vector<std::string> kKept = {"bin/run", "deep/x/y/only", "deep/other"};

}  // namespace

// A file deleted by hand, or folders an upgrade cut short left empty, are
// no reason to keep the package's folders: a folder on a listed or marked
// file's way, reached from the installation folder through no link, is
// the package's by its path, with a birth time or without one.
TEST(FileSystems, AnUninstallThatEndsWellLeavesNothingOfThePackage) {
  ScratchMounts mounts;
  const PkgVersion one = withFiles(0, {"bin/run", "deep/x/y/only", "deep/other", "drop/d0/f"});
  const PkgVersion two = withFiles(1, kKept);
  const struct Case {
    const char* name;
    bool cutShort;  // an upgrade left drop/d0 empty and the file marked
    bool rerun;
    const char* deleted;  // by hand, before the uninstall
  } cases[] = {
      {"a file deleted by hand", false, false, "deep/x/y/only"},
      {"an upgrade cut short, uninstalled at once", true, false, nullptr},
      {"an upgrade cut short, run again", true, true, nullptr},
  };
  for (const ScratchMounts::Place& place : mounts.places()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(place.name + ": " + c.name);
      const std::string base = place.root + "/" + std::to_string(&c - cases), root = base + "/inst",
                        cfgDir = base + "/cfg";
      ASSERT_EQ(installVersion(root, cfgDir, one).job, 0);
      if (c.cutShort) {
        ASSERT_EQ(installVersion(root, cfgDir, two).job, 0);
        fs::create_directories(root + "/drop/d0");
        // An identity no file there holds: the marked file is gone.
        markDropped(cfgDir, root + "/drop/d0/f", ownIdAt(AT_FDCWD, cfgDir));
      }
      if (c.rerun) {
        const Outcome again = installVersion(root, cfgDir, two);
        EXPECT_EQ(again.job, 0) << again.problem;
        EXPECT_FALSE(fs::exists(root + "/drop"));
      }
      if (c.deleted) fs::remove(root + "/" + c.deleted);
      EXPECT_EQ(uninstall(cfgDir), unDone);
      EXPECT_FALSE(fs::exists(root));
      EXPECT_FALSE(recorded(cfgDir));
    }
  }
  if (!mounts.missing().empty()) GTEST_SKIP() << "ran on the build's file system only: " << mounts.missing();
}

// Killed after it removed a dropped file, an upgrade leaves its mark; the
// user's file put at that place since, which a file system without birth
// times may give the freed inode number, is the user's for the rerun and
// the uninstall alike. Where the mark holds that number alone (a file
// system that keeps neither birth times nor generations, a record of an
// earlier build), nothing proves whose the file is: it stays, the record
// keeps marking it, and the run says so and does not end well; once the
// file is gone, an uninstall ends the record.
TEST(FileSystems, AUsersFileAtADroppedFilesPlaceStaysTheirs) {
  ScratchMounts mounts;
  const PkgVersion one = withFiles(0, {"bin/run", "drop/f"}), two = withFiles(1, {"bin/run"});
  const struct Case {
    bool numberOnly;  // the mark holds the user's file's number alone
    bool rerun;
  } cases[] = {{false, true}, {false, false}, {true, true}, {true, false}};
  for (const ScratchMounts::Place& place : mounts.places()) {
    for (const auto& [numberOnly, rerun] : cases) {
      SCOPED_TRACE(place.name + (numberOnly ? ", marked by number alone" : "") +
                   (rerun ? ", run again" : ", uninstalled at once"));
      const std::string base = place.root + "/" + std::to_string(numberOnly) + std::to_string(rerun),
                        root = base + "/inst", cfgDir = base + "/cfg", dropped = root + "/drop/f";
      ASSERT_EQ(installVersion(root, cfgDir, one).job, 0);
      ASSERT_EQ(installVersion(root, cfgDir, two).job, 0);
      writeFile(dropped, "the package's");
      const sFileId marked = ownIdAt(AT_FDCWD, dropped);
      // Born in a later tick of the clock that stamps births, where one is
      // kept: a file born in the same tick under the same number is the
      // same file to any run.
      do {
        fs::remove(dropped);
        writeFile(dropped, "the user's");
      } while (marked.born && ownIdAt(AT_FDCWD, dropped) == marked);
      const sFileId users = ownIdAt(AT_FDCWD, dropped);
      SCOPED_TRACE(users.ino == marked.ino ? "inode number reused" : "another inode number");
      markDropped(cfgDir, dropped, numberOnly ? sFileId{users.dev, users.ino} : marked);
      std::vector<std::string> unproven;
      if (numberOnly) unproven.push_back(dropped + " " + std::to_string(kKeptUnproven));
      if (rerun) {
        const Outcome again = installVersion(root, cfgDir, two);
        EXPECT_EQ(again.job, 0) << again.problem;
        EXPECT_EQ(named(again.kept), unproven);
      }
      std::vector<sKeptFile> kept;
      EXPECT_EQ(uninstall(cfgDir, &kept), numberOnly ? unRecordKept : unDone);
      EXPECT_EQ(named(kept), unproven);
      EXPECT_EQ(readFile(dropped), "the user's");
      EXPECT_FALSE(fs::exists(root + "/bin"));
      EXPECT_EQ(recorded(cfgDir), numberOnly);
      EXPECT_EQ(markedIn(cfgDir), numberOnly ? std::set<std::string>{dropped} : std::set<std::string>{});
      if (!numberOnly) continue;
      fs::remove(dropped);
      EXPECT_EQ(uninstall(cfgDir), unDone);
      EXPECT_FALSE(fs::exists(root));
      EXPECT_FALSE(recorded(cfgDir));
    }
  }
  if (!mounts.missing().empty()) GTEST_SKIP() << "ran on the build's file system only: " << mounts.missing();
}

namespace {

// Sets or clears the immutable flag of `path`; false where the file
// system has none.
bool setImmutable(const std::string& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int flags = 0;
  bool set = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  set = set && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  if (fd >= 0) ::close(fd);
  return set;
}

}  // namespace

// A file the new version drops that cannot be removed (its folder made
// immutable) stays, listed in the record and named with why: the upgrade
// is done, but never told as whole. Once it can go, the next run takes it.
TEST(FileSystems, ADroppedFileThatCannotGoIsNamedAndStaysListed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a folder immutable";
  // The file's own folder immutable keeps the file; its parent immutable
  // lets the file go but keeps the folder it emptied.
  struct sCase {
    const char* dropped;
    const char* immutable;
    const char* named;
  } const cases[] = {{"old/f", "old", "old/f"}, {"old/sub/f", "old", "old/sub"}};
  ScratchMounts mounts;
  for (const sCase& c : cases) {
    const PkgVersion one = withFiles(0, {"bin/run", c.dropped}), two = withFiles(1, {"bin/run"});
    for (const ScratchMounts::Place& place : mounts.places()) {
      SCOPED_TRACE(place.name + " " + c.dropped);
      const std::string root = place.root + "/inst" + std::to_string(&c - cases), cfgDir = root + "-cfg",
                        dropped = root + "/" + c.dropped;
      ASSERT_EQ(installVersion(root, cfgDir, one).job, 0);
      if (!setImmutable(root + "/" + c.immutable, true)) continue;
      const Outcome upgrade = installVersion(root, cfgDir, two);
      setImmutable(root + "/" + c.immutable, false);
      EXPECT_EQ(upgrade.job, 0) << upgrade.problem;
      EXPECT_EQ(upgrade.result, irOk);
      ASSERT_EQ(upgrade.kept.size(), 1u);
      EXPECT_EQ(upgrade.kept[0].path, root + "/" + c.named);
      EXPECT_EQ(upgrade.kept[0].reason, kKeptNotRemoved);
      {
        cCIAppFullConfig cfg;
        ASSERT_TRUE(cfg.openConfig(cfgDir.c_str()));
        EXPECT_EQ(readFileList(&cfg, "install/sample"), (std::vector<std::string>{root + "/bin/run", dropped}));
      }
      // An uninstall refused the emptied folder alike keeps the record.
      if (std::string(c.named) != c.dropped && setImmutable(root + "/" + c.immutable, true)) {
        const int code = uninstall(cfgDir);
        setImmutable(root + "/" + c.immutable, false);
        EXPECT_EQ(code, unRecordKept);
        EXPECT_TRUE(fs::exists(root + "/" + c.named));
      }
      EXPECT_EQ(uninstall(cfgDir), unDone);
      EXPECT_FALSE(fs::exists(root));
    }
  }
  if (!mounts.missing().empty()) GTEST_SKIP() << "ran on the build's file system only: " << mounts.missing();
}

// Whichever sync of the store fails, an uninstall tells what the store's
// files hold as every later run reads them: removed with its record, or
// removed with the record still there; a folder's sync failing once the
// record is gone is no record left.
TEST(FileSystems, AnUninstallTellsWhatTheStoreHoldsWhicheverSyncFails) {
  if (::access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "needs strace";
  ScratchDir dir;
  const PkgVersion one = withFiles(0, kKept);
  bool unsaved = false;
  for (int nth = 1; nth <= 12; ++nth) {
    SCOPED_TRACE("failing sync " + std::to_string(nth));
    const std::string root = dir.file(std::to_string(nth) + "/inst"), cfgDir = dir.file(std::to_string(nth) + "/cfg");
    ASSERT_EQ(installVersion(root, cfgDir, one).job, 0);
    const auto work = [&] { return uninstall(cfgDir); };
    const int code = underFault("fsync", "EIO", nth, work, dir.file("trace")).status;
    if (code < 0) GTEST_SKIP() << "strace could not attach";
    EXPECT_FALSE(fs::exists(root));
    EXPECT_EQ(code == unDone, !recorded(cfgDir)) << code;
    EXPECT_TRUE(code == unDone || code == unRecordUnsaved) << code;
    unsaved = unsaved || code == unRecordUnsaved;
  }
  EXPECT_TRUE(unsaved) << "no sync failed before the record went";
}
