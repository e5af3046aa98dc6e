#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "base/tests/scratch_dir.h"
#include "driver/driver_codes.h"
#include "install_support.h"
#include "tamsivar/manager.h"

namespace fs = std::filesystem;

namespace {

// Runs a program with HOME set, capturing its standard output, and its
// standard error too when `withErrors`.
int run(const std::vector<std::string>& argv, const std::string& home, std::string& out,
        bool withErrors = false) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return -1;
  pid_t child = fork();
  if (child == 0) {
    dup2(pipefd[1], 1);
    if (withErrors) dup2(pipefd[1], 2);
    close(pipefd[0]);
    setenv("HOME", home.c_str(), 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(pipefd[1]);
  char buf[4096];
  for (ssize_t n; (n = read(pipefd[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(pipefd[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The package the maker makes from a scenario text, installed by the driver
// with the program's own copy of the manager, then again: every byte, mode
// and record key where the installation promised it.
TEST(InstallMadePackage, MakerPackageInstallsWithManagerCopyAndRecord) {
  ScratchDir dir;
  std::string home = dir.file("home"), inst = dir.file("inst"), zvk = std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk";
  fs::create_directories(home);
  writeFile(dir.file("src/run.sh"), "#!/bin/sh\n");
  writeFile(dir.file("src/sub/deep/blob.bin"), randomBytes(100000, 5));
  writeFile(dir.file("src/sub/a.txt"), "hello\n");
  writeFile(dir.file("eula.ENG.hdl"), "<text>Terms</text>");
  writeFile(dir.file("eula.idx"), "ENG = \"./eula.ENG.hdl\"\n");
  writeFile(dir.file("s.txt"), "[General]\nlangs = ENG\n[Software]\ncodename = \"demo\"\nname = \"Demo\"\n"
                               "version = \"1.2\"\neula = \"" + dir.file("eula.idx") + "\"\n[Install]\n\"" +
                                   dir.file("src/run.sh") + "\" = $pgm \"bin/run.sh\", 755\n\"" +
                                   dir.file("src/sub") + "\" = $pgm \"lib\"\n"
                                   "[Run]\n\"Visit\" = \"\" \"https://example.com/\", yes\n");
  std::string out;
  ASSERT_EQ(run({zvk, "make", dir.file("s.txt"), dir.file("Demo.app")}, home, out), 0) << out;
  std::string pkg = dir.file("Demo.app/Contents/Resources/scenario.data");
  out.clear();
  ASSERT_EQ(run({ZVK_INSTALL_DRIVER, pkg, "--pgm", inst, "--program", zvk}, home, out), 0) << out;
  EXPECT_EQ(out, "init 0\njob 0 result 0 path \n");
  EXPECT_EQ(readFile(inst + "/lib/deep/blob.bin"), readFile(dir.file("src/sub/deep/blob.bin")));
  EXPECT_EQ(fs::status(inst + "/bin/run.sh").permissions(), fs::perms(0755));
  EXPECT_EQ(fs::status(inst + "/lib/a.txt").permissions(), fs::perms(0664));
  EXPECT_TRUE(sideFiles(inst).empty());
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
  _guardchar<char> manager;
  ASSERT_TRUE(cfg.getParamStr("installer/app", manager));
  EXPECT_EQ(fs::status(manager.ptr).permissions(), fs::perms(0755));
  // The run option's address is kept as it is, for the desktop to open.
  _guardchar<char> visit;
  ASSERT_TRUE(cfg.getParamStr("install/demo/cplcs0", visit));
  EXPECT_STREQ(visit.ptr, "https://example.com/");
  std::string mine, copied;
  run({zvk, "version"}, home, mine);
  run({manager.ptr, "version"}, home, copied);
  EXPECT_EQ(copied, mine);
  FileId before = fileId(inst + "/lib/a.txt");
  out.clear();
  EXPECT_EQ(run({ZVK_INSTALL_DRIVER, pkg}, home, out), iiNothingToDo) << out;
  EXPECT_EQ(fileId(inst + "/lib/a.txt"), before);
}

// The manager's copy takes its name in the language the package is
// installed in, as the wizard gives it: a package with one language
// installs it under that language's name.
TEST(InstallMadePackage, TheManagerCopyIsNamedInThePackageLanguage) {
  const std::string zvk = std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk";
  for (const auto& [lang, slot] : {std::pair{"ENG", 0}, {"JPN", 1}, {"KOR", 2}}) {
    SCOPED_TRACE(lang);
    ScratchDir dir;
    const std::string home = dir.file("home"), code = lang;
    fs::create_directories(home);
    writeFile(dir.file("a.txt"), "one");
    writeFile(dir.file("eula.hdl"), "<text>Terms</text>");
    writeFile(dir.file("eula.idx"), code + " = \"./eula.hdl\"\n");
    writeFile(dir.file("s.txt"), "[General]\nlangs = " + code + "\n[Software]\ncodename = \"demo\"\nname = \"Demo\"\n"
                                 "version = \"1.0\"\neula = \"" + dir.file("eula.idx") + "\"\n[Install]\n\"" +
                                     dir.file("a.txt") + "\" = $pgm \"a.txt\"\n");
    std::string out;
    ASSERT_EQ(run({zvk, "make", dir.file("s.txt"), dir.file("Demo.app")}, home, out), 0) << out;
    out.clear();
    ASSERT_EQ(run({ZVK_INSTALL_DRIVER, dir.file("Demo.app/Contents/Resources/scenario.data"), "--pgm",
                   dir.file("inst"), "--program", zvk},
                  home, out),
              0)
        << out;
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
    _guardchar<char> manager;
    ASSERT_TRUE(cfg.getParamStr("installer/app", manager));
    EXPECT_TRUE(std::string(manager.ptr).ends_with("/Applications/" + std::string(tamsivarName(slot)) +
                                                    ".app/Contents/MacOS/Tamsivar"))
        << manager.ptr;
    EXPECT_TRUE(fs::is_regular_file(manager.ptr));
  }
}

// The driver tells the outcomes a script must tell apart by their codes
// alone: nothing to do is not a record left differing from the files, an
// unusable target is not a record that could not be saved.
TEST(InstallMadePackage, EachDriverCodeHasOneMeaning) {
  ScratchDir dir;
  const std::string home = dir.file("home"), zvk = std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk";
  fs::create_directories(home);
  writeFile(dir.file("a.txt"), "one");
  writeFile(dir.file("eula.ENG.hdl"), "<text>Terms</text>");
  writeFile(dir.file("eula.idx"), "ENG = \"./eula.ENG.hdl\"\n");
  writeFile(dir.file("s.txt"), "[General]\nlangs = ENG\n[Software]\ncodename = \"demo\"\nname = \"Demo\"\n"
                               "version = \"1.0\"\neula = \"" + dir.file("eula.idx") + "\"\n[Install]\n\"" +
                                   dir.file("a.txt") + "\" = $pgm \"a.txt\"\n");
  std::string out;
  ASSERT_EQ(run({zvk, "make", dir.file("s.txt"), dir.file("Demo.app")}, home, out), 0) << out;
  const std::string pkg = dir.file("Demo.app/Contents/Resources/scenario.data");
  // A store that cannot be written: its folder's place holds a file.
  const std::string noStore = dir.file("nostore"), fresh = dir.file("fresh");
  writeFile(noStore + "/.zvk", "a file");
  fs::create_directories(fresh);
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string home;
    int code;
  } runs[] = {
      {"installed", {pkg, "--pgm", dir.file("inst")}, home, 0},
      {"the same version again", {pkg}, home, iiNothingToDo},
      {"a target that is no path from the root", {pkg, "--pgm", "relative"}, fresh, iiUnusableTarget},
      {"a record that cannot be saved", {pkg, "--pgm", dir.file("inst2")}, noStore, driverJobCode(irRecordUnsaved)},
      {"arguments it does not take", {pkg, "--colour"}, home, kDriverUsage},
  };
  std::map<int, std::string> meaning;
  for (const auto& r : runs) {
    std::vector<std::string> argv = r.args;
    argv.insert(argv.begin(), ZVK_INSTALL_DRIVER);
    out.clear();
    const int code = run(argv, r.home, out);
    EXPECT_EQ(code, r.code) << r.what << "\n" << out;
    EXPECT_TRUE(meaning.emplace(code, r.what).second) << r.what << " shares " << code << " with " << meaning[code];
  }
}

// A package in two languages, "ENG DEU", whose note is German only.
std::string makeTwoLanguages(ScratchDir& dir, const std::string& home, const std::string& codename) {
  writeFile(dir.file(codename + "/a.txt"), "one");
  writeFile(dir.file(codename + "/note.txt"), "Hinweis");
  writeFile(dir.file("eula.ENG.hdl"), "<text>Terms</text>");
  writeFile(dir.file("eula.DEU.hdl"), "<text>Lizenz</text>");
  writeFile(dir.file("eula.idx"), "ENG = \"./eula.ENG.hdl\"\nDEU = \"./eula.DEU.hdl\"\n");
  writeFile(dir.file(codename + ".txt"),
            "[General]\nlangs = ENG DEU\n[Software]\ncodename = \"" + codename + "\"\nname = \"" + codename +
                "\"\nversion = \"1.0\"\neula = \"" + dir.file("eula.idx") + "\"\n[Install]\n\"" +
                dir.file(codename + "/a.txt") + "\" = $pgm \"a.txt\"\n\"" + dir.file(codename + "/note.txt") +
                "\" = $pgm \"note.txt\", , DEU\n");
  std::string out;
  const std::string zvk = std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk";
  EXPECT_EQ(run({zvk, "make", dir.file(codename + ".txt"), dir.file(codename + ".app")}, home, out), 0)
      << out;
  return dir.file(codename + ".app/Contents/Resources/scenario.data");
}

// Each argument the driver cannot use ends it with the usage code and a
// line naming the argument, before anything is installed; a good language
// number installs that language's files.
TEST(InstallMadePackage, TheDriverNamesEachArgumentItCannotUse) {
  ScratchDir dir;
  const std::string home = dir.file("home");
  fs::create_directories(home);
  const std::string pkg = makeTwoLanguages(dir, home, "demo");
  writeFile(dir.file("plain"), "a file");
  const struct {
    std::vector<std::string> args;
    int code;
    const char* said;  // on standard error
  } runs[] = {
      {{pkg}, kDriverUsage, "--pgm FOLDER is needed: demo is not installed yet"},
      {{pkg, "--lang", "x", "--pgm", dir.file("i")},
       kDriverUsage,
       "--lang x: not a language number (0 to 9)"},
      {{pkg, "--lang", "99", "--pgm", dir.file("i")}, kDriverUsage, "--lang 99: not a language number"},
      {{pkg, "--lang", "-1", "--pgm", dir.file("i")}, kDriverUsage, "--lang -1: not a language number"},
      {{pkg, "--lang", "1", "--pgm", dir.file("i")},
       kDriverUsage,
       "--lang 1: the package has no language 1 (RUS); it has 0 ENG, 2 DEU"},
      {{pkg, "--offset", "x", "--pgm", dir.file("i")}, kDriverUsage, "--offset x: not a byte offset"},
      {{pkg, "--offset", "4294967296", "--pgm", dir.file("i")},
       kDriverUsage,
       "--offset 4294967296: not a byte"},
      {{pkg, "--colour"}, kDriverUsage, "--colour: not an argument the driver takes"},
      {{pkg, "--pgm"}, kDriverUsage, "--pgm: no value"},
      // A folder that passes through a file: the wizard's code for a path
      // under a file, as the README's table gives it.
      {{pkg, "--pgm", dir.file("plain/i")}, iiSpecialObject, ""},
      {{pkg, "--lang", "2", "--pgm", dir.file("i")}, 0, ""},
  };
  for (const auto& r : runs) {
    std::vector<std::string> argv = r.args;
    argv.insert(argv.begin(), ZVK_INSTALL_DRIVER);
    std::string out;
    EXPECT_EQ(run(argv, home, out, true), r.code) << argv.back() << "\n" << out;
    EXPECT_NE(out.find(r.said), std::string::npos) << out;
    if (r.code == kDriverUsage) {
      EXPECT_EQ(out.find("init"), std::string::npos) << out;
    }
  }
  EXPECT_FALSE(fs::exists(dir.file("plain/i")));
  EXPECT_EQ(readFile(dir.file("i/note.txt")), "Hinweis") << "the German file goes with language 2";
}

// A store file damaged on disk (junk, cut short, to nothing too) is not written over with
// another package's record alone: its bytes are kept first, the run names
// the copy and ends as the table says, and no earlier copy is replaced.
TEST(InstallMadePackage, ADamagedStoreIsKeptAsideAndNamed) {
  ScratchDir dir;
  const std::string home = dir.file("home"), store = home + "/.zvk/install";
  fs::create_directories(home);
  const std::string one = makeTwoLanguages(dir, home, "one"), two = makeTwoLanguages(dir, home, "two");
  std::string out;
  ASSERT_EQ(run({ZVK_INSTALL_DRIVER, one, "--pgm", dir.file("one-inst")}, home, out), 0) << out;
  const std::string good = readFile(store);
  const struct {
    const char* what;
    std::string damaged;
  } cases[] = {
      {"random bytes", randomBytes(good.size(), 97)},
      {"cut to half", good.substr(0, good.size() / 2)},
      {"cut by 10 bytes", good.substr(0, good.size() - 10)},
      {"cut to nothing", ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(store, c.damaged);
    fs::remove_all(dir.file("two-inst"));
    const std::string copy = store + ".damaged-" + std::to_string(++n);
    out.clear();
    EXPECT_EQ(run({ZVK_INSTALL_DRIVER, two, "--pgm", dir.file("two-inst")}, home, out),
              driverJobCode(irOk, 1));
    EXPECT_TRUE(out.ends_with("kept " + std::to_string(kKeptStoreCopy) + " " + copy + "\n")) << out;
    EXPECT_EQ(readFile(copy), c.damaged);
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
    EXPECT_TRUE(cfg.hasSection("install/two/ver"));
    // Put back as a user would who read the copy: the next save keeps
    // nothing.
    writeFile(store, good);
  }
  for (int k = 1; k <= n; ++k)
    EXPECT_EQ(readFile(store + ".damaged-" + std::to_string(k)), cases[k - 1].damaged);
}

}  // namespace

namespace {

// As the unprivileged user "nobody", for whom permissions hold: an upgrade
// into a folder made read-only stops before copying, naming the file; a
// configuration folder made read-only fails with code 11 before the first
// file, the old installation in place; the next try succeeds.
TEST(InstallMadePackage, AsNobodyReadOnlyFoldersGiveTheirCodes) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs root and setpriv";
  ScratchDir dir;
  chmod(dir.root.c_str(), 0755);
  fs::copy(ZVK_BUNDLE, dir.file("ZVK.app"), fs::copy_options::recursive);
  fs::copy_file(ZVK_INSTALL_DRIVER, dir.file("driver"));
  std::string zvk = dir.file("ZVK.app/Contents/MacOS/zvk"), driver = dir.file("driver");
  std::string home = dir.file("home"), inst = dir.file("inst");
  fs::create_directories(home);
  fs::create_directories(inst);
  writeFile(dir.file("eula.ENG.hdl"), "<text>Terms</text>");
  writeFile(dir.file("eula.idx"), "ENG = \"./eula.ENG.hdl\"\n");
  auto make = [&](const std::string& name, const std::string& version, const std::string& text) {
    std::string src = dir.file(name + "/a.txt");
    writeFile(src, text);
    writeFile(dir.file(name + ".txt"), "[General]\nlangs = ENG\n[Software]\ncodename = \"demo\"\nname = \"Demo\"\n"
                                       "version = \"" + version + "\"\neula = \"" + dir.file("eula.idx") +
                                           "\"\n[Install]\n\"" + src + "\" = $pgm \"lib/a.txt\"\n");
    std::string out;
    EXPECT_EQ(run({zvk, "make", dir.file(name + ".txt"), dir.file(name + ".app")}, home, out), 0) << out;
    return dir.file(name + ".app/Contents/Resources/scenario.data");
  };
  std::string v1 = make("v1", "1.0", "one"), v2 = make("v2", "2.0", "two");
  for (const auto& e : fs::recursive_directory_iterator(dir.root)) chown(e.path().c_str(), 65534, 65534);
  chown(dir.root.c_str(), 65534, 65534);
  auto asNobody = [&](const std::string& pkg, std::string& out) {
    return run({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", driver, pkg, "--pgm", inst},
               home, out);
  };
  std::string out;
  ASSERT_EQ(asNobody(v1, out), 0) << out;

  chmod((inst + "/lib").c_str(), 0555);
  out.clear();
  EXPECT_EQ(asNobody(v2, out), iiNoWriteRight);
  EXPECT_EQ(out, "init 8 path " + inst + "/lib/a.txt\n");
  EXPECT_EQ(readFile(inst + "/lib/a.txt"), "one");
  chmod((inst + "/lib").c_str(), 0755);

  chmod((home + "/.zvk").c_str(), 0555);
  out.clear();
  EXPECT_EQ(asNobody(v2, out), driverJobCode(irRecordUnsaved)) << out;
  EXPECT_TRUE(out.ends_with("path " + home + "/.zvk: Permission denied\n")) << out;
  // A first installation meets the store's folder it may not write before
  // a file is made: no lock can be made in it.
  const std::string fresh = dir.file("fresh");
  fs::create_directories(fresh + "/.zvk");
  chown(fresh.c_str(), 65534, 65534);
  chmod((fresh + "/.zvk").c_str(), 0555);
  out.clear();
  EXPECT_EQ(run({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", driver, v2, "--pgm",
                 dir.file("inst2")},
                fresh, out),
            driverJobCode(irRecordUnsaved));
  EXPECT_TRUE(out.ends_with("init 15 path " + fresh + "/.zvk/locks/demo: Permission denied\n")) << out;
  EXPECT_FALSE(fs::exists(dir.file("inst2")));
  // A home that depends on the working folder holds no store: said so,
  // before a file is made; the form gives the reason in the user's
  // language.
  out.clear();
  EXPECT_EQ(run({driver, v2, "--pgm", dir.file("inst2")}, "h", out), driverJobCode(irRecordUnsaved));
  EXPECT_TRUE(out.ends_with("init 15 path h/.zvk\n")) << out;
  EXPECT_FALSE(fs::exists(dir.file("inst2")));
  EXPECT_EQ(readFile(inst + "/lib/a.txt"), "one");
  chmod((home + "/.zvk").c_str(), 0755);
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
  unsigned long long ver = 0;
  EXPECT_TRUE(cfg.getParamInt("install/demo/ver", ver));
  EXPECT_EQ(ver, 1ULL << 48) << "the earlier record is still there and loadable";
  out.clear();
  EXPECT_EQ(asNobody(v2, out), 0) << out;
}

}  // namespace

namespace {

// Every file and folder under `root` outside the `kept` places, files with
// what a writer would change (a folder changes by its entries, which are
// listed themselves).
std::map<std::string, FileId> elsewhere(const std::string& root, const std::vector<std::string>& kept) {
  std::map<std::string, FileId> found;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    std::string p = it->path().string();
    if (std::find(kept.begin(), kept.end(), p) != kept.end()) {
      it.disable_recursion_pending();
      continue;
    }
    found[p] = it->is_directory() ? FileId{} : fileId(p);
  }
  return found;
}

// The driver upgrading a made 20 MB package, killed with SIGKILL at random
// moments of its run (the moments scale with the run, so a larger package
// only makes the test longer): every target holds its old or its new bytes, the
// record is the old or the new one, nothing else changed, and the next run
// ends with the new.
TEST(InstallMadePackage, DriverKilledAtRandomMomentsLeavesOldOrNew) {
  ScratchDir dir;
  std::string zvk = std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk", home0 = dir.file("home0");
  fs::create_directories(home0);
  writeFile(dir.file("eula.ENG.hdl"), "<text>Terms</text>");
  writeFile(dir.file("eula.idx"), "ENG = \"./eula.ENG.hdl\"\n");
  const int kFiles = 20;
  auto make = [&](const std::string& name, const std::string& version, unsigned seed) {
    for (int i = 0; i < kFiles; ++i)
      writeFile(dir.file(name + "/d" + std::to_string(i % 3) + "/f" + std::to_string(i)),
                randomBytes(1 << 20, seed + static_cast<unsigned>(i)));
    writeFile(dir.file(name + ".txt"), "[General]\nlangs = ENG\n[Software]\ncodename = \"demo\"\nname = \"Demo\"\n"
                                       "version = \"" + version + "\"\neula = \"" + dir.file("eula.idx") +
                                           "\"\n[Install]\n\"" + dir.file(name) + "\" = $pgm \"\"\n");
    std::string out;
    EXPECT_EQ(run({zvk, "make", dir.file(name + ".txt"), dir.file(name + ".app")}, home0, out), 0) << out;
    return dir.file(name + ".app/Contents/Resources/scenario.data");
  };
  std::string v1 = make("v1", "1.0", 100), v2 = make("v2", "2.0", 200);
  RandomKiller killer(2027);
  for (int round = 0; round <= 10; ++round) {
    SCOPED_TRACE(round);
    std::string base = dir.file("r" + std::to_string(round)), home = base + "/home", inst = base + "/inst";
    fs::create_directories(home);
    std::string out;
    ASSERT_EQ(run({ZVK_INSTALL_DRIVER, v1, "--pgm", inst}, home, out), 0) << out;
    // The manager bundle goes to the user's Applications folder.
    std::vector<std::string> kept = {inst, home + "/.zvk", home + "/Applications"};
    auto before = elsewhere(dir.root, kept);
    ASSERT_TRUE(killer.run([&] {
      setenv("HOME", home.c_str(), 1);
      setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      execl(ZVK_INSTALL_DRIVER, ZVK_INSTALL_DRIVER, v2.c_str(), "--program", zvk.c_str(), static_cast<char*>(nullptr));
      return 127;
    }));
    for (int i = 0; i < kFiles; ++i) {
      std::string rel = "/d" + std::to_string(i % 3) + "/f" + std::to_string(i), bytes = readFile(inst + rel);
      EXPECT_TRUE(bytes == readFile(dir.file("v1") + rel) || bytes == readFile(dir.file("v2") + rel)) << rel;
    }
    auto after = elsewhere(dir.root, kept);
    for (const auto& [path, id] : after)
      EXPECT_TRUE(before.count(path) && before[path] == id) << path << " changed";
    for (const auto& [path, id] : before) EXPECT_TRUE(after.count(path)) << path << " went";
    {
      cCIAppFullConfig cfg;
      ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
      unsigned long long ver = 0;
      EXPECT_TRUE(cfg.getParamInt("install/demo/ver", ver));
      EXPECT_TRUE(ver == 1ULL << 48 || ver == 2ULL << 48) << ver;
    }
    out.clear();
    int again = run({ZVK_INSTALL_DRIVER, v2, "--program", zvk}, home, out);
    EXPECT_TRUE(again == 0 || again == iiNothingToDo) << out;
    for (int i = 0; i < kFiles; ++i) {
      std::string rel = "/d" + std::to_string(i % 3) + "/f" + std::to_string(i);
      EXPECT_EQ(readFile(inst + rel), readFile(dir.file("v2") + rel)) << rel;
    }
    EXPECT_TRUE(sideFiles(inst).empty());
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
    unsigned long long ver = 0;
    EXPECT_TRUE(cfg.getParamInt("install/demo/ver", ver));
    EXPECT_EQ(ver, 2ULL << 48);
    _guardchar<char> manager;
    ASSERT_TRUE(cfg.getParamStr("installer/app", manager));
    std::string mine, copied;
    run({zvk, "version"}, home, mine);
    run({manager.ptr, "version"}, home, copied);
    EXPECT_EQ(copied, mine) << "the manager copy is whole after the repairing run";
    fs::remove_all(base);
  }
}

}  // namespace
