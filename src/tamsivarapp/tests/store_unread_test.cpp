// What a run could not read or lock is never taken for nothing there.
// Packages `one` and `probe` are installed through the install driver;
// then the store of records is damaged or cannot be read, or no lock can
// be made, or another run stops holding the store's lock, and an upgrade
// (the driver), a first installation (the driver) and an uninstall (in a
// child) of the package meet it. Each ends as the README's table says,
// naming what it could not use and why, and changes nothing of the
// package: its files and the store's bytes stay as they were.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>

#include "base/tests/scratch_dir.h"
#include "driver/driver_codes.h"
#include "install_support.h"
#include "support/runprog.h"
#include "tamsivarapp/lang.h"
#include "tamsivarapp/runlock.h"
#include "tamsivarapp/uninstall.h"

namespace fs = std::filesystem;

namespace {

struct sTold {
  int code = -1;
  std::string words;
};

class StoreUnread : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = dir_.file("home");
    fs::create_directories(home_);
    fs::create_directories(dir_.file("tmp"));
    for (const char* name : {"one", "probe", "newbie"}) made_[std::string(name) + "1"] = make(name, 1);
    made_["probe2"] = make("probe", 2);
    made_["probe3"] = make("probe", 3, {"a.txt", "b.txt", "lib/c.txt"});
    made_["newbie2"] = make("newbie", 2);
    ASSERT_EQ(drive("one1", dir_.file("apps/one")).code, 0);
    ASSERT_EQ(drive("probe1", dir_.file("apps/probe")).code, 0);
    store_ = home_ + "/.zvk/install";
    files_ = tree(dir_.file("apps/probe"));
    ASSERT_EQ(files_.size(), 4u);
    bytes_ = readFile(store_);
  }

  std::string make(const std::string& name, int major,
                   const std::vector<std::string>& files = {"a.txt", "b.txt", "lib/c.txt", "lib/d.txt"}) {
    const std::string id = name + std::to_string(major);
    std::string install;
    for (const std::string& rel : files) {
      writeFile(dir_.file(id + "/" + rel), id + " " + rel);
      install.append("\"").append(dir_.file(id + "/" + rel)).append("\" = $pgm \"").append(rel).append("\"\n");
    }
    writeFile(dir_.file("eula.hdl"), "<text>Terms</text>");
    writeFile(dir_.file("eula.idx"), "ENG = \"./eula.hdl\"\n");
    writeFile(dir_.file(id + ".txt"), "[General]\nlangs = ENG\n[Software]\ncodename = \"" + name + "\"\nname = \"" +
                                          name + "\"\nversion = \"" + std::to_string(major) + ".0\"\neula = \"" +
                                          dir_.file("eula.idx") + "\"\n[Install]\n" + install);
    const std::string zvk = std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk";
    EXPECT_EQ(runWithEnv({zvk, "make", dir_.file(id + ".txt"), dir_.file(id + ".app")}, env()).status, 0);
    return dir_.file(id + ".app");
  }

  std::vector<std::string> env() const {
    return {"HOME=" + home_, "TMPDIR=" + dir_.file("tmp"), "PATH=/usr/bin:/bin", "ASAN_OPTIONS=detect_leaks=0"};
  }

  // The driver on package `id`, under `before` (strace, timeout) where
  // given.
  sTold drive(const std::string& id, const std::string& pgm, std::vector<std::string> before = {}) {
    before.insert(before.end(), {ZVK_INSTALL_DRIVER, made_[id], "--pgm", pgm});
    const sRunResult r = runWithEnv(before, env());
    return {r.status, r.out + r.err};
  }

  // An uninstall of `probe` in a child, which `prepare` readies (strace
  // holding it); `host` answers its questions.
  sTold uninstall(cUninstallHost& host, const std::function<void()>& prepare = nullptr) {
    const std::string told = dir_.file("told");
    // Written by the child, which may no longer be root.
    writeFile(told, "");
    chmod(told.c_str(), 0666);
    const pid_t child = fork();
    if (child == 0) {
      // The old code waited here without end.
      alarm(60);
      setenv("HOME", home_.c_str(), 1);
      if (prepare) prepare();
      cSOPKGLang::init();
      cCIAppFullConfig cfg;
      cfg.openConfig((home_ + "/.zvk").c_str());
      sPkgUninstallContext ctx;
      ctx.id.set("probe");
      ctx.config = &cfg;
      const int code = runUninstall(ctx, host);
      std::string words = ctx.storeTrouble;
      for (const sKeptFile& k : ctx.kept) words += "\nkept " + std::to_string(k.reason) + " " + k.path;
      std::ofstream(told) << words;
      _exit(code);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(told)};
  }

  static std::map<std::string, std::string> tree(const std::string& root) {
    std::map<std::string, std::string> out;
    if (fs::exists(root))
      for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) out[e.path().string()] = readFile(e.path().string());
    return out;
  }

  // The offset in `bytes` of the name of probe's key `name`, or of
  // probe's own name: probe's record is the store's last.
  static size_t keyAt(const std::string& bytes, const std::string& name) {
    size_t found = std::string::npos;
    for (char field = 1; field < 16; ++field)
      if (const size_t f = bytes.rfind(std::string("\x01") + field + name);
          f != std::string::npos && (found == std::string::npos || f > found))
        found = f;
    return found == std::string::npos ? found : found + 2;
  }

  // Probe installed afresh into `folder`, its files the ones to compare.
  void installedAnew(const std::string& folder) {
    ASSERT_EQ(drive("probe1", folder).code, 0);
    files_ = tree(folder);
  }

  void expectUntouched() {
    EXPECT_EQ(tree(dir_.file("apps/probe")), files_);
    EXPECT_EQ(readFile(store_), bytes_) << "the store was written";
  }

  ScratchDir dir_;
  std::string home_, store_, bytes_;
  std::map<std::string, std::string> made_, files_;
};

