// The hive file format and the file mechanics under the store: reading and
// writing containers, loading hive files, and replacing and creating them
// under the lock that other processes honour.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/folder.h"
#include "base/memio.h"
#include "ciom/ciappconfig.h"

namespace {

constexpr char kMagic[4] = {'Z', 'V', 'K', 'C'};
constexpr unsigned char kEmptyHive[7] = {'Z', 'V', 'K', 'C', 0, 0, 0};
// A lock granted on a file that a save replaced meanwhile is worthless; a
// waiter tries the new file, and gives up only if the files keep changing
// under it far longer than any real contention would last.
constexpr int kReopenAttempts = 1000;
constexpr long long kReadChunk = 65536;
constexpr int kLookEveryMs = 100;
constexpr unsigned int kWriteChunk = 1u << 30;

cCIAppConfig::sHiveStamp stampOf(const struct stat& st) {
  cCIAppConfig::sHiveStamp stamp;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.modifiedNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return stamp;
}

thread_local const std::function<bool()>* tLockWait = nullptr;

// Waits for the lock another process holds on a hive as the calling thread
// was told to, or, told nothing, for at most kDefaultLockWaitMs: no save
// ever waits on a stopped holder without end.
bool waitOnLock(int& waitedMs) {
  if (tLockWait) return (*tLockWait)();
  if (waitedMs >= cCIAppConfig::kDefaultLockWaitMs) return false;
  waitedMs += kLookEveryMs;
  return true;
}

// Opens the hive at `path` for a save and takes its lock, making sure that
// the locked file is still the one the path names. While another process
// holds the lock the thread's wait is asked; given up, errno is EWOULDBLOCK.
bool openLocked(const char* path, cFileIO& file, struct stat& held) {
  int waitedMs = 0;
  for (int attempt = 0; attempt < kReopenAttempts; ++attempt) {
    if (!file.open(path, fmReadWrite)) return false;
    while (!file.lock(0, 4)) {
      if (errno != EAGAIN && errno != EACCES && errno != EINTR) return false;
      if (!waitOnLock(waitedMs)) {
        errno = EWOULDBLOCK;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(kLookEveryMs));
    }
    struct stat named;
    if (fstat(static_cast<int>(file.handle), &held) != 0) return false;
    // Opened for writing, a FIFO has a writer: a read of it would wait.
    if (!S_ISREG(held.st_mode)) {
      errno = S_ISDIR(held.st_mode) ? EISDIR : EINVAL;
      return false;
    }
    if (stat(path, &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) return true;
    file.close();
  }
  return false;
}

constexpr char kSidePrefix[] = ".~hive-";

// A name beside `path` that no other writer in any process uses at the
// same time. One left behind by a writer that was killed is removed by the
// next load or save in its folder (removeStaleSides).
bool sideName(const char* path, char* out, size_t outSize) {
  static std::atomic<unsigned int> serial{0};
  const char* slash = std::strrchr(path, '/');
  int folderLength = slash ? static_cast<int>(slash - path) : 0;
  int written = std::snprintf(out, outSize, "%.*s%s%s%ld-%u", folderLength, path, slash ? "/" : "",
                              kSidePrefix, static_cast<long>(getpid()), serial.fetch_add(1));
  return written > 0 && static_cast<size_t>(written) < outSize;
}

// Side files whose writer is gone: their name carries its process id, and
// a process that no longer exists writes nothing any more.
void removeStaleSides(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const std::string folder = slash ? std::string(path, slash == path ? 1 : slash - path) : ".";
  DIR* listing = opendir(folder.c_str());
  if (!listing) return;
  const long self = static_cast<long>(getpid());
  while (const dirent* entry = readdir(listing)) {
    const char* name = entry->d_name;
    if (!cCIAppConfig::isSideFile(name)) continue;
    char* end = nullptr;
    errno = 0;
    const long writer = std::strtol(name + sizeof kSidePrefix - 1, &end, 10);
    if (errno || writer <= 0 || writer == self || !end || *end != '-') continue;
    if (kill(static_cast<pid_t>(writer), 0) == 0 || errno != ESRCH) continue;
    unlink((folder + "/" + name).c_str());
  }
  closedir(listing);
}

bool writeAll(cFileIO& file, const unsigned char* bytes, long long count) {
  while (count > 0) {
    unsigned int chunk = count > kWriteChunk ? kWriteChunk : static_cast<unsigned int>(count);
    if (!file.writef(const_cast<unsigned char*>(bytes), chunk)) return false;
    bytes += chunk;
    count -= chunk;
  }
  return true;
}

// A rename is only as lasting as the folder entry it changed.
bool syncFolderOf(const char* path) {
  const char* slash = std::strrchr(path, '/');
  char folder[4096 + 64];
  int length = slash ? static_cast<int>(slash == path ? 1 : slash - path) : 1;
  int written = std::snprintf(folder, sizeof folder, "%.*s", length, slash ? path : ".");
  if (written < 0 || static_cast<size_t>(written) >= sizeof folder) return false;
  int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

// Writes `bytes` into a new file beside `path`, named in `side`, with the
// permission bits `mode`; the contents reach the disk before any name
// points at them. `written`, when given, receives the file's identity.
bool writeSide(const char* path, const unsigned char* bytes, long long count, mode_t mode,
               char (&side)[4096 + 64], struct stat* written) {
  cFileIO file;
  if (!sideName(path, side, sizeof side) || !file.create(side, fmReadWrite)) return false;
  int fd = static_cast<int>(file.handle);
  bool made = file.lock(0, 4) && writeAll(file, bytes, count) && fchmod(fd, mode & 0777) == 0 &&
              fsync(fd) == 0 && (!written || fstat(fd, written) == 0);
  // The first call that failed says why; the clean-up after it may not.
  int err = made ? 0 : errno;
  file.close();
  if (!made) {
    cFileIO::remove(side);
    errno = err;
  }
  return made;
}

// Writes `bytes` beside `path`, then puts them in place: renamed over the
// old file, or linked where nothing may be yet. The name reaches the disk
// before the answer, so that after a power loss the path holds the old
// hive or the new one, never a file the rename got ahead of.
bool placeBeside(const char* path, const unsigned char* bytes, long long count, mode_t mode, bool replace,
                 struct stat* written = nullptr) {
  char side[4096 + 64];
  if (!writeSide(path, bytes, count, mode, side, written)) return false;
  bool placed = replace ? cFileIO::move(side, path) : link(side, path) == 0;
  int err = placed ? 0 : errno;
  if (!placed || !replace) cFileIO::remove(side);
  if (!placed) errno = err;
  return placed && syncFolderOf(path);
}

// Reads the file open on `fd` from where it stands to its end into
// `bytes`; false on a read error, with what came before it kept.
bool readWhole(int fd, std::string& bytes) {
  bytes.clear();
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
  char chunk[kReadChunk];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    bytes.append(chunk, static_cast<size_t>(got));
  }
}

// A descriptor a reader of the store opened, closed with it.
struct sReadFile {
  int fd = -1;
  sReadFile() = default;
  sReadFile(const sReadFile&) = delete;
  sReadFile& operator=(const sReadFile&) = delete;
  ~sReadFile() {
    if (fd >= 0) ::close(fd);
  }

  // Opens `path` to read it, without waiting: a FIFO put under a hive's
  // name would hold the open until a writer came. Only a regular file is
  // read; anything else fails, EISDIR for a folder, EINVAL for the rest.
  bool open(const char* path, struct stat& st) {
    fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || fstat(fd, &st) != 0) return false;
    if (S_ISREG(st.st_mode)) return true;
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
};

constexpr char kKeptInfix[] = ".damaged-";
// Kept copies are numbered from 1; a folder holding this many of one hive
// has a user who no longer reads them, and the save fails rather than
// write over a hive whose bytes it cannot keep.
constexpr int kMaxKeptCopies = 9999;

// The kept copies of the hive at `path`, whatever their numbers.
std::vector<std::string> copiesOf(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const std::string folder = slash ? std::string(path, slash == path ? 1 : slash - path) : ".";
  const std::string prefix = std::string(slash ? slash + 1 : path) + kKeptInfix;
  std::vector<std::string> copies;
  DIR* listing = opendir(folder.c_str());
  if (!listing) return copies;
  while (const dirent* entry = readdir(listing))
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0 && cCIAppConfig::isKeptCopy(entry->d_name))
      copies.push_back(folder + "/" + entry->d_name);
  closedir(listing);
  return copies;
}

// The kept copy of the hive at `path` that holds exactly `bytes`, judged
// by the bytes alone, whatever its number; empty where none does.
std::string copyHolding(const char* path, const std::string& bytes) {
  for (const std::string& copy : copiesOf(path)) {
    sReadFile file;
    struct stat st;
    std::string held;
    if (file.open(copy.c_str(), st) && st.st_size == static_cast<off_t>(bytes.size()) &&
        readWhole(file.fd, held) && held == bytes)
      return copy;
  }
  return {};
}

// Keeps the bytes of a hive that does not read whole under the first free
// name "<hive>.damaged-N" beside it, never over an earlier copy, unless a
// kept copy holds them already; `kept` receives that copy's name.
bool keepAside(const char* path, const std::string& bytes, mode_t mode, std::string& kept) {
  kept = copyHolding(path, bytes);
  if (!kept.empty()) return true;
  char side[4096 + 64];
  if (!writeSide(path, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<long long>(bytes.size()), mode, side, nullptr))
    return false;
  bool linked = false;
  for (int n = 1; n <= kMaxKeptCopies && !linked; ++n) {
    kept = std::string(path) + kKeptInfix + std::to_string(n);
    linked = link(side, kept.c_str()) == 0;
    if (!linked && errno != EEXIST) break;
  }
  int err = linked ? 0 : errno;
  cFileIO::remove(side);
  if (!linked) {
    kept.clear();
    errno = err;
  }
  return linked && syncFolderOf(path);
}

// Reads the hive in `bytes` into `root`; false when it does not read whole,
// with what was read before the fault kept.
bool parseHive(const std::string& bytes, cCIAppConfig::sDataContainer& root, std::string* at = nullptr) {
  cBufWrapperIO in(const_cast<char*>(bytes.data()), static_cast<long long>(bytes.size()), false);
  char magic[4];
  return in.readf(magic, 4) && std::memcmp(magic, kMagic, 4) == 0 && cCIAppConfig::loadRecursive(root, in, 1, at);
}

}  // namespace

