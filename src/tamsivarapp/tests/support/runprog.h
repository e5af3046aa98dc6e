// Runs a program without a shell and collects what it printed, for the
// tests that drive the built zvk as a user would.
#pragma once

#include <string>
#include <vector>

struct sRunResult {
  int status = -1;  // exit code, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

// `env` replaces the environment when it is not empty; `cwd` is where the
// program starts when it is not empty.
sRunResult runWithEnv(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                      const std::string& cwd = {});

std::string readFileBytes(const std::string& path);
