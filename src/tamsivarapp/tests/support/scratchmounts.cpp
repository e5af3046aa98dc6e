#include "support/scratchmounts.h"

#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/runprog.h"

namespace {

// Where mkfs.ext2 is, or empty.
std::string mkfsExt2() {
  for (const char* at : {"/usr/sbin/mkfs.ext2", "/sbin/mkfs.ext2"})
    if (::access(at, X_OK) == 0) return at;
  return {};
}

}  // namespace

ScratchMounts::ScratchMounts() {
  places_.push_back({"own", dir_.file("own")});
  std::filesystem::create_directories(places_.back().root);
  if (::geteuid() != 0) {
    missing_ = "ext2 and tmpfs need root to be mounted";
    return;
  }
  const std::string ext2 = dir_.file("ext2"), tmpfs = dir_.file("tmpfs");
  std::filesystem::create_directories(ext2);
  std::filesystem::create_directories(tmpfs);
  if (mountExt2(ext2))
    places_.push_back({"ext2, 128-byte inodes", ext2});
  else
    missing_ = "ext2 with 128-byte inodes could not be made or loop-mounted";
  if (::mount("tmpfs", tmpfs.c_str(), "tmpfs", 0, "size=64m") == 0) {
    mounted_.push_back(tmpfs);
    places_.push_back({"tmpfs", tmpfs});
  } else {
    missing_ += missing_.empty() ? "tmpfs could not be mounted" : "; tmpfs could not be mounted";
  }
}

bool ScratchMounts::mountExt2(const std::string& at) {
  const std::string mkfs = mkfsExt2(), image = dir_.file("ext2.img");
  if (mkfs.empty() || ::access("/usr/bin/mount", X_OK) != 0) return false;
  std::ofstream(image).close();
  if (::truncate(image.c_str(), 64 << 20) != 0) return false;
  if (runWithEnv({mkfs, "-q", "-F", "-I", "128", image}).status != 0) return false;
  if (runWithEnv({"/usr/bin/mount", "-o", "loop", image, at}).status != 0) return false;
  mounted_.push_back(at);
  return true;
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
