#include "tamsivarapp/heldpath.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The steps of `rest`, refusing "." and "..": a run of "/" is one step.
bool splitSteps(const std::string& rest, std::vector<std::string>& steps) {
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find('/', start);
    if (end == std::string::npos) end = rest.size();
    if (end > start) {
      std::string step = rest.substr(start, end - start);
      if (step == "." || step == "..") return false;
      steps.push_back(std::move(step));
    }
    start = end + 1;
  }
  return !steps.empty();
}

}  // namespace

bool hasDotSteps(const std::string& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const size_t len = end - start;
    if ((len == 1 && path[start] == '.') || (len == 2 && path.compare(start, 2, "..") == 0)) return true;
    start = end + 1;
  }
  return false;
}

std::string parentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool under(const std::string& path, const std::string& folder) {
  if (folder == "/") return path.size() > 1 && path[0] == '/';
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

cHeldFolder::~cHeldFolder() { release(); }

void cHeldFolder::release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  leaf_.clear();
}

namespace {

// Where the folder open as `fd` is now, as the system names it; empty when
// it was removed or cannot be told.
std::string folderPathOf(int fd) {
  char target[4096 + 1];
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(self.c_str(), target, sizeof target - 1);
  if (n <= 0 || target[0] != '/' || static_cast<size_t>(n) >= sizeof target - 1) return {};
  const std::string path(target, static_cast<size_t>(n));
  // A removed folder is named with this mark, and names nothing.
  return path.ends_with(" (deleted)") ? std::string() : path;
}

}  // namespace

cSideFolders::~cSideFolders() {
  for (const auto& [path, fd] : fds_) ::close(fd);
}

size_t freeDescriptors() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur == RLIM_INFINITY) return SIZE_MAX;
  DIR* listing = ::opendir("/proc/self/fd");
  if (!listing) return 0;
  // A descriptor inherited above the limit takes no number a new one could
  // have; the listing's own is counted, and is free again after.
  rlim_t taken = 0;
  while (const dirent* entry = ::readdir(listing))
    if (entry->d_name[0] != '.' && std::strtoull(entry->d_name, nullptr, 10) < limit.rlim_cur) ++taken;
  ::closedir(listing);
  return limit.rlim_cur > taken ? static_cast<size_t>(limit.rlim_cur - taken + 1) : 1;
}

