#include "tamsivarapp/folderusers.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

std::string linkTarget(const std::string& link) {
  char target[4096];
  const ssize_t n = readlink(link.c_str(), target, sizeof target);
  return n > 0 && static_cast<size_t>(n) < sizeof target ? std::string(target, static_cast<size_t>(n)) : "";
}

bool inside(const std::string& path, const std::string& folder) {
  return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

void markUsers(const std::string& path, const std::vector<std::string>& folders, std::vector<bool>& used) {
  if (path.empty()) return;
  for (size_t i = 0; i < folders.size(); ++i)
    if (!used[i] && inside(path, folders[i])) used[i] = true;
}

bool isNumber(const char* name) {
  if (!*name) return false;
  for (; *name; ++name)
    if (*name < '0' || *name > '9') return false;
  return true;
}

}  // namespace

std::vector<bool> foldersInUse(const std::vector<std::string>& folders) {
  std::vector<bool> used(folders.size(), false);
  DIR* processes = opendir("/proc");
  if (!processes) return std::vector<bool>(folders.size(), true);
  const std::string self = std::to_string(getpid());
  while (const dirent* p = readdir(processes)) {
    if (!isNumber(p->d_name) || self == p->d_name) continue;
    const std::string at = std::string("/proc/") + p->d_name;
    for (const char* link : {"/cwd", "/root", "/exe"}) markUsers(linkTarget(at + link), folders, used);
    DIR* descriptors = opendir((at + "/fd").c_str());
    if (!descriptors) continue;
    while (const dirent* d = readdir(descriptors))
      if (isNumber(d->d_name)) markUsers(linkTarget(at + "/fd/" + d->d_name), folders, used);
    closedir(descriptors);
  }
  closedir(processes);
  return used;
}

std::string descriptorPath(int fd) { return linkTarget("/proc/self/fd/" + std::to_string(fd)); }
