// The tests' program runner finds and starts programs as execvp does, so a
// test runs what a user's shell would run.
#include "support/runprog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "base/tests/scratch_dir.h"

namespace {

TEST(RunProgram, FindsProgramsAsExecvpDoes) {
  ScratchDir dir;
  namespace fs = std::filesystem;
  auto program = [&](const std::string& name, const std::string& text) {
    fs::create_directories(fs::path(dir.file(name)).parent_path());
    chmod(dir.write(name, text).c_str(), 0755);
  };
  // Only the working folder has "here"; a folder named "tool" comes before
  // the real one in PATH; "plain" is a script without "#!".
  program("cwd/here", "#!/bin/sh\necho wrong\n");
  fs::create_directories(dir.file("first/tool"));
  program("second/tool", "#!/bin/sh\necho tool \"$@\"\n");
  program("second/plain", "echo plain \"$1\"\n");
  const std::string path = "PATH=" + dir.file("first") + ":" + dir.file("second");
  const struct {
    const char* name;
    std::vector<std::string> argv;
    int status;
    const char* out;
  } cases[] = {
      {"not in PATH, though in the working folder", {"here"}, 127, ""},
      {"a folder before the program", {"tool", "a b"}, 0, "tool a b\n"},
      {"a script without #!", {"plain", "x"}, 0, "plain x\n"},
      {"by its path", {dir.file("second/plain"), "y"}, 0, "plain y\n"},
      {"a folder by its path", {dir.file("first/tool")}, 127, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const sRunResult r = runWithEnv(c.argv, {path}, dir.file("cwd"));
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
  }
}

}  // namespace
