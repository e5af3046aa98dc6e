#include "base/conproc.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/exception.h"
#include "base/plist.h"
#include "scratch_dir.h"

// The tests' own fork: the real one, except that the process `gForkFailsAt`
// forks down from a test cannot fork, as when the system is out of
// processes at that moment.
namespace {
int gForkDepth = 0;
int gForkFailsAt = -1;
pid_t (*const gRealFork)() = reinterpret_cast<pid_t (*)()>(dlsym(RTLD_NEXT, "fork"));
}  // namespace

extern "C" pid_t fork() {
  if (gForkDepth == gForkFailsAt) {
    errno = EAGAIN;
    return -1;
  }
  const pid_t pid = gRealFork();
  if (pid == 0) ++gForkDepth;
  return pid;
}

namespace {

// Polls like the system's own users do, with an upper bound for the test.
bool waitForEnd(cConProcess& process) {
  for (int i = 0; i < 1000; ++i) {
    if (!process.isValid()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string readAll(cConProcess& process, size_t want) {
  std::string got;
  _typebuf<unsigned char> chunk;
  for (int i = 0; i < 1000 && got.size() < want; ++i) {
    if (process.readOutput(chunk))
      got.append(reinterpret_cast<char*>(chunk.ptr), static_cast<size_t>(chunk.count));
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return got;
}

bool noChildLeft() {
  int status;
  return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

void writeScript(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body;
  chmod(path.c_str(), 0755);
}

TEST(ConProcess, EchoesThroughCatOnItsPipes) {
  cException::init();
  cConProcess cat;
  ASSERT_TRUE(cat.startProcess("/bin/cat"));
  std::string text;
  for (int i = 0; text.size() < 20000; ++i) text += "line " + std::to_string(i) + "\n";
  ASSERT_TRUE(cat.writeInput(text.data(), static_cast<long long>(text.size())));
  EXPECT_EQ(readAll(cat, text.size() + 4), "CMD>" + text);
  EXPECT_TRUE(cat.terminate());
  EXPECT_TRUE(noChildLeft());
  // The pipe stays until close, but nobody reads it any more.
  EXPECT_FALSE(cat.writeInput("x", 1));
}

// This process ignores SIGPIPE and SIGHUP; the programs it starts must not.
// SigIgn is a hexadecimal mask: bit 0 is SIGHUP, bit 12 SIGPIPE.
const char kUsualSignals[] =
    "test $(( 0x$(sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status) & 0x1001 )) -eq 0";

// Everything the child ran with, after the prompt that precedes the program.
std::string runToEnd(cConProcess& process, const std::string& line) {
  if (!process.startProcess(line.c_str())) return "(refused)";
  if (!waitForEnd(process)) return "(still running)";
  // The child has closed its end: the pipe holds all it wrote.
  std::string got;
  for (_typebuf<unsigned char> chunk; process.readOutput(chunk);)
    got.append(reinterpret_cast<char*>(chunk.ptr), static_cast<size_t>(chunk.count));
  return got;
}

TEST(ConProcess, CommandLinesReachTheProgramWordForWordWithoutAShell) {
  cException::init();
  ScratchDir dir;
  mkdir(dir.file("a b").c_str(), 0755);
  std::string program = dir.file("a b/show args");
  std::string marker = dir.file("ran");
  // Prints its name and arguments in brackets, then fails when SIGPIPE or
  // SIGHUP is ignored: the programs it starts must not inherit that.
  writeScript(program, std::string("printf '[%s]' \"$0\" \"$@\"\n") + kUsualSignals + "\n");
  const std::string quoted = "\"" + program + "\"";
  const struct {
    std::string line;
    std::string args;  // after the program's own name
  } cases[] = {
      {quoted, ""},
      {"  " + quoted + "  plain\ttabbed  ", "[plain][tabbed]"},
      {quoted + " \"two words\" x\\\"y \"say \\\"hi\\\"\" in\"side\"out",
       "[two words][x\"y][say \"hi\"][insideout]"},
      {quoted + " 'a;b' $(touch " + marker + ") | `touch " + marker + "` ; touch " + marker + " && *",
       "['a;b'][$(touch][" + marker + ")][|][`touch][" + marker + "`][;][touch][" + marker + "][&&][*]"},
  };
  cConProcess process;
  for (const auto& c : cases) {
    EXPECT_EQ(runToEnd(process, c.line), "CMD>[" + program + "]" + c.args) << c.line;
    EXPECT_EQ(process.status(), 0) << c.line;
  }
  struct stat st;
  EXPECT_NE(stat(marker.c_str(), &st), 0);

  // Lines that cannot be split start nothing.
  for (std::string line : {quoted.substr(0, quoted.size() - 1), quoted + " \"open", std::string(" \t")})
    EXPECT_EQ(runToEnd(process, line), "(refused)") << line;
  EXPECT_TRUE(noChildLeft());

  // A program that cannot be started must not read as success.
  EXPECT_EQ(runToEnd(process, "/no/such/program arg"), "CMD>");
  EXPECT_TRUE(WIFEXITED(process.status()));
  EXPECT_EQ(WEXITSTATUS(process.status()), 127);
  EXPECT_TRUE(execCmd(kUsualSignals));
  EXPECT_FALSE(execCmd("exit 3"));
  EXPECT_TRUE(noChildLeft());
}

TEST(ConProcess, AnEndThatCannotBeSeenIsNeverASuccess) {
  struct sigaction ignore = {}, saved;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGCHLD, &ignore, &saved);
  const struct {
    bool restored;  // start-up has run meanwhile
    int want;
  } cases[] = {{false, -1}, {true, 3 << 8}};
  for (const auto& c : cases) {
    if (c.restored) cException::init();
    cConProcess process;
    ASSERT_TRUE(process.startProcess("sh -c \"exit 3\""));
    ASSERT_TRUE(waitForEnd(process));
    EXPECT_EQ(process.status(), c.want) << c.restored;
  }
  sigaction(SIGCHLD, &saved, nullptr);
}

TEST(ConProcess, EndingAChildReapsIt) {
  cConProcess process;
  ASSERT_TRUE(process.startProcess("cat"));
  EXPECT_TRUE(process.simCtrlC());
  ASSERT_TRUE(waitForEnd(process));
  EXPECT_TRUE(WIFSIGNALED(process.status()));
  EXPECT_EQ(WTERMSIG(process.status()), SIGINT);

  // One that ignores the polite request is ended all the same.
  ScratchDir dir;
  std::string stubborn = dir.file("stubborn");
  writeScript(stubborn, "trap '' TERM\nexec sleep 60\n");
  ASSERT_TRUE(process.startProcess(stubborn.c_str()));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(process.terminate());
  EXPECT_FALSE(process.isValid());
  EXPECT_TRUE(noChildLeft());

  // Starting again, and destroying, end the previous child too.
  {
    cConProcess scoped;
    ASSERT_TRUE(scoped.startProcess("cat"));
    ASSERT_TRUE(scoped.startProcess("cat"));
  }
  EXPECT_TRUE(noChildLeft());
}

// A script that records, once it has run, `who` and its argument count and
// first argument.
std::string recorder(const std::string& who = "") {
  return "printf '" + who + "%s:%s' \"$#\" \"$1\" > \"$OPENER_RECORD.tmp\" && mv \"$OPENER_RECORD.tmp\" " +
         "\"$OPENER_RECORD\"\n";
}

// A stub opener first in the PATH records its argument count and first
// argument.
class Opener : public ::testing::Test {
 protected:
  void SetUp() override {
    savedPath_ = getenv("PATH");
    setenv("OPENER_RECORD", record_.c_str(), 1);
    mkdir(dir_.file("bin").c_str(), 0755);
    for (const char* opener : {"xdg-open", "gnome-open", "kfmclient"})
      writeScript(dir_.file("bin/") + opener, recorder());
    setenv("PATH", (dir_.file("bin") + ":" + savedPath_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

  // Nobody waits for the opener: its record appears once it has run.
  std::string opened() {
    for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
      const std::string text = dir_.read("record");
      if (text.empty()) continue;
      std::remove(record_.c_str());
      return text;
    }
    return "(not opened)";
  }

  // What shellOpen answers for a line, what it names at fault and, for a
  // program it started, what that program recorded.
  struct Outcome {
    std::string line;
    int error;
    std::string atFault, record;
  };
  void expectOutcomes(const std::vector<Outcome>& cases) {
    for (const auto& c : cases) {
      int error = -1;
      std::string program;
      EXPECT_EQ(shellOpen(c.line.c_str(), &error, &program), c.error == 0) << c.line;
      EXPECT_EQ(error, c.error) << c.line;
      EXPECT_EQ(program, c.atFault) << c.line;
      if (!c.record.empty()) {
        EXPECT_EQ(opened(), c.record) << c.line;
      }
    }
  }

  ScratchDir dir_;
  std::string record_ = dir_.file("record");
  std::string savedPath_;
};

TEST_F(Opener, ReceivesOutsideTextAsOneArgumentWithoutAShell) {
  std::string marker = dir_.file("ran");
  std::string text = "http://example.com/a b?q='x'&r=\"y\" $(touch " + marker + ") `touch " + marker +
                     "` ; touch " + marker + " \\ *";
  const struct {
    bool (*open)(const char*);
    std::string record;
  } openers[] = {{run_xdgopen, "1:" + text}, {run_gnomeopen, "1:" + text}, {run_kfmclient, "2:exec"}};
  for (const auto& o : openers) {
    ASSERT_TRUE(o.open(text.c_str()));
    EXPECT_EQ(opened(), o.record);
  }
  struct stat st;
  EXPECT_NE(stat(marker.c_str(), &st), 0);
  EXPECT_TRUE(noChildLeft());

  // How soon a failing program ends depends on the machine's load; one
  // that cannot be started is refused every time.
  EXPECT_TRUE(just_run(dir_.file("bin/xdg-open").c_str()));
  EXPECT_EQ(opened(), "0:");

  setenv("PATH", dir_.root.c_str(), 1);
  EXPECT_FALSE(run_xdgopen("http://example.com/"));
  EXPECT_FALSE(just_run("xdg-open"));
  EXPECT_TRUE(noChildLeft());
}

TEST_F(Opener, ShellOpenSendsPathsAndSingleWordsToTheOpenerAndRunsCommandLinesWithoutAShell) {
  std::string folder = dir_.file("a folder with blanks");
  mkdir(folder.c_str(), 0755);
  ASSERT_TRUE(shellOpen(folder.c_str()));
  EXPECT_EQ(opened(), "1:" + folder);
  EXPECT_FALSE(shellOpen(""));

  // A command line starts its program detached: shellOpen is back while
  // the program still waits for its go-ahead, which comes only afterwards.
  const std::string go = dir_.file("go"), marker = dir_.file("made by shell");
  writeScript(dir_.file("waiter"), "for i in $(seq 200); do [ -e \"$1\" ] && break; sleep 0.05; done; touch \"$2\"\n");
  ASSERT_TRUE(shellOpen(("\"" + dir_.file("waiter") + "\" \"" + go + "\" \"" + marker + "\"").c_str()));
  struct stat st;
  EXPECT_NE(stat(marker.c_str(), &st), 0);
  dir_.write("go", "");
  for (int i = 0; i < 1000 && stat(marker.c_str(), &st) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(stat(marker.c_str(), &st), 0);
  ASSERT_TRUE(shellOpen(("\"" + dir_.file("bin/xdg-open") + "\" with-args").c_str()));
  EXPECT_EQ(opened(), "1:with-args");
  EXPECT_TRUE(noChildLeft());
  // Shell words are no program; a line that cannot be split is refused;
  // a missing program is told, not opened.
  const struct {
    std::string text;
    int error;
  } refused[] = {
      {"for i in 1; do touch '" + marker + "2'; done", kPathNotAbsolute},
      {"\"touch '" + marker + "2'", EINVAL},
      {dir_.file("gone"), ENOENT},
      {"\"" + dir_.file("gone") + "\" --now", ENOENT},
  };
  for (const auto& r : refused) {
    int error = 0;
    EXPECT_FALSE(shellOpen(r.text.c_str(), &error)) << r.text;
    EXPECT_EQ(error, r.error) << r.text;
  }
  std::string program;
  EXPECT_FALSE(shellOpen(("\"" + dir_.file("gone") + "\" --now").c_str(), nullptr, &program));
  EXPECT_EQ(program, dir_.file("gone"));
  EXPECT_NE(stat((marker + "2").c_str(), &st), 0);
  // A document that goes to an opener the system does not have: what did
  // not start is the opener, not the document, which is there.
  dir_.write("notes.txt", "notes");
  setenv("PATH", dir_.file("gone").c_str(), 1);
  int error = 0;
  EXPECT_FALSE(shellOpen(dir_.file("notes.txt").c_str(), &error, &program));
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(program, kDesktopOpener);
}

// A run option's path is one path, blanks, quotes and backslashes in it
// included; a program that does not start names what is at fault: the
// program, or the interpreter its "#!" line names.
TEST_F(Opener, ARunPathIsOnePathAndAFailureNamesWhatIsAtFault) {
  const std::string app = dir_.file("My App");
  std::filesystem::create_directories(app + "/bin");
  // What splitting "My App/..." at its blank would start.
  writeScript(dir_.file("My"), recorder("split:"));
  std::ofstream(app + "/bin/bad") << "#!" << dir_.file("no-interpreter") << " -x\n";
  dir_.write("plain-text", "not a program");
  std::ofstream(app + "/bin/refused") << "#!" << dir_.file("plain-text") << "\n";
  const std::string odd = app + "/bin/q\"uo te\\";
  writeScript(odd, recorder("odd:"));
  // An interpreter that may run but is no program: text without "#!".
  dir_.write("text-interpreter", "not a program");
  chmod(dir_.file("text-interpreter").c_str(), 0755);
  std::ofstream(app + "/bin/textrun") << "#!" << dir_.file("text-interpreter") << "\n";
  std::filesystem::create_directories(dir_.file("a-folder"));
  std::ofstream(app + "/bin/in-folder") << "#!" << dir_.file("a-folder") << "\n";
  for (const char* name : {"/bin/bad", "/bin/refused", "/bin/textrun", "/bin/in-folder"})
    chmod((app + name).c_str(), 0755);
  const std::vector<Outcome> cases = {
      {app + "/bin/gone", ENOENT, app + "/bin/gone", ""},
      {runCommandLine((app + "/bin/gone").c_str(), "--now"), ENOENT, app + "/bin/gone", ""},
      {app + "/bin/bad", ENOENT, dir_.file("no-interpreter"), ""},
      {runCommandLine((app + "/bin/bad").c_str(), "a"), ENOENT, dir_.file("no-interpreter"), ""},
      {app + "/bin/refused", kInterpreterNotAProgram, dir_.file("plain-text"), ""},
      {app + "/bin/textrun", kInterpreterNotAProgram, dir_.file("text-interpreter"), ""},
      {app + "/bin/in-folder", kInterpreterNotAProgram, dir_.file("a-folder"), ""},
      {runCommandLine(odd.c_str(), "\"one two\" three"), 0, odd, "odd:2:one two"},
      {runCommandLine(odd.c_str(), ""), 0, odd, "odd:0:"},
  };
  expectOutcomes(cases);
  EXPECT_TRUE(noChildLeft());
}

// A web address is the opener's, as one argument, whatever a file of that
// name would be; the opener cannot take arguments for it. A word that only
// looks like an address is a path.
TEST_F(Opener, AWebAddressGoesToTheOpenerNeverLookedForAsAFile) {
  const std::string marker = dir_.file("ran");
  const std::string odd = "HTTPS://example.com/a b?q=$(touch " + marker + ")";
  const std::vector<Outcome> cases = {
      {"https://example.com/", 0, kDesktopOpener, "1:https://example.com/"},
      {odd, 0, kDesktopOpener, "1:" + odd},
      {runCommandLine("http://example.com/", "--new"), E2BIG, "http://example.com/", ""},
      {"docs:x", kPathNotAbsolute, "docs:x", ""},
      {"file:///etc/hostname", kPathNotAbsolute, "file:///etc/hostname", ""},
  };
  expectOutcomes(cases);
  // Without the opener, the opener is what is missing.
  setenv("PATH", dir_.file("gone").c_str(), 1);
  expectOutcomes({{"https://example.com/", ENOENT, kDesktopOpener, ""}});
  struct stat st;
  EXPECT_NE(stat(marker.c_str(), &st), 0);
  EXPECT_TRUE(noChildLeft());
}

// A path that does not begin with "/" is never looked for where the caller
// happens to run, nor through the PATH, with or without arguments: it is
// named, and nothing starts.
TEST_F(Opener, ARelativePathIsNeverTakenFromWhereTheCallerRuns) {
  std::filesystem::create_directories(dir_.file("rel"));
  writeScript(dir_.file("rel/prog"), recorder("rel:"));
  writeScript(dir_.file("prog"), recorder("here:"));
  writeScript(dir_.file("bin/prog"), recorder("path:"));
  const WorkingFolder here(dir_.root);
  const std::vector<Outcome> cases = {
      {"rel/prog", kPathNotAbsolute, "rel/prog", ""},
      {"./rel/prog", kPathNotAbsolute, "./rel/prog", ""},
      {"prog", kPathNotAbsolute, "prog", ""},
      {runCommandLine("prog", "--now"), kPathNotAbsolute, "prog", ""},
      {runCommandLine("rel/prog", "a b"), kPathNotAbsolute, "rel/prog", ""},
      {runCommandLine(" /rel/prog", ""), kPathNotAbsolute, " /rel/prog", ""},
      {"rel", kPathNotAbsolute, "rel", ""},
      {"mailto:someone@example.com", kPathNotAbsolute, "mailto:someone@example.com", ""},
      // What the rule leaves alone.
      {dir_.file("rel/prog"), 0, dir_.file("rel/prog"), "rel:0:"},
      {"https://example.com/", 0, kDesktopOpener, "1:https://example.com/"},
  };
  expectOutcomes(cases);
  EXPECT_EQ(dir_.read("record"), "");
  EXPECT_TRUE(noChildLeft());
}

// The kernel would look for an interpreter without its place from where the
// caller runs, as it would for the interpreter's own "#!" line, and a
// folder is no program whatever its modes: such a script is refused before
// anything runs, by every road to a program, naming the script and the
// interpreter as its line writes it. So is one whose interpreter the
// system does not take for a program or may not run; a script it may not
// run is itself what is refused, whatever its line names.
TEST_F(Opener, AScriptWhoseInterpreterHasNoPlaceOrIsNoProgramIsToldWithIt) {
  // What each relative interpreter would find here, or through the PATH.
  for (const std::string& at : {dir_.file("sh-here"), dir_.file("sh-here\r"), dir_.file("bin/sh-here")})
    writeScript(at, recorder("interpreter:"));
  const std::string folder = dir_.file("a-folder");
  std::filesystem::create_directories(folder);
  chmod(folder.c_str(), 0777);
  dir_.write("text", "not a program");
  chmod(dir_.file("text").c_str(), 0755);
  const std::string app = dir_.file("T.app");
  std::filesystem::create_directories(app + "/Contents/MacOS");
  dir_.write("T.app/Contents/Info.plist", "<key>CFBundleExecutable</key><string>Tool</string>");
  const struct {
    std::string file, line;
  } scripts[] = {{"plain", "#!sh-here\n"},   {"dotted", "#! ./sh-here -x\n"}, {"crlf", "#!sh-here\r\n"},
                 {"inner", "#!sh-here\n"},   {"outer", "#!" + dir_.file("inner") + "\n"},
                 {"T.app/Contents/MacOS/Tool", "#!sh-here\n"},
                 {"in-folder", "#!" + folder + " -x\n"},
                 {"folder-inner", "#!" + folder + "\n"},
                 {"folder-outer", "#!" + dir_.file("folder-inner") + "\n"},
                 {"by-text", "#!" + dir_.file("text") + "\n"},
                 {"by-data", "#!" + dir_.file("data") + " -x\n"},
                 {"by-data\t", "#!" + dir_.file("data") + "\n"},
                 {"data-outer", "#!" + dir_.file("by-data") + "\n"},
                 {"unrunnable", "#!" + dir_.file("data") + "\n"},
                 {"unrunnable-sh", "#!/bin/sh\n"}};
  for (const auto& s : scripts) {
    dir_.write(s.file, s.line + "echo ran\n");
    chmod(dir_.file(s.file).c_str(), 0755);
  }
  dir_.write("data", "not a program");
  for (const char* plain : {"data", "unrunnable", "unrunnable-sh"}) chmod(dir_.file(plain).c_str(), 0644);
  const WorkingFolder here(dir_.root);
  const int relative = kInterpreterNotAbsolute, noProgram = kInterpreterNotAProgram;
  const struct {
    std::string line;
    int error;
    std::string program, script;
  } cases[] = {
      {dir_.file("plain"), relative, "sh-here", dir_.file("plain")},
      {runCommandLine(dir_.file("plain").c_str(), "a b"), relative, "sh-here", dir_.file("plain")},
      {dir_.file("dotted"), relative, "./sh-here", dir_.file("dotted")},
      {dir_.file("crlf"), relative, "sh-here\r", dir_.file("crlf")},
      {dir_.file("outer"), relative, "sh-here", dir_.file("inner")},
      {app, relative, "sh-here", app + "/Contents/MacOS/Tool"},
      {dir_.file("in-folder"), noProgram, folder, dir_.file("in-folder")},
      {runCommandLine(dir_.file("in-folder").c_str(), "a"), noProgram, folder, dir_.file("in-folder")},
      {dir_.file("folder-outer"), noProgram, folder, dir_.file("folder-inner")},
      {dir_.file("by-text"), noProgram, dir_.file("text"), dir_.file("by-text")},
      {dir_.file("by-data"), noProgram, dir_.file("data"), dir_.file("by-data")},
      {runCommandLine(dir_.file("by-data\t").c_str(), "a"), noProgram, dir_.file("data"), dir_.file("by-data\t")},
      {dir_.file("data-outer"), noProgram, dir_.file("data"), dir_.file("by-data")},
      {runCommandLine(dir_.file("unrunnable").c_str(), "a"), EACCES, dir_.file("unrunnable"), ""},
      {runCommandLine(dir_.file("unrunnable-sh").c_str(), "a"), EACCES, dir_.file("unrunnable-sh"), ""},
  };
  for (const auto& c : cases) {
    int error = 0;
    std::string program, script;
    EXPECT_FALSE(shellOpen(c.line.c_str(), &error, &program, &script)) << c.line;
    EXPECT_EQ(error, c.error) << c.line;
    EXPECT_EQ(program, c.program) << c.line;
    EXPECT_EQ(script, c.script) << c.line;
  }
  EXPECT_EQ(dir_.read("record"), "");
  EXPECT_TRUE(noChildLeft());
}

TEST_F(Opener, ShellOpenStartsBundlesAndProgramsItself) {
  const std::string app = dir_.file("My Tool.app");
  std::filesystem::create_directories(app + "/Contents/MacOS");
  writeScript(app + "/Contents/MacOS/Tool", recorder("bundle:"));
  dir_.write("My Tool.app/Contents/Info.plist",
             "<plist><dict>\n\t<key>CFBundleExecutable</key>\n\t<string>T&#111;ol</string>\n</dict></plist>");
  ASSERT_TRUE(shellOpen(app.c_str()));
  EXPECT_EQ(opened(), "bundle:0:");

  const std::string tool = dir_.file("run me");
  writeScript(tool, recorder("tool:"));
  ASSERT_TRUE(shellOpen(tool.c_str()));
  EXPECT_EQ(opened(), "tool:0:");

  // A bundle that names something outside its MacOS folder is only opened.
  const std::string bad = dir_.file("Bad.app");
  std::filesystem::create_directories(bad + "/Contents/MacOS");
  dir_.write("Bad.app/Contents/Info.plist", "<key>CFBundleExecutable</key><string>../../run me</string>");
  ASSERT_TRUE(shellOpen(bad.c_str()));
  EXPECT_EQ(opened(), "1:" + bad);
  EXPECT_TRUE(noChildLeft());
}

// The program runs, and its leftover goes once it has ended; the process
// that waits in between keeps none of the caller's descriptors open, not
// even those it would close on running a program.
TEST_F(Opener, RunRemovingTakesTheLeftoverAfterTheProgramAndHoldsNothingOfTheCaller) {
  const std::string leftover = dir_.file("leftover"), go = dir_.file("go");
  std::filesystem::create_directories(leftover + "/inner");
  writeScript(dir_.file("waiter"),
              "for i in $(seq 400); do [ -e '" + go + "' ] && break; sleep 0.05; done\n" + recorder("waiter:"));
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  ASSERT_TRUE(just_run_removing(dir_.file("waiter").c_str(), leftover.c_str()));
  ::close(ends[1]);
  pollfd end{ends[0], POLLIN, 0};
  EXPECT_EQ(poll(&end, 1, 10000), 1) << "the pipe's write end is still held";
  char byte;
  EXPECT_EQ(read(ends[0], &byte, 1), 0);
  ::close(ends[0]);
  EXPECT_TRUE(std::filesystem::exists(leftover)) << "removed before the program ended";
  dir_.write("go", "");
  EXPECT_EQ(opened(), "waiter:0:");
  for (int i = 0; i < 1000 && std::filesystem::exists(leftover); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(std::filesystem::exists(leftover));
  EXPECT_FALSE(just_run_removing(dir_.file("waiter").c_str(), "relative"));
  EXPECT_TRUE(noChildLeft());
}

// The process that waits for the program cannot start it: the caller hears
// so and nothing runs, nor is left waiting.
TEST_F(Opener, RunRemovingAnswersFalseWhenTheProgramCannotBeStarted) {
  ASSERT_NE(gRealFork, nullptr);
  const std::string leftover = dir_.file("leftover");
  std::filesystem::create_directories(leftover);
  writeScript(dir_.file("prog"), recorder("prog:"));
  // The caller forks a child, which forks the watcher, which forks the
  // program.
  gForkFailsAt = 2;
  const bool started = just_run_removing(dir_.file("prog").c_str(), leftover.c_str());
  gForkFailsAt = -1;
  EXPECT_FALSE(started);
  EXPECT_TRUE(noChildLeft());
}

// A file marked executable that the kernel refuses (a text without "#!")
// does not start, by any road, found through the PATH or by its path: the
// C library's own search would hand it to the shell.
TEST_F(Opener, AFileTheKernelCannotRunIsNeverReadByAShell) {
  const std::string marker = dir_.file("ran");
  for (const char* name : {"bin/xdg-open", "bin/plain", "Installer"}) {
    dir_.write(name, "touch '" + marker + "'\n");
    chmod(dir_.file(name).c_str(), 0755);
  }
  const std::string leftover = dir_.file("leftover");
  std::filesystem::create_directories(leftover);
  const struct {
    const char* road;
    std::function<bool()> start;
  } roads[] = {
      {"just_run by path", [&] { return just_run(dir_.file("Installer").c_str()); }},
      {"just_run through PATH", [&] { return just_run("plain"); }},
      {"an installer with its leftover", [&] { return just_run_removing(dir_.file("Installer").c_str(), leftover.c_str()); }},
      {"the opener", [&] { return run_xdgopen("http://example.com/"); }},
      {"shellOpen of the file", [&] {
         int error = 0;
         return shellOpen(dir_.file("Installer").c_str(), &error) || error != ENOEXEC;
       }},
  };
  for (const auto& r : roads) EXPECT_FALSE(r.start()) << r.road;
  for (const std::string& line : {std::string("plain"), "\"" + dir_.file("Installer") + "\" arg"}) {
    cConProcess process;
    ASSERT_TRUE(process.startProcess(line.c_str())) << line;
    ASSERT_TRUE(waitForEnd(process));
    EXPECT_TRUE(WIFEXITED(process.status()) && WEXITSTATUS(process.status()) == 127) << line;
  }
  EXPECT_TRUE(noChildLeft());
  struct stat st;
  EXPECT_NE(stat(marker.c_str(), &st), 0);
}

TEST(PropertyList, ReadsTheStringAfterItsKey) {
  const struct {
    std::string xml;
    bool found;
    std::string value;
  } cases[] = {
      {"<key>K</key>\n  <string>a &amp; b &lt;c&gt; &#x65E5;&#26412;</string>", true, "a & b <c> 日本"},
      {"<key>Other</key><string>x</string><key>K</key><string></string>", true, ""},
      {"<key>K</key><integer>1</integer>", false, ""},
      {"<key>K</key><string>open", false, ""},
      {"<key>K</key><string>&bogus;</string>", false, ""},
      {"<key>K</key><string>&#0;</string>", false, ""},
      {"<key>K</key><string>&#x110000;</string>", false, ""},
      {std::string("<key>K</key><string>a\0b</string>", 32), false, ""},
      {"<key>KK</key><string>x</string>", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xml);
    std::string value;
    EXPECT_EQ(plistString(c.xml.data(), c.xml.size(), "K", value), c.found);
    if (c.found) {
      EXPECT_EQ(value, c.value);
    }
  }
}

}  // namespace
