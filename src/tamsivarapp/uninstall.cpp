#include "tamsivarapp/uninstall.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "base/buffers.h"
#include "base/conproc.h"
#include "tamsivar/oshooks.h"
#include "tamsivarapp/installfiles.h"
#include "tamsivarapp/lang.h"

namespace {

constexpr int kPollMs = 100;
// Ids of the languages the application may have tables for.
constexpr int kLangIds = 10;
// A record listing more entries than this is not one the installer wrote.
constexpr unsigned long long kMaxEntries = 1u << 22;

std::string recordKey(const sPkgUninstallContext& ctx, const std::string& name) {
  return std::string("install/") + ctx.id.ptr + "/" + name;
}

std::string realFolder(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

bool under(const std::string& path, const std::string& folder) {
  if (folder == "/") return path.size() > 1 && path[0] == '/';
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

bool hasDotSteps(const std::string& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string step = path.substr(start, end - start);
    if (step == "." || step == "..") return true;
    start = end + 1;
  }
  return false;
}

std::string trimmed(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

bool hasRecord(const sPkgUninstallContext& ctx) {
  return ctx.config && ctx.config->hasSection((std::string("install/") + ctx.id.ptr).c_str());
}

int chooseLanguage(sPkgUninstallContext& ctx, cUninstallHost& host) {
  // Without a record nothing tells the package's language, and asking for
  // one only to say that the package is unknown helps nobody.
  if (!hasRecord(ctx)) {
    host.applyLang(cSOPKGLang::storedLang());
    return unDone;
  }
  int preset = cSOPKGLang::_defaultLang();
  unsigned long long stored = 0;
  if (ctx.config && ctx.config->getParamInt(recordKey(ctx, "lang").c_str(), stored) && stored < kLangIds) {
    // A language the program has no texts for would still apply to the
    // toolkit's buttons, under the program's default texts: a box would
    // speak two languages.
    if (cSOPKGLang::_defines(static_cast<int>(stored)) && host.applyLang(static_cast<int>(stored))) return unDone;
    preset = static_cast<int>(stored);
  }
  ctx.langs.destroy();
  int count = 0, only = 0;
  for (int id = 0; id < kLangIds; ++id) {
    if (!cSOPKGLang::_defines(id)) continue;
    ctx.langs.add()->value = id;
    only = id;
    ++count;
  }
  if (count == 0) return unInternal;
  if (count == 1) return host.applyLang(only) ? unDone : unInternal;
  if (!cSOPKGLang::_defines(preset)) preset = cSOPKGLang::_defaultLang();
  host.applyLang(preset);
  int chosen = host.chooseLang(ctx, preset);
  if (chosen < 0 || chosen >= kLangIds) return unCancelled;
  host.applyLang(chosen);
  return unDone;
}

// A target the package named by an absolute path, outside its folder: the
// installation wrote it there, through no link, and it goes with the rest.
// Spelled with "." or ".." steps, or reached through a link now, it is not
// the file the installation wrote.
bool placedOutside(const std::string& path) {
  if (path.empty() || path[0] != '/' || hasDotSteps(path)) return false;
  const std::string parent = path.substr(0, path.rfind('/'));
  return realFolder(parent.empty() ? "/" : parent) == (parent.empty() ? "/" : parent);
}

// Each readable entry the record lists under `name`0 to `name`N-1, where N
// is read from `countKey`.
void forEachEntry(sPkgUninstallContext& ctx, const char* countKey, const char* name,
                  const std::function<void(const std::string&)>& each) {
  unsigned long long count = 0;
  if (!ctx.config->getParamInt(recordKey(ctx, countKey).c_str(), count)) return;
  if (count > kMaxEntries) count = kMaxEntries;
  for (unsigned long long i = 0; i < count; ++i) {
    _guardchar<char> path;
    if (ctx.config->getParamStr(recordKey(ctx, name + std::to_string(i)).c_str(), path) && path.ptr) each(path.ptr);
  }
}

// The package's files, and beside each the side files that an interrupted
// installation (".tmp") or uninstall (".bkp") of this system leaves: they
// go with it. A file outside the folder that may not be the one the
// installation wrote is kept, and the user is told.
void readLists(sPkgUninstallContext& ctx) {
  forEachEntry(ctx, "files", "file", [&](const std::string& file) {
    if (ownedBy(file, ctx.base) || placedOutside(file))
      ctx.files.push_back(file);
    else if (isRegularFile(file.c_str()))
      ctx.kept.push_back({file, file[0] != '/' || hasDotSteps(file) ? kKeptOddPath : kKeptThroughLink});
  });
  forEachEntry(ctx, "shortc", "shortc", [&](const std::string& shortcut) {
    if (isRegularFile(shortcut.c_str()) && shortcut[0] == '/' && !hasDotSteps(shortcut))
      ctx.shortcuts.push_back(shortcut);
  });
}

// A kill between removing a file and its folder leaves the folder empty: it
// goes now, and so does each folder above it up to and including the
// installation folder that this empties, but none a link leads to.
void dropEmptyFolders(const std::string& file, const std::string& base) {
  const std::string realBase = realFolder(base);
  if (realBase.empty()) return;
  for (std::string folder = file.substr(0, file.rfind('/')); folder == base || under(folder, base);
       folder.resize(folder.rfind('/'))) {
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0) continue;
    const std::string real = realFolder(folder);
    if (!S_ISDIR(st.st_mode) || (real != realBase && !under(real, realBase)) || ::rmdir(folder.c_str()) != 0 ||
        folder == base)
      return;
  }
}

void deregister(const char* id) {
  if (!OSDeregisterPackage(id, false)) OSDeregisterPackage(id, true);
}

// Every file is moved aside before any goes, so that giving up on a busy
// one puts the package back whole. A backup whose file is gone is what a
// killed uninstall left: it is put back first and taken as the file.
bool moveAside(sPkgUninstallContext& ctx, cUninstallHost& host) {
  _guardchar<char> side;
  for (size_t i = 0; i < ctx.files.size(); ++i) {
    const char* file = ctx.files[i].c_str();
    sideName(file, ".bkp", side);
    if (!exists(file) && isRegularFile(side.ptr)) restoreBackup(side.ptr, file);
    if (!exists(file)) continue;
    // A backup beside the file goes: the move would replace it anyway, and
    // where it is a second name of the file the move would do nothing.
    if (isRegularFile(side.ptr)) ::unlink(side.ptr);
    while (!moveFileClean(file, side.ptr)) {
      if (!host.askRelease(file)) continue;
      for (size_t j = 0; j < i; ++j) {
        sideName(ctx.files[j].c_str(), ".bkp", side);
        ::rename(side.ptr, ctx.files[j].c_str());
      }
      return false;
    }
  }
  return true;
}

// The record goes; with files kept it stays, listing only those, so that a
// later uninstall still sees them.
bool dropRecord(sPkgUninstallContext& ctx) {
  const std::string section = std::string("install/") + ctx.id.ptr;
  if (ctx.kept.empty()) {
    ctx.config->removeSection(section.c_str());
    return ctx.config->saveConfig();
  }
  // Shortcuts are gone either way; of the files only the kept stay listed.
  for (const auto& [countKey, entry] : {std::pair{"files", "file"}, std::pair{"shortc", "shortc"}}) {
    unsigned long long count = 0;
    if (!ctx.config->getParamInt(recordKey(ctx, countKey).c_str(), count)) count = 0;
    for (unsigned long long i = 0; i < count && i < kMaxEntries; ++i)
      ctx.config->removeSection(recordKey(ctx, entry + std::to_string(i)).c_str());
    ctx.config->setParamInt32(recordKey(ctx, countKey).c_str(), 0);
  }
  for (size_t i = 0; i < ctx.kept.size(); ++i)
    ctx.config->setParamStr(recordKey(ctx, "file" + std::to_string(i)).c_str(), ctx.kept[i].path.c_str(), -1);
  ctx.config->setParamInt32(recordKey(ctx, "files").c_str(), static_cast<int>(ctx.kept.size()));
  return ctx.config->saveConfig();
}

int recordRoad(sPkgUninstallContext& ctx, cUninstallHost& host) {
  _guardchar<char> base;
  // Without its folder the record cannot tell the package's files from
  // anybody else's.
  if (!ctx.config->getParamStr(recordKey(ctx, "path").c_str(), base) || !base.ptr || base.ptr[0] != '/' ||
      hasDotSteps(base.ptr))
    return unInternal;
  ctx.base = trimmed(base.ptr);
  ctx.files.clear();
  ctx.shortcuts.clear();
  ctx.kept.clear();
  readLists(ctx);
  if (!host.confirm(kAskRemove)) return unCancelled;
  if (!moveAside(ctx, host)) return unCancelled;
  _guardchar<char> side;
  for (const std::string& file : ctx.files) {
    for (const char* suffix : {".tmp", ".bkp"}) {
      sideName(file.c_str(), suffix, side);
      rmFileClean(side.ptr, ctx.base.c_str());
    }
  }
  forEachEntry(ctx, "files", "file", [&](const std::string& file) {
    if (!hasDotSteps(file)) dropEmptyFolders(file, ctx.base);
  });
  // A shortcut sits in a shared folder such as the desktop: the file goes,
  // its folder stays.
  for (const std::string& shortcut : ctx.shortcuts) ::unlink(shortcut.c_str());
  deregister(ctx.id.ptr);
  if (!dropRecord(ctx)) return unInternal;
  return ctx.kept.empty() ? unDone : unKept;
}

// Our own removal command names the package after `" uninstall "`.
bool isOwnCommand(const char* command, const char* id) {
  if (!command || command[0] != '"') return false;
  const char* close = std::strchr(command + 1, '"');
  if (!close) return false;
  static constexpr char kWord[] = " uninstall \"";
  if (std::strncmp(close + 1, kWord, sizeof kWord - 1) != 0) return false;
  return std::strncmp(close + 1 + sizeof kWord - 1, id, std::strlen(id)) == 0;
}

int registrationRoad(sPkgUninstallContext& ctx, cUninstallHost& host) {
  int version[4] = {};
  _guardchar<char> command;
  bool flag = false;
  if (!OSGetRegistedVersion(ctx.id.ptr, version, &command, nullptr, flag)) {
    flag = true;
    if (!OSGetRegistedVersion(ctx.id.ptr, version, &command, nullptr, flag)) return unNotInstalled;
  }
  if (!command.ptr || !*command.ptr) {
    if (version[0] == 0 && version[1] == 0) return unNotInstalled;
    if (!host.confirm(kAskBrokenRegistration)) return unCancelled;
    deregister(ctx.id.ptr);
    return unDone;
  }
  if (isOwnCommand(command.ptr, ctx.id.ptr)) {
    OSDeregisterPackage(ctx.id.ptr, flag);
    return unDeregistered;
  }
  cConProcess process;
  if (!canStart(command.ptr) || !process.startProcess(command.ptr)) return unCannotStart;
  return waitDraining(process) == 0 ? unDone : unFailed;
}

}  // namespace

bool canStart(const char* commandLine) {
  if (!commandLine) return false;
  const char* p = commandLine;
  while (*p == ' ') ++p;
  std::string program;
  if (*p == '"') {
    const char* close = std::strchr(p + 1, '"');
    if (!close) return false;
    program.assign(p + 1, close);
  } else {
    program.assign(p, std::strcspn(p, " "));
  }
  if (program.empty()) return false;
  if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0 && isRegularFile(program.c_str());
  const char* path = ::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = (end > start ? dirs.substr(start, end - start) : std::string(".")) + "/" + program;
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
      return true;
    start = end + 1;
  }
  return false;
}

