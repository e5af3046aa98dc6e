// A package made by the program's own maker in a scratch folder, for the
// tests that run the install driver on it.
#pragma once

#include <map>
#include <string>

#include "base/tests/scratch_dir.h"
#include "install_support.h"
#include "support/runprog.h"

// Package files by their place below the installation folder.
using tFiles = std::map<std::string, std::string>;

// Makes package `name` of `version` holding `files`; answers the path the
// driver takes.
inline std::string makePackage(const ScratchDir& dir, const std::string& name, const char* version,
                               const tFiles& files) {
  for (const auto& [rel, bytes] : files) writeFile(dir.file(name + "/" + rel), bytes);
  writeFile(dir.file("eula.ENG.hdl"), "<text>Terms</text>");
  writeFile(dir.file("eula.idx"), "ENG = \"./eula.ENG.hdl\"\n");
  writeFile(dir.file(name + ".txt"), "[General]\nlangs = ENG\n[Software]\ncodename = \"demo\"\nname = \"Demo\"\n"
                                     "version = \"" + std::string(version) + "\"\neula = \"" + dir.file("eula.idx") +
                                         "\"\n[Install]\n\"" + dir.file(name) + "\" = $pgm \"\"\n");
  const sRunResult made = runWithEnv({std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk", "make", dir.file(name + ".txt"),
                                      dir.file(name + ".app")},
                                     {"HOME=" + dir.root, "ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(made.status, 0) << made.out << made.err;
  return dir.file(name + ".app/Contents/Resources/scenario.data");
}
