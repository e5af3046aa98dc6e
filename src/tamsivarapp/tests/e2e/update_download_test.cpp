// The update form's Install as a user meets it: the download from a local
// server with progress, retry and failures, the unpacking and the start of
// the new installer. The form runs in this process; the user is xdotool.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "ciom/application.h"
#include "ciom/ciappconfig.h"
#include "ciom/windowmaker.h"
#include "e2e/update_support.h"
#include "e2e/xuser.h"
#include "tamsivarapp/main.h"
#include "tamsivarapp/updateform.h"

namespace fs = std::filesystem;

namespace {

// The save dialog's answer is the test's; the name it proposed is written
// beside the chosen path, as "<path>.proposed".
class cScriptedForm : public cSoftUpdateInfoForm {
 public:
  cScriptedForm(sUpdateInfoCtx* info, std::string path)
      : cSoftUpdateInfoForm(info), myPath(std::move(path)) {}

 protected:
  bool chooseTarget(const char* proposed, const char*, _guardchar<char>& path) override {
    std::ofstream(myPath + ".proposed") << proposed;
    path.set(myPath.c_str());
    return true;
  }

 private:
  std::string myPath;
};

// The form's own save chooser; the path it answered is written to
// `record` ("" when it was cancelled), and nothing is downloaded.
class cChooserForm : public cSoftUpdateInfoForm {
 public:
  cChooserForm(sUpdateInfoCtx* info, std::string record) : cSoftUpdateInfoForm(info), myRecord(std::move(record)) {}

 protected:
  bool chooseTarget(const char* proposed, const char* folder, _guardchar<char>& path) override {
    const bool chosen = cSoftUpdateInfoForm::chooseTarget(proposed, folder, path);
    std::ofstream(myRecord) << (chosen && path.ptr ? path.ptr : "");
    return false;
  }

 private:
  std::string myRecord;
};

class cFormApp : public cTamsivarApp {
 public:
  cFormApp(cSoftUpdateInfoForm::sUpdateInfoCtx* info, std::string path, bool chooser)
      : myInfo(info), myPath(std::move(path)), myChooser(chooser) {}
  int run() override {
    cSoftUpdateInfoForm* form =
        myChooser ? static_cast<cSoftUpdateInfoForm*>(new cChooserForm(myInfo, myPath)) : new cScriptedForm(myInfo, myPath);
    return windowMaker()->modal("Software Package Update", 500, 450, form, nullptr, false);
  }

