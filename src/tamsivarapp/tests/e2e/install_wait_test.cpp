// `zvk install` of a package another run holds, as a user meets it: the
// loading form says that it waits, keeps painting, and goes on to the wizard
// once the other run ends; closed while it waits, it ends the run without a
// box, the installation as it was.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "e2e/asuser.h"
#include "e2e/instwiz_support.h"
#include "install_support.h"

namespace fs = std::filesystem;

namespace {

class InstallWait : public e2e::AsUser {
 protected:
  std::string make(const std::string& version) {
    const std::string src = dir.file(version + ".run"), text = dir.file(version + ".txt");
    std::ofstream(src) << "#!/bin/sh\necho " << version << "\n";
    std::ofstream(dir.file("eula.hdl")) << "<text>Terms</text>";
    std::ofstream(dir.file("eula.idx")) << "ENG = \"./eula.hdl\"\n";
    std::ofstream(text) << "[General]\nlangs = ENG\n[Software]\ncodename = \"sample\"\nname = \"Demo\"\nversion = \""
                        << version << "\"\neula = \"" << dir.file("eula.idx") << "\"\n[Install]\n\"" << src
                        << "\" = $pgm \"bin/run\", 755\n";
    const std::string bundle = dir.file(version + ".app");
    sRunResult r = runWithEnv({zvk, "make", text, bundle}, {"PATH=/usr/bin:/bin", "ASAN_OPTIONS=detect_leaks=0"});
    EXPECT_EQ(r.status, 0) << r.out;
    return bundle;
  }
};

// Whether another process tried the lock at `path` within the patience: a
// run that meets it held opens the file, is refused, and closes it.
bool triedBySomeone(const std::string& path) {
  const int watch = inotify_init1(IN_CLOEXEC);
  if (watch < 0 || inotify_add_watch(watch, path.c_str(), IN_CLOSE_NOWRITE) < 0) return false;
  pollfd p{watch, POLLIN, 0};
  const bool tried = poll(&p, 1, static_cast<int>(e2e::kPatience.count())) == 1;
  close(watch);
  return tried;
}

TEST_P(InstallWait, SaysItWaitsThenGoesOnOrEndsWhenClosed) {
  if (GetParam()) GTEST_SKIP() << "the other run is the test's own, as root";
  const std::string bundle = make("2.0");
  const std::string root = home + "/apps/sample", lock = home + "/.zvk/locks/sample";
  PkgVersion v1;
  v1.files = {{"bin/run", "#!/bin/sh\necho one\n", {7, 5, 5}}};
  ASSERT_EQ(installVersion(root, home + "/.zvk", v1).job, 0);
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
  // Held by the test: the window's run meets another run of its package.
  cPackageRunLock other;
  auto waited = [&](const std::string& window) {
    EXPECT_TRUE(triedBySomeone(lock)) << "no run waits for the lock";
    e2e::settle();
    runWithEnv({"timeout", "10", "import", "-window", window, shots + "/install_waiting_en.png"});
  };
  ASSERT_EQ(other.take(&cfg, "sample", nullptr), cPackageRunLock::rlHeld);
  int status = play({zvk, "install", bundle},
                    {{"Software manager", "", [&](const std::string& w) {
                        waited(w);
                        wizard::closeBox(w);
                      }}});
  EXPECT_EQ(status, 1);
  EXPECT_EQ(readFileBytes(root + "/bin/run"), v1.files[0].bytes);

  status = play({zvk, "install", bundle},
                {{"Software manager", "", [&](const std::string& w) {
                    waited(w);
                    other.release();
                  }},
                 {"Demo software installer", "", [](const std::string& w) {
                    runWithEnv({"xdotool", "windowkill", w});
                  }}});
  EXPECT_EQ(readFileBytes(root + "/bin/run"), v1.files[0].bytes);
}

INSTANTIATE_TEST_SUITE_P(AsRootAndNobody, InstallWait, ::testing::Values(false, true), e2e::paramName);

}  // namespace
