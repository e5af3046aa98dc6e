#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/tests/private_mounts.h"
#include "base/tests/scratch_dir.h"
#include "support/childtext.h"
#include "support/runprog.h"
#include "tamsivarapp/instmaker_mac.h"

namespace fs = std::filesystem;

namespace {

const std::string kOk = "(i) Loading scenario... OK!\n";

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string scenarioText(const std::string& folder, const std::string& software) {
  return "[General]\nlangs = ENG\n[Software]\ncodename = \"demo\"\neula = \"" + folder + "/eula.idx\"\n" +
         software;
}

std::vector<std::string> filesUnder(const std::string& root) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (!e.is_directory()) out.push_back(fs::relative(e.path(), root).string());
  std::sort(out.begin(), out.end());
  return out;
}

// Runs `work` in a child that has a small file system of its own at `at`
// (tmpfs with these options), made read-only after `prepare` when asked;
// answers what `work` printed, or "" when no file system could be mounted.
std::string onOwnFileSystem(const std::string& at, const std::string& options, bool readOnly,
                            const std::function<void()>& prepare, const std::function<std::string()>& work) {
  const std::string printed = textFromChild([&]() -> std::string {
    keepMountsPrivate();
    if (mount("zvk-test", at.c_str(), "tmpfs", 0, options.c_str()) != 0) return "";
    prepare();
    std::string text;
    if (!readOnly || mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0)
      text = "+" + work();
    // Where the mounts could not be made private (in a chroot "/" is no
    // mount point), this one went out to the machine too; its unmount
    // follows it there.
    umount2(at.c_str(), MNT_DETACH);
    return text;
  });
  return printed.empty() ? "" : printed.substr(1);
}

// Drives the built program from a copy of its bundle in a folder every
// user may read, as root or as the unprivileged user "nobody".
class MakeBundle : public ::testing::TestWithParam<bool> {
 protected:
  ScratchDir dir;
  std::string zvk, out;

  void SetUp() override {
    if (GetParam() && (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0))
      GTEST_SKIP() << "needs root and setpriv to act as nobody";
    chmod(dir.root.c_str(), 0755);
    fs::copy(ZVK_BUNDLE, dir.file("ZVK.app"), fs::copy_options::recursive);
    zvk = dir.file("ZVK.app/Contents/MacOS/zvk");
    writeText(dir.file("eula.ENG.hdl"), "<text>Terms</text>");
    writeText(dir.file("eula.idx"), "ENG = \"./eula.ENG.hdl\"\n");
    out = dir.file("out");
    fs::create_directory(out);
    chmod(out.c_str(), 0777);
  }

  sRunResult make(const std::string& scenario, const std::string& bundle, const std::string& program = {},
                  const std::string& path = "/usr/bin:/bin", const std::string& cwd = {}) {
    std::vector<std::string> argv;
    if (GetParam()) argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    argv.push_back(program.empty() ? zvk : program);
    argv.push_back("make");
    argv.push_back(scenario);
    argv.push_back(bundle);
    if (GetParam()) argv[0] = "/usr/bin/setpriv";
    return runWithEnv(argv, {"PATH=" + path, "HOME=" + out}, cwd);
  }

  std::string scenario(const std::string& name, const std::string& software) {
    writeText(dir.file(name), scenarioText(dir.root, software));
    return dir.file(name);
  }
};