bool cSideFolders::hold(const std::string& path, const cHeldFolder& folder) {
  const std::string at = parentOf(path);
  if (!most_) {
    const size_t free = freeDescriptors();
    most_ = free ? std::min(kHeld, free / 4) : kHeld;
  }
  if (fds_.size() >= *most_ || fds_.count(at) || folder.fd() < 0) return false;
  const int fd = ::openat(folder.fd(), ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  fds_[at] = fd;
  return true;
}

std::string cSideFolders::whereNow(const std::string& side, const sFileId& id) const {
  const auto held = fds_.find(parentOf(side));
  if (held == fds_.end() || !id.known()) return {};
  const std::string name = side.substr(side.rfind('/') + 1);
  const std::string real = folderPathOf(held->second);
  if (real.empty() || ownIdAt(held->second, name) != id) return {};
  return (real == "/" ? "" : real) + "/" + name;
}

namespace {

// The mount the folder open as `fd` is on, as the system tells it now: its
// mount id where the kernel gives one, else its device. A folder bound
// from elsewhere on the same file system has the device of the folder it
// stands in, but never its mount id. The same look tells whether the
// folder is that mount's root, so a hold asks once.
struct sMountOf {
  bool known = false;
  bool hasId = false;
  unsigned long long id = 0;
  dev_t dev = 0;
  bool root = false;
};

bool mountRootIn(const struct statx& st) {
  return (st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (st.stx_attributes & STATX_ATTR_MOUNT_ROOT);
}

sMountOf mountOf(int fd) {
  struct statx st;
  if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &st) != 0) return {};
  return {true, (st.stx_mask & STATX_MNT_ID) != 0, st.stx_mnt_id, makedev(st.stx_dev_major, st.stx_dev_minor),
          mountRootIn(st)};
}

bool sameMount(const sMountOf& a, const sMountOf& b) {
  if (!a.known || !b.known) return false;
  return a.hasId && b.hasId ? a.id == b.id : a.dev == b.dev;
}

// A folder opened on the way, or why it was not; `mount` where it was looked at.
struct sOpened {
  int fd = -1;
  cHeldFolder::eWay way = cHeldFolder::held;
  int err = 0;
  sMountOf mount = {};
};

// Why `name` of the folder open as `at` did not open as a folder, the
// system saying `err`: by what stands there. Only where the system says
// nothing is there is nothing behind it; a link or anything but a folder
// in a folder's place is not the package's; a folder it would not open
// keeps what it holds, for the system's reason.
sOpened notOpened(int at, const std::string& name, int err) {
  if (err == ENOENT) return {-1, cHeldFolder::gone, err};
  struct stat st;
  if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
    return {-1, cHeldFolder::refused, 0};
  return {-1, cHeldFolder::failed, err};
}

// The anchor open as `pin` asks. Through a linked home, say, but never
// into a folder a link now leads to instead of the one this system made,
// nor onto a file system mounted on it since.
sOpened openAnchor(const std::string& anchor, const sAnchorPin& pin) {
  const bool noLink = pin.pinned && pin.real.empty();
  const int fd = ::open(anchor.c_str(), kFolderFlags | (noLink ? O_NOFOLLOW : 0));
  if (fd < 0) return notOpened(AT_FDCWD, anchor, errno);
  cHeldFolder::eWay way = cHeldFolder::held;
  sMountOf mount;
  if (pin.pinned && !noLink && folderPathOf(fd) != pin.real)
    way = cHeldFolder::refused;
  else if (pin.mountRoot && (mount = mountOf(fd)).root != *pin.mountRoot)
    way = *pin.mountRoot ? cHeldFolder::unmounted : cHeldFolder::mounted;
  if (way == cHeldFolder::held) return {fd, way, 0, mount};
  ::close(fd);
  return {-1, way, 0};
}

// The folder of the last but one of `steps` below the folder open as
// `at`, opened in one call in which the kernel refuses any link and any
// mount on the way; -1 where it is not so reached or the kernel has no
// such call.
int openFolderBelow(int at, const std::vector<std::string>& steps) {
  std::string rest = steps.front();
  for (size_t i = 1; i + 1 < steps.size(); ++i) rest += "/" + steps[i];
  open_how how{};
  how.flags = kFolderFlags;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV;
  return static_cast<int>(::syscall(SYS_openat2, at, rest.c_str(), &how, sizeof how));
}

// From the anchor open as `fd`, on `mount`, down to the folder of the
// leaf a step at a time, each missing folder made as it is met where
// `made` asks; where it does not get there, `fd` is closed and the way
// that stopped it said.
sOpened walkDown(int fd, sMountOf mount, const std::string& anchor, const std::vector<std::string>& steps,
                 std::vector<std::string>* made) {
  std::string walked = anchor == "/" ? "" : anchor;
  for (size_t i = 0; i + 1 < steps.size(); ++i) {
    walked += "/" + steps[i];
    int next = ::openat(fd, steps[i].c_str(), kFolderFlags | O_NOFOLLOW);
    int err = errno;
    if (next < 0 && err == ENOENT && made) {
      if (::mkdirat(fd, steps[i].c_str(), 0775) == 0) {
        made->push_back(walked);
        next = ::openat(fd, steps[i].c_str(), kFolderFlags | O_NOFOLLOW);
      }
      err = errno;
    }
    // A mount below the anchor was put there by someone else: what it
    // holds is not the package's, whatever its names.
    const sMountOf below = next >= 0 ? mountOf(next) : sMountOf{};
    const bool across = next >= 0 && !sameMount(mount, below);
    const sOpened why = next < 0 ? notOpened(fd, steps[i], err)
                                 : sOpened{next, across ? cHeldFolder::mounted : cHeldFolder::held};
    ::close(fd);
    if (across) ::close(next);
    if (next < 0 || across) return {-1, why.way, why.err};
    fd = next;
    mount = below;
  }
  return {fd, cHeldFolder::held, 0};
}

}  // namespace

bool isMountRoot(int folder, const std::string& name) {
  struct statx st;
  const int flags = AT_SYMLINK_NOFOLLOW | (name.empty() ? AT_EMPTY_PATH : 0);
  return ::statx(folder, name.c_str(), flags, STATX_TYPE, &st) == 0 && mountRootIn(st);
}

std::string resolvedFolder(const std::string& path, const sFileId& was) {
  const int fd = ::open(path.c_str(), kFolderFlags);
  if (fd < 0) return {};
  struct stat st;
  const bool same = !was.known() || (::fstat(fd, &st) == 0 && st.st_dev == was.dev && st.st_ino == was.ino);
  std::string real = same ? folderPathOf(fd) : std::string();
  ::close(fd);
  return real;
}

cHeldFolder::eWay anchorWay(const std::string& folder, const sAnchorPin& pin, int& err) {
  const sOpened opened = openAnchor(folder, pin);
  err = opened.err;
  if (opened.fd >= 0) ::close(opened.fd);
  return opened.way;
}

bool anchorHolds(const std::string& folder, const sAnchorPin& pin) {
  int err = 0;
  return anchorWay(folder, pin, err) == cHeldFolder::held;
}

bool cHeldFolder::stop(eWay way, int err) {
  way_ = way;
  err_ = err;
  return false;
}

