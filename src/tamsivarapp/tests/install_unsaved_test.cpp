#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <set>
#include <sstream>

#include "base/tests/scratch_dir.h"
#include "driver/driver_codes.h"
#include "driver_package.h"
#include "install_support.h"
#include "support/runprog.h"

namespace fs = std::filesystem;

namespace {

const tFiles kOne = {{"data/f1", "one f1"}, {"data/f2", "one f2"}, {"gone1", "one gone1"}, {"gone2", "one gone2"}};
const tFiles kTwo = {{"data/f1", "two f1"}, {"data/f2", "two f2"}, {"new1", "two new1"}};
const unsigned long long kVerTwo = 2ULL << 48;

// The driver, under strace failing each `inject` call from the Nth on
// where one is given.
sRunResult drive(const std::string& home, std::vector<std::string> args, const std::string& inject = {}) {
  args.insert(args.begin(), ZVK_INSTALL_DRIVER);
  if (!inject.empty())
    args.insert(args.begin(), {"strace", "-f", "-qq", "-o", "/dev/null", "-e", "inject=" + inject});
  return runWithEnv(args, {"HOME=" + home, "ASAN_OPTIONS=detect_leaks=0", "PATH=/usr/bin:/bin"});
}

struct Record {
  bool versioned = false;
  unsigned long long ver = 0;
  std::set<std::string> files;
  std::set<std::string> marked;
};

Record recordIn(const std::string& home) {
  Record r;
  cCIAppConfig store;
  if (!store.openConfig((home + "/.zvk").c_str())) return r;
  r.versioned = store.getParamInt("install/demo/ver", r.ver);
  for (const std::string& f : readFileList(&store, "install/demo")) r.files.insert(f);
  for (const auto& [side, id] : readSideMark(&store, "install/demo")) r.marked.insert(side);
  return r;
}

// Every file below `root` with its bytes, by its place there.
tFiles filesIn(const std::string& root) {
  tFiles found;
  if (!fs::exists(root)) return found;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (!e.is_directory()) found[e.path().string().substr(root.size() + 1)] = readFile(e.path().string());
  return found;
}

// Where the record and the files part: "21 <path>" for a listed file the
// recorded version does not hold there, or a marked one that is gone,
// "22 <path>" for one of its files with other bytes.
std::set<std::string> mismatches(const Record& r, const std::string& root) {
  const tFiles none, &claimed = !r.versioned ? none : r.ver == kVerTwo ? kTwo : kOne;
  const tFiles there = filesIn(root);
  std::set<std::string> out;
  for (const std::string& path : r.files) {
    const std::string rel = path.substr(root.size() + 1);
    const auto at = there.find(rel), want = claimed.find(rel);
    if (at == there.end() || want == claimed.end())
      out.insert("21 " + path);
    else if (at->second != want->second)
      out.insert("22 " + path);
  }
  for (const std::string& path : r.marked)
    if (!fs::exists(fs::symlink_status(path))) out.insert("21 " + path);
  return out;
}

// What a record of the new version lists that is not there, where a
// user's file could later be taken for the package's.
std::set<std::string> listedMissing(const Record& r) {
  std::set<std::string> out;
  if (r.versioned && r.ver == kVerTwo)
    for (const std::string& path : r.files)
      if (!fs::exists(fs::symlink_status(path))) out.insert(path);
  return out;
}

std::set<std::string> keptLines(const std::string& out) {
  std::set<std::string> kept;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (line.starts_with("kept ")) kept.insert(line.substr(5));
  return kept;
}

// Saves of the record failing from every position on, as a full store or a
// failing disk gives them: the run ends 0 only with the new version and a
// record naming exactly its files and marking none; 11 only with everything as before; else
// 12, naming each file where the record and the disk part. Run again, the
// installation ends whole.
TEST(InstallerJob, SavesFailingFromAnyPointEndTrulyAndNameWhatIsLeft) {
  if (access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "needs strace";
  ScratchDir dir;
  const std::string one = makePackage(dir, "one", "1.0", kOne), two = makePackage(dir, "two", "2.0", kTwo);
  const struct Case {
    const char* name;
    bool upgrade;
    bool userBackup;  // the user's own file under data/f1's backup name
    const char* call;
  } cases[] = {
      {"first install", false, false, "rename"},
      {"upgrade", true, false, "rename"},
      {"upgrade beside the user's f1.bkp", true, true, "rename"},
      {"upgrade, syncs failing", true, false, "fsync"},
  };
  for (const Case& c : cases) {
    bool ended = false, named = false;
    for (int n = 1; n < 40 && !ended; ++n) {
      SCOPED_TRACE(std::string(c.name) + ", failing from " + std::to_string(n));
      const std::string base = dir.file(std::to_string(n) + c.call + c.name), home = base + "/home",
                        root = base + "/inst";
      fs::create_directories(home);
      if (c.upgrade) {
        ASSERT_EQ(drive(home, {one, "--pgm", root}).status, 0);
      }
      if (c.userBackup) writeFile(root + "/data/f1.bkp", "mine");
      const Record before = recordIn(home);
      const tFiles filesBefore = filesIn(root);
      // The package's files: the user's own stays as it was.
      const auto packageFiles = [&] {
        tFiles files = filesIn(root);
        if (c.userBackup) {
          EXPECT_EQ(files["data/f1.bkp"], "mine");
        }
        files.erase("data/f1.bkp");
        return files;
      };
      const sRunResult run =
          drive(home, {two, "--pgm", root}, std::string(c.call) + ":error=ENOSPC:when=" + std::to_string(n) + "+");
      const Record after = recordIn(home);
      const tFiles files = packageFiles();
      EXPECT_EQ(listedMissing(after), std::set<std::string>()) << run.out;
      if (run.status == 0) {
        ended = true;
        EXPECT_EQ(files, kTwo) << run.out;
        EXPECT_TRUE(after.versioned && after.ver == kVerTwo);
        EXPECT_TRUE(mismatches(after, root).empty()) << run.out;
        EXPECT_EQ(after.files.size(), kTwo.size());
        EXPECT_EQ(after.marked, std::set<std::string>()) << run.out;
      } else if (run.status == driverJobCode(irRecordUnsaved)) {
        EXPECT_EQ(filesIn(root), filesBefore) << run.out;
        EXPECT_EQ(after.versioned, before.versioned);
        EXPECT_EQ(after.ver, before.ver);
        EXPECT_EQ(after.files, before.files) << run.out;
      } else {
        ASSERT_EQ(run.status, driverJobCode(irRecordLeft)) << run.out;
        named = true;
        EXPECT_EQ(keptLines(run.out), mismatches(after, root)) << run.out;
        EXPECT_FALSE(mismatches(after, root).empty());
      }
      const sRunResult again = drive(home, {two, "--pgm", root});
      EXPECT_TRUE(again.status == 0 || (run.status == 0 && again.status == iiNothingToDo)) << again.out;
      EXPECT_EQ(packageFiles(), kTwo);
      EXPECT_EQ(recordIn(home).files.size(), kTwo.size());
      EXPECT_TRUE(mismatches(recordIn(home), root).empty());
    }
    EXPECT_TRUE(ended) << c.name << ": no position past the last save";
    EXPECT_TRUE(named) << c.name << ": no position left anything to name";
  }
}

}  // namespace