TEST_P(MakeBundle, WritesExactlyTheFiveFilesOfAnInstaller) {
  const std::string s = scenario("s.txt",
                                 "name = \"A & B <C> 日本語\"\ncopyright = \"(c) Q & <R> 株式会社\"\n"
                                 "version = \"2.5.1.7\"\n");
  const std::string b = out + "/Demo.app";
  sRunResult r = make(s, b);
  EXPECT_EQ(r.out, kOk);
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(filesUnder(b), (std::vector<std::string>{"Contents/Info.plist", "Contents/MacOS/Installer",
                                                      "Contents/PkgInfo", "Contents/Resources/icon.icns",
                                                      "Contents/Resources/scenario.data"}));
  EXPECT_EQ(readFileBytes(b + "/Contents/PkgInfo"), "APPL????");
  EXPECT_EQ(readFileBytes(b + "/Contents/Resources/scenario.data").substr(0, 8), "ZVKSOPKG");
  EXPECT_EQ(readFileBytes(b + "/Contents/Resources/icon.icns"),
            readFileBytes(dir.file("ZVK.app/Contents/Resources/icon.icns")));
  EXPECT_EQ(readFileBytes(b + "/Contents/MacOS/Installer"), readFileBytes(zvk));
  struct stat st;
  ASSERT_EQ(stat((b + "/Contents/MacOS/Installer").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);

  // An independent reader of property lists sees the keys in order and the
  // escaped texts as they were written.
  sRunResult plist = runWithEnv(
      {"python3", "-c",
       "import plistlib,sys\nfor k,v in plistlib.load(open(sys.argv[1],'rb')).items(): print(k+'='+v)",
       b + "/Contents/Info.plist"},
      {"PATH=/usr/bin:/bin", "PYTHONIOENCODING=utf-8"});
  EXPECT_EQ(plist.out,
            "BuildMachineOSBuild=13F34\nCFBundleDevelopmentRegion=en\nCFBundleExecutable=Installer\n"
            "CFBundleIconFile=icon.icns\nCFBundleIdentifier=org.zvk.installer\n"
            "CFBundleInfoDictionaryVersion=6.0\nCFBundleName=A & B <C> 日本語 Installer\n"
            "CFBundlePackageType=APPL\nCFBundleShortVersionString=2.5\nCFBundleSignature=????\n"
            "CFBundleVersion=2.5\nDTCompiler=org.llvm.clang\nDTPlatformBuild=6A1052d\n"
            "DTPlatformVersion=GM\nDTSDKBuild=13F26\nDTSDKName=macosx10.9\nDTXcode=0610\n"
            "DTXcodeBuild=6A1052d\nLSApplicationCategoryType=public.app-category.utilities\n"
            "LSMinimumSystemVersion=10.9\nNSHumanReadableCopyright=(c) Q & <R> 株式会社\n"
            "NSMainNibFile=MainMenu\nNSPrincipalClass=NSApplication\n")
      << plist.err;
  EXPECT_EQ(readFileBytes(b + "/Contents/Info.plist").back(), '>');

  // Started by bare name through PATH, it finds itself and makes the same.
  const std::string again = out + "/Again.app";
  r = make(s, again, "zvk", dir.file("ZVK.app/Contents/MacOS") + ":/usr/bin:/bin");
  EXPECT_EQ(r.out, kOk);
  ASSERT_EQ(r.status, 0);
  for (const std::string& f : filesUnder(b))
    if (f != "Contents/Resources/scenario.data") {
      EXPECT_EQ(readFileBytes(again + "/" + f), readFileBytes(b + "/" + f)) << f;
    }
}

// Paths as a shell completes them, and the program reached through a link
// or copied out of its bundle.
TEST_P(MakeBundle, TrailingSlashesLinksAndCopies) {
  const std::string s = scenario("s.txt", "name = \"N\"\n");
  std::vector<std::string> made;
  for (const std::string tail : {"/", "//"}) {
    for (const bool existing : {false, true}) {
      const std::string b = out + "/B" + std::to_string(tail.size()) + (existing ? "old" : "new") + ".app";
      SCOPED_TRACE(b + tail);
      if (existing) {
        ASSERT_EQ(make(s, b).status, 0);
      }
      sRunResult r = make(s, b + tail);
      EXPECT_EQ(r.out, kOk);
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(filesUnder(b).size(), 5u);
      made.push_back(fs::path(b).filename().string());
    }
  }

  const std::string loose = dir.file("loose");
  fs::create_directory(loose);
  chmod(loose.c_str(), 0755);
  fs::create_symlink(zvk, loose + "/linked");
  sRunResult r = make(s, out + "/Linked.app", loose + "/linked");
  EXPECT_EQ(r.out, kOk);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFileBytes(out + "/Linked.app/Contents/MacOS/Installer"), readFileBytes(zvk));
  made.push_back("Linked.app");
  fs::copy_file(zvk, loose + "/copied");
  chmod((loose + "/copied").c_str(), 0755);
  r = make(s, out + "/Copied.app", loose + "/copied");
  EXPECT_EQ(
      r.out,
      kOk + "(e) Not in a bundle of its own: " + fs::canonical(loose).string() +
          "/copied must sit in NAME.app/Contents/MacOS, beside NAME.app/Contents/Resources/icon.icns\n");
  EXPECT_EQ(r.status, 2);

  // Nothing beside the bundles: make writes no store, so HOME has no .zvk.
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(out)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  std::sort(made.begin(), made.end());
  EXPECT_EQ(left, made);
}