struct YesHost : cUninstallHost {
  bool confirm(int) override { return true; }
  bool askRelease(const char*) override { return true; }
};

// Follows the call of this process and its children that opens `path`,
// failing it with `error`, from the moment it returns.
void failOpenOf(const std::string& path, const std::string& error) {
  const std::string self = std::to_string(getpid()), inject = "inject=openat:error=" + error;
  if (fork() == 0) {
    execlp("strace", "strace", "-f", "-qq", "-o", "/dev/null", "-P", path.c_str(), "-e", "trace=openat", "-e",
           inject.c_str(), "-p", self.c_str(), nullptr);
    _exit(127);
  }
  for (;;) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line) && !line.starts_with("TracerPid:")) {
    }
    if (line != "TracerPid:\t0") return;
    usleep(1000);
  }
}

TEST_F(StoreUnread, ARecordThatDidNotReadWholeIsDamagedAndAStoreNotReadIsNoEmptyOne) {
  if (access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "needs strace";
  // The store as it was saved; the record of probe is its last.
  const std::string saved = bytes_;
  // The version's name, after its marker and the size of its field.
  size_t ver = std::string::npos;
  for (char field : {'\x03', '\x04'})
    if (const size_t at = saved.rfind(std::string("\x01") + field + "ver"); at != std::string::npos) ver = at + 2;
  ASSERT_NE(ver, std::string::npos);
  cCIAppConfig noVer;
  ASSERT_TRUE(noVer.openConfig((home_ + "/.zvk").c_str()));
  ASSERT_TRUE(noVer.removeSection("install/probe/ver") && noVer.saveConfig());
  const std::string withoutVer = readFile(store_);
  struct Case {
    const char* what;
    std::string bytes;
    const char* error;  // injected at the store's open
    int driver, uninstall;
    std::string words;
    bool asNobody = false;  // the store's mode 000, the runs nobody's
  } cases[] = {
      // Each run names the copy of the bytes it keeps, one per damage. The
      // upgrade over a damaged record is a new installation over its
      // folder, which writes over the files the record could still list.
      {"cut by 10 bytes", saved.substr(0, saved.size() - 10), nullptr, kDriverJobBase, unRecordDamaged,
       store_ + ".damaged-1"},
      {"cut inside the record", saved.substr(0, ver + 1), nullptr, kDriverJobBase, unRecordDamaged,
       store_ + ".damaged-2"},
      {"a marker flipped", saved.substr(0, ver - 2) + '\x07' + saved.substr(ver - 1), nullptr, kDriverJobBase,
       unRecordDamaged, store_ + ".damaged-3"},
      {"a record without its version", withoutVer, nullptr, kDriverJobBase, unRecordUnversioned,
       store_ + ".damaged-4"},
      {"EIO at its open", saved, "EIO", kDriverJobBase + irRecordUnsaved, unStoreUnread,
       store_ + ": " + std::strerror(EIO)},
      {"EACCES at its open", saved, "EACCES", kDriverJobBase + irRecordUnsaved, unStoreUnread,
       store_ + ": " + std::strerror(EACCES)},
      {"mode 000, as nobody", saved, nullptr, kDriverJobBase + irRecordUnsaved, unStoreUnread,
       store_ + ": " + std::strerror(EACCES), true},
  };
  const bool nobodyToo = geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.asNobody && !nobodyToo) continue;
    writeFile(store_, c.bytes);
    bytes_ = c.bytes;
    std::vector<std::string> before;
    if (c.error)
      before = {"strace", "-f", "-qq", "-o", "/dev/null", "-P", store_, "-e", "trace=openat", "-e",
                std::string("inject=openat:error=") + c.error};
    if (c.asNobody) {
      chmod(dir_.root.c_str(), 0755);
      chmod(store_.c_str(), 0);
      before = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    const sTold upgrade = drive("probe2", dir_.file("apps/probe"), before);
    EXPECT_EQ(upgrade.code, c.driver) << upgrade.words;
    EXPECT_NE(upgrade.words.find(c.words), std::string::npos) << upgrade.words;
    if (c.driver == kDriverJobBase) {
      // Damaged as before, for the uninstall.
      files_ = tree(dir_.file("apps/probe"));
      for (const auto& [path, bytes] : files_) EXPECT_TRUE(bytes.starts_with("probe2 ")) << path;
      writeFile(store_, c.bytes);
    }
    expectUntouched();
    YesHost host;
    const sTold removal = uninstall(host, [&] {
      if (c.error) failOpenOf(store_, c.error);
      if (c.asNobody && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
    });
    EXPECT_EQ(removal.code, c.uninstall);
    EXPECT_NE(removal.words.find(c.words), std::string::npos) << removal.words;
    expectUntouched();
    if (c.words.find(".damaged-") != std::string::npos) {
      EXPECT_EQ(readFile(c.words), c.bytes);
    }
  }
  EXPECT_FALSE(fs::exists(store_ + ".damaged-5"));
}

// A record judged damaged is no dead end. Its uninstall says what is
// wrong, removes nothing and names the copy of the store's bytes; the
// package installed again, in its version or a newer one, is a new
// installation over the folder the record names (whatever --pgm says),
// which replaces the record, names the copy and removes nothing the
// version does not write; its uninstall then removes what it wrote. A
// record cut short before what only a whole record holds, then saved
// again, reads as a first installation never finished: its uninstall
// names each file no run's mark ties to a run, keeping the files and the
// record, and the package installed again, in its version or another,
// then uninstalls as any other.
TEST_F(StoreUnread, ADamagedRecordIsInstalledAnewOverItsFolderThenUninstalled) {
  const auto at = keyAt;
  const std::string folder = dir_.file("apps/probe"), elsewhere = dir_.file("elsewhere");
  const auto withoutVersion = [&](const std::string&) {
    cCIAppConfig store;
    EXPECT_TRUE(store.openConfig((home_ + "/.zvk").c_str()));
    EXPECT_TRUE(store.removeSection("install/probe/ver") && store.saveConfig());
    return readFile(store_);
  };
  struct Case {
    const char* what;
    std::function<std::string(const std::string&)> damage;
    bool savedByAnother;  // then saved by another package's run
    int uninstall;
    std::string told;   // in what the refused uninstall tells
    std::string again;  // the package installed again
    std::string pgm;    // the folder the driver is given
    int copyReason;     // of the copy that run names; 0 for none
  } cases[] = {
      {"cut where its shortcuts begin, then saved by another package's run",
       [&](const std::string& b) { return b.substr(0, at(b, "shortc") - 2); }, true, unRecordKept,
       "kept " + std::to_string(kKeptUnrecorded) + " " + folder + "/lib/d.txt", "probe1", folder, 0},
      // Another version over such a record replaces what it lists, as the
      // same version does, and leaves the file it does not write.
      {"cut where its shortcuts begin, then saved by another package's run, then upgraded",
       [&](const std::string& b) { return b.substr(0, at(b, "shortc") - 2); }, true, unRecordKept,
       "kept " + std::to_string(kKeptUnrecorded) + " " + folder + "/lib/d.txt", "probe3", folder, 0},
      {"cut inside the name of its shortcuts, then saved by another package's run, then upgraded",
       [&](const std::string& b) { return b.substr(0, at(b, "shortc") + 3); }, true, unRecordKept,
       "kept " + std::to_string(kKeptUnrecorded) + " " + folder + "/lib/d.txt", "probe3", folder, 0},
      {"cut where its folder's resolved path begins, then saved by another package's run, then upgraded",
       [&](const std::string& b) { return b.substr(0, at(b, "pathreal") - 2); }, true, unRecordKept,
       "kept " + std::to_string(kKeptUnrecorded) + " " + folder + "/lib/d.txt", "probe3", folder, 0},
      {"without its version", withoutVersion, false, unRecordUnversioned, folder, "probe1", elsewhere,
       kKeptRecordCopy},
      {"without its version, then upgraded", withoutVersion, false, unRecordUnversioned, folder, "probe3",
       elsewhere, kKeptRecordCopy},
      {"cut where its version begins, then saved by another package's run",
       [&](const std::string& b) { return b.substr(0, at(b, "ver") - 2); }, true, unRecordUnversioned, folder,
       "probe1", elsewhere, kKeptRecordCopy},
      {"cut inside its version", [&](const std::string& b) { return b.substr(0, at(b, "ver") + 1); }, false,
       unRecordDamaged, folder, "probe1", elsewhere, kKeptStoreCopy},
      {"cut inside its version, then upgraded",
       [&](const std::string& b) { return b.substr(0, at(b, "ver") + 1); }, false, unRecordDamaged, folder,
       "probe3", elsewhere, kKeptStoreCopy},
      {"cut inside its own name", [&](const std::string& b) { return b.substr(0, at(b, "probe") + 2); },
       false, unRecordDamaged, store_ + ".damaged-", "probe1", folder, kKeptStoreCopy},
  };
  int others = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string whole = readFile(store_);
    ASSERT_NE(at(whole, "shortc"), std::string::npos);
    ASSERT_NE(at(whole, "pathreal"), std::string::npos);
    writeFile(store_, c.damage(whole));
    if (c.savedByAnother) {
      const std::string newer = "newbie" + std::to_string(++others);
      if (!made_.count(newer)) made_[newer] = make("newbie", others);
      EXPECT_EQ(drive(newer, dir_.file("apps/newbie")).code, kDriverJobBase);
    }
    bytes_ = readFile(store_);
    YesHost host;
    const sTold refused = uninstall(host);
    EXPECT_EQ(refused.code, c.uninstall) << refused.words;
    EXPECT_NE(refused.words.find(c.told), std::string::npos) << refused.words;
    EXPECT_EQ(tree(folder), files_);
    if (c.uninstall != unRecordKept) {
      EXPECT_NE(refused.words.find(store_ + ".damaged-"), std::string::npos) << refused.words;
      EXPECT_EQ(readFile(store_), bytes_) << "the store was written";
    }
    // What the version installed again writes; the rest stays.
    std::map<std::string, std::string> expected = files_;
    for (auto& [path, bytes] : expected)
      if (const std::string rel = path.substr(folder.size() + 1); fs::exists(dir_.file(c.again + "/" + rel)))
        bytes = c.again + " " + rel;
    const sTold again = drive(c.again, c.pgm);
    EXPECT_EQ(again.code, c.copyReason ? kDriverJobBase : 0) << again.words;
    if (c.copyReason) {
      EXPECT_NE(again.words.find("kept " + std::to_string(c.copyReason) + " " + store_ + ".damaged-"),
                std::string::npos)
          << again.words;
    }
    EXPECT_EQ(tree(folder), expected);
    EXPECT_FALSE(fs::exists(elsewhere));
    const sTold removal = uninstall(host);
    EXPECT_EQ(removal.code, unDone) << removal.words;
    for (auto it = expected.begin(); it != expected.end();)
      it = it->second.starts_with(c.again) ? expected.erase(it) : std::next(it);
    EXPECT_EQ(tree(folder), expected);
    installedAnew(folder);
  }
}