bool cHeldFolder::hold(const std::string& anchor, const std::string& path, std::vector<std::string>* made,
                       const sAnchorPin& pin) {
  release();
  std::vector<std::string> steps;
  if (anchor.empty() || anchor[0] != '/' || !under(path, anchor) ||
      !splitSteps(path.substr(anchor == "/" ? 1 : anchor.size() + 1), steps))
    return stop(refused);
  const sOpened opened = openAnchor(anchor, pin);
  if (opened.fd < 0) return stop(opened.way, opened.err);
  int fd = opened.fd;
  // One call proves the whole way where nothing on it is missing or
  // refused; the walk a step at a time makes what is missing and tells why.
  if (steps.size() > 1) {
    if (const int below = openFolderBelow(fd, steps); below >= 0) {
      ::close(fd);
      fd = below;
    } else {
      const sOpened walked =
          walkDown(fd, opened.mount.known ? opened.mount : mountOf(fd), anchor, steps, made);
      if (walked.fd < 0) return stop(walked.way, walked.err);
      fd = walked.fd;
    }
  }
  fd_ = fd;
  leaf_ = steps.back();
  way_ = held;
  err_ = 0;
  return true;
}

unsigned cHeldFolder::typeOf(const std::string& name, bool* mountRoot) const {
  struct statx st;
  const bool seen = fd_ >= 0 && ::statx(fd_, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &st) == 0;
  if (mountRoot) *mountRoot = seen && mountRootIn(st);
  return seen ? st.stx_mode & S_IFMT : 0;
}

namespace {

// The generation of the regular file `name` in `folder` (empty: the file
// `folder` is open on) while it is still the file `ino` names. Only a
// regular file is opened, without blocking, so no device or pipe wakes.
bool generationOf(int folder, const std::string& name, ino_t ino, unsigned& gen) {
  const int fd = name.empty() ? folder
                              : ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  unsigned value = 0;
  const bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_ino == ino &&
                    ::ioctl(fd, FS_IOC_GETVERSION, &value) == 0;
  if (fd != folder) ::close(fd);
  if (read) gen = value;
  return read;
}

}  // namespace

sFileId ownIdAt(int folder, const std::string& name) {
  struct statx st;
  if (::statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW | (name.empty() ? AT_EMPTY_PATH : 0), STATX_TYPE | STATX_INO | STATX_BTIME, &st) != 0) return {};
  sFileId id{makedev(st.stx_dev_major, st.stx_dev_minor), st.stx_ino};
  if (st.stx_mask & STATX_BTIME) {
    id.born = true;
    id.bornSec = st.stx_btime.tv_sec;
    id.bornNsec = st.stx_btime.tv_nsec;
  } else if (S_ISREG(st.stx_mode)) {
    id.hasGen = generationOf(folder, name, st.stx_ino, id.gen);
  }
  return id;
}

sFileId cHeldFolder::idAt(const std::string& name) const { return fd_ < 0 ? sFileId{} : ownIdAt(fd_, name); }

bool bornSince(const sFileId& id, const sSaveTime& saved) {
  if (!id.born) return false;
  if (!saved.fine || id.bornSec != saved.sec) return id.bornSec >= saved.sec;
  return id.bornNsec >= saved.nsec;
}

sChange judged(int rc, int err, bool folder) {
  if (rc == 0) return {};
  if (err == ENOENT) return {sChange::gone, err};
  // File systems differ in how they say that a folder is not empty.
  if (folder && (err == ENOTEMPTY || err == EEXIST)) return {sChange::holds, err};
  return {sChange::failed, err};
}

sChange removeAt(int at, const std::string& name, bool folder) {
  const int rc = ::unlinkat(at, name.c_str(), folder ? AT_REMOVEDIR : 0);
  return judged(rc, errno, folder);
}

sStuck dropEmptyFoldersBelow(const std::string& anchor, const std::string& path, const sAnchorPin& pin,
                             const std::optional<sSaveTime>& savedAt) {
  std::string folder = path;
  for (;;) {
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos) return {};
    folder.resize(slash);
    if (!under(folder, anchor)) return {};
    cHeldFolder parent;
    const bool held = parent.hold(anchor, folder, nullptr, pin);
    // A folder on the way the system would not open leaves this one where
    // it is, for its reason; it is not gone.
    if (parent.way() == cHeldFolder::failed) return {folder, parent.err()};
    if (savedAt) {
      // Killed between two removals, a run leaves the upper folders.
      if (!held || !parent.typeOf(parent.leaf())) continue;
      if (bornSince(parent.idAt(parent.leaf()), *savedAt)) return {};
    }
    // A mount point the package did not make holds the user's file system.
    if (!held || isMountRoot(parent.fd(), parent.leaf())) return {};
    const sChange removed = removeAt(parent.fd(), parent.leaf(), true);
    if (removed.how == sChange::holds) return {};
    if (!removed.quiet()) return {folder, removed.err};
  }
}

sChange renameNoReplace(int folder, const std::string& from, const std::string& to) {
  if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS) return judged(-1, errno, false);
  // A file system without the flag: a second name, then the first goes.
  if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) != 0) return judged(-1, errno, false);
  const sChange first = removeAt(folder, from);
  if (first.quiet()) return {};
  ::unlinkat(folder, to.c_str(), 0);
  return first;
}
