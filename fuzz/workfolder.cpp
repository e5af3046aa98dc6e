#include "workfolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

// Plain storage, so it is still there when the exit handler runs.
char gFolder[64];

void removeFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(gFolder, ignored);
}

bool isFlag(const char* arg, const char* name) { return std::strncmp(arg, name, std::strlen(name)) == 0; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static std::vector<std::string> kept;
  static std::vector<char*> args;
  const std::string here = std::filesystem::current_path().string() + "/";
  bool prefixed = false;
  for (int i = 0; i < *argc; ++i) {
    std::string arg = (*argv)[i];
    for (const char* name : {"-artifact_prefix=", "-exact_artifact_path="}) {
      if (!isFlag(arg.c_str(), name)) continue;
      prefixed = true;
      const size_t at = std::strlen(name);
      if (arg[at] != '/') arg.insert(at, here);
    }
    kept.push_back(arg);
  }
  if (!prefixed) kept.push_back("-artifact_prefix=" + here);
  for (std::string& arg : kept) args.push_back(arg.data());
  args.push_back(nullptr);
  *argc = static_cast<int>(kept.size());
  *argv = args.data();
  return 0;
}

cFuzzWorkFolder::cFuzzWorkFolder(const char* prefix) {
  std::snprintf(gFolder, sizeof gFolder, "/tmp/%sXXXXXX", prefix);
  if (!mkdtemp(gFolder)) std::abort();
  std::atexit(removeFolder);
  fd_ = open(gFolder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) std::abort();
}

std::string cFuzzWorkFolder::path(const char* name) const { return std::string(gFolder) + "/" + name; }

cFuzzWorkFolder::cInside::cInside(const cFuzzWorkFolder& folder)
    : back_(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  if (back_ < 0 || fchdir(folder.fd_) != 0) std::abort();
}

cFuzzWorkFolder::cInside::~cInside() {
  if (fchdir(back_) != 0) std::abort();
  close(back_);
}