TEST_P(MakeBundle, ReplacesOnlyWhatItMadeItself) {
  const std::string s = scenario("s.txt", "name = \"N\"\n");
  const std::string old = out + "/Old.app";
  fs::create_directories(old + "/Contents/Resources");
  writeText(old + "/Contents/Resources/scenario.data", "old");
  writeText(old + "/Contents/stale", "stale");
  fs::create_directories(out + "/Empty.app");
  const std::string home = out + "/home";
  fs::create_directories(home + "/docs");
  writeText(home + "/docs/keep", "keep");
  fs::create_directory_symlink(old, out + "/Link.app");
  writeText(out + "/plain", "plain");
  fs::permissions(out, fs::perms::all, fs::perm_options::add);
  for (const auto& e : fs::recursive_directory_iterator(out)) chmod(e.path().c_str(), e.is_directory() ? 0777 : 0666);

  // A file make does not write is the user's: the bundle stays as it is.
  sRunResult r = make(s, old);
  EXPECT_EQ(r.out, kOk + " (e) Object will not be repleaced: " + old + "!\n - " + old +
                       "/Contents/stale: make did not put it there\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(readFileBytes(old + "/Contents/stale"), "stale");
  fs::remove(old + "/Contents/stale");
  r = make(s, old);
  EXPECT_EQ(r.out, kOk);
  EXPECT_EQ(r.status, 0);
  r = make(s, out + "/Empty.app");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(fs::exists(out + "/Empty.app/Contents/PkgInfo"));

  for (const std::string& b : {home, out + "/Link.app", out + "/plain"}) {
    r = make(s, b);
    EXPECT_EQ(r.out, kOk + " (e) Object will not be repleaced: " + b + "!\n" +
                         (b == home ? " - " + home + "/docs: make did not put it there\n" : ""));
    EXPECT_EQ(r.status, 1);
  }
  EXPECT_EQ(readFileBytes(home + "/docs/keep"), "keep");
  EXPECT_TRUE(fs::is_symlink(out + "/Link.app"));
  EXPECT_TRUE(fs::exists(old + "/Contents/PkgInfo"));
  EXPECT_EQ(readFileBytes(out + "/plain"), "plain");
}

// A bundle make wrote, with what the user has put in it since: refused,
// naming the first entry make does not write, and nothing of it changes.
TEST_P(MakeBundle, ABundleTheUserPutFilesInIsNeverReplaced) {
  const std::string s = scenario("s.txt", "name = \"N\"\n");
  const std::string b = out + "/B.app";
  const struct {
    const char* what;
    std::function<void()> plant;
    std::string named;
  } cases[] = {
      {"notes and an extra resource",
       [&] {
         writeText(b + "/mynotes.txt", "mine");
         writeText(b + "/Contents/Resources/extra.txt", "mine");
       },
       "Contents/Resources/extra.txt"},
      {"a folder of the user's", [&] { fs::create_directories(b + "/Contents/MacOS/plugins/x"); },
       "Contents/MacOS/plugins"},
      {"a link for the program", [&] {
         fs::remove(b + "/Contents/MacOS/Installer");
         fs::create_symlink(zvk, b + "/Contents/MacOS/Installer");
       },
       "Contents/MacOS/Installer"},
      {"a folder for the property list", [&] {
         fs::remove(b + "/Contents/Info.plist");
         fs::create_directory(b + "/Contents/Info.plist");
       },
       "Contents/Info.plist"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(b);
    ASSERT_EQ(make(s, b).status, 0);
    c.plant();
    for (const auto& e : fs::recursive_directory_iterator(b))
      if (!e.is_symlink()) chmod(e.path().c_str(), 0777);
    const std::vector<std::string> before = filesUnder(b);
    sRunResult r = make(s, b);
    EXPECT_EQ(r.out, kOk + " (e) Object will not be repleaced: " + b + "!\n - " + b + "/" + c.named +
                         ": make did not put it there\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(filesUnder(b), before);
    if (fs::exists(b + "/mynotes.txt")) {
      EXPECT_EQ(readFileBytes(b + "/mynotes.txt"), "mine");
    }
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(out)) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"B.app"});
  }
}

