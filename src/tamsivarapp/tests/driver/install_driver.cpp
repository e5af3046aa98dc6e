// Installs a package without windows, as install mode would after its
// questions: for scripts and for the tests that kill an installation.
//   zvk_install_driver PACKAGE [--offset N] [--lang N] [--pgm FOLDER]
//                      [--program ZVK] [--give-up]
// Prints "init <code>" and, when the package was ready, "job <end>
// result <code> path <problem path>" and a line "kept <reason row> <path>"
// for each file the run names as left; exits with the code driver_codes.h
// gives the init code or, when the job ran, the job's result. Another run of
// the same package under way refuses it at once (init 14): a script learns
// so from the code instead of waiting.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ciom/ciappconfig.h"
#include "driver_codes.h"
#include "tamsivarapp/installinit.h"
#include "tamsivarapp/installjob.h"

namespace {

struct sArgs {
  const char* package = nullptr;
  unsigned int offset = 0;
  int lang = -1;
  const char* pgm = nullptr;
  const char* program = nullptr;
  bool giveUp = false;
};

class cAnswers : public cInstallInitHost {
 public:
  explicit cAnswers(const sArgs& a) : args(a) {}
  int chooseLang(sPkgInstallContext&, int preselected) override { return args.lang >= 0 ? args.lang : preselected; }
  const sArgs& args;
};

class cQuietHost : public cInstallJobHost {
 public:
  explicit cQuietHost(const sArgs& a) : args(a) {}
  bool askRelease(const char* path) override {
    std::printf("busy %s\n", path);
    return args.giveUp;
  }
  bool managerPath(_guardchar<char>& out) override { return args.program && cInstallJobHost::managerPath(out); }
  const sArgs& args;
};

bool parse(int argc, char** argv, sArgs& a) {
  if (argc < 2) return false;
  a.package = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string opt = argv[i];
    bool more = i + 1 < argc;
    if (opt == "--give-up") {
      a.giveUp = true;
    } else if (opt == "--offset" && more) {
      a.offset = static_cast<unsigned int>(std::strtoul(argv[++i], nullptr, 0));
    } else if (opt == "--lang" && more) {
      a.lang = std::atoi(argv[++i]);
    } else if (opt == "--pgm" && more) {
      a.pgm = argv[++i];
    } else if (opt == "--program" && more) {
      a.program = argv[++i];
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  sArgs args;
  if (!parse(argc, argv, args)) {
    std::fprintf(stderr, "usage: zvk_install_driver PACKAGE [--offset N] [--lang N] [--pgm FOLDER] "
                         "[--program ZVK] [--give-up]\n");
    return kDriverUsage;
  }
  cCIAppFullConfig config;
  if (!config.openConfig("zvk")) {
    config.newConfig("zvk");
    config.openConfig("zvk");
  }
  sPkgInstallContext ctx;
  ctx.package.set(args.package);
  ctx.offset = args.offset;
  ctx.program.set(args.program);
  cAnswers answers(args);
  int init = runInstallInit(ctx, &config, answers);
  // A new installation learns its folder from the wizard; here from the
  // arguments.
  if (init == iiReady && !ctx.files.head) {
    if (args.pgm) ctx.scenario->setStr(-1, "pgm", args.pgm);
    init = compareFiles(ctx);
  }
  std::printf("init %d%s%s\n", init, ctx.problemPath.ptr ? " path " : "", ctx.problemPath.ptr ? ctx.problemPath.ptr : "");
  if (init != iiReady) return init;
  cQuietHost host(args);
  int end = runInstallerJob(ctx, host, &config);
  std::printf("job %d result %d path %s\n", end, ctx.result, ctx.problemPath.ptr ? ctx.problemPath.ptr : "");
  for (const sKeptFile& k : ctx.kept) std::printf("kept %d %s\n", k.reason, k.path.c_str());
  std::fflush(stdout);
  return driverJobCode(ctx.result, ctx.kept.size());
}
