#include "base/folder.h"

#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <random>
#include <set>
#include <string>

#include "run_program.h"
#include "scratch_dir.h"

namespace {

std::set<std::string> listed(cFolderContents& folder) {
  std::set<std::string> names;
  for (int i = 0; i < folder.count(); ++i) names.insert(folder.info(i)->name.ptr);
  return names;
}

const sFolderItemInfo* entryNamed(cFolderContents& folder, const std::string& name) {
  for (int i = 0; i < folder.count(); ++i)
    if (name == folder.info(i)->name.ptr) return folder.info(i);
  return nullptr;
}

TEST(FolderListing, EqualsTheSystemListingOfAnOddTree) {
  ScratchDir dir;
  for (const char* name : {"plain", ".hidden", "with space", "tab\tname", "new\nline", "\xc3\xbcnicode",
                           "*star?", "-dash", "'quote\"", "\\back"})
    dir.write(name, "12345");
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file(".hiddendir").c_str(), 0755), 0);
  ASSERT_EQ(symlink("plain", dir.file("filelink").c_str()), 0);
  ASSERT_EQ(symlink("sub", dir.file("dirlink").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0644), 0);
  // A link that leads nowhere has no status and is left out.
  ASSERT_EQ(symlink("missing", dir.file("dangling").c_str()), 0);

  std::string ls;
  ASSERT_EQ(runProgram({"ls", "-A", "--zero", dir.root}, &ls), 0);
  std::set<std::string> expected;
  for (size_t at = 0, end; (end = ls.find('\0', at)) != std::string::npos; at = end + 1)
    expected.insert(ls.substr(at, end - at));
  ASSERT_EQ(expected.erase("dangling"), 1u);
  ASSERT_EQ(expected.size(), 15u);

  cFolderContents folder;
  ASSERT_TRUE(folder.init(dir.root.c_str(), false));
  EXPECT_EQ(listed(folder), expected);
  for (int i = 0; i < folder.count(); ++i)
    EXPECT_EQ(folder.info(i)->hidden, folder.info(i)->name.ptr[0] == '.') << folder.info(i)->name.ptr;
  // Links report what they point to.
  EXPECT_EQ(entryNamed(folder, "filelink")->type, fotFile);
  EXPECT_EQ(entryNamed(folder, "filelink")->size, 5);
  EXPECT_EQ(entryNamed(folder, "dirlink")->type, fotFolder);
  EXPECT_EQ(entryNamed(folder, "pipe")->type, fotOther);

  ASSERT_TRUE(folder.init(dir.root.c_str(), true));
  expected.erase("pipe");
  EXPECT_EQ(listed(folder), expected);
  EXPECT_FALSE(folder.init(dir.file("plain").c_str(), false));
  EXPECT_EQ(folder.count(), 0);

  // Types taken from the entries name what a look at each entry names,
  // links by what they lead to.
  for (bool foldersAndFilesOnly : {false, true}) {
    cFolderContents looked, named;
    ASSERT_TRUE(looked.init(dir.root.c_str(), foldersAndFilesOnly));
    ASSERT_TRUE(named.init(dir.root.c_str(), foldersAndFilesOnly, nullptr, true));
    ASSERT_EQ(listed(named), listed(looked));
    for (int i = 0; i < named.count(); ++i) {
      const sFolderItemInfo* twin = entryNamed(looked, named.info(i)->name.ptr);
      EXPECT_EQ(named.info(i)->type, twin->type) << twin->name.ptr;
      EXPECT_EQ(named.info(i)->hidden, twin->hidden) << twin->name.ptr;
    }
  }
}