// A record holding its version but no usable installation folder cannot
// tell the package's files from anybody else's. Its uninstall removes
// nothing, names each file it lists and the copy of the store's bytes; the
// package installed again is a new installation into the folder chosen,
// which writes the record anew and names that copy; its uninstall then
// removes what it wrote, and what the old record listed elsewhere stays.
TEST_F(StoreUnread, ARecordWithoutAUsableFolderIsInstalledAnewWhereChosen) {
  const std::string folder = dir_.file("apps/probe"), elsewhere = dir_.file("elsewhere");
  struct Case {
    const char* what;
    const char* path;  // recorded instead of the folder; null for none
    std::string again, pgm;
  } cases[] = {
      {"without its folder", nullptr, "probe3", elsewhere},
      {"its folder empty", "", "probe3", elsewhere},
      {"its folder not from the root", "apps/probe", "probe1", folder},
      {"its folder through a \"..\" step", "/apps/../apps/probe", "probe1", folder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      cCIAppConfig store;
      ASSERT_TRUE(store.openConfig((home_ + "/.zvk").c_str()));
      if (!c.path) {
        ASSERT_TRUE(store.removeSection("install/probe/path"));
      } else {
        const std::string path = c.path[0] == '/' ? dir_.root + c.path : c.path;
        store.setParamStr("install/probe/path", path.c_str(), -1);
      }
      ASSERT_TRUE(store.saveConfig());
    }
    bytes_ = readFile(store_);
    YesHost host;
    const sTold refused = uninstall(host);
    EXPECT_EQ(refused.code, unRecordUnfounded) << refused.words;
    EXPECT_NE(refused.words.find(store_ + ".damaged-"), std::string::npos) << refused.words;
    for (const auto& [path, bytes] : files_)
      EXPECT_NE(refused.words.find("kept " + std::to_string(kKeptUnfounded) + " " + path), std::string::npos)
          << refused.words;
    expectUntouched();
    const sRunResult bare = runWithEnv({ZVK_INSTALL_DRIVER, made_[c.again]}, env());
    EXPECT_EQ(bare.status, kDriverUsage) << bare.err;
    EXPECT_NE(bare.err.find("the record of probe names no usable installation folder"), std::string::npos)
        << bare.err;
    EXPECT_NE(bare.err.find(refused.words.substr(0, refused.words.find('\n'))), std::string::npos) << bare.err;
    expectUntouched();
    const sTold again = drive(c.again, c.pgm);
    EXPECT_EQ(again.code, kDriverJobBase) << again.words;
    // The copy the uninstall made already holds these bytes.
    EXPECT_NE(again.words.find("kept " + std::to_string(kKeptUnfoundedCopy) + " " +
                               refused.words.substr(0, refused.words.find('\n'))),
              std::string::npos)
        << again.words;
    for (const auto& [path, bytes] : tree(c.pgm)) EXPECT_TRUE(bytes.starts_with(c.again + " ")) << path;
    if (c.pgm != folder) {
      EXPECT_EQ(tree(folder), files_);
    }
    const sTold removal = uninstall(host);
    EXPECT_EQ(removal.code, unDone) << removal.words;
    EXPECT_TRUE(tree(c.pgm).empty());
    if (c.pgm != folder) fs::remove_all(folder);
    installedAnew(folder);
  }
}

