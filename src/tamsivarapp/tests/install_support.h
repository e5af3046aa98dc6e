// Packages built in memory and installed into scratch folders with the same
// steps install mode takes, so the tests see real files, links and records.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/memio.h"
#include "ciom/ciappconfig.h"
#include "tamsivarapp/installinit.h"
#include "tamsivarapp/installjob.h"
#include "tamsivarapp/installrecord.h"

struct PkgFile {
  std::string rel;
  std::string bytes;
  unsigned char perms[3] = {8, 8, 8};
};

struct PkgVersion {
  unsigned int ver[4] = {1, 0, 0, 0};
  std::vector<PkgFile> files;
};

inline std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline cSoftPkgScenario* buildScenario(const std::string& root, const PkgVersion& v) {
  auto* scen = new cSoftPkgScenario;
  scen->setStr(-1, "codename", "sample");
  scen->setStr(-1, "name", "Sample");
  scen->setStr(-1, "pgm", root.c_str());
  std::copy(std::begin(v.ver), std::end(v.ver), scen->ver);
  scen->pkg.newPackage();
  int i = 0;
  for (const PkgFile& f : v.files) {
    cMemIOTarget src;
    src.fromBuffer(f.bytes.data(), static_cast<long long>(f.bytes.size()));
    auto& def = scen->files.add()->value;
    def.index = static_cast<unsigned int>(scen->pkg.addPkgItem(&src, i++ % 2 == 0));
    def.target.var.set("pgm");
    def.target.rest.set(f.rel.c_str());
    def.for32 = def.for64 = 1;
    std::copy(std::begin(f.perms), std::end(f.perms), def.perms);
  }
  return scen;
}

// A host that lets a test act at a stage or stop the copying.
struct TestHost : cInstallJobHost {
  std::function<void(int)> atStage;
  std::function<void()> atLastStage;
  // Called with the package before anything is compared or copied.
  std::function<void(cSoftPkgScenario&)> atOpen;
  long long stopAfter = -1;
  long long progressCalls = 0;
  void notifyStage(int s) override {
    if (atStage) atStage(s);
  }
  void notifyLastStage() override {
    if (atLastStage) atLastStage();
  }
  bool notifyProgress(double) override { return stopAfter < 0 || ++progressCalls <= stopAfter; }
  bool managerPath(_guardchar<char>&) override { return false; }
};

struct Outcome {
  int init = -1;
  int job = -1;
  int result = -1;
  std::string problem;
  std::vector<sKeptFile> kept;
};

// Opening, comparing, then the job, as install mode runs them, with the
// store `cfg` as opened; `name` is the package's code name.
inline Outcome installWith(cCIAppFullConfig& cfg, const std::string& root, const PkgVersion& v, TestHost& host,
                           const char* name = "sample") {
  Outcome o;
  sPkgInstallContext ctx;
  ctx.scenario = buildScenario(root, v);
  ctx.scenario->setStr(-1, "codename", name);
  if (host.atOpen) host.atOpen(*ctx.scenario);
  ctx.version = ctx.scenario->getVerID();
  ctx.codename.set(name);
  ctx.recordName.set(name);
  cInstallInitHost initHost;
  o.init = holdPackage(ctx, &cfg, initHost);
  if (o.init == 0) o.init = compareWithInstalled(ctx, &cfg);
  if (o.init == 0 && !ctx.files.head) o.init = compareFiles(ctx);
  if (o.init == 0) {
    o.job = runInstallerJob(ctx, host, &cfg);
    o.result = ctx.result;
  }
  // A refusal may name what it stopped at as a kept file does.
  o.kept = ctx.kept;
  o.problem = ctx.problemPath.ptr ? ctx.problemPath.ptr : "";
  return o;
}

inline Outcome installVersion(const std::string& root, const std::string& cfgDir, const PkgVersion& v,
                              TestHost& host) {
  cCIAppFullConfig cfg;
  std::filesystem::create_directories(cfgDir);
  cfg.openConfig(cfgDir.c_str());
  return installWith(cfg, root, v, host);
}

inline Outcome installVersion(const std::string& root, const std::string& cfgDir, const PkgVersion& v) {
  TestHost host;
  return installVersion(root, cfgDir, v, host);
}

// `paths` named as side files the way a run marks what it made: each
// with the identity of what stands there now.
inline tSideMark asMade(const std::set<std::string>& paths) {
  tSideMark marks;
  for (const std::string& path : paths)
    if (const sFileId id = ownIdAt(AT_FDCWD, path); id.known()) marks[path] = id;
  return marks;
}

struct FileId {
  ino_t ino = 0;
  long long mtimeNs = 0;
  bool operator==(const FileId&) const = default;
};

inline FileId fileId(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return {};
  return {st.st_ino, static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

// Every side file left anywhere under `root`.
inline std::vector<std::string> sideFiles(const std::string& root) {
  std::vector<std::string> found;
  for (auto& e : std::filesystem::recursive_directory_iterator(root)) {
    std::string p = e.path().string();
    if (p.ends_with(".tmp") || p.ends_with(".bkp")) found.push_back(p);
  }
  return found;
}

// Runs `work` in a child process. The first call lets it finish and keeps
// how long it took; later calls kill it with SIGKILL at a random moment of
// that span. Answers whether the child ended as the call expects.
class RandomKiller {
 public:
  explicit RandomKiller(unsigned seed) : rng_(seed) {}
  bool run(const std::function<int()>& work) {
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) _exit(work());
    bool measuring = spanUs_ == 0;
    if (!measuring) {
      usleep(static_cast<useconds_t>(rng_() % static_cast<unsigned>(spanUs_)));
      kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!measuring) return true;
    spanUs_ = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count() + 1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  std::mt19937 rng_;
  long long spanUs_ = 0;
};
