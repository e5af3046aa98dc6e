#include "tamsivarapp/madebundle.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <vector>

namespace {

// One entry of a bundle: a file, or a folder with the entries it holds.
struct sMadeEntry {
  const char* name;
  std::span<const sMadeEntry> holds = {};
  bool folder = false;
};

constexpr sMadeEntry kMacOS[] = {{"Installer"}};
constexpr sMadeEntry kResources[] = {{"icon.icns"}, {"scenario.data"}};
constexpr sMadeEntry kContents[] = {
    {"Info.plist"}, {"MacOS", kMacOS, true}, {"PkgInfo"}, {"Resources", kResources, true}};
constexpr sMadeEntry kBundle[] = {{"Contents", kContents, true}};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

const sMadeEntry* find(std::span<const sMadeEntry> entries, const char* name) {
  for (const sMadeEntry& e : entries)
    if (std::strcmp(e.name, name) == 0) return &e;
  return nullptr;
}

// The names in the open folder `at`, sorted; false when it cannot be read.
bool namesIn(int at, std::vector<std::string>& names) {
  const int own = fcntl(at, F_DUPFD_CLOEXEC, 0);
  DIR* dir = own >= 0 ? fdopendir(own) : nullptr;
  if (!dir) {
    if (own >= 0) close(own);
    return false;
  }
  errno = 0;
  while (dirent* e = readdir(dir))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
  const bool read = errno == 0;
  closedir(dir);
  std::sort(names.begin(), names.end());
  return read;
}

std::string foreignIn(int at, std::span<const sMadeEntry> entries, const std::string& prefix) {
  std::vector<std::string> names;
  if (!namesIn(at, names)) return prefix.empty() ? "." : prefix.substr(0, prefix.size() - 1);
  for (const std::string& name : names) {
    const sMadeEntry* made = find(entries, name.c_str());
    struct stat st;
    if (fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;
      return prefix + name;
    }
    if (!made || (made->folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode))) return prefix + name;
    if (!made->folder) continue;
    const int inner = openat(at, name.c_str(), kFolderFlags);
    if (inner < 0) return prefix + name;
    std::string found = foreignIn(inner, made->holds, prefix + name + "/");
    close(inner);
    if (!found.empty()) return found;
  }
  return {};
}

// Gone already, or a folder that holds what someone else put there: both
// leave nothing of make's to take.
bool removedOrKept(int rc) { return rc == 0 || errno == ENOENT || errno == ENOTEMPTY || errno == EEXIST; }

bool removeIn(int at, std::span<const sMadeEntry> entries) {
  bool ok = true;
  for (const sMadeEntry& e : entries) {
    if (e.folder) {
      const int inner = openat(at, e.name, kFolderFlags);
      // Anything but make's folder there (a link, a file) is not make's.
      if (inner < 0) continue;
      ok = removeIn(inner, e.holds) && ok;
      close(inner);
      ok = removedOrKept(unlinkat(at, e.name, AT_REMOVEDIR)) && ok;
      continue;
    }
    struct stat st;
    if (fstatat(at, e.name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    ok = removedOrKept(unlinkat(at, e.name, 0)) && ok;
  }
  return ok;
}

}  // namespace

std::string firstForeignEntry(const std::string& bundle) {
  const int at = open(bundle.c_str(), kFolderFlags);
  if (at < 0) return ".";
  std::string found = foreignIn(at, kBundle, "");
  close(at);
  return found;
}

bool removeMadeBundle(const std::string& bundle) {
  const int at = open(bundle.c_str(), kFolderFlags);
  if (at < 0) return errno == ENOENT;
  const bool ok = removeIn(at, kBundle);
  close(at);
  return removedOrKept(rmdir(bundle.c_str())) && ok;
}
