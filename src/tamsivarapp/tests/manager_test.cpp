// What the manager and the update form take from records, the server and
// downloaded archives: installed items, addresses it may open, unpacking.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "base/conproc.h"
#include "base/tests/scratch_dir.h"
#include "ciom/ciappconfig.h"
#include "install_support.h"
#include "support/runprog.h"
#include "tamsivarapp/installeditem.h"
#include "tamsivarapp/main.h"
#include "tamsivarapp/updatedownload.h"
#include "tamsivarapp/weblink.h"

namespace {

TEST(InstalledItem, RecordsBecomeItemsWithOptionsUpToTheFirstGapAndAnIcon) {
  ScratchDir dir;
  const std::string icon = dir.file("red.png");
  ASSERT_EQ(runWithEnv({"convert", "-size", "64x64", "xc:#FF0000", icon}).status, 0);
  writeFile(dir.file("broken.png"), "\x89PNG not really");
  cCIAppFullConfig cfg;
  cfg.newConfig(dir.file("cfg").c_str());
  ASSERT_TRUE(cfg.openConfig(dir.file("cfg").c_str()));
  cfg.setParamInt64("install/full/ver", 0x0001000200030000);
  cfg.setParamStr("install/full/name", "Full", -1);
  cfg.setParamStr("install/full/publisher", "https://p/", -1);
  cfg.setParamInt32("install/full/utime", 0);
  cfg.setParamStr("install/full/icon", icon.c_str(), -1);
  for (int i : {0, 2}) {
    cfg.setParamStr(("install/full/cplns" + std::to_string(i)).c_str(), "Label", -1);
    cfg.setParamStr(("install/full/cplcs" + std::to_string(i)).c_str(), "cmd", -1);
  }
  cfg.setParamInt64("install/bare/ver", 0x0002000000000000);
  cfg.setParamStr("install/bare/icon", dir.file("broken.png").c_str(), -1);
  cfg.setParamStr("install/bare/cplns0", "Label without command", -1);
  cfg.setParamStr("install/noversion/name", "Not listed", -1);
  // An icon named without its place: the manager's working folder, which
  // holds a file of that name here, has nothing to do with the package.
  cfg.setParamInt64("install/relative/ver", 0x0001000000000000);
  cfg.setParamStr("install/relative/icon", "red.png", -1);
  const WorkingFolder here(dir.root);

  const struct {
    const char* id;
    bool listed;
    const char* version;
    int options;
    bool ownIcon;
  } cases[] = {
      {"full", true, "1.2.3", 1, true},
      {"bare", true, "2.0", 0, false},
      {"relative", true, "1.0", 0, false},
      {"noversion", false, "", 0, false},
      {"", false, "", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    sInstalledItem item;
    ASSERT_EQ(readInstalledItem(&cfg, c.id, item), c.listed);
    if (!c.listed) continue;
    EXPECT_STREQ(item.versionText.ptr, c.version);
    EXPECT_EQ(item.newest, kNoVersion);
    EXPECT_FALSE(item.hasUpdate());
    int options = 0;
    for (auto* o = item.runOptions.head; o; o = o->next) ++options;
    EXPECT_EQ(options, c.options);
    ASSERT_EQ(item.smallIcon.width(), 16);
    ASSERT_EQ(item.bigIcon.width(), 48);
    const unsigned int red = 0xFFFF0000u;
    EXPECT_EQ(item.smallIcon.raw()[0] == red && item.bigIcon.raw()[47] == red, c.ownIcon);
    if (!c.ownIcon) {
      EXPECT_EQ(std::memcmp(item.smallIcon.raw(), app_ico_small + 15 * 64, 64), 0);
    }
    item.newest = item.installed + 1;
    EXPECT_TRUE(item.hasUpdate());
  }
}

TEST(WebAddress, OnlyWebAddressesWithoutControlCharactersOpen) {
  const struct {
    const char* url;
    bool web;
  } cases[] = {
      {"http://example.org/", true},
      {"HTTPS://example.org/a b", true},
      {"https://", false},
      {"file:///etc/passwd", false},
      {"javascript:alert(1)", false},
      {"/usr/bin/xterm", false},
      {"http://x/\nrm", false},
      {"", false},
      {nullptr, false},
      {" http://example.org/", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isWebAddress(c.url), c.web) << (c.url ? c.url : "null");
}

TEST(UnpackUpdate, FindsTheBundleInAPrivateFolderAndRunsNoShell) {
  ScratchDir dir;
  const std::string src = dir.file("src");
  std::filesystem::create_directories(src + "/Docs");
  std::filesystem::create_directories(src + "/New.APP/Contents");
  writeFile(src + "/readme.app", "a file, not a bundle");
  const std::string hostile = dir.file("x$(touch$IFS'p').zip");
  ASSERT_EQ(runWithEnv({"zip", "-qr", hostile, "Docs", "New.APP", "readme.app"}, {}, src).status, 0);
  const std::string plain = dir.file("plain.zip");
  ASSERT_EQ(runWithEnv({"zip", "-qr", plain, "Docs"}, {}, src).status, 0);
  writeFile(dir.file("broken.zip"), "PK not a zip");
  // An entry that would land beside the folder: unzip skips it and warns.
  const std::string climbing = dir.file("climbing.zip");
  ASSERT_EQ(runWithEnv({"python3", "-c",
                        "import sys, zipfile\n"
                        "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
                        "z.writestr('New.app/Contents/Info.plist', 'x')\n"
                        "z.writestr('../evil', 'x')\n",
                        climbing},
                       {}, src)
                .status,
            0);

  const struct {
    std::string zip;
    eUpdateCheckFault why;
  } cases[] = {{hostile, ufNone},
               {plain, ufNoInstaller},
               {dir.file("broken.zip"), ufUnpack},
               {dir.file("none.zip"), ufUnpack},
               {climbing, ufUnpack}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.zip);
    _guardchar<char> installer;
    eUpdateCheckFault why = ufShort;
    ASSERT_EQ(unpackUpdate(c.zip.c_str(), installer, &why), c.why == ufNone);
    EXPECT_EQ(why, c.why);
    if (c.why != ufNone) continue;
    const std::filesystem::path folder = std::filesystem::path(installer.ptr).parent_path();
    EXPECT_EQ(std::filesystem::path(installer.ptr).filename(), "New.APP");
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A bundle without its program cannot start, and its folder goes.
    EXPECT_FALSE(startUpdateInstaller(installer.ptr, &why));
    EXPECT_EQ(why, ufNotStarted);
    EXPECT_FALSE(std::filesystem::exists(folder));
  }
  EXPECT_FALSE(std::filesystem::exists("p"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("p")));
}

// A private folder that cannot be made is told as that, naming it with the
// system's reason, not as a damaged archive: the same archive unpacks once
// TMPDIR is usable.
TEST(UnpackUpdate, AFolderThatCannotBeMadeIsNamedWithTheSystemsReason) {
  ScratchDir dir;
  std::filesystem::create_directories(dir.file("src/New.app/Contents"));
  const std::string zip = dir.file("u.zip");
  ASSERT_EQ(runWithEnv({"zip", "-qr", zip, "New.app"}, {}, dir.file("src")).status, 0);
  writeFile(dir.file("a file"), "x");
  std::filesystem::create_directories(dir.file("shut"));
  chmod(dir.file("shut").c_str(), 0555);
  const char* saved = std::getenv("TMPDIR");
  const std::string restore = saved ? saved : "";
  const struct {
    std::string tmp;
    int error;
  } cases[] = {{dir.file("gone"), ENOENT}, {dir.file("a file"), ENOTDIR}, {dir.file("shut"), EACCES}, {dir.root, 0}};
  for (const auto& c : cases) {
    // Root may write where the modes say no.
    if (c.error == EACCES && geteuid() == 0) continue;
    SCOPED_TRACE(c.tmp);
    setenv("TMPDIR", c.tmp.c_str(), 1);
    _guardchar<char> installer;
    eUpdateCheckFault why = ufShort;
    std::string cause;
    EXPECT_EQ(unpackUpdate(zip.c_str(), installer, &why, &cause), c.error == 0);
    EXPECT_EQ(why, c.error ? ufNoFolder : ufNone);
    EXPECT_EQ(cause, c.error ? c.tmp + "/.zvksopkg-XXXXXX: " + std::strerror(c.error) : "");
    // Its folder goes with the installer that cannot start.
    if (!c.error) {
      EXPECT_FALSE(startUpdateInstaller(installer.ptr));
    }
  }
  if (saved)
    setenv("TMPDIR", restore.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

// An archive's installer program that is a text without "#!": the system
// cannot run it, so the update did not start, and no shell reads it. Its
// folder is gone on return, every time: nothing else removes it meanwhile.
TEST(UnpackUpdate, AnInstallerTheSystemCannotRunDoesNotStart) {
  ScratchDir dir;
  const std::string marker = dir.file("ran");
  for (int i = 0; i < 20; ++i) {
    const std::string folder = dir.file("unpacked" + std::to_string(i)), bundle = folder + "/Hello.app";
    writeFile(bundle + "/Contents/Info.plist", "<key>CFBundleExecutable</key><string>Installer</string>");
    writeFile(bundle + "/Contents/MacOS/Installer", "touch '" + marker + "'\n");
    for (int f = 0; f < 50; ++f) writeFile(bundle + "/Contents/Resources/f" + std::to_string(f), "x");
    chmod((bundle + "/Contents/MacOS/Installer").c_str(), 0755);
    eUpdateCheckFault why = ufNone;
    EXPECT_FALSE(startUpdateInstaller(bundle.c_str(), &why));
    EXPECT_EQ(why, ufNotStarted);
    EXPECT_FALSE(std::filesystem::exists(folder)) << i;
  }
  EXPECT_FALSE(std::filesystem::exists(marker));
}

namespace fs = std::filesystem;

// Sets TMPDIR for the life of the object.
struct TempDirFor {
  explicit TempDirFor(const std::string& folder) : saved(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "") {
    setenv("TMPDIR", folder.c_str(), 1);
  }
  ~TempDirFor() {
    if (saved.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", saved.c_str(), 1);
  }
  std::string saved;
};

// How a child uses a folder: locked as a running update or installer
// holds it, as its working folder as a shell in it does, or with a file
// inside it open.
enum class eUse { lock, workingFolder, openFile };

// A child that uses `folder` that way until it is killed.
pid_t holdFolder(const std::string& folder, eUse use = eUse::lock) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    if (use == eUse::lock) flock(open(folder.c_str(), O_RDONLY | O_DIRECTORY), LOCK_SH);
    if (use == eUse::workingFolder && chdir(folder.c_str()) != 0) _exit(1);
    if (use == eUse::openFile) open((folder + "/inside").c_str(), O_RDONLY);
    ssize_t ignored = write(ready[1], "x", 1);
    (void)ignored;
    pause();
    _exit(0);
  }
  char byte;
  ::close(ready[1]);
  ssize_t ignored = read(ready[0], &byte, 1);
  (void)ignored;
  ::close(ready[0]);
  return child;
}

void endChild(pid_t pid, bool group = false) {
  kill(group ? -pid : pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// Whether the file system of `folder` keeps birth times, without which
// nothing proves a folder there one an update made.
bool keepsBirthTimes(const std::string& folder) {
  struct statx st {};
  return statx(AT_FDCWD, folder.c_str(), 0, STATX_BTIME, &st) == 0 && (st.stx_mask & STATX_BTIME);
}

// A folder made in `parent` as an update makes its own, named so once made.
std::string madeAsAnUpdate(const std::string& parent) {
  std::string made = parent + "/.zvksopkg-XXXXXX";
  if (!mkdtemp(made.data())) return {};
  const int fd = open(made.c_str(), O_RDONLY | O_DIRECTORY);
  const std::string name = updateFolderName(fd);
  close(fd);
  const std::string named = parent + "/" + (name.empty() ? made.substr(parent.size() + 2) : name);
  return rename(made.c_str(), named.c_str()) == 0 ? named : "";
}

// Folders the user named with the stem, hidden or not, old or new, hold
// the user's files: nothing of the update's proves them its own.
TEST(StaleUpdateFolders, TheUsersFoldersNamedLikeAnUpdatesStay) {
  ScratchDir dir;
  TempDirFor tmp(dir.root);
  const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(5);
  const std::string files[] = {"zvksopkg-my-important-data/notes.txt", "zvksopkg-AB/x",
                               ".zvksopkg-my-old-notes/deep/n.txt", "zvksopkg-123abc.5f0e1a2b.0/y"};
  for (const std::string& f : files) writeFile(dir.file(f), "mine");
  fs::create_directory(dir.file(".zvksopkg-Xy12Ab"));
  for (const char* name : {".zvksopkg-my-old-notes/deep", ".zvksopkg-my-old-notes", ".zvksopkg-Xy12Ab"})
    fs::last_write_time(dir.file(name), old);
  removeStaleUpdateFolders();
  for (const std::string& f : files) EXPECT_EQ(readFile(dir.file(f)), "mine") << f;
  EXPECT_TRUE(fs::exists(dir.file(".zvksopkg-Xy12Ab")));
}

TEST(StaleUpdateFolders, OnlyThisUsersFoldersThatNothingHoldsGo) {
  ScratchDir dir;
  TempDirFor tmp(dir.root);
  const bool provable = keepsBirthTimes(dir.root);
  const std::string outside = dir.file("outside");
  writeFile(outside + "/keep", "keep");
  const int outsideFd = open(outside.c_str(), O_RDONLY | O_DIRECTORY);
  const std::string outsideName = updateFolderName(outsideFd);
  close(outsideFd);
  // A folder of an update that is gone, whose name the user gave to a
  // folder of their own since.
  const std::string reused = madeAsAnUpdate(dir.root);
  ASSERT_FALSE(reused.empty());
  const auto bornAt = [](const std::string& path) {
    struct statx st;
    return ::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &st) == 0 && (st.stx_mask & STATX_BTIME)
               ? std::make_pair(st.stx_btime.tv_sec, st.stx_btime.tv_nsec)
               : std::make_pair<long long, unsigned>(0, 0);
  };
  const auto gone = bornAt(reused);
  fs::remove(reused);
  // The kernel stamps births from a clock that moves in ticks: the user's
  // folder is made once a new file's birth shows that clock past the old
  // folder's, as a folder made by hand always is; made in the same tick
  // under a reused number, it would carry the gone folder's very identity.
  for (int tries = 0; provable && tries < 1000000; ++tries) {
    const std::string probe = dir.write("tick", "");
    const bool past = bornAt(probe) > gone;
    fs::remove(probe);
    if (past) break;
  }
  writeFile(reused + "/notes", "mine");
  const struct {
    const char* label;
    std::function<std::string()> make;
    bool ours;  // goes once nothing uses it, where birth times prove it
  } cases[] = {
      {"gone", [&] { std::string f = madeAsAnUpdate(dir.root); writeFile(f + "/New.app/Contents/x", "x"); return f; }, true},
      {"links", [&] { std::string f = madeAsAnUpdate(dir.root); fs::create_directory_symlink(outside, f + "/out"); return f; }, true},
      {"held", [&] { return madeAsAnUpdate(dir.root); }, true},
      {"shell", [&] { return madeAsAnUpdate(dir.root); }, true},
      {"open", [&] { std::string f = madeAsAnUpdate(dir.root); writeFile(f + "/inside", "x"); return f; }, true},
      {"other", [&] { std::string f = madeAsAnUpdate(dir.root); if (geteuid() == 0) chown(f.c_str(), 65534, 65534); return f; }, geteuid() != 0},
      {"reused", [&] { return reused; }, false},
      {"a link named for the folder it leads to",
       [&] { std::string f = dir.file(outsideName.empty() ? "zvksopkg-link" : outsideName); fs::create_directory_symlink(outside, f); return f; }, false},
      {"file", [&] { return dir.write("zvksopkg-file", "f"); }, false},
      {"elsewhere", [&] { fs::create_directories(dir.file("elsewhere-gone")); return dir.file("elsewhere-gone"); }, false},
  };
  std::vector<std::string> paths;
  for (const auto& c : cases) paths.push_back(c.make());
  const pid_t holders[] = {holdFolder(paths[2]), holdFolder(paths[3], eUse::workingFolder),
                           holdFolder(paths[4], eUse::openFile)};
  for (pid_t holder : holders) ASSERT_GT(holder, 0);
  removeStaleUpdateFolders();
  for (size_t i = 0; i < paths.size(); ++i) {
    const bool held = i >= 2 && i <= 4;
    EXPECT_EQ(fs::exists(fs::symlink_status(paths[i])), !(provable && cases[i].ours && !held)) << cases[i].label;
  }
  EXPECT_EQ(readFile(outside + "/keep"), "keep");
  EXPECT_EQ(readFile(reused + "/notes"), "mine");
  // Once their users are gone, the folders are stale too.
  for (pid_t holder : holders) endChild(holder);
  removeStaleUpdateFolders();
  for (size_t i = 2; i <= 4; ++i) EXPECT_EQ(fs::exists(paths[i]), !provable) << cases[i].label;
}

// Only http:// addresses are fetched; anything else says so rather than
// passing for a request that could not be built.
TEST(UpdateDownloader, OnlyHttpAddressesAreFetched) {
  ScratchDir dir;
  const struct {
    const char* url;
    int result;
  } cases[] = {
      {"https://127.0.0.1:1/x.zip", cUpdateDownloader::drNotHttp},
      {"ftp://127.0.0.1:1/x.zip", cUpdateDownloader::drNotHttp},
      {"x.zip", cUpdateDownloader::drNotHttp},
      {"HTTP://127.0.0.1:1/x.zip", cUpdateDownloader::drBroken},  // nobody listens on port 1
  };
  for (const auto& c : cases) {
    cFileIO file;
    ASSERT_TRUE(file.create(dir.file("x.zip").c_str(), fmWrite));
    cUpdateDownloader downloader(&file, c.url);
    EXPECT_EQ(downloader.job(), c.result) << c.url;
  }
}

// The watcher between the manager and a started installer killed (a fork
// of zvk, ended by name with a hung manager): the installer still runs
// from the folder, which stays until the installer too is gone.
TEST(StaleUpdateFolders, AnInstallerOutlivingItsWatcherKeepsItsFolder) {
  ScratchDir dir;
  TempDirFor tmp(dir.root);
  const std::string folder = madeAsAnUpdate(dir.root);
  ASSERT_FALSE(folder.empty());
  // The installer: tells who started it (the watcher), then waits.
  writeFile(folder + "/Installer", "#!/bin/sh\necho $PPID $$ > \"$0.pids\"\nexec sleep 600\n");
  chmod((folder + "/Installer").c_str(), 0755);
  ASSERT_TRUE(just_run_removing((folder + "/Installer").c_str(), folder.c_str()));
  pid_t watcher = 0, installer = 0;
  for (int i = 0; i < 3000 && !installer; ++i) {
    std::istringstream(readFile(folder + "/Installer.pids")) >> watcher >> installer;
    if (!installer) usleep(10000);
  }
  ASSERT_GT(installer, 0);
  kill(watcher, SIGKILL);
  // Not ours to reap: dead is gone, or a zombie whose descriptors are closed.
  auto dead = [](pid_t pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = stat.rfind(')');
    return stat.empty() || (paren != std::string::npos && stat.compare(paren, 3, ") Z") == 0);
  };
  for (int i = 0; i < 3000 && !dead(watcher); ++i) usleep(10000);
  ASSERT_TRUE(dead(watcher));
  removeStaleUpdateFolders();
  EXPECT_TRUE(fs::exists(folder + "/Installer")) << "removed under the running installer";
  kill(installer, SIGKILL);
  if (!keepsBirthTimes(dir.root)) return;
  for (int i = 0; i < 3000 && fs::exists(folder); ++i) {
    removeStaleUpdateFolders();
    if (fs::exists(folder)) usleep(10000);
  }
  EXPECT_FALSE(fs::exists(folder));
}

// An update killed while unzip runs: its folder stays while unzip still
// writes into it, and goes at the next clean-up once both are gone.
TEST(StaleUpdateFolders, AnUpdateKilledWhileUnpackingLeavesNothingForLong) {
  ScratchDir dir;
  TempDirFor tmp(dir.root + "/tmp");
  fs::create_directories(dir.root + "/tmp");
  // An unzip that has written part of the package and then hangs.
  writeFile(dir.file("bin/unzip"), "#!/bin/sh\necho part > \"$4/partial\"\nexec /bin/sleep 600\n");
  chmod(dir.file("bin/unzip").c_str(), 0755);
  writeFile(dir.file("u.zip"), "PK");
  const pid_t update = fork();
  if (update == 0) {
    setpgid(0, 0);
    setenv("PATH", dir.file("bin").c_str(), 1);
    _guardchar<char> installer;
    _exit(unpackUpdate(dir.file("u.zip").c_str(), installer) ? 0 : 1);
  }
  ASSERT_GT(update, 0);
  auto unpacked = [&] {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir.root + "/tmp")) found.push_back(e.path().filename().string());
    return found;
  };
  std::string partial;
  for (int i = 0; i < 3000 && partial.empty(); ++i) {
    for (const std::string& name : unpacked())
      if (fs::exists(dir.root + "/tmp/" + name + "/partial")) partial = name;
    if (partial.empty()) usleep(10000);
  }
  ASSERT_TRUE(partial.starts_with("zvksopkg-")) << partial;
  removeStaleUpdateFolders();
  EXPECT_EQ(unpacked(), std::vector<std::string>{partial}) << "removed while the update ran";
  endChild(update);
  removeStaleUpdateFolders();
  EXPECT_EQ(unpacked(), std::vector<std::string>{partial}) << "removed while unzip wrote into it";
  kill(-update, SIGKILL);
  // Without birth times nothing proves the folder the update's: it stays.
  if (!keepsBirthTimes(dir.root + "/tmp")) return;
  for (int i = 0; i < 3000 && !unpacked().empty(); ++i) {
    removeStaleUpdateFolders();
    if (!unpacked().empty()) usleep(10000);
  }
  EXPECT_TRUE(unpacked().empty());
}

}  // namespace