TEST_P(MakeBundle, ReportsEachFailureOnItsOwnLine) {
  const std::string good = scenario("s.txt", "name = \"N\"\n");
  writeText(dir.file("section.txt"), "[General]\nlangs = ENG\n[Nowhere]\n");
  writeText(dir.file("syntax.txt"), "[General] x\n");
  writeText(out + "/plain", "plain");
  const std::string blocked = out + "/plain/in/B.app";

  struct Case {
    std::string scenario, bundle, printed;
  } cases[] = {
      {dir.file("none.txt"), out + "/X.app", "(i) Loading scenario... FAIL (No source file)\n"},
      {dir.file("section.txt"), out + "/X.app",
       "(i) Loading scenario... ERROR:\n - at line 3: Unknown section!\n"},
      {dir.file("syntax.txt"), out + "/X.app",
       "(i) Loading scenario... ERROR:\n - at line 1: error code 3: text after a section header!\n"},
      {good, blocked, kOk + " (e) Unable to create " + out + "/plain/in!\n - Not a directory\n"},
      // A ".." step out of a folder that is not there, as the system
      // reads it: nothing is made on the way.
      {good, out + "/x/../B.app", kOk + " (e) Unable to create " + out + "/x/../B.app!\n - No such file or directory\n"},
      {good, out + "/y/z/../../B.app", kOk + " (e) Unable to create " + out + "/y/z/../../B.app!\n - No such file or directory\n"},
      {good, out + "/plain/../B.app", kOk + " (e) Unable to create " + out + "/plain/../B.app!\n - Not a directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bundle);
    sRunResult r = make(c.scenario, c.bundle);
    EXPECT_EQ(r.out, c.printed);
    EXPECT_EQ(r.status, 1);
  }
  for (const char* made : {"/x", "/y", "/B.app", "/X.app"}) EXPECT_FALSE(fs::exists(out + made)) << made;
  fs::create_directory(out + "/x");
  chmod((out + "/x").c_str(), 0777);
  sRunResult through = make(good, out + "/x/../B.app");
  EXPECT_EQ(through.out, kOk);
  EXPECT_EQ(through.status, 0);
  EXPECT_EQ(filesUnder(out + "/B.app").size(), 5u);

  // A folder this user may not write, with the system's reason.
  if (GetParam()) {
    const std::string locked = dir.file("locked");
    fs::create_directory(locked);
    chmod(locked.c_str(), 0755);
    sRunResult r = make(good, locked + "/B.app");
    EXPECT_EQ(r.out, kOk + " (e) Unable to create " + locked + "/B.app!\n - Permission denied\n");
    EXPECT_EQ(r.status, 1);
  }

  // A bundle whose icon cannot be read.
  fs::remove(dir.file("ZVK.app/Contents/Resources/icon.icns"));
  sRunResult r = make(good, out + "/NoIcon.app");
  EXPECT_EQ(r.out, kOk + "(e) Failed opening icon: " + dir.file("ZVK.app/Contents/Resources/icon.icns") + "\n");
  EXPECT_EQ(r.status, 1);
  fs::create_directory(dir.file("ZVK.app/Contents/Resources/icon.icns"));
  r = make(good, out + "/IconDir.app");
  EXPECT_EQ(r.out, kOk + "(e) Writing icon failed: " + out + "/IconDir.app/Contents/Resources/icon.icns\n");
  EXPECT_EQ(r.status, 1);
}

// What a writer reads when a scenario is refused: the line as an editor
// counts it with what its code means there, and the file at fault with the
// reason or the document compiler's place and words on a second line.
TEST_P(MakeBundle, TellsTheWriterWhereAndWhy) {
  const std::string head = "[General]\nlangs = ENG\n[Software]\ncodename = \"d\"\n";
  const std::string eula = "eula = \"" + dir.file("eula.idx") + "\"\n";
  writeText(dir.file("open.ENG.hdl"), "<text>Terms\n <b>bold</text>");
  writeText(dir.file("open.idx"), "ENG = \"./open.ENG.hdl\"\n");
  writeText(dir.file("empty.bin"), "");
  writeText(dir.file("one.bin"), "1");
  fs::create_directory_symlink("loop", dir.file("loop"));
  const std::string one = "[Install]\n\"" + dir.file("one.bin") + "\" = ";
  const std::string err = "(i) Loading scenario... ERROR:\n";
  const std::string packed = ": error code 26: the source file or folder cannot be packed!\n - ";
  const struct {
    std::string name, text, printed;
  } cases[] = {
      {"zero", std::string("#a\0b\n", 5) + "[General] x\n",
       err + " - at line 1: error code 7: the line holds a NUL byte!\n"},
      {"later", "[Menu]\n\n$later = \"\" \"/p\", \"\" \"/i\"\n" + head + eula,
       err +
           " - at line 3: error code 7: a quoted text or a \"$\" name is missing, malformed, too long or not "
           "defined in every declared language, or text follows the quoted text that ends a [Software] or "
           "[Strings] entry!\n"},
      {"latin1", head + eula + "name = \"Caf\xE9\"\n",
       err + " - at line 6: error code 7: the line holds bytes that are not UTF-8!\n"},
      {"escape", head + eula + "name = \"\x1B]0;x\x07\"\n",
       err + " - at line 6: error code 7: the line holds a control character!\n"},
      {"nocode", "[General]\nlangs = ENG\n[Software]\n" + eula,
       err + " - error code 10: [Software] has no codename!\n"},
      {"nolang", "# nothing yet\n",
       err + " - error code 9: no language is declared: [General] needs a line such as langs = ENG!\n"},
      {"nolangs", "[General]\nlangs =\n",
       err + " - at line 2: error code 9: \"langs =\" names no language!\n"},
      {"licence", head + "eula = \"" + dir.file("open.idx") + "\"\n",
       err + " - at line 5: error code 21: the licence does not compile or load!\n - " +
           dir.file("open.ENG.hdl") +
           ", line 2, column 9: close tag mismatch: </text> closes <b> opened at line 2, column 2\n"},
      {"relative", head + "eula = \"eula.idx\"\n",
       err + " - at line 5: error code 21: the licence does not compile or load!\n - " +
           dir.file("relative.txt") +
           ", line 5: \"eula.idx\" is named without its folder, so its \"./\" sources cannot be found: write "
           "\"./eula.idx\"\n"},
      {"noindex", head + "eula = \"" + dir.file("none.idx") + "\"\n",
       err + " - at line 5: error code 21: the licence does not compile or load!\n - " +
           dir.file("none.idx") + ": Unable to open index\n"},
      {"comesback", head + eula + "[Install]\n\"" + dir.file("empty.bin") + "\" = $pgm \"sub/..\"\n",
       err + " - at line 7: error code 23: the target's \"..\" or \".\" steps lead out of its folder or back "
             "to "
             "the folder itself!\n"},
      {"missing", head + eula + "[Install]\n\"" + dir.file("gone") + "\" = $pgm \"a\"\n",
       err + " - at line 7" + packed + dir.file("gone") + ": No such file or directory\n"},
      {"emptyfile", head + eula + "[Install]\n\n\"" + dir.file("empty.bin") + "\" = $pgm \"a\"\n",
       err + " - at line 8" + packed + dir.file("empty.bin") + ": an empty file\n"},
      {"looped", head + eula + "[Install]\n\"" + dir.file("loop") + "\" = $pgm \"a\"\n",
       err + " - at line 7" + packed + dir.file("loop") + ": Too many levels of symbolic links\n"},
      {"device", head + eula + "[Install]\n\"/dev/null\" = $pgm \"a\"\n",
       err + " - at line 7" + packed + "/dev/null: neither a file nor a folder\n"},
      {"twice", head + eula + one + "$pgm \"a\"\n" + one.substr(10) + "$pgm \"b/../a\"\n",
       err + " - at line 8: error code 23: two lines install a file at the same place!\n - " +
           dir.file("twice.txt") + ", line 7: installs $pgm/a as well\n"},
      {"relpwn", head + eula + one + "\"\" \"relpwn/x\"\n",
       err + " - at line 7: error code 23: the path is no absolute path: its base must be $pgm or begin with "
             "\"/\"!\n"},
      {"relrun", head + eula + "[Run]\n\"go\" = \"\" \"docs/x\"\n",
       err +
           " - at line 7: error code 23: the path is no absolute path: its base must be $pgm or begin with "
           "\"/\" (a [Run] program may also be an http:// or https:// address)!\n"},
      {"onlyfr", head + eula + one + "$pgm \"lisezmoi.txt\", FRA\n",
       err + " - at line 7: error code 27: bad permissions: a language list needs the empty mode before it: "
             ", , "
             "FRA!\n"},
      {"evil", "[General]\nlangs = ENG\n[Software]\ncodename = \"../../evil\"\n",
       err + " - at line 4: error code 7: the codename names the package's record: one name, not empty, "
             "\".\" or "
             "\"..\", without \"/\"!\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeText(dir.file(c.name + ".txt"), c.text);
    // Relative paths of a scenario are taken from where make runs.
    sRunResult r = make(dir.file(c.name + ".txt"), out + "/X.app", {}, "/usr/bin:/bin", dir.root);
    EXPECT_EQ(r.out, c.printed);
    EXPECT_EQ(r.status, 1);
  }
  sRunResult r = make(dir.root, out + "/X.app");
  EXPECT_EQ(r.out, "(i) Loading scenario... FAIL (No source file)\n");
  EXPECT_EQ(r.status, 1);

  // Missing folders on the way to the bundle are made.
  const std::string deep = out + "/a/b/C.app";
  r = make(scenario("s.txt", ""), deep);
  EXPECT_EQ(r.out, kOk);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(fs::exists(deep + "/Contents/MacOS/Installer"));
}

// Each step that cannot write, on a file system that runs out of inodes or
// room at that step or cannot be written at all, names its file.
TEST_P(MakeBundle, EachStepThatCannotWriteNamesItsFile) {
  const std::string s = scenario("s.txt", "name = \"N\"\n");
  const std::string small = dir.file("small"), b = small + "/B.app", c = b + "/Contents";
  fs::create_directory(small);
  const struct {
    const char* options;  // the root folder counts as one inode
    bool readOnly;
    std::string printed;
  } cases[] = {
      {"nr_inodes=6", false, kOk + "(e) Creating target failed: " + c + "/Resources/scenario.data\n"},
      {"size=8k", false, kOk + "(e) Saving scenario failed: " + c + "/Resources/scenario.data\n"},
      {"nr_inodes=7", false, kOk + "(e) Creating icon failed: " + c + "/Resources/icon.icns\n"},
      {"nr_inodes=9", false, kOk + "(e) Creating exe failed: " + c + "/MacOS/Installer\n"},
      {"", true, kOk + " (e) Unable to create " + b + "!\n - Read-only file system\n"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.options);
    std::string printed = onOwnFileSystem(
        small, std::string("mode=0777,") + k.options, k.readOnly,
        [&] {
          if (!k.readOnly) return;
          fs::create_directories(c);
          writeText(c + "/PkgInfo", "APPL????");
        },
        [&] {
          sRunResult r = make(s, b);
          return r.out + "status " + std::to_string(r.status);
        });
    if (printed.empty()) GTEST_SKIP() << kCannotMount;
    EXPECT_EQ(printed, k.printed + "status 1");
  }
}

// A make onto an installer that fails on the way, for want of room or by a
// kill, leaves the old installer as it was and nothing beside it once a
// later make has run.
TEST_P(MakeBundle, ANewBundleTakesThePlaceOfTheOldOnlyWhenWhole) {
  const std::string s = scenario("s.txt", "name = \"N\"\n");
  const std::string small = dir.file("small"), b = small + "/B.app";
  fs::create_directory(small);
  auto plantOld = [&] {
    fs::create_directories(b + "/Contents/Resources");
    writeText(b + "/Contents/PkgInfo", "APPL????");
    writeText(b + "/Contents/Resources/scenario.data", "old");
    chmod(small.c_str(), 0777);
    for (const auto& e : fs::recursive_directory_iterator(small)) chmod(e.path().c_str(), 0777);
  };
  auto oldIsWhole = [&] {
    return filesUnder(b) == std::vector<std::string>{"Contents/PkgInfo", "Contents/Resources/scenario.data"} &&
           readFileBytes(b + "/Contents/Resources/scenario.data") == "old";
  };
  // Room for the old bundle and the start of the new one, not its program.
  std::string printed = onOwnFileSystem(small, "mode=0777,size=1m", false, plantOld, [&] {
    sRunResult r = make(s, b);
    std::string left;
    for (const auto& e : fs::directory_iterator(small)) left += " " + e.path().filename().string();
    return r.out + "status " + std::to_string(r.status) + (oldIsWhole() ? " old" : " broken") + left;
  });
  if (printed.empty()) GTEST_SKIP() << kCannotMount;
  EXPECT_EQ(printed, kOk + "(e) Writing exe failed: " + b + "/Contents/MacOS/Installer\nstatus 1 old B.app");

  // Killed at moments spread over a whole make: the old bundle or the new.
  fs::remove_all(b);
  plantOld();
  const std::vector<std::string> argv = {zvk, "make", s, b};
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(make(s, out + "/Measure.app").status, 0);
  const long long spanUs =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
  for (int k = 1; k <= 8; ++k) {
    SCOPED_TRACE(k);
    const pid_t child = fork();
    if (child == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      if (GetParam() && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
      execv(zvk.c_str(), args.data());
      _exit(127);
    }
    usleep(static_cast<useconds_t>(spanUs * k / 9));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    // A kill after the swap leaves the new one, whole.
    const bool replaced = filesUnder(b).size() == 5 && readFileBytes(b + "/Contents/MacOS/Installer") == readFileBytes(zvk);
    EXPECT_TRUE(replaced || oldIsWhole());
    EXPECT_TRUE(replaced || !(WIFEXITED(status) && WEXITSTATUS(status) == 0));
    if (replaced) {
      fs::remove_all(b);
      plantOld();
    }
  }
  sRunResult r = make(s, b);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(readFileBytes(b + "/Contents/MacOS/Installer") == readFileBytes(zvk));
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(small)) left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"B.app"}) << "what killed makes left goes with the next one";
}