// A folder that may be read but not searched lists nothing, by types or by
// a look at each entry: nothing in it could be opened.
TEST(FolderListing, AFolderThatCannotBeSearchedListsNothing) {
  ScratchDir dir;
  ASSERT_EQ(mkdir(dir.file("shut").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("shut/inner").c_str(), 0755), 0);
  dir.write("shut/plain", "1");
  ASSERT_EQ(chmod(dir.file("shut").c_str(), 0644), 0);
  ASSERT_EQ(chmod(dir.root.c_str(), 0755), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(2);  // root searches any folder
    cFolderContents looked, named;
    const bool listed = looked.init(dir.file("shut").c_str(), true) &&
                        named.init(dir.file("shut").c_str(), true, nullptr, true);
    _exit(listed ? std::min(looked.count() + 10 * named.count(), 99) + 3 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3) << "1: not listed, 2: no other user, else 3 + entries + 10 x entries by type";
  chmod(dir.file("shut").c_str(), 0755);
}

TEST(FolderListing, FullPathsAndLocalModificationTimes) {
  ScratchDir dir;
  dir.write("march", "");
  struct tm when = {};
  when.tm_year = 121;
  when.tm_mon = 2;
  when.tm_mday = 5;
  when.tm_hour = 13;
  when.tm_isdst = -1;
  struct utimbuf times = {mktime(&when), mktime(&when)};
  ASSERT_EQ(utime(dir.file("march").c_str(), &times), 0);

  cFolderContents folder;
  _guardchar<char> full;
  for (const std::string& root : {dir.root, dir.root + "/"}) {
    ASSERT_TRUE(folder.init(root.c_str(), false));
    ASSERT_TRUE(folder.path(0, full));
    EXPECT_EQ(std::string(full.ptr), dir.file("march"));
    sFsObjExtInfo info;
    ASSERT_TRUE(folder.getExtInfo(0, info));
    for (const sTimestamp& ts : {folder.info(0)->modified, info.modified})
      EXPECT_TRUE(ts.year == 2021 && ts.month == 3 && ts.day == 5 && ts.hour == 13 && ts.minute == 0);
  }
  EXPECT_FALSE(folder.path(1, full));
}

TEST(FolderHelpers, TypesPermissionsAndFolders) {
  ScratchDir dir;
  std::string file = dir.file("f"), absent = dir.file("absent");
  dir.write("f", "");
  ASSERT_TRUE(cFolderContents::setPermissions(file.c_str(), 7, 5, 1));
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0751u);
  EXPECT_EQ(cFolderContents::getEffectivePermissions(absent.c_str()), 8);

  std::string sub = dir.file("sub");
  EXPECT_TRUE(cFolderContents::mkdir(sub.c_str()));
  EXPECT_FALSE(cFolderContents::mkdir(file.c_str()));
  ASSERT_EQ(symlink("missing", (sub + "/dangling").c_str()), 0);
  EXPECT_TRUE(cFolderContents::isDirEmpty(sub.c_str()));
  dir.write("sub/.hidden", "");
  EXPECT_FALSE(cFolderContents::isDirEmpty(sub.c_str()));
  EXPECT_FALSE(cFolderContents::isDirEmpty(absent.c_str()));
  EXPECT_FALSE(cFolderContents::removeDir(sub.c_str()));
  EXPECT_TRUE(cFolderContents::removeDir(absent.c_str()));
}

TEST(FolderHelpers, HomeConfigurationAndSpecialLocations) {
  ScratchDir dir;
  std::string savedHome = getenv("HOME") ? getenv("HOME") : "/root";
  setenv("HOME", dir.root.c_str(), 1);
  _guardchar<char> out;
  ASSERT_TRUE(cFolderContents::getConfigFolder(out, "zvk"));
  EXPECT_EQ(std::string(out.ptr), dir.file(".zvk"));
  EXPECT_EQ(cFolderContents::objtype(out.ptr), fotNone);

  cFolderContents places;
  ASSERT_TRUE(places.enumSpecialLocations());
  ASSERT_GE(places.count(), 2);
  EXPECT_STREQ(places.info(0)->label.ptr, "Home folder");
  EXPECT_EQ(std::string(places.info(0)->name.ptr), dir.root);
  EXPECT_STREQ(places.info(1)->label.ptr, "File system");
  EXPECT_STREQ(places.info(1)->name.ptr, "/");
  // Once per device.
  std::set<dev_t> devices;
  for (int i = 1; i < places.count(); ++i) {
    struct stat st;
    ASSERT_EQ(stat(places.info(i)->name.ptr, &st), 0);
    EXPECT_TRUE(devices.insert(st.st_dev).second) << places.info(i)->name.ptr;
  }

  unsetenv("HOME");
  EXPECT_FALSE(cFolderContents::getConfigFolder(out, "zvk"));
  ASSERT_TRUE(places.enumSpecialLocations());
  EXPECT_STREQ(places.info(0)->label.ptr, "File system");
  setenv("HOME", savedHome.c_str(), 1);
}

