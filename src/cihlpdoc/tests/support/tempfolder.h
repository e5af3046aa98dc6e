// A folder of files made for one test and removed with it.
#pragma once

#include <string>

#include "base/tests/scratch_dir.h"
#include "support/docwriter.h"

class cTempFolder : public ScratchDir {
 public:
  const std::string& path = root;

  using ScratchDir::write;
  std::string write(const std::string& name, const tBytes& content) const {
    return write(name, std::string(content.begin(), content.end()));
  }
};
