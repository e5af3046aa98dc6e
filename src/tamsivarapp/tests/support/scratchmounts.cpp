#include "support/scratchmounts.h"

#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/tests/private_mounts.h"
#include "support/runprog.h"

namespace {

// Where the program `name` of the system's tools is, or empty.
std::string systemTool(const std::string& name) {
  for (const std::string& at : {"/usr/sbin/" + name, "/sbin/" + name})
    if (::access(at.c_str(), X_OK) == 0) return at;
  return {};
}

// Whether the running kernel knows the file system `type`.
bool kernelHas(const std::string& type) {
  std::ifstream known("/proc/filesystems");
  for (std::string line; std::getline(known, line);)
    if (line.substr(line.find('\t') + 1) == type) return true;
  return false;
}

}  // namespace

ScratchMounts::ScratchMounts() {
  places_.push_back({"own", dir_.file("own")});
  std::filesystem::create_directories(places_.back().root);
  if (::geteuid() != 0) {
    missing_ = "the other file systems need root to be mounted";
    return;
  }
  keepMountsPrivate();
  const struct {
    const char* name;
    const char* type;
    std::vector<std::string> mkfs;  // options, then the image; none: no image
  } kinds[] = {
      {"ext2, 128-byte inodes", "ext2", {"mkfs.ext2", "-q", "-F", "-I", "128"}},
      {"vfat", "vfat", {"mkfs.vfat"}},
      {"tmpfs", "tmpfs", {}},
      {"ramfs, no birth times or generations", "ramfs", {}},
  };
  for (const auto& kind : kinds) {
    // A kernel built without it cannot have a package on it either.
    if (!kernelHas(kind.type)) continue;
    const std::string at = dir_.file(kind.type);
    std::filesystem::create_directories(at);
    const bool made = kind.mkfs.empty() ? ::mount(kind.type, at.c_str(), kind.type, 0, "size=64m") == 0
                                        : mountImage(kind.mkfs, at);
    if (made) {
      mounted_.push_back(at);
      places_.push_back({kind.name, at});
    } else {
      missing_ += (missing_.empty() ? std::string(kCannotMount) + ": " : "; ") + kind.name +
                  " could not be made or mounted";
    }
  }
}

bool ScratchMounts::mountImage(std::vector<std::string> mkfs, const std::string& at) {
  const std::string image = at + ".img";
  mkfs[0] = systemTool(mkfs[0]);
  if (mkfs[0].empty() || ::access("/usr/bin/mount", X_OK) != 0) return false;
  std::ofstream(image).close();
  if (::truncate(image.c_str(), 64 << 20) != 0) return false;
  mkfs.push_back(image);
  return runWithEnv(mkfs).status == 0 && runWithEnv({"/usr/bin/mount", "-o", "loop", image, at}).status == 0;
}

ScratchMounts::~ScratchMounts() {
  // Emptied first, so that nothing below keeps the mount busy.
  for (const std::string& at : mounted_) {
    std::error_code ignored;
    for (const auto& e : std::filesystem::directory_iterator(at, ignored))
      std::filesystem::remove_all(e.path(), ignored);
    ::umount2(at.c_str(), 0);
  }
}