TEST_P(MakeBundle, VersionAndRefusalsNeedNoDisplayNorHomeAndWindowModesFailWithoutOne) {
  const std::string noDisplay = "cannot open display: DISPLAY is not set\n";
  const struct {
    std::vector<std::string> args;
    std::string printed, err;
    int status;
  } cases[] = {
      {{"version"}, "0001000000030000\n", "", 0},
      {{"version", "x"}, "0001000000030000\n", "", 0},
      {{"bogus"}, "", "", 1},
      {{"install"}, "", "", 1},
      {{"uninstall"}, "", "", 1},
      {{"update"}, "", "", 1},
      {{"make", "s"}, "", "", 1},
      {{"make", "s", "b", "c"}, "", "", 1},
      {{}, "", noDisplay, 1},
      {{"uninstall", "nosuch"}, "", noDisplay, 1},
      {{"update", "nosuch"}, "", noDisplay, 1},
      {{"install", "/nonexistent.pkg"}, "", noDisplay, 1},
      {{"remove"}, "", noDisplay, 1},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv;
    if (GetParam()) argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    argv.push_back(zvk);
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    sRunResult r = runWithEnv(argv, {"PATH=/usr/bin:/bin"});
    SCOPED_TRACE(c.args.empty() ? "manager" : c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    EXPECT_EQ(r.out, c.printed);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, c.status);
  }
  // Only roads that write the store make its folder.
  std::vector<std::string> argv;
  if (GetParam()) argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  argv.insert(argv.end(), {zvk, "version"});
  EXPECT_EQ(runWithEnv(argv, {"PATH=/usr/bin:/bin", "HOME=" + out}).status, 0);
  EXPECT_FALSE(fs::exists(out + "/.zvk"));
}

