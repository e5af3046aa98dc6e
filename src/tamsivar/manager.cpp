#include "tamsivar/manager.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "base/conproc.h"
#include "base/folder.h"
#include "ciom/application.h"
#include "ciom/liblang.h"
#include "tamsivar/plainpath.h"

const unsigned char (&_tamsivarNames)[gTamsivarLangBlockSize_names] = gTamsivarLangBlock_names;
cCiomLang ci_tamsivarNames;
cStartCheckUpdatesJob gThisAppUpdateChecker;

namespace {

cCiomLangData* gNamesSection = nullptr;

constexpr const char* kDefaultName = "ZVK Software Manager";

// A word the shell takes as one argument whatever it holds: single quotes,
// and each quote inside closed, escaped and reopened.
std::string shellWord(const char* text) {
  std::string word = "'";
  for (const char* p = text; *p; ++p) word += *p == '\'' ? std::string("'\\''") : std::string(1, *p);
  return word + "'";
}

std::string homeFolder() {
  _guardchar<char> home;
  if (cFolderContents::getHome(home) && home.ptr && *home.ptr) return home.ptr;
  const passwd* user = getpwuid(getuid());
  return user && user->pw_dir ? user->pw_dir : "";
}

unsigned int todayStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<unsigned int>(((local.tm_year + 1900) * 12 + local.tm_mon + 1) * 31 + local.tm_mday);
}

cApplicationConfig* appConfig() {
  cCIApplication* app = cCIApplication::appRef();
  return app ? app->config() : nullptr;
}

}  // namespace

char* tamsivarName(int index) {
  if (!gNamesSection) {
    if (!loadCiomLangData(_tamsivarNames, gTamsivarLangBlockSize_names, ci_tamsivarNames)) return nullptr;
    gNamesSection = ci_tamsivarNames.sections.find(cStringKey("names", -1));
    if (!gNamesSection) return nullptr;
  }
  return gNamesSection->string(index);
}

std::vector<std::string> appManagerPaths() {
  eCIOMStdLangs lang = cLibLang::appliedLang();
  const int current = lang == eLangJPN ? 1 : lang == eLangKOR ? 2 : 0;
  std::vector<std::string> paths;
  for (int index : {current, 0, 1, 2}) {
    const char* name = tamsivarName(index);
    // Spelled plainly, as the packages' records are.
    std::string path =
        plainPath(homeFolder()) + "/Applications/" + (name ? name : kDefaultName) + ".app/Contents/MacOS/Tamsivar";
    if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
  }
  return paths;
}

bool getAppManagerPath(_guardchar<char>& out) {
  // The manager installed under another language's name is still the
  // manager: a language change must not give the user a second one.
  const std::vector<std::string> paths = appManagerPaths();
  const std::string* chosen = &paths.front();
  for (const std::string& path : paths)
    if (cFolderContents::objtype(path.c_str()) == fotFile) {
      chosen = &path;
      break;
    }
  out.set(chosen->c_str());
  return true;
}

int cStartCheckUpdatesJob::job() {
  execCmd(command.ptr);
  return 0;
}

bool autoCheckUpdates(const char* codename) {
  if (!codename || !*codename || gThisAppUpdateChecker.runs()) return false;
  _guardchar<char> manager;
  getAppManagerPath(manager);
  if (cFolderContents::objtype(manager.ptr) != fotFile) return false;
  cApplicationConfig* config = appConfig();
  std::string key = std::string("updates/") + codename;
  unsigned int today = todayStamp();
  if (config && static_cast<unsigned int>(config->getParamInt32(key.c_str())) == today) return true;
  // Both texts reach the shell quoted: a codename is one argument, never a command.
  std::string command = shellWord(manager.ptr) + " update " + shellWord(codename) + " quite";
  gThisAppUpdateChecker.command.set(command.c_str());
  if (!gThisAppUpdateChecker.start()) return false;
  if (config) {
    config->setParamInt32(key.c_str(), static_cast<int>(today));
    config->saveConfig();
  }
  return true;
}