 private:
  cSoftUpdateInfoForm::sUpdateInfoCtx* myInfo;
  std::string myPath;
  bool myChooser;
};

// From here on, every file system of this process refuses unnamed files,
// as vfat does. The low half of the flags argument holds the flag.
void refuseUnnamedFiles() {
  sock_filter code[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, O_TMPFILE & ~O_DIRECTORY, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
    _exit(99);
}

pid_t gFormProcess = -1;

// Shows the form in a child process (gFormProcess), as the program would,
// while the user does `step` with the form's window; the form's result.
// With `chooser` the form asks its save chooser, and `path` records its
// answer; `inForm` runs first in the form's process.
template <typename Step>
int runForm(const std::string& url, const std::string& path, Step step, bool chooser = false,
            void (*inForm)() = nullptr) {
  const pid_t child = fork();
  if (child == 0) {
    if (inForm) inForm();
    // As some services start programs: with SIGCHLD ignored, which the
    // program's start-up must undo before it can see how unzip ended.
    signal(SIGCHLD, SIG_IGN);
    cSoftUpdateInfoForm::sUpdateInfoCtx info;
    info.name.set("Foo");
    info.version.set("2.0");
    info.downloadUrl.set(url.c_str());
    info.notes.set("Better.");
    char arg0[] = "/nowhere/zvk";
    char* argv[] = {arg0, nullptr};
    _exit(cCIApplication::runApp(new cFormApp(&info, path, chooser), nullptr, nullptr, 0, 1, argv,
                                 new cCIAppFullConfig, "zvk"));
  }
  gFormProcess = child;
  const std::string w = e2e::waitWindow("Software Package Update");
  bool done = false;
  if (!w.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // Install, where the form draws it.
    runWithEnv({"xdotool", "mousemove", "--window", w, "300", "390", "click", "1"});
    done = step(w);
  }
  EXPECT_TRUE(done);
  if (!done) kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class UpdateDownload : public ::testing::Test {
 protected:
  ScratchDir dir;
  std::string home, srv, dl;
  std::unique_ptr<e2e::cUpdateServer> server;

  void SetUp() override {
    if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
    home = dir.file("home");
    srv = dir.file("srv");
    dl = home + "/dl";
    fs::create_directories(dl);
    fs::create_directories(srv + "/pkg/Foo.app/Contents/MacOS");
    setenv("HOME", home.c_str(), 1);
    // Where the downloads are unpacked: the test's own, so it sees them go.
    fs::create_directories(dir.file("tmp"));
    setenv("TMPDIR", dir.file("tmp").c_str(), 1);
    // The installer: a bundle whose program leaves a mark where it ran.
    std::ofstream(srv + "/pkg/Foo.app/Contents/Info.plist")
        << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleExecutable</key>"
           "<string>Installer</string></dict></plist>";
    const std::string program = srv + "/pkg/Foo.app/Contents/MacOS/Installer";
    std::ofstream(program) << "#!/bin/sh\ntouch \"" << dir.file("installer-ran") << "\"\n";
    chmod(program.c_str(), 0755);
    ASSERT_EQ(runWithEnv({"zip", "-qr", srv + "/Foo.zip", "Foo.app"}, {}, srv + "/pkg").status, 0);
    fs::copy_file(srv + "/Foo.zip", srv + "/x$(touch$IFS'p').zip");
    ASSERT_EQ(runWithEnv({"zip", "-qr", srv + "/NoApp.zip", "Foo.app/Contents/Info.plist"}, {}, srv + "/pkg")
                  .status,
              0);
    server = std::make_unique<e2e::cUpdateServer>(srv);
    ASSERT_GT(server->port, 0);
  }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(server->port) + path;
  }
  // The unpacking folders go once their installer has ended, or at once
  // when there is none to start.
  bool unpackedGone() const {
    for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
      if (fs::is_empty(dir.file("tmp"))) return true;
    return false;
  }
  // The download to `target`, over an old file there, killed while it
  // waits for its first byte; `inForm` as for runForm.
  void killMidway(const std::string& target, void (*inForm)() = nullptr) {
    std::ofstream(target) << "the old file";
    runForm(
        url("/stall/Foo.zip"), target,
        [&](const std::string& w) {
          if (!e2e::answerBox(w, "Confirm", "Return")) return false;
          e2e::waitUntil([&] { return server->log().find("/stall/Foo.zip") != std::string::npos; });
          return kill(gFormProcess, SIGKILL) == 0;
        },
        false, inForm);
    fs::remove(target + ".proposed");
  }
  std::vector<std::string> leftovers() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dl)) out.push_back(e.path().filename());
    return out;
  }
};