std::vector<std::string> cCIAppConfig::copiesOnDisk(const char* name) const {
  _guardchar<char> path;
  if (!hivePath(name, path)) return {};
  std::vector<std::string> copies = copiesOf(path.ptr);
  std::sort(copies.begin(), copies.end());
  return copies;
}

bool cCIAppConfig::sHiveStamp::read(const char* path) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return false;
  *this = stampOf(st);
  return true;
}

void cCIAppConfig::sDataContainer::clear() {
  value.set(0);
  if (children.root) children.destroyRec(children.root);
  children.root = nullptr;
}

bool cCIAppConfig::loadRecursive(sDataContainer& container, cFileIOTarget& in, int depth, std::string* at) {
  if (depth > kMaxKeyDepth) return false;
  unsigned char length[2];
  if (!in.readf(length, 2)) return false;
  unsigned int valueSize = length[0] | length[1] << 8;
  if (valueSize) {
    _typebuf<unsigned char> value;
    value.set(valueSize);
    if (!in.readf(value.ptr, valueSize)) return false;
    // A repeated record with a value replaces the earlier one.
    std::swap(container.value.ptr, value.ptr);
    std::swap(container.value.count, value.count);
  }
  for (;;) {
    unsigned char marker;
    if (!in.readf(&marker, 1)) return false;
    if (marker == 0) return true;
    unsigned char fieldSize;
    if (marker != 1 || !in.readf(&fieldSize, 1) || fieldSize == 0) return false;
    char field[255];
    if (!in.readf(field, fieldSize)) return false;
    // A name that is all padding could never be written back.
    long long nameSize = static_cast<long long>(strnlen(field, fieldSize));
    if (nameSize == 0) return false;
    sDataContainer* child = container.children.insert(cStringKey(field, nameSize));
    if (!loadRecursive(*child, in, depth + 1, at)) {
      if (at) at->insert(0, std::string(1, '/').append(field, static_cast<size_t>(nameSize)));
      return false;
    }
  }
}