INSTANTIATE_TEST_SUITE_P(AsRootAndNobody, MakeBundle, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "nobody" : "root"; });

// The maker run in this process from a bundle of its own, whose program's
// bytes come from `exe`.
class MakeInstaller : public ::testing::Test {
 protected:
  ScratchDir dir;
  std::string program, exe, scenario;

  void SetUp() override {
    fs::create_directories(dir.file("Own.app/Contents/MacOS"));
    fs::create_directories(dir.file("Own.app/Contents/Resources"));
    writeText(dir.file("Own.app/Contents/Resources/icon.icns"), "icon");
    writeText(dir.file("eula.ENG.hdl"), "<text>Terms</text>");
    writeText(dir.file("eula.idx"), "ENG = \"./eula.ENG.hdl\"\n");
    writeText(dir.file("s.txt"), scenarioText(dir.root, ""));
    writeText(dir.file("exe"), "exe bytes");
    program = dir.file("Own.app/Contents/MacOS/zvk");
    exe = dir.file("exe");
    scenario = dir.file("s.txt");
  }
};

TEST_F(MakeInstaller, ExecutableCopyFailuresAndAProgramWithoutBundle) {
  auto outside = [](const std::string& where) {
    return kOk + "(e) Not in a bundle of its own: " + where +
           " must sit in NAME.app/Contents/MacOS, beside NAME.app/Contents/Resources/icon.icns\n";
  };
  const std::string loose = dir.file("loose/zvk"), noContents = dir.file("Own.app/MacOS/zvk");
  const struct {
    std::string program, exe, printed;
    int status;
  } cases[] = {
      {program, dir.file("gone"), kOk + "(e) Failed opening exe: " + program + "\n", 1},
      {program, dir.root,
       kOk + "(e) Writing exe failed: " + dir.file("B1.app/Contents/MacOS/Installer") + "\n", 1},
      {"zvk", program, outside("zvk"), 2},
      {"/zvk", program, outside("/zvk"), 2},
      {loose, program, outside(loose), 2},
      {noContents, program, outside(noContents), 2},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string b = dir.file(std::string("B").append(std::to_string(n++)).append(".app"));
    testing::internal::CaptureStdout();
    int status = makeInstallerFrom(c.program.c_str(), c.exe.c_str(), scenario.c_str(), b.c_str());
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, c.status) << c.program;
    EXPECT_EQ(printed, c.printed);
  }
}

