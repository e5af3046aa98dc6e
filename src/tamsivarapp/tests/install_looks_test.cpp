#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "driver_package.h"

namespace fs = std::filesystem;

namespace {

// What strace saw a run ask of the file system: per package file name,
// how often the name itself was looked at (statx, fstatat) through a held
// folder; and the most looks at one open folder descriptor's own folder
// between its open and its close.
struct sLooks {
  std::map<std::string, int> byName;
  int mostPerFolder = 0;
};

// One line of strace's: the call, its first argument, the path that
// follows it where one does, and the answer.
struct sCall {
  std::string name, at, path, rc;
};

bool parsed(const std::string& line, sCall& c) {
  const size_t open = line.find('('), space = line.find(' ');
  if (open == std::string::npos || space == std::string::npos || space > open) return false;
  const size_t comma = line.find_first_of(",)", open);
  const size_t equals = line.rfind("= ");
  if (comma == std::string::npos || equals == std::string::npos) return false;
  c.name = line.substr(line.find_first_not_of(' ', space), open - line.find_first_not_of(' ', space));
  c.at = line.substr(open + 1, comma - open - 1);
  c.path.clear();
  if (line.compare(comma, 3, ", \"") == 0) c.path = line.substr(comma + 3, line.find('"', comma + 3) - comma - 3);
  c.rc = line.substr(equals + 2, line.find(' ', equals + 2) - equals - 2);
  return true;
}

sLooks looksIn(const std::string& trace) {
  sLooks looks;
  std::map<std::string, int> open;  // folder descriptor -> looks at itself
  std::ifstream in(trace);
  sCall c;
  for (std::string line; std::getline(in, line);) {
    if (!parsed(line, c)) continue;
    const bool look = c.name == "statx" || c.name == "newfstatat";
    if (c.name == "close")
      open.erase(c.at);
    else if (c.name.starts_with("openat") && line.find("O_DIRECTORY") != std::string::npos && c.rc != "-1")
      open[c.rc] = 0;
    else if (look && c.path.empty() && open.count(c.at))
      looks.mostPerFolder = std::max(looks.mostPerFolder, ++open[c.at]);
    else if (look && c.path.starts_with("pf") && c.path.find('.') == std::string::npos)
      ++looks.byName[c.path];
  }
  return looks;
}

// Twelve files in three folders, each file's name its own.
tFiles files(const std::string& bytes) {
  tFiles made;
  const char* folders[] = {"", "a/", "a/b/"};
  for (int f = 0; f < 3; ++f)
    for (int i = 0; i < 4; ++i) {
      const std::string rel = folders[f] + ("pf" + std::to_string(f)) + std::to_string(i);
      made[rel] = bytes + rel;
    }
  return made;
}

}  // namespace

// An installation asks of each of its files and folders what it has not
// learned yet, and no more: every check that proves a place the package's
// is made once per hold, so a package of many files costs what placing
// them costs. A name is looked at where the run must know what stands
// there (a target before it is backed up or replaced, with its identity).
TEST(InstallerJob, AskEachFolderAndNameOnce) {
  if (::access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "needs strace";
  ScratchDir dir;
  const std::string one = makePackage(dir, "one", "1.0", files("1:")), two = makePackage(dir, "two", "2.0", files("2:"));
  const std::string home = dir.file("home"), root = dir.file("inst");
  fs::create_directories(home);
  const struct Case {
    const char* name;
    std::string package;
    int looksPerName;  // what stands at the target, and its identity when a file does
  } cases[] = {
      {"first install", one, 1},
      {"upgrade replacing every file", two, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string trace = dir.file(std::string(c.name) + ".trace");
    const sRunResult run =
        runWithEnv({"strace", "-f", "-qq", "-o", trace, "-e", "trace=openat,openat2,close,statx,newfstatat",
                    ZVK_INSTALL_DRIVER, c.package, "--pgm", root},
                   {"HOME=" + home, "ASAN_OPTIONS=detect_leaks=0", "PATH=/usr/bin:/bin"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const sLooks looks = looksIn(trace);
    EXPECT_EQ(looks.byName.size(), 12u);
    for (const auto& [name, n] : looks.byName) EXPECT_EQ(n, c.looksPerName) << name;
    EXPECT_EQ(looks.mostPerFolder, 1);
  }
}