bool cCIAppConfig::saveRecursive(sDataContainer& container, cFileIOTarget& out, int depth) {
  long long valueSize = container.value.count;
  if (depth > kMaxKeyDepth || valueSize > kMaxValueSize) return false;
  unsigned char length[2] = {static_cast<unsigned char>(valueSize),
                             static_cast<unsigned char>(valueSize >> 8)};
  if (!out.writef(length, 2) ||
      (valueSize && !out.writef(container.value.ptr, static_cast<unsigned int>(valueSize))))
    return false;
  using tChildren = decltype(container.children);
  for (auto* child = container.children.root ? tChildren::leftmost(container.children.root) : nullptr; child;
       child = tChildren::next(child)) {
    _typebuf<char> field;
    child->key.utf8(field);
    // Names of 253 to 255 bytes lose only padding when cut to the field's
    // limit; the reader takes the name up to the first zero byte.
    if (field.count == 0 || field.count > kMaxNameSize + 1) return false;
    unsigned char head[2] = {
        1, static_cast<unsigned char>(field.count > kMaxNameSize ? kMaxNameSize : field.count)};
    if (!out.writef(head, 2) || !out.writef(field.ptr, head[1]) ||
        !saveRecursive(child->value, out, depth + 1))
      return false;
  }
  unsigned char end = 0;
  return out.writef(&end, 1);
}