TEST(FolderHelpers, SystemSettingsAndMenuEntriesFollowTheDesktopsFolders) {
  ScratchDir dir;
  std::string savedHome = getenv("HOME") ? getenv("HOME") : "/root";
  setenv("HOME", dir.root.c_str(), 1);
  setenv("XDG_CONFIG_DIRS", (dir.file("sys") + ":/etc/xdg").c_str(), 1);
  setenv("XDG_DATA_DIRS", (dir.file("shared") + ":/usr/share").c_str(), 1);
  const struct {
    const char* dataHome;  // null: unset
    bool allUsers;
    const char* name;
    std::string folder;  // empty: refused
  } cases[] = {
      {nullptr, false, "Pkg", dir.file(".local/share/applications/Pkg")},
      {"relative/is/ignored", false, "Pkg", dir.file(".local/share/applications/Pkg")},
      {"", false, "My App", dir.file(".local/share/applications/My App")},
      {nullptr, true, "Pkg", dir.file("shared/applications/Pkg")},
      {nullptr, false, "../escape", ""},
      {nullptr, false, "a/b", ""},
      {nullptr, true, "..", ""},
      {nullptr, false, "", ""},
  };
  for (const auto& c : cases) {
    if (c.dataHome)
      setenv("XDG_DATA_HOME", c.dataHome, 1);
    else
      unsetenv("XDG_DATA_HOME");
    _guardchar<char> out;
    bool made = cFolderContents::getShortcutsFolder(out, c.name, c.allUsers);
    EXPECT_EQ(made, !c.folder.empty()) << c.name;
    if (!made) continue;
    EXPECT_EQ(std::string(out.ptr), c.folder);
    EXPECT_EQ(cFolderContents::objtype(out.ptr), fotFolder);
  }
  setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
  _guardchar<char> out;
  ASSERT_TRUE(cFolderContents::getShortcutsFolder(out, "Pkg", false));
  EXPECT_EQ(std::string(out.ptr), dir.file("data/applications/Pkg"));
  ASSERT_TRUE(cFolderContents::getSysConfigFolder(out, "zvk"));
  EXPECT_EQ(std::string(out.ptr), dir.file("sys/zvkcfg/zvk"));
  EXPECT_EQ(cFolderContents::objtype(out.ptr), fotFolder);
  EXPECT_FALSE(cFolderContents::getSysConfigFolder(out, "../zvk"));
  // A file where a level should be.
  dir.write("blocked", "");
  setenv("XDG_CONFIG_DIRS", dir.file("blocked").c_str(), 1);
  EXPECT_FALSE(cFolderContents::getSysConfigFolder(out, "zvk"));

  for (const char* variable : {"XDG_CONFIG_DIRS", "XDG_DATA_DIRS", "XDG_DATA_HOME"}) unsetenv(variable);
  setenv("HOME", savedHome.c_str(), 1);
}