int waitDraining(cConProcess& process) {
  _typebuf<unsigned char> dropped;
  // Waits on the pipe and the child together: a chatty uninstaller is read
  // as fast as it writes, and its end is seen at once.
  while (process.isValid()) {
    while (process.readOutput(dropped)) {
    }
    process.waitActivity(kPollMs);
  }
  int status = process.status();
  process.close();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool moveFileClean(const char* source, const char* target) {
  if (!source || !target || !isRegularFile(source)) return false;
  _guardchar<char> folder;
  if (!stripLastComponent(source, folder)) return false;
  const char* dir = folder.ptr && *folder.ptr ? folder.ptr : "/";
  return ::access(dir, W_OK | X_OK) == 0 && ::rename(source, target) == 0;
}

bool ownedBy(const std::string& path, const std::string& base) {
  std::string folder = trimmed(base);
  if (folder.empty() || folder[0] != '/' || hasDotSteps(path) || hasDotSteps(folder) || !under(path, folder))
    return false;
  std::string realBase = realFolder(folder);
  std::string parent = path.substr(0, path.rfind('/'));
  std::string realParent = realFolder(parent.empty() ? "/" : parent);
  if (realBase.empty() || realParent.empty()) return false;
  return realParent == realBase || under(realParent, realBase);
}

int runUninstall(sPkgUninstallContext& ctx, cUninstallHost& host) {
  if (!ctx.id.ptr || !*ctx.id.ptr) return unNotInstalled;
  int lang = chooseLanguage(ctx, host);
  if (lang != unDone) return lang;
  if (hasRecord(ctx)) return recordRoad(ctx, host);
  return registrationRoad(ctx, host);
}
