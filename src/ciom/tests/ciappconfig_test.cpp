#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "base/folder.h"
#include "base/tests/scratch_dir.h"
#include "hive_bytes.h"

namespace {

namespace fs = std::filesystem;

// Sets an environment variable (or removes it, for null) for one scope.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~EnvGuard() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

std::string str(cApplicationConfig& config, const char* key) {
  _guardchar<char> value;
  if (!config.getParamStr(key, value)) return "<none>";
  return value.ptr ? value.ptr : "";
}

TEST(ConfigFolder, StoreWithoutAFolderTouchesNothing) {
  std::string name = "zvk-unsettled-" + std::to_string(getpid());
  for (const char* home : {static_cast<const char*>(nullptr), "", "relative/home"}) {
    EnvGuard guard("HOME", home);
    cCIAppConfig store;
    EXPECT_FALSE(store.openConfig("zvk"));
    EXPECT_FALSE(store.setParamStr((name + "/k").c_str(), "v", -1));
    EXPECT_FALSE(store.hasSection((name + "/k").c_str()));
    EXPECT_TRUE(store.saveConfig());
    EXPECT_FALSE(fs::exists("/" + name));
    EXPECT_FALSE(fs::exists("/.zvk"));
  }
}

TEST(ConfigFolder, HomeFolderOrAbsolutePathOnly) {
  ScratchDir dir;
  EnvGuard guard("HOME", dir.root.c_str());
  fs::create_directory(dir.file("stray"));
  fs::path cwd = fs::current_path();
  fs::current_path(dir.root);

  cCIAppConfig store;
  // A relative name never means a folder of the working directory.
  ASSERT_TRUE(store.openConfig("stray"));
  EXPECT_TRUE(store.setParamStr("h/k", "v", -1));
  EXPECT_TRUE(fs::is_regular_file(dir.file(".stray/h")));
  EXPECT_FALSE(fs::exists(dir.file("stray/h")));
  // A home-folder name is never new here: its first write makes it.
  EXPECT_FALSE(store.newConfig("other"));
  EXPECT_FALSE(fs::exists(dir.file(".other")));
  // Opened and read, it stays unmade; the first write makes it.
  ASSERT_TRUE(store.openConfig("other"));
  _guardchar<char> value;
  EXPECT_FALSE(store.getParamStr("h/k", value));
  EXPECT_TRUE(store.saveConfig());
  EXPECT_FALSE(fs::exists(dir.file(".other")));
  EXPECT_TRUE(store.setParamStr("h/k", "v", -1));
  EXPECT_TRUE(fs::is_regular_file(dir.file(".other/h")));
  EXPECT_TRUE(store.hasFolder());
  fs::current_path(cwd);

  std::string absolute = dir.file("abs");
  EXPECT_FALSE(store.openConfig(absolute.c_str()));
  // The failed open left no folder: the earlier one is not read either.
  EXPECT_FALSE(store.hasSection("h/k"));
  ASSERT_TRUE(store.newConfig(absolute.c_str()));
  EXPECT_FALSE(store.newConfig(absolute.c_str()));
  ASSERT_TRUE(store.openConfig(absolute.c_str()));
  EXPECT_TRUE(store.setParamInt32("h/k", 5));
  EXPECT_TRUE(store.saveConfig());
  EXPECT_TRUE(fs::is_regular_file(absolute + "/h"));
}

class ConfigStore : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store.openConfig(dir.root.c_str())); }
  std::string file(const std::string& name) const { return dir.file(name); }

  ScratchDir dir;
  cCIAppConfig store;
};

