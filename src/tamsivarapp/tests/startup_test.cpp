#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "tamsivarapp/main.h"
#include "tamsivarapp/stcmd.h"

namespace {

struct sParsed {
  bool accepted;
  int mode;
  std::string first, second;
  unsigned offset;
  bool quiet;
};

sParsed parse(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  cTamsivarApp app;
  bool ok = app.parseCommandLine(static_cast<int>(words.size()), argv.data());
  return {ok, app.mode, app.firstArg.ptr ? app.firstArg.ptr : "",
          app.secondArg.ptr ? app.secondArg.ptr : "", app.offset, app.quiet};
}

TEST(StartUp, CommandLinesPickTheirModeArgumentsOffsetAndQuiet) {
  using A = cTamsivarApp;
  const struct {
    std::vector<std::string> words;
    sParsed want;
  } cases[] = {
      {{"/x/zvk"}, {true, A::mManager, "", "", 0, false}},
      {{"/x/zvk", "install", "p.pkg"}, {true, A::mInstall, "p.pkg", "", 0, false}},
      {{"/x/zvk", "install", "p.pkg", "0x10"}, {true, A::mInstall, "p.pkg", "", 16, false}},
      {{"/x/zvk", "install", "p.pkg", " 1234"}, {true, A::mInstall, "p.pkg", "", 1234, false}},
      {{"/x/zvk", "install", "p.pkg", "4294967294"}, {true, A::mInstall, "p.pkg", "", 4294967294u, false}},
      {{"/x/zvk", "install", "p.pkg", "4294967295"}, {true, A::mInstall, "p.pkg", "", 0, false}},
      {{"/x/zvk", "install", "p.pkg", "many"}, {true, A::mInstall, "p.pkg", "", 0, false}},
      {{"/x/zvk", "uninstall", "org.id"}, {true, A::mUninstall, "org.id", "", 0, false}},
      {{"/x/zvk", "update", "org.id"}, {true, A::mUpdate, "org.id", "", 0, false}},
      {{"/x/zvk", "update", "org.id", "QUITE"}, {true, A::mUpdate, "org.id", "", 0, false}},
      {{"/x/zvk", "update", "org.id", "quite", "more"}, {true, A::mUpdate, "org.id", "", 0, true}},
      {{"/x/zvk", "make", "s.txt", "B.app"}, {true, A::mMake, "s.txt", "B.app", 0, false}},
      {{"/x/zvk", "remove", "x"}, {true, A::mRemove, "", "", 0, false}},
      {{"/x/zvk", "version", "x"}, {true, A::mVersion, "", "", 0, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words.size() > 1 ? c.words[1] : "none");
    sParsed got = parse(c.words);
    EXPECT_EQ(got.accepted, c.want.accepted);
    EXPECT_EQ(got.mode, c.want.mode);
    EXPECT_EQ(got.first, c.want.first);
    EXPECT_EQ(got.second, c.want.second);
    EXPECT_EQ(got.offset, c.want.offset);
    EXPECT_EQ(got.quiet, c.want.quiet);
  }
}

TEST(StartUp, RefusesUnknownWordsAndMissingArguments) {
  const std::vector<std::vector<std::string>> refused = {
      {"/x/zvk", "install"},       {"/x/zvk", "uninstall"},      {"/x/zvk", "update"},
      {"/x/zvk", "make", "s"},     {"/x/zvk", "make", "s", "b", "c"},
      {"/x/zvk", "Version"},       {"/x/zvk", ""},               {"/x/zvk", "--help"},
  };
  for (const auto& words : refused) {
    SCOPED_TRACE(words[1]);
    EXPECT_FALSE(parse(words).accepted);
  }
}

TEST(StartUp, BundleProbeFindsOnlyARegularScenarioBesideMacOS) {
  ScratchDir dir;
  namespace fs = std::filesystem;
  fs::create_directories(dir.file("A.app/Contents/MacOS"));
  fs::create_directories(dir.file("A.app/Contents/Resources"));
  std::ofstream(dir.file("A.app/Contents/Resources/scenario.data")) << "x";
  fs::create_directories(dir.file("F.app/Contents/MacOS"));
  fs::create_directories(dir.file("F.app/Contents/Resources/scenario.data"));
  fs::create_directories(dir.file("E.app/Contents/MacOS"));

  const std::string inA = dir.file("A.app/Contents/MacOS/zvk");
  const struct {
    std::string program;
    bool found;
  } cases[] = {
      {inA, true},
      {dir.file("F.app/Contents/MacOS/zvk"), false},  // a folder named scenario.data
      {dir.file("E.app/Contents/MacOS/zvk"), false},
      {dir.file("zvk"), false},
      {"zvk", false},
      {"/zvk", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    _guardchar<char> path;
    unsigned offset = 7;
    EXPECT_EQ(getSTInstallSrc(c.program.c_str(), path, offset), c.found);
    if (c.found) {
      EXPECT_STREQ(path.ptr, dir.file("A.app/Contents/Resources/scenario.data").c_str());
      EXPECT_EQ(offset, 0u);
    }
  }
  // In a bundle every command line installs, even a word of another mode.
  sParsed got = parse({inA, "version"});
  EXPECT_TRUE(got.accepted);
  EXPECT_EQ(got.mode, cTamsivarApp::mInstall);
  EXPECT_EQ(got.first, dir.file("A.app/Contents/Resources/scenario.data"));
}

}  // namespace