TEST(FolderHelpers, VolumeSizesAreThoseOfTheFileSystem) {
  ScratchDir dir;
  for (const std::string& path : {std::string("/"), dir.root}) {
    unsigned long long total = 0, available = 0;
    ASSERT_TRUE(cFolderContents::getVolInfo(path.c_str(), total, available));
    struct statvfs fs;
    ASSERT_EQ(statvfs(path.c_str(), &fs), 0);
    EXPECT_EQ(total, static_cast<unsigned long long>(fs.f_frsize) * fs.f_blocks);
    // Free space moves while other programs write; a block or two of slack.
    unsigned long long expected = static_cast<unsigned long long>(fs.f_frsize) * fs.f_bavail;
    EXPECT_NEAR(static_cast<double>(available), static_cast<double>(expected), 1 << 26);
  }
  unsigned long long total, available;
  EXPECT_FALSE(cFolderContents::getVolInfo("/no/such/place", total, available));
}

bool wc(const char* name, const char* pattern) { return cFolderContents::wcmatch(name, pattern); }

TEST(Wildcards, EmptyAndListedPatterns) {
  EXPECT_TRUE(wc("anything", ""));
  EXPECT_TRUE(wc("anything", nullptr));
  EXPECT_FALSE(wc(nullptr, "*"));
  EXPECT_FALSE(wc("ABC", "abc"));
  auto wcm = [](const char* name, const char* list) { return cFolderContents::wcmmatch(name, list); };
  EXPECT_TRUE(wcm("a.png", "*.jpg;*.png"));
  EXPECT_FALSE(wcm("a.gif", "*.jpg;*.png"));
  EXPECT_FALSE(wcm("a.gif", "*.jpg;"));
  EXPECT_TRUE(wcm("a.gif", "*.jpg;;*.png"));
}

TEST(Wildcards, AgreeWithTheCLibraryOnRandomPatterns) {
  std::mt19937 random(20261206);
  auto randomText = [&](const char* alphabet, int alphabetSize, int maxLength) {
    std::string text;
    for (int n = static_cast<int>(random() % (maxLength + 1)); n > 0; --n)
      text += alphabet[random() % alphabetSize];
    return text;
  };
  for (int round = 0; round < 200000; ++round) {
    std::string name = randomText("ab.", 3, 10);
    std::string pattern = randomText("ab.*?", 5, 8);
    if (pattern.empty()) continue;
    bool expected = fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
    ASSERT_EQ(wc(name.c_str(), pattern.c_str()), expected) << '"' << name << "\" vs \"" << pattern << '"';
  }
  // Many stars against a long miss must not take exponential time.
  std::string longName(4000, 'a');
  EXPECT_FALSE(wc(longName.c_str(), "*a*a*a*a*a*a*a*a*a*a*a*a*b"));
}

std::string safe(const char* name, long long size = 256) {
  char out[256];
  long long length = cFolderContents::safeName(name, out, size);
  EXPECT_EQ(length, static_cast<long long>(strlen(out)));
  return out;
}

TEST(SafeName, MakesOneUsableFileName) {
  EXPECT_EQ(safe("  \t\x01My \"App\": v1/2 *new* | why? \t "), "My 'App'_ v1=2 @new@ _ why~");
  EXPECT_EQ(safe("a\x02"
                 "b"),
            "a b");
  EXPECT_EQ(safe(nullptr), "");
  EXPECT_EQ(safe("abcdef", 3), "ab");
  EXPECT_EQ(safe("a bc", 3), "a");
  // Never the folder itself or its parent.
  EXPECT_EQ(safe("."), "_");
  EXPECT_EQ(safe(" .. "), "_");
  EXPECT_EQ(safe("..."), "...");
  EXPECT_EQ(safe("..x", 3), "_");
  // A character is kept whole or not at all.
  EXPECT_EQ(safe("a\xc3\xa9", 3), "a");
  EXPECT_EQ(safe("\xe2\x82\xac\xe2\x82\xac", 6), "\xe2\x82\xac");
  EXPECT_EQ(safe("\xf0\x9f\x98\x80z", 4), "");
  char tiny[1] = {'x'};
  EXPECT_EQ(cFolderContents::safeName("abc", tiny, 0), 0);
  EXPECT_EQ(tiny[0], 'x');
}

}  // namespace
