// A folder of files made for one test and removed with it.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "support/docwriter.h"

class cTempFolder {
 public:
  std::string path;

  cTempFolder() {
    char name[] = "/tmp/zvk-hdl-XXXXXX";
    if (mkdtemp(name)) path = name;
  }
  ~cTempFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }

  std::string write(const std::string& name, const std::string& content) {
    return write(name, tBytes(content.begin(), content.end()));
  }
  std::string write(const std::string& name, const tBytes& content) {
    const std::string full = path + "/" + name;
    std::ofstream(full, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    return full;
  }
};