// A store cut inside a record's name, or just after it, then saved by
// another package's run, loses the record or leaves it holding nothing.
// The uninstall removes nothing and names the copies of the store that may
// hold it, rather than saying only "not installed", or ending as done with
// every file of the package left; installed again where chosen, the
// package then uninstalls as any other.
TEST_F(StoreUnread, ARecordLostOrLeftHoldingNothingNamesTheCopiesThatMayHoldIt) {
  const std::string folder = dir_.file("apps/probe"), elsewhere = dir_.file("elsewhere");
  const struct {
    const char* what;
    size_t past;  // bytes kept past the start of the record's name
    int uninstall;
  } cases[] = {{"cut inside its name", 2, unNotInstalled}, {"cut just after its name", 9, unRecordUnfounded}};
  int saves = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string whole = readFile(store_);
    writeFile(store_, whole.substr(0, keyAt(whole, "probe") + c.past));
    // Another version of it, so that its run saves the store.
    EXPECT_EQ(drive("newbie" + std::to_string(++saves), dir_.file("apps/newbie")).code, kDriverJobBase);
    bytes_ = readFile(store_);
    YesHost host;
    const sTold refused = uninstall(host);
    EXPECT_EQ(refused.code, c.uninstall) << refused.words;
    EXPECT_NE(refused.words.find("kept " + std::to_string(kKeptStoreCopy) + " " + store_ + ".damaged-"),
              std::string::npos)
        << refused.words;
    expectUntouched();
    const sTold again = drive("probe1", elsewhere);
    EXPECT_TRUE(again.code == 0 || again.code == kDriverJobBase) << again.words;
    EXPECT_EQ(tree(elsewhere).size(), files_.size());
    EXPECT_EQ(uninstall(host).code, unDone);
    EXPECT_TRUE(tree(elsewhere).empty());
    EXPECT_EQ(tree(folder), files_);
    fs::remove_all(folder);
    installedAnew(folder);
  }
}

