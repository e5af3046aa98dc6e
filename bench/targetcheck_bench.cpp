// The check of every target that the folder page runs before a new
// installation, on a package of many small files made by `zvk make`: into
// a folder that does not exist yet, and into one that already holds the
// same files, where each must be digested. The peer digests those files
// with `find -exec sha256sum {} +`, the least that reading them costs.
//
// Usage: targetcheck_bench [files]   (default 20000)
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "bench_package.h"
#include "ciom/ciappconfig.h"
#include "tamsivarapp/installinit.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 3;

// The best of a few rounds, so the first round's cold cache counts once.
double best(const std::function<bool()>& round) {
  double fastest = 1e30;
  for (int i = 0; i < kRounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!round()) return -1;
    fastest = std::min(fastest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return fastest;
}

bool digestTree(const fs::path& tree) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 1) < 0) std::_Exit(1);
    bench::runProgram({"find", ".", "-type", "f", "-exec", "sha256sum", "{}", "+"}, tree);
    std::_Exit(1);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
  if (files <= 0) return 2;
  char pattern[] = "/tmp/zvk-targetcheck-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path root = pattern;
  bench::makeTree(root / "tree", 256ULL * static_cast<unsigned long long>(files), files);
  const pid_t maker = fork();
  if (maker == 0) std::_Exit(bench::make(root / "tree", root / "Bench.app") ? 0 : 1);
  int status = 0;
  if (maker < 0 || waitpid(maker, &status, 0) != maker || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "packing failed\n");
    return 1;
  }
  fs::create_directories(root / "home");
  setenv("HOME", (root / "home").c_str(), 1);
  cCIAppFullConfig config;
  config.newConfig("zvk");
  sPkgInstallContext ctx;
  ctx.package.set((root / "Bench.app/Contents/Resources/scenario.data").c_str());
  cInstallInitHost answers;
  if (runInstallInit(ctx, &config, answers) != iiReady) return 1;
  auto checkInto = [&ctx](const fs::path& folder) {
    return [&ctx, folder] {
      ctx.scenario->setStr(-1, "pgm", folder.c_str());
      return compareFiles(ctx) == iiReady;
    };
  };
  const double empty = best(checkInto(root / "new"));
  const double filled = best(checkInto(root / "tree"));
  const double peer = best([&root] { return digestTree(root / "tree"); });
  std::error_code ignored;
  fs::remove_all(root, ignored);
  if (empty < 0 || filled < 0 || peer < 0) return 1;
  std::printf("package: %d files\n", files);
  std::printf("check into a new folder: %.3f s\n", empty);
  std::printf("check into a folder holding the files: %.3f s\n", filled);
  std::printf("find -exec sha256sum of the files: %.3f s\n", peer);
  std::printf("ratio check of a filled folder/sha256sum time: %.3f\n", filled / peer);
  return 0;
}
