#include "tamsivarapp/runlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/job.h"
#include "ciom/ciappconfig.h"
#include "tamsivarapp/installrecord.h"

namespace {

constexpr char kLockFolder[] = "locks";
constexpr int kLookEveryMs = 100;

}  // namespace

std::string packageLockPath(cApplicationConfig* config, const char* recordName) {
  cCIAppConfig* store = recordStore(config);
  const char* folder = store ? store->folderPath() : nullptr;
  if (!folder || folder[0] != '/' || !recordName || !*recordName) return {};
  return std::string(folder) + "/" + kLockFolder + "/" + recordName;
}

cPackageRunLock::eTaken cPackageRunLock::take(cApplicationConfig* config, const char* recordName,
                                              const std::function<bool()>& waiting) {
  release();
  error_ = 0;
  path_ = packageLockPath(config, recordName);
  const std::string& path = path_;
  if (path.empty()) {
    error_ = ENOENT;
    return rlUnmade;
  }
  const std::string folder = path.substr(0, path.rfind('/'));
  if (::mkdir(folder.c_str(), 0775) == 0) {
    // Whatever the umask, the owner must make the lock files in it.
    struct stat made {};
    if (::stat(folder.c_str(), &made) == 0) ::chmod(folder.c_str(), (made.st_mode & 07777) | S_IRWXU);
  } else if (errno != EEXIST) {
    error_ = errno;
    return rlUnmade;
  }
  for (;;) {
    // Read access is all a lock needs, so a lock file another user made
    // in a shared store still serves.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0664);
    if (fd < 0) {
      error_ = errno;
      return rlUnmade;
    }
    struct stat opened {}, named {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      error_ = S_ISREG(opened.st_mode) ? errno : EINVAL;
      ::close(fd);
      return rlUnmade;
    }
    // An interrupted try tells nothing of other runs: it is made again.
    int locked;
    do locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked == 0) {
      // A lock on a file put out of the lock's place since it was opened
      // keeps no other run out: the lock is taken again on what is there.
      if (::stat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
        fd_ = fd;
        return rlHeld;
      }
      ::close(fd);
      continue;
    }
    const int err = errno;
    ::close(fd);
    if (err != EWOULDBLOCK) {
      error_ = err;
      return rlUnmade;
    }
    if (!waiting || !waiting()) return rlGivenUp;
    cJob::sleep(kLookEveryMs);
  }
}

std::string cPackageRunLock::trouble() const {
  const std::string reason = error_ ? std::strerror(error_) : "";
  return path_.empty() ? reason : path_ + ": " + reason;
}

void cPackageRunLock::release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}
