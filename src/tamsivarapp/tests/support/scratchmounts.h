// Scratch folders on the kinds of file system a package may be installed
// on: the build's own, and, where this process may mount them and the
// kernel has them, ext2 with 128-byte inodes (no birth times, but
// generations), vfat, tmpfs and ramfs (neither birth times nor
// generations), each mounted in a private folder and unmounted when the
// object goes.
#pragma once

#include <string>
#include <vector>

#include "base/tests/scratch_dir.h"

class ScratchMounts {
 public:
  struct Place {
    std::string name;
    std::string root;
  };
  ScratchMounts();
  ~ScratchMounts();
  ScratchMounts(const ScratchMounts&) = delete;
  ScratchMounts& operator=(const ScratchMounts&) = delete;

  // A folder on each file system, the build's own first.
  const std::vector<Place>& places() const { return places_; }
  // Why file systems the kernel has are missing; empty when all are there.
  const std::string& missing() const { return missing_; }

 private:
  // Makes an image with `mkfs` (a tool's name and its options) beside
  // `at` and loop-mounts it there.
  bool mountImage(std::vector<std::string> mkfs, const std::string& at);
  ScratchDir dir_;
  std::vector<Place> places_;
  std::vector<std::string> mounted_;
  std::string missing_;
};
