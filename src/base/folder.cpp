#include "base/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/casemap.h"
#include "base/str.h"
#include "base/targets.h"

namespace {

constexpr int kMaxPath = 4096;

int typeOfMode(mode_t mode) {
  if (S_ISREG(mode)) return fotFile;
  if (S_ISDIR(mode)) return fotFolder;
  if (S_ISLNK(mode)) return fotLink;
  if (S_ISBLK(mode)) return fotBlockDevice;
  if (S_ISCHR(mode)) return fotCharDevice;
  if (S_ISSOCK(mode)) return fotSocket;
  return fotOther;
}

// The type a directory entry names by itself; none for a link, whose type is
// that of what it leads to, nor where the file system names no type.
int typeOfEntry(unsigned char type) {
  switch (type) {
    case DT_REG:
      return fotFile;
    case DT_DIR:
      return fotFolder;
    case DT_BLK:
      return fotBlockDevice;
    case DT_CHR:
      return fotCharDevice;
    case DT_SOCK:
      return fotSocket;
    case DT_FIFO:
      return fotOther;
    default:
      return fotNone;
  }
}

void toLocalTimestamp(time_t t, sTimestamp& ts) {
  ts = {};
  // The calendar helpers span the unsigned 32-bit seconds from 1970; other
  // times read as all zero.
  if (t < 0) return;
  unsigned long long local = utcToLocal(static_cast<unsigned long long>(t));
  if (local <= 0xFFFFFFFFull) unixToTimestamp(static_cast<unsigned int>(local), ts);
}

bool isDotOrDotDot(const char* name) { return name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])); }

// Mount points in the mount table write blanks, tabs, new lines and
// backslashes as three octal digits after a backslash.
void unescapeMountField(char* s) {
  char* out = s;
  for (const char* in = s; *in;) {
    if (in[0] == '\\' && in[1] >= '0' && in[1] <= '3' && in[2] >= '0' && in[2] <= '7' && in[3] >= '0' &&
        in[3] <= '7') {
      *out++ = static_cast<char>((in[1] - '0') * 64 + (in[2] - '0') * 8 + (in[3] - '0'));
      in += 4;
    } else {
      *out++ = *in++;
    }
  }
  *out = 0;
}