// A store cut just after the size of a record's name, and met before any
// run saved it: the record is not among what was read, which proves
// nothing of the package. The uninstall says the store did not read whole,
// keeps its bytes and removes nothing; the driver given no folder says so
// too, never "not installed"; installed again where chosen, the package
// names that copy, no other, and then uninstalls as any other.
TEST_F(StoreUnread, ARecordCutOffBeforeAnySaveIsToldAsNotReadWhole) {
  const std::string folder = dir_.file("apps/probe");
  const struct {
    const char* what;
    const char* name;  // the record whose name's size is the last byte kept
  } cases[] = {
      {"probe's, the last record", "probe"},
      {"one's, probe's record after it", "one"},
  };
  int copies = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string whole = readFile(store_);
    ASSERT_NE(keyAt(whole, c.name), std::string::npos);
    bytes_ = whole.substr(0, keyAt(whole, c.name));
    writeFile(store_, bytes_);
    const std::string copy = store_ + ".damaged-" + std::to_string(++copies);
    YesHost host;
    const sTold refused = uninstall(host);
    EXPECT_EQ(refused.code, unRecordDamaged) << refused.words;
    EXPECT_EQ(refused.words, copy);
    EXPECT_EQ(readFile(copy), bytes_);
    expectUntouched();
    const sRunResult bare = runWithEnv({ZVK_INSTALL_DRIVER, made_["probe1"]}, env());
    EXPECT_EQ(bare.status, kDriverUsage) << bare.err;
    EXPECT_NE(bare.err.find("did not read whole where probe's record is"), std::string::npos) << bare.err;
    EXPECT_NE(bare.err.find(copy), std::string::npos) << bare.err;
    expectUntouched();
    const sTold again = drive("probe1", folder);
    EXPECT_EQ(again.code, kDriverJobBase) << again.words;
    EXPECT_NE(again.words.find("kept " + std::to_string(kKeptStoreCopy) + " " + copy), std::string::npos)
        << again.words;
    EXPECT_FALSE(fs::exists(store_ + ".damaged-" + std::to_string(copies + 1)));
    EXPECT_EQ(uninstall(host).code, unDone);
    EXPECT_TRUE(tree(folder).empty());
    installedAnew(folder);
  }
}