TEST_F(UpdateDownload, AHostileProposedNameIsSavedAndUnpackedWithoutAShell) {
  const std::string name = "x$(touch$IFS'p').zip";
  EXPECT_EQ(runForm(url("/" + name), dl + "/" + name, [](const std::string&) { return true; }), 1);
  EXPECT_EQ(readFileBytes(dl + "/" + name + ".proposed"), name);
  EXPECT_EQ(readFileBytes(dl + "/" + name), readFileBytes(srv + "/Foo.zip"));
  EXPECT_FALSE(fs::exists("p"));
  EXPECT_FALSE(fs::exists(dl + "/p"));
  for (int i = 0; i < 50 && !fs::exists(dir.file("installer-ran")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(fs::exists(dir.file("installer-ran")));
  EXPECT_TRUE(unpackedGone());

  // An archive without an installer: the error, and nothing unpacked stays.
  EXPECT_EQ(runForm(url("/NoApp.zip"), dl + "/NoApp.zip",
                    [](const std::string& w) {
                      return e2e::answerBox(w, "Error", "Return") && e2e::answer(w, "Escape");
                    }),
            cSoftUpdateInfoForm::uoFailed);
  EXPECT_TRUE(unpackedGone());
}

TEST_F(UpdateDownload, RefusedAndCutDownloadsLeaveNoPartialFile) {
  const std::string target = dl + "/Foo.zip";
  std::ofstream(target) << "the old file";
  // An address that is never fetched is refused before anything is asked.
  EXPECT_EQ(runForm("https://127.0.0.1:1/Foo.zip", target,
                    [](const std::string& w) {
                      return e2e::answerBox(w, "Error", "Return") && e2e::answer(w, "Escape");
                    }),
            cSoftUpdateInfoForm::uoFailed);
  EXPECT_FALSE(fs::exists(target + ".proposed")) << "the save dialog was shown";
  // A 404: row 14, the old file stays (after the overwrite question); the
  // form then declined still tells of the failure.
  EXPECT_EQ(runForm(url("/404/Foo.zip"), target,
                    [](const std::string& w) {
                      return e2e::answerBox(w, "Confirm", "Return") && e2e::answerBox(w, "Error", "Return") &&
                             e2e::answer(w, "Escape");
                    }),
            cSoftUpdateInfoForm::uoFailed);
  EXPECT_EQ(readFileBytes(target), "the old file");
  // A cut body: the retry question; Yes asks again, No keeps the old file.
  EXPECT_EQ(runForm(url("/cut/Foo.zip"), target,
                    [](const std::string& w) {
                      return e2e::answerBox(w, "Confirm", "Return") &&
                             e2e::answerBox(w, "Confirm", "Return") &&
                             e2e::answerBox(w, "Confirm", "Escape") && e2e::answer(w, "Escape");
                    }),
            cSoftUpdateInfoForm::uoFailed);
  EXPECT_EQ(readFileBytes(target), "the old file");
  // Cut once, then whole: Yes again gives the file of the last attempt.
  EXPECT_EQ(runForm(url("/cutonce/Foo.zip"), target,
                    [](const std::string& w) {
                      return e2e::answerBox(w, "Confirm", "Return") && e2e::answerBox(w, "Confirm", "Return");
                    }),
            1);
  EXPECT_EQ(readFileBytes(target), readFileBytes(srv + "/Foo.zip"));
  fs::remove(target + ".proposed");
  EXPECT_EQ(leftovers(), std::vector<std::string>{"Foo.zip"});
  const std::string log = server->log();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 5) << log;
}

TEST_F(UpdateDownload, ADownloadKilledMidwayLeavesNothingBesideTheChosenName) {
  const std::string target = dl + "/Foo.zip";
  killMidway(target);
  EXPECT_EQ(leftovers(), std::vector<std::string>{"Foo.zip"});
  EXPECT_EQ(readFileBytes(target), "the old file");
}

// Where files cannot be made without a name, the partial file has one: a
// kill leaves it beside the chosen name, visible, under the name the README
// gives.
TEST_F(UpdateDownload, ADownloadKilledWhereFilesNeedANameLeavesItInSight) {
  const std::string target = dl + "/Foo.zip";
  killMidway(target, refuseUnnamedFiles);
  std::vector<std::string> left = leftovers();
  std::erase(left, "Foo.zip");
  ASSERT_EQ(left.size(), 1u);
  // zvk-download-, twelve hexadecimal digits, .part
  const std::string& name = left[0];
  EXPECT_TRUE(name.size() == 30 && name.starts_with("zvk-download-") && name.ends_with(".part") &&
              name.find_first_not_of("0123456789abcdef", 13) == 25)
      << name;
  EXPECT_EQ(readFileBytes(target), "the old file");
}

// What stands at the chosen name is asked about whatever it is, a link
// that leads nowhere included; a Yes replaces the link, never writing
// where it led.
TEST_F(UpdateDownload, AnythingAtTheChosenNameIsAskedAbout) {
  const struct {
    const char* name;
    const char* leadsTo;
    const char* answer;  // to the overwrite question
  } cases[] = {
      {"a link to nothing, kept", "nowhere.zip", "Escape"},
      {"a link to itself, kept", "Foo.zip", "Escape"},
      {"a link to nothing, replaced", "nowhere.zip", "Return"},
  };
  const std::string target = dl + "/Foo.zip";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(target);
    fs::create_symlink(c.leadsTo, target);
    const bool replaced = std::string(c.answer) == "Return";
    runForm(url("/Foo.zip"), target, [&](const std::string& w) {
      if (!e2e::answerBox(w, "Confirm", c.answer)) return false;
      return replaced ? e2e::waitUntil([&] { return e2e::gone(w); }) : e2e::answer(w, "Escape");
    });
    fs::remove(target + ".proposed");
    EXPECT_EQ(fs::is_symlink(target), !replaced);
    if (replaced) {
      EXPECT_EQ(readFileBytes(target), readFileBytes(srv + "/Foo.zip"));
    } else {
      std::error_code notALink;
      EXPECT_EQ(fs::read_symlink(target, notALink).string(), c.leadsTo);
    }
    EXPECT_FALSE(fs::exists(dl + "/nowhere.zip"));
  }
}

