// A folder of files made for one test and removed with it.
#pragma once

#include <fstream>
#include <string>

#include "base/tests/scratch_dir.h"
#include "support/docwriter.h"

class cTempFolder : public ScratchDir {
 public:
  const std::string& path = root;

  std::string write(const std::string& name, const std::string& content) {
    return write(name, tBytes(content.begin(), content.end()));
  }
  std::string write(const std::string& name, const tBytes& content) {
    std::ofstream(file(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    return file(name);
  }
};