// A store path that holds anything but a regular file is unreadable, not
// empty: every run ends before it writes anything, naming the store and
// what stands there, which stays as it was.
TEST_F(StoreUnread, AStorePathThatIsNoFileEndsEveryRunNamingIt) {
  const std::string away = store_ + ".away";
  fs::rename(store_, away);
  struct Case {
    const char* what;
    std::function<void()> make;
    fs::file_type type;
  } cases[] = {
      {"a folder", [&] { fs::create_directory(store_); }, fs::file_type::directory},
      {"a FIFO", [&] { ASSERT_EQ(mkfifo(store_.c_str(), 0600), 0); }, fs::file_type::fifo},
      {"a symbolic link", [&] { fs::create_symlink(away, store_); }, fs::file_type::symlink},
  };
  const std::vector<std::string> bounded = {"timeout", "60"};
  const std::string locks = home_ + "/.zvk/locks";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(locks);
    c.make();
    const std::string named = store_ + ": " + c.what + ", not a file of records";
    const sTold upgrade = drive("probe2", dir_.file("apps/probe"), bounded);
    EXPECT_EQ(upgrade.code, kDriverJobBase + irRecordUnsaved) << upgrade.words;
    EXPECT_NE(upgrade.words.find(named), std::string::npos) << upgrade.words;
    const sTold install = drive("newbie1", dir_.file("apps/newbie"), bounded);
    EXPECT_EQ(install.code, kDriverJobBase + irRecordUnsaved) << install.words;
    EXPECT_NE(install.words.find(named), std::string::npos) << install.words;
    EXPECT_FALSE(fs::exists(dir_.file("apps/newbie")));
    YesHost host;
    const sTold removal = uninstall(host);
    EXPECT_EQ(removal.code, unStoreUnread);
    EXPECT_EQ(removal.words, named);
    EXPECT_EQ(tree(dir_.file("apps/probe")), files_);
    EXPECT_EQ(fs::symlink_status(store_).type(), c.type);
    EXPECT_FALSE(fs::exists(locks)) << "a lock was made before the store was looked at";
    fs::remove(store_);
  }
  fs::rename(away, store_);
  expectUntouched();
}

