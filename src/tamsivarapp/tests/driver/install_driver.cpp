// Installs a package without windows, as install mode would after its
// questions: for scripts and for the tests that kill an installation.
//   zvk_install_driver PACKAGE [--offset N] [--lang N] [--pgm FOLDER]
//                      [--program ZVK] [--give-up]
// N of --lang is a language's number (0 ENG, 1 RUS, 2 DEU ...), one the
// package holds; --pgm is needed where the package is not installed yet.
// Prints "init <code>" and, when the package was ready, "job <end>
// result <code> path <problem path>" and a line "kept <reason row> <path>"
// for each file the run names as left; exits with the code driver_codes.h
// gives the init code or, when the job ran, the job's result. Another run of
// the same package under way refuses it at once (init 14): a script learns
// so from the code instead of waiting. An argument it does not take, or
// cannot use, ends it with kDriverUsage and a line on standard error that
// names it.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ciom/ciappconfig.h"
#include "ciom/langids.h"
#include "ciom/liblang.h"
#include "driver_codes.h"
#include "tamsivarapp/installinit.h"
#include "tamsivarapp/installjob.h"
#include "tamsivarapp/keptfiles.h"
#include "tamsivarapp/textfill.h"

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
  // As in the wizard, the chosen language names what the run makes, the
  // manager's copy among them.
  void applyLang(int lang) override { cLibLang::applyLang(static_cast<eCIOMStdLangs>(lang)); }
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

constexpr char kUsage[] =
    "usage: zvk_install_driver PACKAGE [--offset N] [--lang N] [--pgm FOLDER] [--program ZVK] [--give-up]\n";

int refuse(const std::string& why) {
  std::fprintf(stderr, "zvk_install_driver: %s\n%s", why.c_str(), kUsage);
  return kDriverUsage;
}

// A whole decimal number no larger than `most`, nothing before or after it.
bool number(const char* text, unsigned long long most, unsigned long long& out) {
  if (!text || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtoull(text, &end, 10);
  return errno == 0 && *end == 0 && out <= most;
}

// An empty answer where the arguments are good, else what is wrong.
std::string parse(int argc, char** argv, sArgs& a) {
  if (argc < 2) return "no package";
  a.package = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string opt = argv[i];
    const bool takesValue = opt == "--offset" || opt == "--lang" || opt == "--pgm" || opt == "--program";
    if (opt == "--give-up") {
      a.giveUp = true;
      continue;
    }
    if (!takesValue) return opt + ": not an argument the driver takes";
    if (i + 1 >= argc) return opt + ": no value";
    const char* value = argv[++i];
    unsigned long long n = 0;
    if (opt == "--offset") {
      if (!number(value, ~0u, n)) return opt + " " + value + ": not a byte offset (a decimal number)";
      a.offset = static_cast<unsigned int>(n);
    } else if (opt == "--lang") {
      if (!number(value, kCIOMStdLangCount - 1, n))
        return opt + " " + value + ": not a language number (0 to " + std::to_string(kCIOMStdLangCount - 1) +
               ")";
      a.lang = static_cast<int>(n);
    } else if (opt == "--pgm") {
      a.pgm = value;
    } else {
      a.program = value;
    }
  }
  return {};
}

// Whether the package holds the language asked for; `why` tells which it
// holds where it does not.
bool holdsLang(sPkgInstallContext& ctx, int lang, std::string& why) {
  std::string held;
  for (auto* it = ctx.langs.head; it; it = it->next) {
    if (it->value == lang) return true;
    held += (held.empty() ? "" : ", ") + std::to_string(it->value) + " " + ciLangID(it->value);
  }
  why = "--lang " + std::to_string(lang) + ": the package has no language " + std::to_string(lang) + " (" +
        ciLangID(lang) + "); it has " + held;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  sArgs args;
  if (const std::string wrong = parse(argc, argv, args); !wrong.empty()) return refuse(wrong);
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
  // Nothing was changed yet: a language the package lacks is the
  // argument's fault, not the package's.
  std::string why;
  if (args.lang >= 0 && ctx.langs.head && !holdsLang(ctx, args.lang, why)) return refuse(why);
  // A new installation learns its folder from the wizard; here from the
  // arguments.
  if (init == iiReady && !ctx.files.head) {
    // A record the store lost when it did not read whole, or one that
    // names no usable folder, is no proof that the package was never
    // installed: the copy of the store's bytes may hold it.
    const auto copy = std::find_if(ctx.kept.begin(), ctx.kept.end(), [](const sKeptFile& k) {
      return k.reason == kKeptStoreCopy || k.reason == kKeptUnfoundedCopy;
    });
    if (!args.pgm && copy != ctx.kept.end())
      return refuse(std::string("--pgm FOLDER is needed: ") +
                    (copy->reason == kKeptStoreCopy
                         ? std::string("the store of installed packages did not read whole where ") +
                               ctx.codename.ptr + "'s record is"
                         : std::string("the record of ") + ctx.codename.ptr + " names no usable installation folder") +
                    ", so no folder of it is known; the store's bytes are kept in " + copy->path);
    if (!args.pgm)
      return refuse(std::string("--pgm FOLDER is needed: ") + ctx.codename.ptr + " is not installed yet");
    ctx.scenario->setStr(-1, "pgm", args.pgm);
    init = compareFiles(ctx);
  }
  std::printf("init %d%s%s\n", init, ctx.problemPath.ptr ? " path " : "",
              ctx.problemPath.ptr ? visibleText(ctx.problemPath.ptr).c_str() : "");
  if (init != iiReady) {
    for (const sKeptFile& k : ctx.kept) std::printf("kept %d %s\n", k.reason, k.path.c_str());
    return driverInitCode(init);
  }
  cQuietHost host(args);
  int end = runInstallerJob(ctx, host, &config);
  std::printf("job %d result %d path %s\n", end, ctx.result, ctx.problemPath.ptr ? ctx.problemPath.ptr : "");
  for (const sKeptFile& k : ctx.kept) std::printf("kept %d %s\n", k.reason, k.path.c_str());
  std::fflush(stdout);
  return driverJobCode(ctx.result, ctx.kept.size());
}