TEST_F(ConfigStore, ValuesAndKeysTheFormatCannotCarryAreRefused) {
  std::vector<unsigned char> big(65536, 'x');
  EXPECT_TRUE(store.setParam("h/big", big.data(), 65535));
  EXPECT_FALSE(store.setParam("h/big", big.data(), 65536));
  std::string longest(255, 'n'), tooLong(256, 'n');
  EXPECT_TRUE(store.setParamStr(("h/" + longest + "/v").c_str(), "kept", -1));
  EXPECT_FALSE(store.setParamStr(("h/" + tooLong).c_str(), "cut", -1));
  EXPECT_FALSE(store.setParamStr("h//v", "empty", -1));
  EXPECT_FALSE(store.setParamStr("h/v/", "empty", -1));

  std::string deepest = "h";
  for (int i = 1; i < cCIAppConfig::kMaxKeyDepth; ++i) deepest += "/d";
  const std::string tooDeep = deepest + "/d";
  EXPECT_TRUE(store.setParamStr(deepest.c_str(), "deep", -1));
  EXPECT_FALSE(store.setParamStr(tooDeep.c_str(), "deeper", -1));
  ASSERT_TRUE(store.saveConfig());

  cCIAppConfig again;
  ASSERT_TRUE(again.openConfig(dir.root.c_str()));
  _typebuf<unsigned char> value;
  ASSERT_TRUE(again.getParam("h/big", value));
  EXPECT_EQ(value.count, 65535);
  EXPECT_EQ(str(again, ("h/" + longest + "/v").c_str()), "kept");
  EXPECT_EQ(str(again, deepest.c_str()), "deep");
  EXPECT_FALSE(again.hasSection(tooDeep.c_str()));
}

// A file that is not a hive reads as an empty one until a save replaces it;
// removal needs a parent, and marks its hive even when nothing was removed.
TEST_F(ConfigStore, JunkHivesAreReplacedAndRemovalNeedsAParent) {
  writeFile(file("junk"), text("not a hive at all"));
  EXPECT_EQ(str(store, "junk/k"), "<none>");
  ASSERT_TRUE(store.setParamStr("junk/k", "now", -1));
  ASSERT_TRUE(store.setParamStr("install/foo/ver", "1", -1));
  ASSERT_TRUE(store.setParamStr("install/bar/ver", "2", -1));
  for (const char* top : {"install", "/install", ""}) EXPECT_FALSE(store.removeSection(top)) << top;
  EXPECT_TRUE(store.removeSection("install/foo"));
  EXPECT_FALSE(store.removeSection("fresh/missing"));
  ASSERT_TRUE(store.saveConfig());
  EXPECT_TRUE(fs::is_regular_file(file("fresh")));
  cCIAppConfig other;
  ASSERT_TRUE(other.openConfig(dir.root.c_str()));
  EXPECT_EQ(str(other, "junk/k"), "now");
  EXPECT_FALSE(other.hasSection("install/foo"));
  EXPECT_EQ(str(other, "install/bar/ver"), "2");
}

// A hive damaged on disk (junk, cut short, to nothing too) is written over only once its
// bytes are kept, each time under a name no earlier copy holds; the store
// names the copies and never reads them as hives.
TEST(ConfigSaves, ADamagedHiveIsKeptAsideBeforeASaveReplacesIt) {
  ScratchDir dir;
  {
    cCIAppConfig first;
    ASSERT_TRUE(first.openConfig(dir.root.c_str()));
    ASSERT_TRUE(first.setParamStr("install/one/ver", "1", -1));
    ASSERT_TRUE(first.setParamStr("install/one/path", "/opt/one", -1));
    ASSERT_TRUE(first.saveConfig());
    EXPECT_TRUE(first.keptCopies().empty());
  }
  const Bytes good = readFile(dir.file("install"));
  const struct {
    const char* what;
    Bytes damaged;
  } cases[] = {
      {"random bytes", Bytes{0x5a, 0x13, 0xe7, 0x00, 0x91, 0x42, 0xff, 0x08}},
      {"cut to half", Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2))},
      {"cut by 10 bytes", Bytes(good.begin(), good.end() - 10)},
      {"cut to nothing", Bytes{}},
  };
  int copies = 0;
  for (const auto& c : cases) {
    writeFile(dir.file("install"), c.damaged);
    cCIAppConfig store;
    ASSERT_TRUE(store.openConfig(dir.root.c_str()));
    ASSERT_TRUE(store.setParamStr("install/two/ver", "2", -1));
    ASSERT_TRUE(store.saveConfig()) << c.what;
    const std::string kept = dir.file("install.damaged-" + std::to_string(++copies));
    EXPECT_EQ(store.keptCopies(), std::vector<std::string>{kept}) << c.what;
    EXPECT_EQ(readFile(kept), c.damaged) << c.what;
    cCIAppConfig again;
    ASSERT_TRUE(again.openConfig(dir.root.c_str()));
    EXPECT_EQ(str(again, "install/two/ver"), "2") << c.what;
    ASSERT_TRUE(again.setParamStr("install/three/ver", "3", -1));
    ASSERT_TRUE(again.saveConfig());
    EXPECT_TRUE(again.keptCopies().empty()) << c.what << ": a whole hive keeps nothing";
  }
  for (int n = 1; n <= copies; ++n)
    EXPECT_EQ(readFile(dir.file("install.damaged-" + std::to_string(n))), cases[n - 1].damaged);
  // With every name up to the last taken, nothing is written over bytes
  // no copy holds.
  for (int n = copies + 1; n <= 9999; ++n) writeFile(dir.file("install.damaged-" + std::to_string(n)), {});
  Bytes unkept = cases[0].damaged;
  unkept.push_back(0x77);
  writeFile(dir.file("install"), unkept);
  cCIAppConfig full;
  ASSERT_TRUE(full.openConfig(dir.root.c_str()));
  ASSERT_TRUE(full.setParamStr("install/two/ver", "2", -1));
  EXPECT_FALSE(full.saveConfig());
  EXPECT_EQ(full.trouble(), EEXIST);
  EXPECT_TRUE(full.keptCopies().empty());
  EXPECT_EQ(readFile(dir.file("install")), unkept);
  EXPECT_TRUE(cCIAppConfig::isKeptCopy("install.damaged-12"));
  EXPECT_FALSE(cCIAppConfig::isKeptCopy("install.damaged-"));
  EXPECT_FALSE(cCIAppConfig::isKeptCopy("install.damaged-1x"));
}

