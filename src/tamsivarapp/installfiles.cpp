#include "tamsivarapp/installfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/folder.h"
#include "tamsivarapp/heldpath.h"

bool writeAll(int fd, const unsigned char* data, size_t count) {
  while (count) {
    ssize_t n = ::write(fd, data, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

namespace {

// Cuts `path` back to its parent, skipping a run of "/"; false at the top.
bool toParent(std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  while (slash > 0 && path[slash - 1] == '/') --slash;
  if (slash == 0) return false;
  path.resize(slash);
  return true;
}

// A folder that exists afterwards; one made now is appended to `made`.
bool makeLevel(const std::string& level, std::vector<std::string>* made) {
  const bool there = cFolderContents::objtype(level.c_str()) == fotFolder;
  if (!cFolderContents::mkdir(level.c_str())) return false;
  if (!there && made) made->push_back(level);
  return true;
}

}  // namespace

bool stripLastComponent(const char* path, _guardchar<char>& out) {
  const char* slash = path ? std::strrchr(path, '/') : nullptr;
  if (!slash) return false;
  out.set(path, slash - path);
  return true;
}

bool checkPathRecursive(const char* folder, std::vector<std::string>* made) {
  if (!folder || !*folder) return false;
  std::string path(folder);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  int type = cFolderContents::objtype(path.c_str());
  if (type == fotFolder) return true;
  if (type != fotNone) return false;
  // Each missing level from the top down; walking the text keeps the depth
  // of a hostile path from growing the stack.
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
    if (path[at - 1] == '/') continue;
    if (!makeLevel(path.substr(0, at), made)) return false;
  }
  return makeLevel(path, made);
}

bool rmFileClean(const char* path, const char* stop) {
  if (!path || !*path) return false;
  if (!exists(path)) return true;
  if (!isRegularFile(path) || ::unlink(path) != 0) return false;
  std::string folder(path), limit(stop ? stop : "");
  while (!limit.empty() && limit.size() > 1 && limit.back() == '/') limit.pop_back();
  // A "." or ".." step makes the text say nothing of where a folder lies.
  if (hasDotSteps(folder) || hasDotSteps(limit) || (!limit.empty() && !under(folder, limit))) return true;
  while (toParent(folder)) {
    if (!limit.empty() && folder != limit && !under(folder, limit)) break;
    if (::rmdir(folder.c_str()) != 0) break;
    if (folder == limit) break;
  }
  return true;
}

int isPossibleInstallPath(const char* path) {
  if (!path || !*path || cFolderContents::objtype(path) != fotNone) return 1;
  std::string copy(path);
  for (;;) {
    if (copy.find('/') == std::string::npos) return 1;
    if (!toParent(copy)) copy.resize(1);
    int type = cFolderContents::objtype(copy.c_str());
    if (type == fotFolder) return cFolderContents::canWrite(copy.c_str()) ? 0 : 3;
    if (type != fotNone) return 2;
    if (copy.size() <= 1) return 1;
  }
}

int createExclusive(const char* path) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0664);
  // The mode the application promises, whatever the umask took away.
  if (fd >= 0) ::fchmod(fd, 0664);
  return fd;
}

bool replaceFile(const char* from, const char* to) { return ::rename(from, to) == 0; }

bool isRegularFile(const char* path) {
  struct stat st;
  return ::lstat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool exists(const char* path) {
  struct stat st;
  return ::lstat(path, &st) == 0;
}

void sideName(const char* path, const char* suffix, _guardchar<char>& out) {
  size_t a = path ? std::strlen(path) : 0, b = std::strlen(suffix);
  out.set(static_cast<long long>(a + b + 1));
  if (a) std::memcpy(out.ptr, path, a);
  std::memcpy(out.ptr + a, suffix, b + 1);
}
