// `zvk install` of a package another run holds, as a user meets it: the
// loading form says that it waits, keeps painting, and goes on to the wizard
// once the other run ends; given up while it waits (its close box, Escape or
// its Cancel button), it ends the run without a box, the installation as it
// was. A run stopped inside a save of the store keeps no window away.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>

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
  // Version 1 of the package, installed; its one file.
  PkgFile installOne() {
    PkgVersion v1;
    v1.files = {{"bin/run", "#!/bin/sh\necho one\n", {7, 5, 5}}};
    EXPECT_EQ(installVersion(home + "/apps/sample", home + "/.zvk", v1).job, 0);
    return v1.files[0];
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
  const PkgFile one = installOne();
  ASSERT_FALSE(HasFailure());
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
  EXPECT_EQ(readFileBytes(root + "/bin/run"), one.bytes);

  status = play({zvk, "install", bundle},
                {{"Software manager", "", [&](const std::string& w) {
                    waited(w);
                    other.release();
                  }},
                 {"Demo software installer", "", [](const std::string& w) {
                    runWithEnv({"xdotool", "windowkill", w});
                  }}});
  EXPECT_EQ(readFileBytes(root + "/bin/run"), one.bytes);
}

// A point of the waiting form's Cancel button beside its text, and its face.
constexpr int kCancelX = 133, kCancelY = 59;
constexpr char kButtonFace[] = "#E7E7E7";

TEST_P(InstallWait, GivesUpOnTheCloseBoxEscapeOrCancelAlike) {
  if (GetParam()) GTEST_SKIP() << "the other run is the test's own, as root";
  const std::string bundle = make("2.0");
  const std::string root = home + "/apps/sample", lock = home + "/.zvk/locks/sample";
  const PkgFile one = installOne();
  ASSERT_FALSE(HasFailure());
  cCIAppFullConfig cfg;
  ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
  cPackageRunLock other;
  ASSERT_EQ(other.take(&cfg, "sample", nullptr), cPackageRunLock::rlHeld);
  const struct {
    const char* what;
    std::function<void(const std::string&)> giveUp;
  } ways[] = {
      {"close box", wizard::closeBox},
      {"Escape", [](const std::string& w) { e2e::key(w, "Escape"); }},
      {"Cancel", [](const std::string& w) {
         EXPECT_EQ(wizard::pixel(w, kCancelX, kCancelY), kButtonFace) << "no Cancel button painted";
         wizard::click(w, kCancelX, kCancelY);
       }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.what);
    const int status = play({zvk, "install", bundle}, {{"Software manager", "", [&](const std::string& w) {
                                                          EXPECT_TRUE(triedBySomeone(lock)) << "no run waits";
                                                          e2e::settle();
                                                          way.giveUp(w);
                                                        }}});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(readFileBytes(root + "/bin/run"), one.bytes);
  }
}

TEST_P(InstallWait, ARunStoppedInsideASaveOfTheStoreKeepsNoWindowAway) {
  if (GetParam()) GTEST_SKIP() << "the stopped run is the test's own, as root";
  const std::string bundle = make("2.0");
  installOne();
  ASSERT_FALSE(HasFailure());
  const pid_t holder = fork();
  if (holder == 0) {
    const int fd = open((home + "/.zvk/install").c_str(), O_RDWR);
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_len = 4;
    if (fcntl(fd, F_OFD_SETLK, &range) != 0) _exit(1);
    raise(SIGSTOP);
    _exit(0);
  }
  int held = 0;
  ASSERT_EQ(waitpid(holder, &held, WUNTRACED), holder);
  ASSERT_TRUE(WIFSTOPPED(held));
  play({zvk, "install", bundle}, {{"Software manager", ""},
                                  {"Demo software installer", "", [](const std::string& w) {
                                     runWithEnv({"xdotool", "windowkill", w});
                                   }}});
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
}

INSTANTIATE_TEST_SUITE_P(AsRootAndNobody, InstallWait, ::testing::Values(false, true), e2e::paramName);

}  // namespace