// Bytes a copy holds already, under whatever number, are not kept again:
// the save, and a look that keeps them before any save, name that copy.
TEST(ConfigSaves, DamagedBytesAlreadyKeptAreNotKeptAgain) {
  ScratchDir dir;
  // Cut inside the name of the hive's first container.
  const Bytes damaged{'Z', 'V', 'K', 'C', 0, 0, 1, 5, 'o', 'n'};
  const std::string install = dir.file("install");
  const struct {
    const char* what;
    std::function<void(cCIAppConfig&)> before;
    std::string named;
  } cases[] = {
      {"kept by a look before the save", [](cCIAppConfig& store) { store.keepHiveCopy("install"); },
       install + ".damaged-1"},
      {"kept under a later number", [&](cCIAppConfig&) { fs::rename(install + ".damaged-1", install + ".damaged-7"); },
       install + ".damaged-7"},
      {"beside a FIFO and a folder under copies' names",
       [&](cCIAppConfig&) {
         ASSERT_EQ(mkfifo((install + ".damaged-3").c_str(), 0600), 0);
         fs::create_directory(install + ".damaged-2");
       },
       install + ".damaged-7"},
  };
  for (const auto& c : cases) {
    writeFile(install, damaged);
    cCIAppConfig store;
    ASSERT_TRUE(store.openConfig(dir.root.c_str()));
    c.before(store);
    EXPECT_EQ(store.keepHiveCopy("install"), c.named) << c.what;
    ASSERT_TRUE(store.setParamStr("install/two/ver", "2", -1));
    ASSERT_TRUE(store.saveConfig()) << c.what;
    EXPECT_EQ(store.keptCopies(), std::vector<std::string>{c.named}) << c.what;
    size_t copies = 0;
    for (const auto& e : fs::directory_iterator(dir.root))
      copies += e.is_regular_file() && cCIAppConfig::isKeptCopy(e.path().filename().c_str());
    EXPECT_EQ(copies, 1u) << c.what;
    EXPECT_EQ(readFile(c.named), damaged) << c.what;
  }
}

struct Seen {
  std::vector<std::string> names;
  cCIAppConfig* store = nullptr;
  const char* folder = nullptr;
};

bool writeThroughOtherStore(const char* name, void* user) {
  // Another writer replaces the hive and this store reads it again, freeing
  // every container the enumeration started from.
  auto* seen = static_cast<Seen*>(user);
  seen->names.push_back(name);
  cCIAppConfig other;
  other.openConfig(seen->folder);
  other.setParamStr("w/list/b", name, -1);
  other.saveConfig();
  seen->store->hasSection("w/list");
  return true;
}

