// A private temporary folder per test, removed with everything in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/zvk-test-XXXXXX";
    root = mkdtemp(pattern) ? pattern : "";
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!root.empty()) std::filesystem::remove_all(root, ignored);
  }
  std::string file(const std::string& name) const { return root + "/" + name; }

  std::string root;
};
