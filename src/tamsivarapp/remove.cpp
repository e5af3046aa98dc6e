#include "tamsivarapp/remove.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tamsivar/manager.h"
#include "tamsivarapp/installfiles.h"
#include "tamsivarapp/lang.h"

namespace {

bool anyNamedRecord(cApplicationConfig* config) {
  struct Seen {
    cApplicationConfig* config;
    bool named = false;
  } seen{config};
  config->enumSubsections(
      "install",
      [](const char* name, void* user) {
        auto* s = static_cast<Seen*>(user);
        _guardchar<char> text;
        if (name && s->config->getParamStr((std::string("install/") + name + "/name").c_str(), text) && text.ptr &&
            *text.ptr)
          s->named = true;
        return !s->named;
      },
      &seen);
  return seen.named;
}

// A link in the bundle's own folders could lead the removal elsewhere.
bool realFolder(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string parentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

bool removeOwnProgram(const char* path) {
  if (!path || !*path) return false;
  struct stat given, self;
  if (::lstat(path, &given) != 0) return errno == ENOENT;
  if (::stat("/proc/self/exe", &self) != 0 || !S_ISREG(given.st_mode) || given.st_dev != self.st_dev ||
      given.st_ino != self.st_ino)
    return false;
  return ::unlink(path) == 0;
}

int removeManagerAt(const char* managerPath, const char* program) {
  struct stat st;
  if (!managerPath || ::lstat(managerPath, &st) != 0) return removeOwnProgram(program) ? rmSelfRemoved : rmBadBundle;
  if (!S_ISREG(st.st_mode)) return rmBadBundle;
  std::string exe(managerPath), macos = parentOf(exe), contents = parentOf(macos), bundle = parentOf(contents);
  if (bundle.empty() || !realFolder(bundle) || !realFolder(contents) || !realFolder(macos)) return rmBadBundle;
  std::string resources = contents + "/Resources";
  if (exists(resources.c_str()) && !realFolder(resources)) return rmBadBundle;
  for (const std::string& file : {resources + "/icon.icns", contents + "/PkgInfo", contents + "/Info.plist"})
    if (!rmFileClean(file.c_str(), bundle.c_str())) return rmBadBundle;
  if (rmFileClean(exe.c_str(), bundle.c_str())) return rmDone;
  return removeOwnProgram(program) ? rmSelfRemoved : rmBadBundle;
}

int runRemoveManager(cApplicationConfig* config, const char* program, cRemoveHost& host) {
  unsigned long long stored = 0;
  if (config && config->getParamInt("lang/current", stored) && !host.applyLang(static_cast<int>(stored)))
    host.applyLang(cSOPKGLang::_defaultLang());
  if (config && anyNamedRecord(config)) return rmPackagesLeft;
  if (!host.confirm(kAskRemoveManager)) return rmDeclined;
  _guardchar<char> shortcut;
  // The shortcut sits in a shared folder: the file goes, its folder stays.
  if (config && config->getParamStr("installer/shortcut", shortcut) && shortcut.ptr && *shortcut.ptr &&
      isRegularFile(shortcut.ptr))
    ::unlink(shortcut.ptr);
  // Every bundle goes, whichever language named it.
  const std::vector<std::string> paths = appManagerPaths();
  int result = -1;
  for (const std::string& path : paths) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) continue;
    const int removed = removeManagerAt(path.c_str(), program);
    if (result < 0 || removed == rmBadBundle) result = removed;
  }
  return result < 0 ? removeManagerAt(paths.front().c_str(), program) : result;
}