// A file system that refuses to exchange two folders, and a kill right after
// the maker's n-th rename.
int gKillAfter = 0, gRenames = 0;
int refusingRename(const char* from, const char* to, unsigned int flags) {
  ++gRenames;
  int rc = -1;
  if (flags & RENAME_EXCHANGE)
    errno = EINVAL;
  else
    rc = renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
  if (gRenames == gKillAfter) raise(SIGKILL);
  return rc;
}

// Killed after each rename of the swap in two steps, the maker leaves the
// old installer or the new, and the next make, even one refused at
// loading, puts back what was set aside and clears every part.
TEST_F(MakeInstaller, ARefusedExchangeKilledAtEachRenameLeavesTheOldOrTheNew) {
  const std::string folder = dir.file("out"), b = folder + "/B.app", bad = dir.file("bad.txt");
  writeText(bad, "[General] x\n");
  auto plantOld = [&] {
    fs::create_directories(b + "/Contents");
    writeText(b + "/Contents/PkgInfo", "old");
  };
  plantOld();
  // 0: not killed; 1: after the refused exchange; 2: the old one set aside;
  // 3: the new one in place; 4: the old one at the part's name.
  for (int k = 0; k <= 4; ++k) {
    SCOPED_TRACE(k);
    const pid_t child = fork();
    if (child == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      gFolderRename = refusingRename;
      gKillAfter = k;
      _exit(makeInstallerFrom(program.c_str(), exe.c_str(), scenario.c_str(), b.c_str()));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (k == 0)
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    else
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    testing::internal::CaptureStdout();
    EXPECT_EQ(makeInstallerFrom(program.c_str(), exe.c_str(), bad.c_str(), b.c_str()), 1);
    testing::internal::GetCapturedStdout();
    const bool isOld = fs::exists(b) && filesUnder(b) == std::vector<std::string>{"Contents/PkgInfo"} &&
                       readFileBytes(b + "/Contents/PkgInfo") == "old";
    const bool isNew = fs::exists(b) && filesUnder(b).size() == 5 &&
                       readFileBytes(b + "/Contents/MacOS/Installer") == "exe bytes";
    EXPECT_TRUE(k == 1 || k == 2 ? isOld : isNew);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"B.app"});
    fs::remove_all(b);
    plantOld();
  }
}