// Any name the file system takes saves, however long; a longer one is
// refused before anything is downloaded, and a target that cannot be
// replaced fails after. None leaves a file of its own beside.
TEST_F(UpdateDownload, EveryNameTheFileSystemTakesSaves) {
  fs::create_directories(dl + "/folder/inside");
  const struct {
    std::string name;
    std::vector<const char*> boxes;  // each answered with Return
    int outcome;
    long requests;  // of the server for it
  } cases[] = {
      {std::string(246, 'n') + ".zip", {}, 1, 1},
      {std::string(251, 'm') + ".zip", {}, 1, 1},
      {std::string(252, 'l') + ".zip", {"Error"}, cSoftUpdateInfoForm::uoFailed, 0},
      {"folder", {"Confirm", "Error"}, cSoftUpdateInfoForm::uoFailed, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.size());
    const std::string before = server->log();
    const auto user = [&](const std::string& w) {
      for (const char* caption : c.boxes)
        if (!e2e::answerBox(w, caption, "Return")) return false;
      if (!c.boxes.empty()) return e2e::answer(w, "Escape");
      // The form ends by itself, unless it tells of a failure.
      e2e::waitUntil([&] { return e2e::gone(w) || !e2e::windowsCaptioned("Error").empty(); });
      return e2e::gone(w);
    };
    EXPECT_EQ(runForm(url("/Foo.zip"), dl + "/" + c.name, user), c.outcome);
    const std::string log = server->log().substr(before.size());
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), c.requests);
    if (c.outcome == 1) {
      EXPECT_TRUE(readFileBytes(dl + "/" + c.name) == readFileBytes(srv + "/Foo.zip"));
      fs::remove(dl + "/" + c.name);
    }
    std::error_code tooLong;
    fs::remove(dl + "/" + c.name + ".proposed", tooLong);
    EXPECT_EQ(leftovers(), std::vector<std::string>{"folder"});
  }
}

// The save chooser as a keyboard user meets it: the name is typed at once,
// and a folder of many files entered by name takes a name typed at any
// moment of its read or its fill.
TEST_F(UpdateDownload, TheSaveChooserTakesEveryNameTypedAsItWasTyped) {
  const std::string many = home + "/many";
  fs::create_directories(many);
  for (int i = 0; i < 30000; ++i) std::ofstream(many + "/f" + std::to_string(i) + ".txt");
  const struct {
    const char* name;
    std::vector<std::string> typed;  // Return between
    const char* keyDelay;            // ms between keys
    const char* saved;               // under home
  } cases[] = {
      {"a name at once", {"abc"}, "12", "/abc"},
      {"a folder, then a name", {"many", "name.zip"}, "12", "/many/name.zip"},
      {"a folder and a name, key by key", {"many", "slowly.zip"}, "150", "/many/slowly.zip"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string record = dir.file("chosen");
    fs::remove(record);
    runForm(url("/Foo.zip"), record,
            [&](const std::string& w) {
              const std::string save = e2e::waitNewWindow({w}, "Save update file as...");
              if (save.empty() || !e2e::waitFocus(save)) return false;
              for (size_t i = 0; i < c.typed.size(); ++i) {
                runWithEnv({"xdotool", "type", "--delay", c.keyDelay, c.typed[i]});
                if (i + 1 < c.typed.size()) e2e::typeKey("Return");
              }
              return e2e::typeToClose(save, "Return") && e2e::waitUntil([&] { return fs::exists(record); }) &&
                     e2e::answer(w, "Escape");
            },
            true);
    EXPECT_EQ(readFileBytes(record), home + c.saved);
  }
}

}  // namespace