TEST_F(StoreUnread, NoLockMadeEndsEveryRunAlikeNamingTheLock) {
  const std::string locks = home_ + "/.zvk/locks";
  struct Case {
    const char* what;
    std::function<void()> make;
    std::string at;  // the lock's path the runs name, with the reason
  } cases[] = {
      {"locks a file", [&] { writeFile(locks, "x"); }, locks + "/probe: " + std::strerror(ENOTDIR)},
      {"locks a dangling link", [&] { fs::create_symlink(dir_.file("nowhere"), locks); },
       locks + "/probe: " + std::strerror(ENOENT)},
      {"the lock a folder", [&] { fs::create_directories(locks + "/probe"); fs::create_directories(locks + "/newbie"); },
       locks + "/probe: " + std::strerror(EISDIR)},
      {"the lock a FIFO", [&] { fs::create_directories(locks); mkfifo((locks + "/probe").c_str(), 0600);
                                 mkfifo((locks + "/newbie").c_str(), 0600); },
       locks + "/probe: " + std::strerror(EINVAL)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(locks);
    c.make();
    const sTold upgrade = drive("probe2", dir_.file("apps/probe"));
    EXPECT_EQ(upgrade.code, kDriverJobBase + irRecordUnsaved) << upgrade.words;
    EXPECT_NE(upgrade.words.find(c.at), std::string::npos) << upgrade.words;
    expectUntouched();
    std::string first = c.at;
    first.replace(first.find("/probe:"), 6, "/newbie");
    const sTold install = drive("newbie1", dir_.file("apps/newbie"));
    EXPECT_EQ(install.code, kDriverJobBase + irRecordUnsaved) << install.words;
    EXPECT_NE(install.words.find(first), std::string::npos) << install.words;
    EXPECT_FALSE(fs::exists(dir_.file("apps/newbie/a.txt")));
    YesHost host;
    const sTold removal = uninstall(host);
    EXPECT_EQ(removal.code, unStoreUnread);
    EXPECT_EQ(removal.words, c.at);
    expectUntouched();
  }
}

// A first installation whose store folder cannot be made the first time:
// the run is told why and installs nothing, though a later try would
// have served.
TEST_F(StoreUnread, AStoreFolderThatCannotBeMadeIsNamedWithItsReason) {
  if (access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "needs strace";
  const std::string folder = home_ + "/.zvk";
  fs::rename(folder, folder + ".away");
  for (const int error : {EACCES, ENOSPC}) {
    const std::string name = error == EACCES ? "EACCES" : "ENOSPC";
    SCOPED_TRACE(name);
    const sTold install = drive("newbie1", dir_.file("apps/newbie"),
                                {"strace", "-f", "-qq", "-o", "/dev/null", "-P", folder, "-e", "trace=mkdir", "-e",
                                 "inject=mkdir:error=" + name + ":when=1"});
    EXPECT_EQ(install.code, kDriverJobBase + irRecordUnsaved) << install.words;
    EXPECT_NE(install.words.find(folder + ": " + std::strerror(error)), std::string::npos) << install.words;
    EXPECT_FALSE(fs::exists(dir_.file("apps/newbie")));
    fs::remove_all(folder);
  }
  fs::rename(folder + ".away", folder);
  expectUntouched();
}

// A holder of the store's lock stopped inside its save, or of the
// package's lock: no run waits for it without end. The driver is refused
// at once by the package's lock, and waits a bounded time for the store's;
// the uninstall waits for either in its window, which gives up.
TEST_F(StoreUnread, AHolderStoppedAtALockKeepsNoRunWaitingWithoutEnd) {
  struct Case {
    const char* what;
    bool storeLock;
    int upgrade, install;
  } cases[] = {
      {"stopped holding the package's lock", false, iiPackageBusy, -1},
      {"stopped holding the store's lock", true, kDriverJobBase + irRecordUnsaved, kDriverJobBase + irRecordUnsaved},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const pid_t holder = fork();
    if (holder == 0) {
      cCIAppFullConfig cfg;
      cfg.openConfig((home_ + "/.zvk").c_str());
      cPackageRunLock lock;
      const int fd = open(store_.c_str(), O_RDWR);
      struct flock range {};
      range.l_type = F_WRLCK;
      range.l_len = 4;
      const bool held = c.storeLock ? fcntl(fd, F_OFD_SETLK, &range) == 0
                                    : lock.take(&cfg, "probe", nullptr) == cPackageRunLock::rlHeld;
      if (!held) _exit(1);
      raise(SIGSTOP);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, WUNTRACED), holder);
    ASSERT_TRUE(WIFSTOPPED(status));
    const std::vector<std::string> bounded = {"timeout", "60"};
    const sTold upgrade = drive("probe2", dir_.file("apps/probe"), bounded);
    EXPECT_EQ(upgrade.code, c.upgrade) << upgrade.words;
    if (c.storeLock) {
      EXPECT_NE(upgrade.words.find("another run keeps it locked"), std::string::npos) << upgrade.words;
    }
    expectUntouched();
    // Another package's run, which meets only the store's lock.
    if (c.install >= 0) {
      const sTold install = drive("newbie1", dir_.file("apps/newbie"), bounded);
      EXPECT_EQ(install.code, c.install) << install.words;
      EXPECT_FALSE(fs::exists(dir_.file("apps/newbie/a.txt")));
    }
    struct GivingUp : YesHost {
      int asked = 0;
      bool waitForOtherRun(eHeld) override { return ++asked < 3; }
    } host;
    const sTold removal = uninstall(host);
    EXPECT_EQ(removal.code, unCancelled);
    expectUntouched();
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
  }
}

}  // namespace
