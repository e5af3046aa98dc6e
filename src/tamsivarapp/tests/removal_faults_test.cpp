// Every removal and rename of an installation, an upgrade and an uninstall
// failing in turn, with each error a disk or a file system gives: a run
// ends well only with everything done, and otherwise names each thing it
// left and keeps it in the record. A mount on the way keeps what it holds.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "base/tests/private_mounts.h"
#include "base/tests/scratch_dir.h"
#include "driver/driver_codes.h"
#include "install_support.h"
#include "support/underfault.h"
#include "tamsivarapp/lang.h"
#include "tamsivarapp/uninstall.h"

namespace fs = std::filesystem;

namespace {

// Every path below a folder: a file with its bytes, a folder as "/".
using tTree = std::map<std::string, std::string>;

tTree treeOf(const std::string& root) {
  tTree tree;
  if (!fs::exists(root)) return tree;
  for (const auto& e : fs::recursive_directory_iterator(root))
    tree[e.path().string()] = e.is_directory() ? "/" : readFile(e.path().string());
  return tree;
}

// The tree `files` make below `root`, with their folders.
tTree treeWith(const std::string& root, const PkgVersion& v, const tTree& user) {
  tTree tree = user;
  for (const PkgFile& f : v.files) {
    tree[root + "/" + f.rel] = f.bytes;
    for (fs::path up = fs::path(root + "/" + f.rel).parent_path(); up.string().size() > root.size();
         up = up.parent_path())
      tree.insert_or_assign(up.string(), std::string(1, '/'));
  }
  return tree;
}

PkgVersion version(unsigned major, const std::vector<std::string>& rels) {
  PkgVersion v;
  v.ver[0] = major;
  for (const std::string& rel : rels)
    v.files.push_back({rel, rel + " of " + std::to_string(major), {6, 4, 4}});
  return v;
}

struct YesHost : cUninstallHost {
  bool confirm(int) override { return true; }
  bool askRelease(const char*) override { return true; }
};

// What a run told: its code as the install driver gives it (the
// uninstall's end code for an uninstall), the paths it named and the
// system's reasons it gave.
struct sTold {
  int code = -1;
  std::set<std::string> named;
  std::set<int> reasons;
  // Named with the system's reason: what could not be removed.
  std::set<std::string> stuck;
  // The rows of the reasons given.
  std::set<int> rows;
  // What a failed installation or upgrade named as the problem.
  std::string problem;
};

void writeNamed(const std::string& file, const std::vector<sKeptFile>& kept) {
  std::ofstream out(file);
  for (const sKeptFile& k : kept) out << k.err << ' ' << k.reason << ' ' << k.path << '\n';
}

sTold readTold(int code, const std::string& file) {
  sTold told{code, {}, {}, {}, {}, {}};
  std::getline(std::ifstream(file + ".problem"), told.problem);
  std::ifstream in(file);
  int err = 0, row = 0;
  for (std::string path; in >> err >> row && in.get() && std::getline(in, path);) {
    told.named.insert(path);
    told.rows.insert(row);
    if (err) told.reasons.insert(err), told.stuck.insert(path);
  }
  return told;
}

int installIn(const std::string& root, const std::string& cfgDir, const PkgVersion& v,
              const std::string& namedFile) {
  const Outcome o = installVersion(root, cfgDir, v);
  writeNamed(namedFile, o.kept);
  std::ofstream(namedFile + ".problem") << o.problem;
  return o.init != 0 ? 100 + o.init : driverJobCode(o.result, o.kept.size());
}

int uninstallIn(const std::string& cfgDir, const std::string& namedFile) {
  cSOPKGLang::init();
  cCIAppFullConfig cfg;
  if (!cfg.openConfig(cfgDir.c_str())) return 100;
  sPkgUninstallContext ctx;
  ctx.id.set("sample");
  ctx.config = &cfg;
  YesHost host;
  const int code = runUninstall(ctx, host);
  writeNamed(namedFile, ctx.kept);
  return code;
}

// The files the record lists and the side files it marks.
std::set<std::string> recorded(const std::string& cfgDir) {
  cCIAppFullConfig cfg;
  std::set<std::string> out;
  if (!cfg.openConfig(cfgDir.c_str()) || !cfg.hasSection("install/sample")) return out;
  for (const std::string& f : readFileList(&cfg, "install/sample")) out.insert(f);
  for (const auto& [side, id] : readSideMark(&cfg, "install/sample")) out.insert(side);
  return out;
}

bool namedOrBelow(const std::set<std::string>& named, const std::string& path) {
  for (const std::string& n : named)
    if (path == n || under(path, n) || under(n, path)) return true;
  return false;
}

enum eRun { rInstall, rUpgrade, rUninstall };

const PkgVersion kOne = version(1, {"bin/tool", "docs/about.txt", "deep/x/y/f4", "gone/g1"});
const PkgVersion kTwo = version(2, {"bin/tool", "docs/about.txt", "deep/x/y/f4", "new/n1"});

// Judges a run that met a failure: it ends 0 only where everything is as
// a run that went well leaves it (`after`); else each path that differs
// from that (from `before`, where the run says the previous files are
// back) is named, and each file of the package's it left is listed or
// marked in the record. The user's files stay as they were.
void judgeRun(eRun run, const sTold& told, const std::string& root, const std::string& cfgDir, const tTree& user,
              const tTree& before, const tTree& after, int err, const PkgVersion& toVersion) {
  const tTree now = treeOf(root);
  for (const auto& [path, bytes] : user)
    EXPECT_EQ(now.count(path) ? now.at(path) : "", bytes) << path;
  for (const std::string& path : told.stuck)
    EXPECT_TRUE(fs::exists(fs::symlink_status(path))) << path << " told stuck, yet gone";
  const bool success = run == rUninstall ? told.code == unDone : told.code == 0;
  // The previous files are back, or nothing was changed.
  // An uninstall given up, or one that could not read its record whole,
  // changes nothing.
  const bool back = run == rUninstall
                        ? told.code == unCancelled || told.code == unStoreUnread || told.code == unRecordDamaged
                        : told.code > kDriverJobBase && told.code <= kDriverJobBase + irRecordUnsaved;
  if (success) {
    EXPECT_EQ(now, after);
    EXPECT_TRUE(told.named.empty());
    std::set<std::string> listed;
    if (run != rUninstall)
      for (const PkgFile& f : toVersion.files) listed.insert(root + "/" + f.rel);
    EXPECT_EQ(recorded(cfgDir), listed);
    return;
  }
  // A store that could not be saved holds what it held before, and
  // the files may be either version's.
  const bool unsaved = run == rUninstall ? told.code == unRecordUnsaved
                                           : told.code >= kDriverJobBase + irRecordUnsaved;
  const std::set<std::string> record = recorded(cfgDir);
  const auto differ = [&now](const tTree& meant) {
    std::set<std::string> out;
    for (const auto& [path, bytes] : now)
      if (!meant.count(path) || meant.at(path) != bytes) out.insert(path);
    for (const auto& [path, bytes] : meant)
      if (!now.count(path)) out.insert(path);
    return out;
  };
  // A removal that failed says why, as the system said it.
  if (told.code == (run == rUninstall ? unRecordKept : kDriverJobBase)) {
    EXPECT_TRUE(told.reasons.count(err));
  }
  std::set<std::string> left = differ(back || unsaved ? before : after);
  if (unsaved)
    std::erase_if(left, [&](const std::string& path) { return !differ(after).count(path); });
  for (const std::string& path : left) {
    // Where the last save failed, the backups stay as the record
    // saved before it marks them, for the next run.
    if (unsaved && record.count(path)) continue;
    EXPECT_TRUE(namedOrBelow(told.named, path)) << path << " left unnamed, code " << told.code;
    if (!unsaved && now.count(path) && now.at(path) != "/") {
      EXPECT_TRUE(record.count(path)) << path << " left out of the record, code " << told.code;
    }
  }
}

// A run of `run` to `to` made ready in `base`: the first version
// installed (but for an installation), with the user's own files under
// the backup names where `userBackups`, and what a run that goes well
// leaves.
struct sStaged {
  eRun run;
  PkgVersion to;
  std::string base, root = base + "/inst", cfgDir = base + "/cfg", namedFile = base + "/named";
  tTree user, before, after;

