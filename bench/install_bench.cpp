// Installing a package into an empty folder, timed from opening the package
// to the saved record, against `unzip -q` of a `zip -r` of the same tree in
// the same run. The tree holds about 2,000 files, half text, half random
// bytes; the package is made by `zvk make` from a text scenario.
//
// With a limit of open files, the peer is the same install under a limit
// of 1024 instead, so the figure is what the lower limit costs.
//
// Usage: install_bench [MiB [files [limit]]]   (default 1024 MiB, 2000 files)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench_package.h"
#include "ciom/ciappconfig.h"
#include "tamsivarapp/installinit.h"
#include "tamsivarapp/installjob.h"

namespace fs = std::filesystem;

namespace {

using bench::make;
using bench::makeTree;
using bench::runProgram;

struct sRun {
  double seconds = 0;
  double peakMiB = 0;
  bool ok = false;
};

// Each side runs in a child of its own, so its peak memory is its own.
sRun measure(const std::function<bool()>& phase) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) std::_Exit(phase() ? 0 : 1);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  sRun run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

bool install(const fs::path& package, const fs::path& dest, const fs::path& home, rlim_t limit) {
  rlimit descriptors{};
  getrlimit(RLIMIT_NOFILE, &descriptors);
  descriptors.rlim_cur = limit;
  if (limit && setrlimit(RLIMIT_NOFILE, &descriptors) != 0) return false;
  setenv("HOME", home.c_str(), 1);
  cCIAppFullConfig config;
  if (!config.openConfig("zvk")) {
    config.newConfig("zvk");
    if (!config.openConfig("zvk")) return false;
  }
  sPkgInstallContext ctx;
  ctx.package.set(package.c_str());
  cInstallInitHost answers;
  if (runInstallInit(ctx, &config, answers) != iiReady) return false;
  ctx.scenario->setStr(-1, "pgm", dest.c_str());
  if (compareFiles(ctx) != iiReady) return false;
  struct cNoManager : cInstallJobHost {
    bool managerPath(_guardchar<char>&) override { return false; }
  } host;
  return runInstallerJob(ctx, host, &config) == 0 && ctx.result == 0;
}

bool sameTrees(const fs::path& a, const fs::path& b) {
  long long files = 0;
  for (auto& e : fs::recursive_directory_iterator(a)) {
    if (!e.is_regular_file()) continue;
    fs::path other = b / fs::relative(e.path(), a);
    std::ifstream x(e.path(), std::ios::binary), y(other, std::ios::binary);
    std::string bx((std::istreambuf_iterator<char>(x)), {}), by((std::istreambuf_iterator<char>(y)), {});
    if (!y || bx != by) {
      std::fprintf(stderr, "differs: %s\n", other.c_str());
      return false;
    }
    ++files;
  }
  return files > 0;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long long mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  int files = argc > 2 ? std::atoi(argv[2]) : 2000;
  const rlim_t limit = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 0;
  if (mib == 0 || files <= 0 || (argc > 3 && limit < 16)) return 2;
  char pattern[] = "/tmp/zvk-install-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  fs::path root = pattern;
  makeTree(root / "tree", mib << 20, files);
  if (!measure([&] { return make(root / "tree", root / "Bench.app"); }).ok) {
    std::fprintf(stderr, "packing failed\n");
    return 1;
  }
  sRun zipped{0, 0, true};
  if (!limit)
    zipped = measure([&] { return runProgram({"zip", "-q", "-r", (root / "t.zip").string(), "."}, root / "tree"); });
  fs::create_directories(root / "home");
  fs::create_directories(root / "peerhome");
  fs::create_directories(root / "unz");
  const fs::path package = root / "Bench.app/Contents/Resources/scenario.data";
  // Each side starts with nothing the set-up or the other side left
  // unwritten, so neither pays for the other's writes.
  sync();
  sRun ours = measure([&] { return install(package, root / "inst", root / "home", limit); });
  sync();
  sRun peer = measure([&] {
    return limit ? install(package, root / "unz", root / "peerhome", 1024)
                 : runProgram({"unzip", "-q", (root / "t.zip").string()}, root / "unz");
  });
  bool ok = zipped.ok && ours.ok && peer.ok && sameTrees(root / "tree", root / "inst") &&
            sameTrees(root / "tree", root / "unz");
  const std::string peerName = limit ? "install under 1024 open files" : "unzip -q";
  std::printf("tree: %llu MiB in %d files\n", mib, files);
  if (limit)
    std::printf("install under %llu open files: %.3f s, peak %.1f MiB\n", static_cast<unsigned long long>(limit),
                ours.seconds, ours.peakMiB);
  else
    std::printf("install: %.3f s, peak %.1f MiB\n", ours.seconds, ours.peakMiB);
  std::printf("%s: %.3f s, peak %.1f MiB\n", peerName.c_str(), peer.seconds, peer.peakMiB);
  std::printf("digests: %s\n", ok ? "equal" : "DIFFER");
  std::error_code ignored;
  fs::remove_all(root, ignored);
  if (limit)
    std::printf("ratio install under %llu/1024 open files time: %.3f\n", static_cast<unsigned long long>(limit),
                ours.seconds / peer.seconds);
  else
    std::printf("ratio install/unzip time: %.3f\n", ours.seconds / peer.seconds);
  return ok ? 0 : 1;
}
