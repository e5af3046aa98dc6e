#include "tamsivarapp/installfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/folder.h"

namespace {

// Writes all of `count`, retrying short writes and interruptions.
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

bool copyFile(const char* from, const char* to) {
  int in = ::open(from, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (in < 0) return false;
  int out = createExclusive(to);
  bool ok = out >= 0;
  static constexpr size_t kPiece = 65536;
  unsigned char buf[kPiece];
  while (ok) {
    ssize_t n = ::read(in, buf, kPiece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    ok = writeAll(out, buf, static_cast<size_t>(n));
  }
  struct stat st;
  if (ok && ::fstat(in, &st) == 0) ::fchmod(out, st.st_mode & 07777);
  ::close(in);
  if (out >= 0 && ::close(out) != 0) ok = false;
  if (!ok && out >= 0) ::unlink(to);
  return ok;
}

// Cuts `path` back to its parent, skipping a run of "/"; false at the top.
bool toParent(std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  while (slash > 0 && path[slash - 1] == '/') --slash;
  if (slash == 0) return false;
  path.resize(slash);
  return true;
}

bool inside(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

}  // namespace

bool stripLastComponent(const char* path, _guardchar<char>& out) {
  const char* slash = path ? std::strrchr(path, '/') : nullptr;
  if (!slash) return false;
  out.set(path, slash - path);
  return true;
}

bool checkPathRecursive(const char* folder) {
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
    std::string level = path.substr(0, at);
    if (!cFolderContents::mkdir(level.c_str())) return false;
  }
  return cFolderContents::mkdir(path.c_str());
}

bool rmFileClean(const char* path, const char* stop) {
  if (!path || !*path) return false;
  if (!exists(path)) return true;
  if (!isRegularFile(path) || ::unlink(path) != 0) return false;
  std::string folder(path), limit(stop ? stop : "");
  while (!limit.empty() && limit.size() > 1 && limit.back() == '/') limit.pop_back();
  if (!limit.empty() && !inside(folder, limit)) return true;
  while (toParent(folder)) {
    if (!limit.empty() && folder != limit && !inside(folder, limit)) break;
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

void backupPartName(const char* backup, _guardchar<char>& out) { sideName(backup, ".tmp", out); }

bool makeBackup(const char* target, const char* backup) {
  if (::link(target, backup) == 0) return true;
  if (errno == EEXIST) return false;
  _guardchar<char> part;
  backupPartName(backup, part);
  ::unlink(part.ptr);
  if (!copyFile(target, part.ptr)) return false;
  if (::rename(part.ptr, backup) == 0) return true;
  ::unlink(part.ptr);
  return false;
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

bool restoreBackup(const char* backup, const char* target) {
  if (::rename(backup, target) != 0) return false;
  struct stat b, t;
  if (::lstat(backup, &b) == 0 && ::lstat(target, &t) == 0 && b.st_dev == t.st_dev && b.st_ino == t.st_ino)
    return ::unlink(backup) == 0;
  return true;
}
