#include "tamsivarapp/uninstall.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

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

void readList(sPkgUninstallContext& ctx, const char* countKey, const char* name, std::vector<std::string>& out,
              bool inBase) {
  unsigned long long count = 0;
  if (!ctx.config->getParamInt(recordKey(ctx, countKey).c_str(), count)) return;
  if (count > kMaxEntries) count = kMaxEntries;
  for (unsigned long long i = 0; i < count; ++i) {
    _guardchar<char> path;
    if (!ctx.config->getParamStr(recordKey(ctx, name + std::to_string(i)).c_str(), path) || !path.ptr) continue;
    if (!isRegularFile(path.ptr)) continue;
    if (inBase ? !ownedBy(path.ptr, ctx.base) && !placedOutside(path.ptr)
               : hasDotSteps(path.ptr) || path.ptr[0] != '/')
      continue;
    out.emplace_back(path.ptr);
  }
}

void deregister(const char* id) {
  if (!OSDeregisterPackage(id, false)) OSDeregisterPackage(id, true);
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
  readList(ctx, "files", "file", ctx.files, true);
  readList(ctx, "shortc", "shortc", ctx.shortcuts, false);
  if (!host.confirm(kAskRemove)) return unCancelled;
  _guardchar<char> side;
  for (size_t i = 0; i < ctx.files.size(); ++i) {
    sideName(ctx.files[i].c_str(), ".bkp", side);
    while (!moveFileClean(ctx.files[i].c_str(), side.ptr)) {
      if (!host.askRelease(ctx.files[i].c_str())) continue;
      for (size_t j = 0; j < i; ++j) {
        sideName(ctx.files[j].c_str(), ".bkp", side);
        ::rename(side.ptr, ctx.files[j].c_str());
      }
      return unCancelled;
    }
  }
  for (const std::string& file : ctx.files) {
    sideName(file.c_str(), ".bkp", side);
    rmFileClean(side.ptr, ctx.base.c_str());
  }
  // A shortcut sits in a shared folder such as the desktop: the file goes,
  // its folder stays.
  for (const std::string& shortcut : ctx.shortcuts) ::unlink(shortcut.c_str());
  deregister(ctx.id.ptr);
  ctx.config->removeSection((std::string("install/") + ctx.id.ptr).c_str());
  return ctx.config->saveConfig() ? unDone : unInternal;
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
