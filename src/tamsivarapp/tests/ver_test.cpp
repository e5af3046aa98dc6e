#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>

#include "base/tests/scratch_dir.h"
#include "tamsivarapp/ver.h"

namespace {

std::string script(const ScratchDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.file(name);
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  chmod(path.c_str(), 0755);
  return path;
}

TEST(Version, OwnVersionPacksAndPrintsAsTextAndDigits) {
  EXPECT_EQ(getCurrVerID(), 0x0001000000030000ULL);
  const struct {
    unsigned long long v;
    const char* text;
  } cases[] = {
      {getCurrVerID(), "1.0.3"},
      {0x0002000500000000ULL, "2.5"},
      {0x0001000200030004ULL, "1.2.3.4"},
      {0x0001000000000007ULL, "1.0.0.7"},
      {0xFFFF000000000000ULL, "65535.0"},
  };
  for (const auto& c : cases) {
    _guardchar<char> text;
    strVer(c.v, text);
    EXPECT_STREQ(text.ptr, c.text);
  }
}

TEST(Version, ReadsTheVersionAnotherCopyPrints) {
  ScratchDir dir;
  mkdir(dir.file("with blanks").c_str(), 0755);
  const struct {
    std::string path;
    unsigned long long want;
  } cases[] = {
      {script(dir, "good", "echo 0001000200030004"), 0x0001000200030004ULL},
      {script(dir, "with blanks/good", "echo 00010002000300ab tail"), 0x00010002000300ABULL},
      {script(dir, "short", "echo 000100020003000"), kNoVersion},
      {script(dir, "nothex", "echo 00010002000300g4"), kNoVersion},
      {script(dir, "silent", "exit 0"), kNoVersion},
      {script(dir, "quo\"te", "echo 0001000200030004"), kNoVersion},
      {dir.root, kNoVersion},
      {dir.file("missing"), kNoVersion},
      {std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk", getCurrVerID()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(getVerID(c.path.c_str()), c.want);
  }
}

TEST(Version, ACopyThatNeverEndsIsStoppedAndLeavesNoChild) {
  ScratchDir dir;
  const std::string hang = script(dir, "hang", "exec sleep 60");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(getVerID(hang.c_str()), kNoVersion);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(12));
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

}  // namespace