TEST_F(ConfigStore, EnumerationSurvivesAReloadInsideTheCallback) {
  ASSERT_TRUE(store.setParamStr("w/list/a", "", -1));
  ASSERT_TRUE(store.setParamStr("w/list/c", "", -1));
  ASSERT_TRUE(store.saveConfig());
  Seen seen;
  seen.store = &store;
  seen.folder = dir.root.c_str();
  EXPECT_TRUE(store.enumSubsections("w/list", writeThroughOtherStore, &seen));
  EXPECT_EQ(seen.names, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(str(store, "w/list/b"), "c");
}

TEST_F(ConfigStore, CleanCopiesFollowTheFileDirtyOnesSaveOnlyTheirChanges) {
  cCIAppConfig other;
  ASSERT_TRUE(store.setParamInt32("s/n", 1));
  ASSERT_TRUE(store.saveConfig());
  ASSERT_TRUE(other.openConfig(dir.root.c_str()));
  EXPECT_EQ(store.getParamInt32("s/n"), 1);
  ASSERT_TRUE(other.setParamInt32("s/n", 5));
  ASSERT_TRUE(other.saveConfig());
  EXPECT_EQ(store.getParamInt32("s/n"), 5);

  ASSERT_TRUE(store.setParamInt32("s/mine", 7));
  ASSERT_TRUE(other.setParamInt32("s/n", 100));
  ASSERT_TRUE(other.saveConfig());
  EXPECT_EQ(store.getParamInt32("s/n"), 5);
  ASSERT_TRUE(store.saveConfig());
  EXPECT_EQ(other.getParamInt32("s/n"), 100);
  EXPECT_EQ(other.getParamInt32("s/mine"), 7);
  EXPECT_EQ(store.getParamInt32("s/n"), 100);

  ASSERT_TRUE(store.setParamInt32("s/n", 42));
  EXPECT_TRUE(store.discardChanges());

  // A changed file that cannot be read back leaves the copy, so a change
  // saved after it keeps the other settings.
  writeFile(file("s"), text("ZVKC") + Bytes{9, 0});
  EXPECT_EQ(store.getParamInt32("s/n"), 100);
  ASSERT_TRUE(store.setParamInt32("s/new", 1));
  ASSERT_TRUE(store.saveConfig());
  EXPECT_EQ(other.getParamInt32("s/mine"), 7);
}

// Two stores on one folder, as two processes: the other saves between
// this one's changes and its save. A key keeps the value of the last save
// that set or removed it, and one that neither touched keeps its own.
TEST(ConfigSaves, EachSaveMakesOnlyItsOwnChangesToWhatTheFileHolds) {
  using tOps = std::function<void(cCIAppConfig&, const std::string& hive)>;
  const auto set = [](const char* key, const char* value) {
    return [=](cCIAppConfig& s, const std::string&) { ASSERT_TRUE(s.setParamStr(key, value, -1)) << key; };
  };
  const auto removed = [](const char* key) {
    return [=](cCIAppConfig& s, const std::string&) { s.removeSection(key); };
  };
  const auto both = [](tOps first, tOps second) {
    return [=](cCIAppConfig& s, const std::string& hive) {
      first(s, hive);
      second(s, hive);
    };
  };
  const tOps saved = [](cCIAppConfig& s, const std::string&) { ASSERT_TRUE(s.saveConfig()); };
  // Another writer changes h/b/k from "b" to "B" in place and sets the time
  // back: device, inode, size and time all stay what the last save left.
  const tOps inPlace = [](cCIAppConfig&, const std::string& hive) {
    struct stat before;
    ASSERT_EQ(stat(hive.c_str(), &before), 0);
    Bytes bytes = readFile(hive);
    // The name "k" padded to its field, then the one-byte value.
    const Bytes record{'k', 0, 0, 0, 1, 0, 'b'};
    auto at = std::search(bytes.begin(), bytes.end(), record.begin(), record.end());
    ASSERT_NE(at, bytes.end());
    at[6] = 'B';
    writeFile(hive, bytes);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, hive.c_str(), times, 0), 0);
  };
  const struct {
    const char* name;
    tOps mine, theirs;
    std::vector<std::pair<const char*, const char*>> expected;
  } cases[] = {
      {"different keys", set("h/a/x", "1"), set("h/b/y", "2"),
       {{"h/a/x", "1"}, {"h/b/y", "2"}, {"h/a/k", "a"}, {"h/b/k", "b"}}},
      {"own section written anew", both(removed("h/a"), set("h/a/n", "new")),
       both(set("h/a/t", "t"), set("h/b/k", "b2")),
       {{"h/a/n", "new"}, {"h/a/k", "<none>"}, {"h/a/t", "<none>"}, {"h/b/k", "b2"}}},
      {"own section removed", removed("h/a"), set("h/a/t", "t"), {{"h/a/k", "<none>"}, {"h/a/t", "<none>"}}},
      {"a value set, then its section removed", both(set("h/a/x", "1"), removed("h/a")), set("h/b/y", "2"),
       {{"h/a/x", "<none>"}, {"h/a/k", "<none>"}, {"h/b/y", "2"}}},
      {"a section removed that the copy never held", removed("h/late"), set("h/late/k", "l"),
       {{"h/late/k", "<none>"}, {"h/a/k", "a"}}},
      {"a removal leaves its parent's value", removed("h/p/c"), set("h/p", "p2"),
       {{"h/p", "p2"}, {"h/p/c", "<none>"}}},
      {"one key set by both", set("h/a/k", "mine"), set("h/a/k", "theirs"), {{"h/a/k", "mine"}}},
      {"another's removal", set("h/a/x", "1"), removed("h/b"), {{"h/a/x", "1"}, {"h/b/k", "<none>"}}},
      {"a new hive made by both", set("n/mine", "1"), set("n/theirs", "2"), {{"n/mine", "1"}, {"n/theirs", "2"}}},
      {"a file that looks unchanged since the last save", both(both(set("h/a/x", "1"), saved), set("h/a/y", "2")),
       inPlace, {{"h/b/k", "B"}, {"h/a/x", "1"}, {"h/a/y", "2"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    cCIAppConfig base, store, other, reader;
    ASSERT_TRUE(base.openConfig(dir.root.c_str()));
    for (const auto& [key, value] : {std::pair{"h/a/k", "a"}, {"h/b/k", "b"}, {"h/p", "p"}, {"h/p/c", "c"}})
      ASSERT_TRUE(base.setParamStr(key, value, -1));
    ASSERT_TRUE(base.saveConfig());
    ASSERT_TRUE(store.openConfig(dir.root.c_str()));
    ASSERT_TRUE(other.openConfig(dir.root.c_str()));
    c.mine(store, dir.file("h"));
    c.theirs(other, dir.file("h"));
    ASSERT_TRUE(other.saveConfig());
    ASSERT_TRUE(store.saveConfig());
    ASSERT_TRUE(reader.openConfig(dir.root.c_str()));
    for (const auto& [key, value] : c.expected) {
      EXPECT_EQ(str(reader, key), value) << key;
      // The saving store holds what it wrote.
      EXPECT_EQ(str(store, key), value) << key;
    }
  }
}

// A reader never waits for a writer's lock: saves put whole files in
// place. A saver waits as its thread was told: given up, it fails and the
// file stays; waiting on, it meets the file another save put in place and
// makes its own change to that one.
TEST(HiveLock, ASaverWaitsAsItsThreadSaysAndAReaderNeverWaits) {
  ScratchDir dir;
  std::string path = dir.file("h"), next = dir.file("next");
  cCIAppConfig store;
  cCIAppConfig::sDataContainer fresh, mine, loaded;
  ASSERT_TRUE(cCIAppConfig::mkNewHive(path.c_str()));
  ASSERT_TRUE(cCIAppConfig::mkNewHive(next.c_str()));
  fresh.children.insert(cStringKey("new", -1));
  ASSERT_TRUE(cCIAppConfig::saveHive(next.c_str(), fresh, kWholeTree));
  mine.children.insert(cStringKey("mine", -1));
  const cCIAppConfig::tChanges made = {{"/mine", false}};

  cFileIO held;
  ASSERT_TRUE(held.open(path.c_str(), fmReadWrite) && held.lock_w(0, 4));
  EXPECT_TRUE(store.loadHive(path.c_str(), loaded));
  {
    cCIAppConfig::cLockWait never([] { return false; });
    errno = 0;
    EXPECT_FALSE(cCIAppConfig::saveHive(path.c_str(), mine, made));
    EXPECT_EQ(errno, EWOULDBLOCK);
  }
  int asked = 0;
  {
    cCIAppConfig::cLockWait waitOn([&] {
      if (++asked == 1) {
        EXPECT_TRUE(cFileIO::move(next.c_str(), path.c_str()));
        held.close();
      }
      return true;
    });
    EXPECT_TRUE(cCIAppConfig::saveHive(path.c_str(), mine, made));
  }
  EXPECT_EQ(asked, 1);
  ASSERT_TRUE(store.loadHive(path.c_str(), loaded));
  EXPECT_NE(child(loaded, "new"), nullptr);
  EXPECT_NE(child(loaded, "mine"), nullptr);
}

}  // namespace
