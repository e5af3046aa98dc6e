#include "tamsivar/oshooks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "base/tests/run_program.h"
#include "base/tests/scratch_dir.h"
#include "tamsivar/scenario.h"

namespace {

TEST(PlatformHooks, AnswerWithoutEffect) {
  cSoftPkgScenario s;
  EXPECT_TRUE(OSRegisterPackage("demo", s, false));
  EXPECT_TRUE(OSDeregisterPackage("demo", true));
  int version[4] = {1, 2, 3, 4};
  _guardchar<char> first("1.2"), second("kept");
  EXPECT_TRUE(OSGetRegistedVersion("demo", version, &first, &second, false));
  EXPECT_EQ(first.ptr, nullptr);
  EXPECT_STREQ(second.ptr, "kept");
  EXPECT_TRUE(OSGetRegistedVersion("demo", version, nullptr, nullptr, false));
  EXPECT_EQ(version[0] | version[1] | version[2] | version[3], 0);
  _guardchar<char> out("untouched");
  EXPECT_FALSE(createSysShortcut(out, "n", "g", "/bin/true", nullptr, nullptr, false, nullptr));
  EXPECT_STREQ(out.ptr, "untouched");
  EXPECT_EQ(shortcutExtension(), nullptr);
}

// The elevation prefix is a per-process choice, so each PATH gets a child
// of its own that writes two entries and compares them.
void writeEntries(const ScratchDir& dir, const std::string& path, const char* prefix, const char* terminal) {
  setenv("PATH", path.c_str(), 1);
  bool plain = createLinShortcut(dir.file("plain.desktop").c_str(), "/opt/tool/run", "Utility;", "Tool",
                                 nullptr, nullptr, false, nullptr);
  bool elevated = createLinShortcut(dir.file("elevated.desktop").c_str(), "/opt/tool/run", "Utility;", "Tool",
                                    "/opt/tool/icon.png", "Runs the tool", true, "-x");
  std::string expectPlain =
      std::string(
          "[Desktop Entry]\nVersion=1.0\nEncoding=UTF-8\nName=Tool\nExec=/opt/tool/run\n"
          "Terminal=") +
      terminal +
      "\nX-MultipleArgs=false\nType=Application\nCategories=Utility;\n"
      "StartupNotify=false\nMimeType=application/x-run\n";
  std::string expectElevated =
      std::string(
          "[Desktop Entry]\nVersion=1.0\nEncoding=UTF-8\nName=Tool\nComment=Runs the tool\n"
          "Exec=") +
      prefix + "/opt/tool/run -x\"\nIcon=/opt/tool/icon.png\nTerminal=" + terminal +
      "\nX-MultipleArgs=false\nType=Application\nCategories=Utility;\n"
      "StartupNotify=false\nMimeType=application/x-run\n";
  bool same = dir.read("plain.desktop") == expectPlain && dir.read("elevated.desktop") == expectElevated;
  std::_Exit(plain && elevated && same ? 0 : 1);
}

TEST(PlatformHooks, DesktopEntriesChooseTheirElevationOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScratchDir dir;
  std::filesystem::create_directories(dir.file("bin"));
  chmod(dir.write("bin/gksudo", "#!/bin/sh\n").c_str(), 0755);
  std::string system = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  EXPECT_EXIT(writeEntries(dir, dir.file("bin") + ":" + system, "gksudo \"", "false"),
              ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(writeEntries(dir, dir.file("nothing"), "sudo \"", "true"), ::testing::ExitedWithCode(0), "");
}

TEST(PlatformHooks, DesktopEntriesPassTheValidator) {
  ScratchDir dir;
  ASSERT_TRUE(createLinShortcut(dir.file("a.desktop").c_str(), "/opt/tool/run", "Utility;", "Tool",
                                "/opt/tool/icon.png", "Runs the tool", true, "-x"));
  ASSERT_TRUE(createLinShortcut(dir.file("b.desktop").c_str(), "/opt/tool/run", "Utility;", "Tool", nullptr,
                                nullptr, false, nullptr));
  EXPECT_FALSE(createLinShortcut(dir.file("c.desktop").c_str(), "/opt/tool/run", nullptr, "Tool", nullptr,
                                 nullptr, false, nullptr));
  // Only the deprecated Encoding key draws a word from the validator.
  for (const char* name : {"a.desktop", "b.desktop"}) {
    std::string said;
    EXPECT_EQ(runProgram({"desktop-file-validate", dir.file(name)}, &said), 0) << said;
    std::istringstream lines(said);
    for (std::string line; std::getline(lines, line);)
      EXPECT_NE(line.find("Encoding"), std::string::npos) << line;
  }
}

TEST(PlatformHooks, ShellLinkReadsBackWithAnIndependentReader) {
  ScratchDir dir;
  std::filesystem::create_directories(dir.file("C:/tools"));
  dir.write("C:/tools/run.exe", "MZ program");
  dir.write("C:/tools/run.ico", "icon");
  char* was = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir.root.c_str()), 0);
  bool made = createWinShortcut("run.lnk", "C:/tools/run.exe", "C:/tools", "C:/tools/run.ico", 0,
                                "Runs the tool", false, "--fast");
  bool noDrive = createWinShortcut("bad.lnk", "tools/run.exe", nullptr, nullptr, 0, nullptr, false, nullptr);
  bool missing =
      createWinShortcut("gone.lnk", "C:/tools/gone.exe", nullptr, nullptr, 0, nullptr, false, nullptr);
  bool iconIsFolder =
      createWinShortcut("f.lnk", "C:/tools/run.exe", nullptr, "C:/tools", 0, nullptr, false, nullptr);
  EXPECT_EQ(chdir(was), 0);
  std::free(was);
  ASSERT_TRUE(made);
  EXPECT_FALSE(noDrive);
  EXPECT_FALSE(missing);
  EXPECT_FALSE(iconIsFolder);
  EXPECT_FALSE(std::filesystem::exists(dir.file("bad.lnk"))) << "a refused link leaves no file";

  std::string said;
  ASSERT_EQ(runProgram({"lnkinfo", dir.file("run.lnk")}, &said), 0) << said;
  for (const char* expected : {"C:/tools/run.exe", "Runs the tool", "C:\\tools", "--fast",
                               "C:\\tools\\run.ico", "Number of items\t\t: 4", "Long name\t\t: run.exe"})
    EXPECT_NE(said.find(expected), std::string::npos) << expected << "\n" << said;
}

}  // namespace