bool cCIAppConfig::loadHive(const char* path, sDataContainer& root, sHiveStamp* stamp, std::string* known,
                            sReadFault* fault) {
  cSafeCriticalSectionAccess hold(&lock);
  root.clear();
  if (known) known->clear();
  sReadFault found;
  if (!fault) fault = &found;
  *fault = {};
  // A reader takes no lock: every save puts a whole new file in place by a
  // rename, so the file opened is one hive or the other, never half of
  // one, and no stopped writer keeps a reader waiting.
  sReadFile file;
  struct stat held;
  errno = 0;
  if (!path || !file.open(path, held)) {
    fault->err = errno ? errno : EINVAL;
    return false;
  }
  removeStaleSides(path);
  if (stamp) *stamp = stampOf(held);
  std::string bytes;
  errno = 0;
  if (!readWhole(file.fd, bytes)) {
    // What came before a read error is no hive's: nothing of it is taken.
    fault->err = errno ? errno : EIO;
    return false;
  }
  const bool whole = parseHive(bytes, root, &fault->at);
  fault->cut = !whole;
  // Bytes cut short by an error are no file's, and a damaged hive's must
  // be read again by the save that replaces it, which keeps them first:
  // neither proves anything later.
  if (known && whole) *known = std::move(bytes);
  return whole;
}

bool cCIAppConfig::saveHive(const char* path, sDataContainer& root, const tChanges& changes,
                            sHiveStamp* stamp, std::string* known, std::string* keptCopy) {
  // The lock is held from the read to the new file in place, so writers
  // take turns, each building on the last one's hive, and a reader never
  // sees a half-written hive. The file is read through the descriptor that
  // holds the lock: the lock belongs to it, and another would wait for it.
  cFileIO file;
  struct stat held;
  if (!path || !openLocked(path, file, held)) return false;
  removeStaleSides(path);
  std::string found;
  // Bytes that could not all be read could not all be kept either.
  if (!readWhole(static_cast<int>(file.handle), found)) return false;
  // Where the file holds the very bytes `root` was read from or written
  // as, `root` is already them with this process's changes made: parsing
  // them again would only cost. Only the bytes prove it; a file's size,
  // time and inode can all stay the same while another writer changes it.
  const bool unchanged = known && !known->empty() && found == *known;
  sDataContainer now;
  const bool whole = !unchanged && parseHive(found, now);
  if (whole) applyChanges(root, now, changes);
  // A hive that does not read whole is replaced by what could be read of
  // it with this process's changes, its bytes kept aside first: they may
  // hold what no one else has, other packages' records among them. An
  // empty file is one of them: every hive written holds its header.
  std::string kept;
  const bool keptWhole = unchanged || whole || keepAside(path, found, held.st_mode, kept);
  if (keptCopy) *keptCopy = kept;
  if (!keptWhole) return false;
  sDataContainer& next = whole ? now : root;
  cMemIOTarget content;
  _typebuf<unsigned char> bytes;
  struct stat written;
  if (!content.writef(const_cast<char*>(kMagic), 4) || !saveRecursive(next, content, 1) ||
      !content.toBuffer(bytes) || !placeBeside(path, bytes.ptr, bytes.count, held.st_mode, true, &written))
    return false;
  root.takeFrom(next);
  if (stamp) *stamp = stampOf(written);
  if (known) known->assign(reinterpret_cast<const char*>(bytes.ptr), static_cast<size_t>(bytes.count));
  return true;
}

cCIAppConfig::cLockWait::cLockWait(const std::function<bool()>& waiting) : outer_(tLockWait), waiting_(waiting) {
  tLockWait = &waiting_;
}

cCIAppConfig::cLockWait::~cLockWait() { tLockWait = outer_; }

std::string cCIAppConfig::keepHiveCopy(const char* name) {
  _guardchar<char> path;
  sReadFile file;
  struct stat held;
  std::string bytes, kept;
  if (!hivePath(name, path) || !file.open(path.ptr, held) || !readWhole(file.fd, bytes)) return {};
  return keepAside(path.ptr, bytes, held.st_mode, kept) ? kept : std::string();
}

bool cCIAppConfig::isSideFile(const char* name) {
  return name && std::strncmp(name, kSidePrefix, sizeof kSidePrefix - 1) == 0;
}

bool cCIAppConfig::isKeptCopy(const char* name) {
  const char* infix = name ? std::strstr(name, kKeptInfix) : nullptr;
  if (!infix) return false;
  const char* number = infix + sizeof kKeptInfix - 1;
  return *number && std::strspn(number, "0123456789") == std::strlen(number);
}

bool cCIAppConfig::mkNewHive(const char* path) {
  if (!path || cFolderContents::objtype(path) != fotNone) return false;
  return placeBeside(path, kEmptyHive, sizeof kEmptyHive, 0664, false);
}