// A rename that puts a file of the user's in the old bundle just before
// the maker swaps it out, as a user who adds one while make runs.
std::string gPlanted;
int plantingRename(const char* from, const char* to, unsigned int flags) {
  if (flags & RENAME_EXCHANGE) writeText(gPlanted, "mine");
  return renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

// What the user put in the old bundle after make looked at it stays, in the
// folder beside the new bundle, named by this make and each later one,
// which end 3 until the user takes it.
TEST_F(MakeInstaller, AFilePutInTheOldBundleWhileMakeRunsIsKeptAndNamed) {
  const std::string folder = dir.file("out"), b = folder + "/B.app";
  fs::create_directories(folder);
  const auto run = [&](bool planting) {
    return textFromChild([&] {
      if (planting) {
        gFolderRename = plantingRename;
        gPlanted = b + "/Contents/Resources/extra.txt";
      }
      testing::internal::CaptureStdout();
      const int status = makeInstallerFrom(program.c_str(), exe.c_str(), scenario.c_str(), b.c_str());
      return testing::internal::GetCapturedStdout() + "status " + std::to_string(status);
    });
  };
  ASSERT_EQ(run(false), kOk + "status 0");
  const std::string printed = run(true);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(folder)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  ASSERT_EQ(left.size(), 2u);
  ASSERT_EQ(left[1], "B.app");
  const std::string part = folder + "/" + left[0];
  EXPECT_EQ(printed, kOk + " (e) Kept " + part + "/Contents/Resources/extra.txt: make did not put it there\nstatus 3");
  EXPECT_EQ(filesUnder(part), std::vector<std::string>{"Contents/Resources/extra.txt"});
  EXPECT_EQ(readFileBytes(part + "/Contents/Resources/extra.txt"), "mine");
  EXPECT_EQ(filesUnder(b).size(), 5u);
  EXPECT_FALSE(fs::exists(b + "/Contents/Resources/extra.txt"));
  EXPECT_EQ(run(false), " (e) Kept " + part + "/Contents/Resources/extra.txt: make did not put it there\n" + kOk +
                            "status 3");
  EXPECT_EQ(readFileBytes(part + "/Contents/Resources/extra.txt"), "mine");
  fs::remove_all(part);
  EXPECT_EQ(run(false), kOk + "status 0");
}

}  // namespace