  sStaged(const std::string& at, eRun r, bool userBackups, const PkgVersion& v) : run(r), to(v), base(at) {
    fs::create_directories(base);
    if (run != rInstall) {
      EXPECT_EQ(installVersion(root, cfgDir, kOne).job, 0);
    }
    if (userBackups)
      for (const char* rel : {"bin/tool.bkp", "docs/about.txt.bkp"}) {
        writeFile(root + "/" + rel, std::string("the user's ") + rel);
        user[root + "/" + rel] = std::string("the user's ") + rel;
      }
    before = treeOf(root);
    after = user;
    if (run != rUninstall) after = treeWith(root, to, user);
    if (!user.empty() && run == rUninstall) after[root + "/bin"] = after[root + "/docs"] = "/";
  }
  // The run, its `nth` call of `call` failing with `error`.
  sFaultRun under(const std::string& call, const std::string& error, int nth) const {
    return underFault(
        call, error, nth,
        [this] { return run == rUninstall ? uninstallIn(cfgDir, namedFile) : installIn(root, cfgDir, to, namedFile); },
        base + "/trace");
  }
  void judge(int status, int err) const {
    judgeRun(run, readTold(status, namedFile), root, cfgDir, user, before, after, err, to);
  }
};

}  // namespace

// Each removal and rename call failing at each of its places in a run,
// with each error but "gone": the run ends 0 only where everything is as
// a run that went well leaves it; else each path that differs from that
// (from the files before, where the run says the previous files are
// back) is named, and each file of the package's it left is listed or
// marked in the record. The user's files stay as they were.
TEST(RemovalFaults, EveryFailedRemovalOrRenameIsNamedAndKept) {
  if (::access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "needs strace";
  const char* calls[] = {"unlink", "unlinkat", "rmdir", "rename", "renameat", "renameat2"};
  const struct Error {
    const char* name;
    int number;
  } errors[] = {{"EIO", EIO},       {"ENOSPC", ENOSPC}, {"EPERM", EPERM},
                {"EACCES", EACCES}, {"EROFS", EROFS},   {"EBUSY", EBUSY}};
  const struct Case {
    const char* name;
    eRun run;
    // The user's own files under the backup names: files go in place.
    bool userBackups;
  } cases[] = {
      {"install", rInstall, false},
      {"upgrade", rUpgrade, false},
      {"upgrade in place", rUpgrade, true},
      {"uninstall", rUninstall, false},
      {"uninstall in place", rUninstall, true},
  };
  ScratchDir dir;
  int runs = 0;
  for (const Case& c : cases)
    for (const char* call : calls)
      for (const Error& error : errors)
        for (int nth = 1;; ++nth) {
          SCOPED_TRACE(std::string(c.name) + ": " + call + " #" + std::to_string(nth) + " fails with " +
                       error.name);
          const sStaged staged(dir.file(std::string(c.name) + "/" + call + error.name + std::to_string(nth)),
                               c.run, c.userBackups, c.run == rInstall ? kOne : kTwo);
          const sFaultRun fault = staged.under(call, error.name, nth);
          if (fault.status < 0) GTEST_SKIP() << "strace could not attach";
          if (!fault.injected) break;
          ++runs;
          staged.judge(fault.status, error.number);
        }
  EXPECT_GT(runs, 100);
}

namespace {

// Runs `work` in a child with mounts of its own, the one it makes at `at`
// unmounted after it; its status, or -1 where it ended otherwise. What the
// child saw is left in files it wrote.
int withOwnMounts(const std::string& at, const std::function<int()>& work) {
  const pid_t child = ::fork();
  if (child == 0) {
    keepMountsPrivate();
    const int status = work();
    // Where the mounts could not be made private (in a chroot "/" is no
    // mount point), it went out to the machine too; its unmount follows it.
    ::umount2(at.c_str(), MNT_DETACH);
    ::_exit(status);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `work` in a child with mounts of its own, `from` bound at `at`
// there; the child's status as withOwnMounts tells it, 255 where it could
// not bind.
int withBound(const std::string& from, const std::string& at, const std::function<int()>& work) {
  return withOwnMounts(
      at, [&] { return ::mount(from.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) != 0 ? 255 : work(); });
}

}  // namespace

// The user binds a folder of theirs (or a file) where the package has one:
// whatever a run reaches across that mount stays, named, and the record
// keeps it; a file bound over is never taken for a busy one, nor copied
// as the package's; once the mount is gone, an uninstall ends the package.
TEST(RemovalFaults, NothingIsRemovedAcrossAMount) {
  if (::geteuid() != 0) GTEST_SKIP() << "binding a folder needs root";
  const PkgVersion dropsDeep = version(2, {"bin/tool", "docs/about.txt", "new/n1"});
  const struct Case {
    const char* name;
    const char* bound;  // the user's, bound over this path of the package
    bool upgrade;       // to a version without deep/x/y/f4; else an uninstall
    const char* named;  // the path the run names, and keeps
    int code;
  } cases[] = {
      {"uninstall, folder bound", "deep/x", false, "deep/x/y/f4", unRecordKept},
      {"upgrade dropping a file there", "deep/x", true, "deep/x/y/f4", kDriverJobBase},
      {"uninstall, file bound", "bin/tool", false, "bin/tool", unRecordKept},
      {"upgrade replacing a file bound", "docs/about.txt", true, "docs/about.txt", kDriverJobBase + irBadFolder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string root = dir.file("inst"), cfgDir = dir.file("cfg"), user = dir.file("U"),
                      namedFile = dir.file("named");
    ASSERT_EQ(installVersion(root, cfgDir, kOne).job, 0);
    writeFile(user + "/y/f4", "the user's f4");
    writeFile(user + "/u.txt", "the user's u.txt");
    const tTree mine = treeOf(user);
    const bool folder = fs::is_directory(root + "/" + c.bound);
    const int code = withBound(folder ? user : user + "/u.txt", root + "/" + c.bound, [&] {
      return c.upgrade ? installIn(root, cfgDir, dropsDeep, namedFile) : uninstallIn(cfgDir, namedFile);
    });
    if (code == 255) GTEST_SKIP() << kCannotMount << ": no folder can be bound";
    ASSERT_GE(code, 0);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(treeOf(user), mine);
    const sTold told = readTold(code, namedFile);
    EXPECT_TRUE(told.named.count(root + "/" + c.named));
    EXPECT_EQ(told.rows, std::set<int>{kKeptMounted});
    EXPECT_TRUE(sideFiles(root).empty());
    EXPECT_EQ(recorded(cfgDir).count(root + "/" + c.named + ".bkp"), 0u);
    EXPECT_TRUE(recorded(cfgDir).count(root + "/" + c.named));
    EXPECT_EQ(readFile(root + "/" + c.named), c.named + std::string(" of 1"));
    EXPECT_EQ(uninstallIn(cfgDir, namedFile), unDone);
    EXPECT_FALSE(fs::exists(root));
  }
}

// The user's folder holding an installation is overlaid with a writable
// layer of its own: moving a file aside takes it up from the lower layer,
// born anew. The uninstall still removes every file of the package, and
// says so only then.
TEST(RemovalFaults, AnInstallationInAnOverlaysLowerLayerIsRemovedWhole) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting an overlay needs root";
  ScratchDir dir;
  const std::string user = dir.file("W"), root = user + "/inst", cfgDir = dir.file("cfg");
  ASSERT_EQ(installVersion(root, cfgDir, kOne).job, 0);
  writeFile(user + "/mine.txt", "the user's");
  fs::create_directories(dir.file("up"));
  fs::create_directories(dir.file("work"));
  const std::string layers = "lowerdir=" + user + ",upperdir=" + dir.file("up") + ",workdir=" + dir.file("work");
  // 0: removed whole and told so; 1: told so with files left; 2: told otherwise.
  const int outcome = withOwnMounts(user, [&] {
    if (::mount("overlay", user.c_str(), "overlay", 0, layers.c_str()) != 0) return 255;
    const int code = uninstallIn(cfgDir, dir.file("named"));
    if (readFile(user + "/mine.txt") != "the user's") return 3;
    return code != unDone ? 2 : fs::exists(root) ? 1 : 0;
  });
  if (outcome == 255) GTEST_SKIP() << kCannotMount << ": no overlay can be mounted";
  EXPECT_EQ(outcome, 0);
}

namespace {

// The places, counted from 1 among the run's openat calls, where `staged`
// opens a folder of the package's, as a trace of the same run without a
// fault lists them.
std::vector<int> folderOpens(const sStaged& staged) {
  // strace counts to 65535 at most; no run opens that many.
  staged.under("openat", "EIO", 65535);
  std::ifstream in(staged.base + "/trace");
  std::vector<int> at;
  int nth = 0;
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("openat(")) continue;
    ++nth;
    const size_t quote = line.find('"');
    const std::string name = line.substr(quote + 1, line.find('"', quote + 1) - quote - 1);
    const bool ours = name == staged.root || std::set<std::string>{"bin", "docs", "deep", "x", "y", "gone", "new"}.count(name);
    if (ours && line.find("O_DIRECTORY") != std::string::npos) at.push_back(nth);
  }
  return at;
}

}  // namespace

// A folder on the way that the system will not open (a failing disk, a
// folder the user made unreadable) leaves what lies behind it: neither
// gone nor removed, it is named with the system's reason and stays in the
// record, and the folders an upgrade emptied behind it likewise. An
// upgrade it stops tells of the folder, with the system's reason, not of
// an object in the way.
TEST(RemovalFaults, AFolderOnTheWayThatDoesNotOpenKeepsWhatItHolds) {
  if (::access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "needs strace";
  const PkgVersion dropsDeep = version(2, {"bin/tool", "docs/about.txt", "new/n1"});
  const struct Case {
    const char* name;
    eRun run;
    bool userBackups;
  } cases[] = {
      {"upgrade dropping deep/x/y/f4", rUpgrade, false},
      {"uninstall", rUninstall, false},
      {"uninstall in place", rUninstall, true},
  };
  ScratchDir dir;
  int runs = 0, reasoned = 0;
  for (const Case& c : cases) {
    const std::vector<int> opens = folderOpens(sStaged(dir.file(std::string(c.name) + "/plain"), c.run, c.userBackups, dropsDeep));
    EXPECT_GT(opens.size(), 4u) << c.name;
    for (const char* error : {"EIO", "EACCES"})
      for (const int nth : opens) {
        SCOPED_TRACE(std::string(c.name) + ": openat #" + std::to_string(nth) + " fails with " + error);
        const sStaged staged(dir.file(std::string(c.name) + "/" + error + std::to_string(nth)), c.run,
                             c.userBackups, dropsDeep);
        const sFaultRun fault = staged.under("openat", error, nth);
        if (fault.status < 0) GTEST_SKIP() << "strace could not attach";
        ASSERT_TRUE(fault.injected);
        ++runs;
        const int err = error == std::string("EIO") ? EIO : EACCES;
        staged.judge(fault.status, err);
        const sTold told = readTold(fault.status, staged.namedFile);
        EXPECT_NE(told.code, kDriverJobBase + irObstacle) << told.problem;
        if (told.code == kDriverJobBase + irBadFolder && told.problem.ends_with(std::string(": ") + std::strerror(err)))
          ++reasoned;
      }
  }
  EXPECT_GT(runs, 20);
  EXPECT_GT(reasoned, 0);
}

namespace {

void writeTree(const std::string& file, const tTree& tree) {
  std::ofstream out(file);
  for (const auto& [path, bytes] : tree) out << path << '\t' << bytes << '\n';
}

tTree readTree(const std::string& file) {
  tTree tree;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) tree[line.substr(0, line.find('\t'))] = line.substr(line.find('\t') + 1);
  return tree;
}

}  // namespace

// A mount point the package did not make is the user's: one at the
// installation folder when it was made stays, quietly, as the package's
// files on it go; a file system mounted on it since is another's, and
// what lies there stays, named, with the record, and an upgrade is
// refused, naming the mount. A mount inside the folder stops a first
// installation, which says it is a mount.
TEST(RemovalFaults, AMountAtTheInstallationFolderIsTheUsers) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
  enum eWhen { before, after };
  const struct Case {
    const char* name;
    eWhen when;
    const char* at;  // below the installation folder; empty: the folder itself
    bool bind;       // the folder bound onto itself, else a tmpfs
    int uninstall;   // the uninstall's end; -1: the installation fails
    bool upgrade;    // an upgrade is tried first, over the mount
  } cases[] = {
      {"tmpfs at the folder, then installed", before, "", false, unDone, false},
      {"folder bound onto itself, then installed", before, "", true, unDone, false},
      {"installed, then a tmpfs over the folder", after, "", false, unRecordKept, false},
      {"installed, then a tmpfs over the folder, then upgraded", after, "", false, unRecordKept, true},
      {"tmpfs inside the folder, then installed", before, "deep", false, -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string root = dir.file("inst"), cfgDir = dir.file("cfg"), namedFile = dir.file("named"),
                      seen = dir.file("seen"), at = *c.at ? root + "/" + c.at : root;
    const auto mount = [&] {
      fs::create_directories(at);
      return c.bind ? ::mount(at.c_str(), at.c_str(), nullptr, MS_BIND, nullptr)
                    : ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=1m");
    };
    const int code = withOwnMounts(at, [&] {
      if (c.when == before && mount() != 0) return 255;
      const int installed = installIn(root, cfgDir, kOne, namedFile);
      if (c.uninstall < 0) return installed;
      if (installed != 0) return 254;
      if (c.when == after) {
        if (mount() != 0) return 255;
        for (const char* rel : {"bin/tool", "deep/x/y/f4", "f1"}) writeFile(root + "/" + rel, "the user's");
      }
      if (c.upgrade) {
        const int refused = installIn(root, cfgDir, kTwo, namedFile);
        const sTold told = readTold(refused, namedFile);
        if (refused != 100 + iiForeignFile || told.named != std::set<std::string>{root} ||
            told.rows != std::set<int>{kKeptMounted})
          return 253;
      }
      const int code = uninstallIn(cfgDir, namedFile);
      writeTree(seen, treeOf(root));
      return code;
    });
    if (code == 255) GTEST_SKIP() << kCannotMount;
    EXPECT_NE(code, 253) << "the upgrade was not refused naming the mount";
    const sTold told = readTold(code, namedFile);
    if (c.uninstall < 0) {
      EXPECT_EQ(code, kDriverJobBase + irBadFolder);
      EXPECT_TRUE(namedOrBelow(told.named, at));
      EXPECT_EQ(told.rows, std::set<int>{kKeptMounted});
      continue;
    }
    EXPECT_EQ(code, c.uninstall);
    const tTree left = readTree(seen);
    if (c.when == before) {
      EXPECT_TRUE(left.empty());
      EXPECT_TRUE(told.named.empty());
      EXPECT_TRUE(recorded(cfgDir).empty());
      continue;
    }
    // The user's files on the mount, under the package's names, stay.
    for (const char* rel : {"bin/tool", "deep/x/y/f4", "f1"})
      EXPECT_EQ(left.count(root + "/" + rel) ? left.at(root + "/" + rel) : "", "the user's") << rel;
    EXPECT_TRUE(told.named.count(root + "/bin/tool"));
    EXPECT_EQ(told.rows, std::set<int>{kKeptMounted});
    EXPECT_TRUE(recorded(cfgDir).count(root + "/bin/tool"));
    // Unmounted, the package's own files are there again, and go.
    EXPECT_EQ(uninstallIn(cfgDir, namedFile), unDone);
    EXPECT_FALSE(fs::exists(root));
  }
}

namespace {

// Leaves the record as a build that knew nothing of mounts wrote it.
void forgetMount(const std::string& cfgDir) {
  cCIAppFullConfig cfg;
  cfg.openConfig(cfgDir.c_str());
  cfg.removeSection("install/sample/pathmount");
  cfg.saveConfig();
}

// What the record says of a mount at the installation folder; 9 for
// nothing.
unsigned long long recordedMount(const std::string& cfgDir) {
  cCIAppFullConfig cfg;
  unsigned long long mount = 9;
  cfg.openConfig(cfgDir.c_str());
  cfg.getParamInt("install/sample/pathmount", mount);
  return mount;
}

}  // namespace

// Whether the installation folder was a mount point is never read from
// what is there now. A record that does not say takes a file system at
// the folder for one mounted since, and nothing on it goes or is
// replaced; nor is anything where the file system the folder was made on
// is unmounted since, which the run says as it is. Either way the user
// has a way forward: unmounting, or deleting by hand what is named.
TEST(RemovalFaults, AMountTheRecordCannotTellOfIsNotThePackages) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
  const struct Case {
    const char* name;
    bool bind;          // the folder bound onto itself, else a tmpfs
    bool installedOn;   // installed onto the mount, else mounted after
    bool earlier;       // the record says nothing of mounts
    bool runsMounted;   // the upgrade and the uninstall meet the mount
    int row;            // why the folder and what lies there are named
    int uninstall;
  } cases[] = {
      {"earlier record, then a disk over the folder", false, false, true, true, kKeptMounted, unRecordKept},
      {"earlier record, installed onto a disk", false, true, true, true, kKeptMounted, unRecordKept},
      {"bound onto itself when installed, unbound since", true, true, false, false, kKeptUnmounted, unRecordKept},
      {"a disk at the folder when installed, unmounted since", false, true, false, false, kKeptUnmounted, unKept},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string root = dir.file("inst"), cfgDir = dir.file("cfg"), namedFile = dir.file("named");
    const auto mount = [&] {
      fs::create_directories(root);
      return c.bind ? ::mount(root.c_str(), root.c_str(), nullptr, MS_BIND, nullptr)
                    : ::mount("tmpfs", root.c_str(), "tmpfs", 0, "size=1m");
    };
    // Refused, naming the folder; then nothing at all changes there.
    const auto upgradeAndUninstall = [&] {
      const tTree before = treeOf(root);
      const int upgrade = installIn(root, cfgDir, kTwo, namedFile);
      const sTold refused = readTold(upgrade, namedFile);
      if (upgrade != 100 + iiForeignFile || refused.named != std::set<std::string>{root} ||
          refused.rows != std::set<int>{c.row})
        return 253;
      const int code = uninstallIn(cfgDir, namedFile);
      return treeOf(root) == before ? code : 252;
    };
    if (!c.installedOn) {
      ASSERT_EQ(installVersion(root, cfgDir, kOne).job, 0);
    }
    int code = withOwnMounts(root, [&] {
      if (mount() != 0) return 255;
      if (c.installedOn && installVersion(root, cfgDir, kOne).job != 0) return 254;
      if (c.earlier) forgetMount(cfgDir);
      if (!c.runsMounted) return 0;
      for (const char* rel : {"bin/tool", "sub/a/f2", "note.txt"}) writeFile(root + "/" + rel, "the user's");
      return upgradeAndUninstall();
    });
    if (code == 255) GTEST_SKIP() << kCannotMount;
    ASSERT_NE(code, 254) << "could not install onto the mount";
    if (!c.runsMounted) code = upgradeAndUninstall();
    EXPECT_NE(code, 253) << "the upgrade was not refused naming the folder";
    EXPECT_NE(code, 252) << "something was removed or replaced";
    EXPECT_EQ(code, c.uninstall);
    const sTold told = readTold(code, namedFile);
    EXPECT_EQ(told.rows, std::set<int>{c.row});
    // Never rewritten to claim the mount as the package's.
    if (c.earlier) {
      EXPECT_EQ(recordedMount(cfgDir), 9u);
    }
    if (c.runsMounted) {
      EXPECT_TRUE(told.named.count(root + "/bin/tool"));
      // Unmounted, the package's own files are there again, and go.
      EXPECT_EQ(uninstallIn(cfgDir, namedFile), unDone);
      EXPECT_FALSE(fs::exists(root));
      continue;
    }
    EXPECT_TRUE(told.named.count(root));
    // What the user deletes by hand holds the record back no more.
    for (const std::string& path : told.named)
      if (fs::is_regular_file(path)) fs::remove(path);
    if (!recorded(cfgDir).empty()) {
      EXPECT_EQ(uninstallIn(cfgDir, namedFile), unKept);
      EXPECT_EQ(readTold(unKept, namedFile).named, std::set<std::string>{root});
    }
    EXPECT_TRUE(recorded(cfgDir).empty());
  }
}
