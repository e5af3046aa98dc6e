#include "tamsivarapp/savetarget.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

// Tries short fresh names with `take`, which fails with EEXIST while a name
// is in use; `name` gets the one it took. The name is visible and the
// README gives it: a download killed where the file has a name leaves it
// for the user to see and delete, since no record of it is kept that would
// let a later run prove it its own.
template <typename Take>
bool takeFreshName(std::string& name, Take take) {
  for (int attempt = 0; attempt < 64; ++attempt) {
    unsigned long long r = 0;
    if (getrandom(&r, sizeof r, 0) != static_cast<ssize_t>(sizeof r)) return false;
    char fresh[40];
    std::snprintf(fresh, sizeof fresh, "zvk-download-%012llx.part", r & 0xFFFFFFFFFFFFull);
    if (take(fresh)) {
      name = fresh;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace

cSaveTarget::~cSaveTarget() {
  file.close();
  if (!name_.empty() && ownIdAt(folder_, name_) == id_) ::unlinkat(folder_, name_.c_str(), 0);
  if (folder_ >= 0) ::close(folder_);
}

bool cSaveTarget::create(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  leaf_ = slash == std::string::npos ? target : target.substr(slash + 1);
  folder_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) return false;
  // Found out before the download rather than at the rename after it.
  const long most = ::fpathconf(folder_, _PC_NAME_MAX);
  if (leaf_.empty() || (most > 0 && leaf_.size() > static_cast<size_t>(most))) {
    errno = ENAMETOOLONG;
    return false;
  }
  int fd = ::openat(folder_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0664);
  if (fd < 0 && !takeFreshName(name_, [&](const char* fresh) {
        fd = ::openat(folder_, fresh, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        return fd >= 0;
      }))
    return false;
  ::fchmod(fd, 0664);
  file.handle = fd;
  file.path.set(target.c_str());
  id_ = ownIdAt(fd, "");
  return true;
}

bool cSaveTarget::moveTo() {
  // A link never replaces anything, so a name it takes is the file's own.
  const std::string self = "/proc/self/fd/" + std::to_string(file.handle);
  if (name_.empty() && !takeFreshName(name_, [&](const char* fresh) {
        return ::linkat(AT_FDCWD, self.c_str(), folder_, fresh, AT_SYMLINK_FOLLOW) == 0;
      }))
    return false;
  file.close();
  if (::renameat(folder_, name_.c_str(), folder_, leaf_.c_str()) != 0) return false;
  name_.clear();
  return true;
}
