// Every removal and rename of an installation, an upgrade and an uninstall
// failing in turn, with each error a disk or a file system gives: a run
// ends well only with everything done, and otherwise names each thing it
// left and keeps it in the record. A mount on the way keeps what it holds.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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
      tree[up.string()] = "/";
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
};

void writeNamed(const std::string& file, const std::vector<sKeptFile>& kept) {
  std::ofstream out(file);
  for (const sKeptFile& k : kept) out << k.err << ' ' << k.path << '\n';
}

sTold readTold(int code, const std::string& file) {
  sTold told{code, {}, {}, {}};
  std::ifstream in(file);
  int err = 0;
  for (std::string path; in >> err && in.get() && std::getline(in, path);) {
    told.named.insert(path);
    if (err) told.reasons.insert(err), told.stuck.insert(path);
  }
  return told;
}

int installIn(const std::string& root, const std::string& cfgDir, const PkgVersion& v,
              const std::string& namedFile) {
  const Outcome o = installVersion(root, cfgDir, v);
  writeNamed(namedFile, o.kept);
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
          const std::string base =
                                dir.file(std::string(c.name) + "/" + call + error.name + std::to_string(nth)),
                            root = base + "/inst", cfgDir = base + "/cfg", namedFile = base + "/named";
          SCOPED_TRACE(std::string(c.name) + ": " + call + " #" + std::to_string(nth) + " fails with " +
                       error.name);
          fs::create_directories(base);
          if (c.run != rInstall) {
            ASSERT_EQ(installVersion(root, cfgDir, kOne).job, 0);
          }
          tTree user;
          if (c.userBackups)
            for (const char* rel : {"bin/tool.bkp", "docs/about.txt.bkp"}) {
              writeFile(root + "/" + rel, std::string("the user's ") + rel);
              user[root + "/" + rel] = std::string("the user's ") + rel;
            }
          const tTree before = treeOf(root);
          tTree after = user;
          if (c.run != rUninstall) after = treeWith(root, c.run == rInstall ? kOne : kTwo, user);
          if (!user.empty() && c.run == rUninstall) after[root + "/bin"] = after[root + "/docs"] = "/";
          const sFaultRun fault = underFault(
              call, error.name, nth,
              [&] {
                return c.run == rUninstall
                           ? uninstallIn(cfgDir, namedFile)
                           : installIn(root, cfgDir, c.run == rInstall ? kOne : kTwo, namedFile);
              },
              base + "/trace");
          if (fault.status < 0) GTEST_SKIP() << "strace could not attach";
          if (!fault.injected) break;
          ++runs;
          const sTold told = readTold(fault.status, namedFile);
          const tTree now = treeOf(root);
          for (const auto& [path, bytes] : user)
            EXPECT_EQ(now.count(path) ? now.at(path) : "", bytes) << path;
          for (const std::string& path : told.stuck)
            EXPECT_TRUE(fs::exists(fs::symlink_status(path))) << path << " told stuck, yet gone";
          const bool success = c.run == rUninstall ? told.code == unDone : told.code == 0;
          // The previous files are back, or nothing was changed.
          const bool back = c.run == rUninstall
                                ? told.code == unCancelled
                                : told.code > kDriverJobBase && told.code <= kDriverJobBase + irRecordUnsaved;
          if (success) {
            EXPECT_EQ(now, after);
            EXPECT_TRUE(told.named.empty());
            std::set<std::string> listed;
            if (c.run != rUninstall)
              for (const PkgFile& f : (c.run == rInstall ? kOne : kTwo).files)
                listed.insert(root + "/" + f.rel);
            EXPECT_EQ(recorded(cfgDir), listed);
            continue;
          }
          // A store that could not be saved holds what it held before, and
          // the files may be either version's.
          const bool unsaved = c.run == rUninstall ? told.code == unRecordUnsaved
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
          if (told.code == (c.run == rUninstall ? unRecordKept : kDriverJobBase)) {
            EXPECT_TRUE(told.reasons.count(error.number));
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
  EXPECT_GT(runs, 100);
}

namespace {

// Runs `work` in a child with mounts of its own, `from` bound at `at`
// there; the child's status, or -1 where it could not bind.
int withBound(const std::string& from, const std::string& at, const std::function<int()>& work) {
  const pid_t child = ::fork();
  if (child == 0) {
    keepMountsPrivate();
    if (::mount(from.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) != 0) ::_exit(255);
    ::_exit(work());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}

}  // namespace

// The user binds a folder of theirs (or a file) where the package has one:
// whatever a run reaches across that mount stays, named, and the record
// keeps it; once the mount is gone, an uninstall ends the package.
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
      // The file cannot be moved aside: the user is asked, and gives up.
      {"uninstall, file bound", "bin/tool", false, "bin/tool", unCancelled},
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
    ASSERT_GE(code, 0) << "could not bind";
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(treeOf(user), mine);
    EXPECT_EQ(readTold(code, namedFile).named.count(root + "/" + c.named), c.code != unCancelled);
    EXPECT_TRUE(recorded(cfgDir).count(root + "/" + c.named));
    EXPECT_EQ(readFile(root + "/" + c.named), c.named + std::string(" of 1"));
    EXPECT_EQ(uninstallIn(cfgDir, namedFile), unDone);
    EXPECT_FALSE(fs::exists(root));
  }
}