// `pattern` holds `length` bytes and need not be terminated. A failed
// match resumes after the last star with one more name byte swallowed by it,
// which settles every pattern of stars and question marks without recursion.
bool matchRange(const char* name, const char* pattern, long long length) {
  if (length == 0) return true;
  long long p = 0, starAt = -1;
  const char* resume = nullptr;
  while (*name) {
    if (p < length && pattern[p] == '*') {
      starAt = ++p;
      resume = name;
    } else if (p < length && (pattern[p] == '?' || pattern[p] == *name)) {
      ++p;
      ++name;
    } else if (starAt >= 0) {
      p = starAt;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (p < length && pattern[p] == '*') ++p;
  return p == length;
}

}  // namespace

sFolderItemInfo* cFolderContents::add() {
  sFolderItemInfo* entry = entries_.insert(count_);
  ++count_;
  return entry;
}

bool cFolderContents::destroy() {
  cFasterTreeList<int, sFolderItemInfo> gone;
  entries_.moveTo(gone);
  count_ = 0;
  return true;
}

bool cFolderContents::init(const char* path, bool foldersAndFilesOnly, const std::atomic<bool>* stop,
                           bool typesOnly) {
  destroy();
  if (objtype(path) != fotFolder) return false;
  folder_.set(path);
  DIR* dir = opendir(path);
  if (!dir) return false;
  int dirFd = dirfd(dir);
  // Entries of a folder that may be read but not searched cannot be opened,
  // nor looked at: they are left out, as a look at each would leave them.
  if (typesOnly && faccessat(dirFd, ".", X_OK, AT_EACCESS) != 0) typesOnly = false;
  bool stopped = false;
  while (dirent* entry = readdir(dir)) {
    if (stop && stop->load(std::memory_order_relaxed)) {
      stopped = true;
      break;
    }
    if (isDotOrDotDot(entry->d_name)) continue;
    // Relative to the open folder, so no path length limit applies. A look
    // at each entry costs ten times the listing in a large folder, so a
    // caller that wants no sizes or times takes the type the entry names.
    struct stat st;
    int type = typesOnly ? typeOfEntry(entry->d_type) : fotNone;
    const bool looked = type == fotNone;
    if (looked) {
      if (fstatat(dirFd, entry->d_name, &st, 0) != 0) continue;
      type = typeOfMode(st.st_mode);
    }
    if (foldersAndFilesOnly && type != fotFile && type != fotFolder) continue;
    sFolderItemInfo* item = add();
    item->name.set(entry->d_name);
    item->type = type;
    item->hidden = entry->d_name[0] == '.';
    if (!looked) continue;
    item->size = st.st_size;
    toLocalTimestamp(st.st_mtime, item->modified);
  }
  closedir(dir);
  return !stopped;
}

bool cFolderContents::enumSpecialLocations() {
  destroy();
  folder_.set(nullptr);
  _guardchar<char> home;
  if (getHome(home)) {
    sFolderItemInfo* item = add();
    item->label.set("Home folder");
    item->name.set(home.ptr);
    item->type = fotSpecialLocation;
  }
  sFolderItemInfo* root = add();
  root->label.set("File system");
  root->name.set("/");
  root->type = fotSpecialLocation;

  // Every other file system that sits on a device or a network share, once
  // per device: the kernel's own file systems name no such source, and one
  // mounted twice (or bound into another folder) shows up only at its first
  // place.
  FILE* mounts = fopen("/proc/self/mounts", "re");
  if (!mounts) return true;
  _typebuf<dev_t> seen;
  struct stat st;
  if (stat("/", &st) == 0) {
    seen.set(1);
    seen[0] = st.st_dev;
  }
  char* line = nullptr;
  size_t capacity = 0;
  while (getline(&line, &capacity, mounts) > 0) {
    char* save = nullptr;
    char* source = strtok_r(line, " \t\n", &save);
    char* target = source ? strtok_r(nullptr, " \t\n", &save) : nullptr;
    if (!target || (source[0] != '/' && !strstr(source, ":/"))) continue;
    unescapeMountField(target);
    if (stat(target, &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    bool known = false;
    for (long long i = 0; i < seen.count && !known; ++i) known = seen[i] == st.st_dev;
    if (known) continue;
    seen.reset(seen.count + 1);
    seen[seen.count - 1] = st.st_dev;
    const char* slash = strrchr(target, '/');
    sFolderItemInfo* item = add();
    item->label.set(slash && slash[1] ? slash + 1 : target);
    size_t length = strlen(target);
    // The path, its closing "/" and the terminator the zeroed buffer keeps.
    item->name.set(static_cast<long long>(length) + 2);
    memcpy(item->name.ptr, target, length);
    item->name.ptr[length] = '/';
    item->type = fotSpecialLocation;
  }
  free(line);
  fclose(mounts);
  return true;
}

sFolderItemInfo* cFolderContents::info(int i) {
  auto* item = i >= 0 && i < count_ ? entries_.find_item(i) : nullptr;
  return item ? &item->value : nullptr;
}

bool cFolderContents::path(int i, _guardchar<char>& out) {
  sFolderItemInfo* entry = info(i);
  if (!entry) return false;
  if (!folder_.ptr || !folder_.ptr[0]) {
    out.set(entry->name.ptr);
    return true;
  }
  size_t length = strlen(folder_.ptr);
  char last = folder_.ptr[length - 1];
  char joined[kMaxPath];
  int written = _sprintf_s(joined, sizeof joined, last == '/' || last == '\\' ? "%s%s" : "%s/%s", folder_.ptr,
                           entry->name.ptr);
  // A cut path would name some other file.
  if (written < 0 || written >= kMaxPath) return false;
  out.set(joined);
  return true;
}

bool cFolderContents::getExtInfo(int i, sFsObjExtInfo& info) {
  _guardchar<char> full;
  return path(i, full) && getExtInfo(full.ptr, info);
}

int cFolderContents::objtype(const char* path) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return fotNone;
  return typeOfMode(st.st_mode);
}

bool cFolderContents::setPermissions(const char* path, unsigned char owner, unsigned char group,
                                     unsigned char other) {
  mode_t mode = static_cast<mode_t>((owner & 7) * 64 + (group & 7) * 8 + (other & 7));
  return path && chmod(path, mode) == 0;
}

int cFolderContents::getEffectivePermissions(const char* path) {
  if (objtype(path) == fotNone) return 8;
  return (access(path, R_OK) == 0 ? 4 : 0) + (access(path, W_OK) == 0 ? 2 : 0) +
         (access(path, X_OK) == 0 ? 1 : 0);
}

bool cFolderContents::canRead(const char* path) { return path && access(path, R_OK) == 0; }

bool cFolderContents::canWrite(const char* path) {
  if (objtype(path) == fotNone) return false;
  return geteuid() == 0 || access(path, W_OK) == 0;
}

bool cFolderContents::canExecute(const char* path) { return path && access(path, X_OK) == 0; }

bool cFolderContents::wcmatch(const char* name, const char* pattern) {
  if (!name) return false;
  return !pattern || matchRange(name, pattern, static_cast<long long>(strlen(pattern)));
}

bool cFolderContents::wcmmatch(const char* name, const char* patterns) {
  if (!patterns || !*patterns) return true;
  if (!name) return false;
  for (const char* piece = patterns; *piece;) {
    const char* end = strchr(piece, ';');
    long long length = end ? end - piece : static_cast<long long>(strlen(piece));
    if (matchRange(name, piece, length)) return true;
    if (!end) break;
    piece = end + 1;
  }
  return false;
}

bool cFolderContents::mkdir(const char* path) {
  if (!path) return false;
  if (::mkdir(path, 0775) == 0) return true;
  return errno == EEXIST && objtype(path) == fotFolder;
}

bool cFolderContents::removeDir(const char* path) {
  if (!path) return false;
  return rmdir(path) == 0 || errno == ENOENT;
}

bool cFolderContents::getExtInfo(const char* path, sFsObjExtInfo& info) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return false;
  info.mode = st.st_mode;
  toLocalTimestamp(st.st_ctime, info.changed);
  toLocalTimestamp(st.st_atime, info.accessed);
  toLocalTimestamp(st.st_mtime, info.modified);
  info.size = st.st_size;
  return true;
}

bool cFolderContents::setTime(const char* path, unsigned int first, unsigned int second, unsigned int third) {
  if (!path) return false;
  void* h = file_open(path, fmRead);
  bool ok = file_valid(h) && file_set_time(h, first, second, third);
  file_close(h);
  return ok;
}

bool cFolderContents::setTime(const char* path, int year, int month, int day, int hour, int minute,
                              int second) {
  if (!path) return false;
  void* h = file_open(path, fmRead);
  bool ok = file_valid(h) && file_set_time(h, year, month, day, hour, minute, second);
  file_close(h);
  return ok;
}

bool cFolderContents::getHome(_guardchar<char>& out) {
  const char* home = getenv("HOME");
  if (!home) return false;
  out.set(home);
  return true;
}

bool cFolderContents::getTempFolder(_guardchar<char>& out) {
  out.set("/tmp");
  return true;
}

bool cFolderContents::getConfigFolder(_guardchar<char>& out, const char* name) {
  _guardchar<char> home;
  if (!name || !getHome(home)) return false;
  char folder[kMaxPath];
  int written = _sprintf_s(folder, sizeof folder, "%s/.%s", home.ptr, name);
  if (written < 0 || written >= kMaxPath) return false;
  out.set(folder);
  return true;
}

namespace {

// The first entry of a colon-separated list of folders when it is an
// absolute path; relative entries are to be ignored.
bool firstFolderOf(const char* variable, const char* fallback, char* out, size_t outSize) {
  const char* list = getenv(variable);
  const char* end = list ? strchr(list, ':') : nullptr;
  size_t length = list ? (end ? static_cast<size_t>(end - list) : strlen(list)) : 0;
  if (length == 0 || list[0] != '/') {
    list = fallback;
    length = strlen(fallback);
  }
  if (length >= outSize) return false;
  memcpy(out, list, length);
  out[length] = 0;
  return true;
}

// A name that stays one level below the folder it is put in.
bool isOneFolderName(const char* name) {
  return name && *name && !strchr(name, '/') && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

// Makes every missing level of the absolute `path`.
bool makeLevels(char* path) {
  for (char* slash = strchr(path + 1, '/'); slash; slash = strchr(slash + 1, '/')) {
    *slash = 0;
    bool made = cFolderContents::mkdir(path);
    *slash = '/';
    if (!made) return false;
  }
  return cFolderContents::mkdir(path);
}

bool folderBelow(const char* base, const char* middle, const char* name, _guardchar<char>& out) {
  if (!isOneFolderName(name)) return false;
  char folder[kMaxPath];
  int written = _sprintf_s(folder, sizeof folder, "%s/%s/%s", base, middle, name);
  if (written < 0 || written >= kMaxPath || !makeLevels(folder)) return false;
  out.set(folder);
  return true;
}

}  // namespace

bool cFolderContents::getSysConfigFolder(_guardchar<char>& out, const char* name) {
  char base[kMaxPath];
  return firstFolderOf("XDG_CONFIG_DIRS", "/etc/xdg", base, sizeof base) &&
         folderBelow(base, "zvkcfg", name, out);
}

bool cFolderContents::getShortcutsFolder(_guardchar<char>& out, const char* name, bool allUsers) {
  char base[kMaxPath];
  if (allUsers) {
    if (!firstFolderOf("XDG_DATA_DIRS", "/usr/local/share", base, sizeof base)) return false;
  } else {
    const char* data = getenv("XDG_DATA_HOME");
    _guardchar<char> home;
    int written = data && data[0] == '/' ? _sprintf_s(base, sizeof base, "%s", data)
                  : getHome(home)        ? _sprintf_s(base, sizeof base, "%s/.local/share", home.ptr)
                                         : -1;
    if (written < 0 || written >= kMaxPath) return false;
  }
  return folderBelow(base, "applications", name, out);
}

long long cFolderContents::safeName(const char* name, char* out, long long outSize) {
  if (!out || outSize < 1) return 0;
  out[0] = 0;
  if (!name) return 0;
  const unsigned char* in = reinterpret_cast<const unsigned char*>(name);
  while (*in && *in <= ' ') ++in;
  long long length = 0;
  for (; *in && length < outSize - 1; ++in) {
    char c = static_cast<char>(*in);
    switch (c) {
      case '"':
        c = '\'';
        break;
      case '*':
        c = '@';
        break;
      case '/':
        c = '=';
        break;
      case ':':
      case '|':
        c = '_';
        break;
      case '?':
        c = '~';
        break;
      default:
        if (*in < ' ') c = ' ';
    }
    out[length++] = c;
  }
  // A character whose bytes did not all fit is dropped whole.
  if (*in) {
    long long lead = length;
    while (lead > 0 && (static_cast<unsigned char>(out[lead - 1]) & 0xC0) == 0x80) --lead;
    if (lead > 0 && static_cast<unsigned char>(out[lead - 1]) >= 0xC0) {
      unsigned char first = static_cast<unsigned char>(out[lead - 1]);
      long long needs = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
      if (length - (lead - 1) < needs) length = lead - 1;
    }
  }
  while (length > 0 && __acp_isspace(out[length - 1])) --length;
  out[length] = 0;
  // These two would name the folder itself or its parent.
  if (isDotOrDotDot(out) && length > 0) {
    out[0] = '_';
    out[1] = 0;
    length = 1;
  }
  return length;
}

bool cFolderContents::getVolInfo(const char* path, unsigned long long& total, unsigned long long& available) {
  struct statvfs fs;
  if (!path || statvfs(path, &fs) != 0) return false;
  total = static_cast<unsigned long long>(fs.f_frsize) * fs.f_blocks;
  available = static_cast<unsigned long long>(fs.f_frsize) * fs.f_bavail;
  return true;
}

bool cFolderContents::isDirEmpty(const char* path) {
  DIR* dir = path ? opendir(path) : nullptr;
  if (!dir) return false;
  bool empty = true;
  struct stat st;
  while (dirent* entry = readdir(dir)) {
    if (isDotOrDotDot(entry->d_name) || fstatat(dirfd(dir), entry->d_name, &st, 0) != 0) continue;
    empty = false;
    break;
  }
  closedir(dir);
  return empty;
}
