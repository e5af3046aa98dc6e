#include "tamsivarapp/installrecord.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "base/conproc.h"
#include "base/folder.h"
#include "ciom/ciappconfig.h"
#include "tamsivar/oshooks.h"
#include "tamsivar/plainpath.h"
#include "tamsivarapp/installfiles.h"

namespace {

std::string key(const char* section, const char* name) { return std::string(section) + "/" + name; }

std::string indexed(const char* section, const char* name, int i) {
  return key(section, name) + std::to_string(i);
}

void setText(cApplicationConfig* config, const std::string& k, const char* text) {
  config->setParamStr(k.c_str(), text ? text : "", -1);
}

constexpr long long kNsPerSec = 1000000000;

// The moment a record is saved at, on the coarse clock the kernel stamps a
// folder's birth with. That clock lags the precise one by up to a tick, and
// a birth may be stamped from the precise clock of a moment before: the
// stamp is the first coarse time past the precise time at entry, so every
// folder born before the call is older than it, and none born after it.
// The wait is bounded, in case the clock is set back meanwhile.
timespec saveStamp() {
  timespec entry{}, now{};
  ::clock_gettime(CLOCK_REALTIME, &entry);
  for (int naps = 0;; ++naps) {
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    if (now.tv_sec > entry.tv_sec || (now.tv_sec == entry.tv_sec && now.tv_nsec > entry.tv_nsec) || naps == 500)
      return now;
    const timespec nap{0, 200000};
    ::nanosleep(&nap, nullptr);
  }
}

// A record listing more entries than this is not one this system wrote.
constexpr unsigned long long kMaxEntries = 1u << 22;

// An entry `name`N's identity goes beside it as `name`devN and `name`inoN,
// its birth time where known as `name`bornN and `name`bornnsN, else its
// generation where known as `name`genN.
void writeId(cApplicationConfig* config, const char* section, const std::string& name, int n, const sFileId& id) {
  config->setParamInt64(indexed(section, (name + "dev").c_str(), n).c_str(), static_cast<long long>(id.dev));
  config->setParamInt64(indexed(section, (name + "ino").c_str(), n).c_str(), static_cast<long long>(id.ino));
  if (id.hasGen) config->setParamInt64(indexed(section, (name + "gen").c_str(), n).c_str(), id.gen);
  if (!id.born) return;
  config->setParamInt64(indexed(section, (name + "born").c_str(), n).c_str(), id.bornSec);
  config->setParamInt64(indexed(section, (name + "bornns").c_str(), n).c_str(), id.bornNsec);
}

// Without both birth keys, or with a value no file system gives, and
// without a generation, the entry is matched by device and inode, as a
// record of an earlier build is.
void readBorn(cApplicationConfig* config, const char* section, const std::string& name, int n, sFileId& id) {
  unsigned long long sec = 0, nsec = 0, gen = 0;
  if (config->getParamInt(indexed(section, (name + "born").c_str(), n).c_str(), sec) &&
      config->getParamInt(indexed(section, (name + "bornns").c_str(), n).c_str(), nsec) && nsec < 1000000000ull) {
    id.born = true;
    id.bornSec = static_cast<long long>(sec);
    id.bornNsec = static_cast<unsigned>(nsec);
  }
  if (config->getParamInt(indexed(section, (name + "gen").c_str(), n).c_str(), gen) && gen <= 0xffffffffull) {
    id.hasGen = true;
    id.gen = static_cast<unsigned>(gen);
  }
}

// Calls `each` with the index and the plain path of every entry `name`0
// to `name`N-1 that reads; N is read from `countKey`.
template <typename F>
void forEachEntry(cApplicationConfig* config, const char* section, const char* countKey, const char* name, F each) {
  unsigned long long count = 0;
  if (!config || !config->getParamInt(key(section, countKey).c_str(), count)) return;
  for (unsigned long long i = 0; i < count && i < kMaxEntries; ++i) {
    _guardchar<char> path;
    if (config->getParamStr(indexed(section, name, static_cast<int>(i)).c_str(), path) && path.ptr && *path.ptr)
      each(static_cast<int>(i), plainPath(path.ptr));
  }
}

// A store without a folder refuses each write and still saves: only what
// reads back after the save was recorded.
bool readsBack(cApplicationConfig* view, const char* section, const char* managerPath) {
  unsigned long long lang = 0;
  _guardchar<char> manager;
  return view->hasSection(section) && view->getParamInt("lang/current", lang) &&
         (!managerPath ||
          (view->getParamStr("installer/app", manager) && manager.ptr && std::strcmp(manager.ptr, managerPath) == 0));
}

// One pass of removing, writing and saving through one view of the store.
bool writeAndSave(cApplicationConfig* view, sPkgInstallContext* context, const char* section,
                  const char* managerPath, const char* managerShortcut, const sRecordExtras* extras) {
  view->removeSection(section);
  ctxToConfig(context, view, section);
  if (extras) {
    int count = 0;
    for (auto* f = context->files.head; f; f = f->next) ++count;
    for (const std::string& file : extras->files) setText(view, indexed(section, "file", count++), file.c_str());
    view->setParamInt32(key(section, "files").c_str(), count);
    writeSideMark(view, section, extras->sides);
  }
  if (managerShortcut) view->setParamStr("installer/shortcut", managerShortcut, -1);
  if (managerPath) view->setParamStr("installer/app", managerPath, -1);
  return view->saveConfig() && readsBack(view, section, managerPath);
}

}  // namespace

void recordSection(const char* recordName, _guardchar<char>& out) {
  std::string made = std::string("install/") + (recordName ? recordName : "");
  out.set(made.c_str());
}

void ctxToConfig(sPkgInstallContext* context, cApplicationConfig* config, const char* section) {
  cSoftPkgScenario& scen = *context->scenario;
  config->setParamInt64(key(section, "ver").c_str(), static_cast<long long>(context->version));
  config->setParamInt16(key(section, "lang").c_str(), scen.currLangID());
  config->setParamInt16("lang/current", scen.currLangID());
  // Spelled as the files are, so that the uninstaller finds them below it.
  const char* folder = scen.getStr("pgm");
  setText(config, key(section, "path"), folder ? plainPath(folder).c_str() : nullptr);
  if (!context->folderReal.empty()) setText(config, key(section, "pathreal"), context->folderReal.c_str());
  if (context->folderMount) config->setParamInt16(key(section, "pathmount").c_str(), *context->folderMount ? 1 : 0);
  setText(config, key(section, "name"), scen.getStr("name"));
  setText(config, key(section, "updates"), scen.updatesURL());
  setText(config, key(section, "support"), scen.supportURL());
  setText(config, key(section, "publisher"), scen.publisherURL());
  _guardchar<char> icon;
  // A scenario without an icon resolves to an empty path.
  if (scen.getIconPath(icon) && icon.ptr && *icon.ptr) setText(config, key(section, "icon"), icon.ptr);
  // "utime" stays whole seconds in 32 bits, as earlier builds read it.
  const timespec saved = saveStamp();
  config->setParamInt32(key(section, "utime").c_str(), static_cast<int>(static_cast<unsigned int>(saved.tv_sec)));
  config->setParamInt64(key(section, "utimens").c_str(), saved.tv_sec * kNsPerSec + saved.tv_nsec);
  int count = 0;
  for (auto* f = context->files.head; f; f = f->next) {
    const char* path = f->value.path.ptr;
    const auto placed = context->placedIn.find(path ? path : "");
    if (placed != context->placedIn.end()) setText(config, indexed(section, "filereal", count), placed->second.c_str());
    setText(config, indexed(section, "file", count++), path);
  }
  config->setParamInt32(key(section, "files").c_str(), count);
  count = 0;
  for (auto* s = context->newShortcuts.head; s; s = s->next) setText(config, indexed(section, "shortc", count++), s->value.ptr);
  config->setParamInt32(key(section, "shortc").c_str(), count);
  _List<cSoftPkgScenario::sOnCompletionRun> runs;
  scen.getOnCompletionRun(runs);
  count = 0;
  for (auto* r = runs.head; r; r = r->next) {
    auto& run = r->value;
    if (!run.program.ptr || !*run.program.ptr || !run.caption.ptr || !*run.caption.ptr) continue;
    setText(config, indexed(section, "cplns", count), run.caption.ptr);
    setText(config, indexed(section, "cplcs", count), runCommandLine(run.program.ptr, run.arguments.ptr).c_str());
    ++count;
  }
  runs.destroy();
}

std::optional<sSaveTime> readRecordTime(cApplicationConfig* config, const char* section) {
  unsigned long long seconds = 0, stamp = 0;
  if (!config || !config->getParamInt(key(section, "utime").c_str(), seconds)) return std::nullopt;
  // Written as the 32 bits of an unsigned count of seconds.
  sSaveTime saved{static_cast<long long>(seconds & 0xffffffffull)};
  // The precise stamp counts only where it tells the same second: an
  // earlier build that rewrote "utime" alone left one of another save.
  if (config->getParamInt(key(section, "utimens").c_str(), stamp) &&
      stamp / kNsPerSec == static_cast<unsigned long long>(saved.sec)) {
    saved.fine = true;
    saved.nsec = static_cast<unsigned>(stamp % kNsPerSec);
  }
  return saved;
}

namespace {

// A resolved folder as recorded; empty where none was, or where it is no
// path from the root.
std::string readReal(cApplicationConfig* config, const std::string& k) {
  _guardchar<char> real;
  if (!config || !config->getParamStr(k.c_str(), real) || !real.ptr || real.ptr[0] != '/') return {};
  return real.ptr;
}

// An earlier build recorded a folder by the device and inode numbers it
// had, links followed, when made, under `name`dev and `name`ino (indexed
// by `n` when not negative): while the folder at `folder` still has them,
// it is that folder, wherever links lead the path to it now.
std::string realByEarlierId(cApplicationConfig* config, const char* section, const std::string& name, int n,
                            const std::string& folder) {
  const auto named = [&](const char* what) {
    return n < 0 ? key(section, (name + what).c_str()) : indexed(section, (name + what).c_str(), n);
  };
  unsigned long long dev = 0, ino = 0;
  if (folder.empty() || !config->getParamInt(named("dev").c_str(), dev) ||
      !config->getParamInt(named("ino").c_str(), ino))
    return {};
  const sFileId was{static_cast<dev_t>(dev), static_cast<ino_t>(ino)};
  return was.known() ? resolvedFolder(folder, was) : std::string();
}

}  // namespace

std::string readFolderReal(cApplicationConfig* config, const char* section) {
  std::string real = readReal(config, key(section, "pathreal"));
  _guardchar<char> folder;
  if (real.empty() && config && config->getParamStr(key(section, "path").c_str(), folder) && folder.ptr &&
      folder.ptr[0] == '/')
    real = realByEarlierId(config, section, "path", -1, plainPath(folder.ptr));
  return real;
}

std::optional<bool> readFolderMount(cApplicationConfig* config, const char* section) {
  unsigned long long mount = 0, version = 0;
  if (!config) return std::nullopt;
  if (config->getParamInt(key(section, "pathmount").c_str(), mount) && mount <= 1) return mount == 1;
  // What the record does not say is never read from what is there now: a
  // file system on the folder is taken as mounted since, so nothing on it
  // is the package's.
  if (config->getParamInt(key(section, "ver").c_str(), version)) return false;
  return std::nullopt;
}

cCIAppConfig* recordStore(cApplicationConfig* config) {
  if (auto* full = dynamic_cast<cCIAppFullConfig*>(config)) return full->global();
  return dynamic_cast<cCIAppConfig*>(config);
}

void clearStoreTrouble(cApplicationConfig* config) {
  if (cCIAppConfig* store = recordStore(config)) store->clearTrouble();
}

void nameStoreCopies(cApplicationConfig* config, std::vector<sKeptFile>& kept) {
  if (const cCIAppConfig* store = recordStore(config))
    for (const std::string& copy : store->keptCopies())
      // A copy the run named already, kept before it wrote, is named once.
      if (std::none_of(kept.begin(), kept.end(), [&copy](const sKeptFile& k) { return k.path == copy; }))
        kept.push_back({copy, kKeptStoreCopy});
}

std::string storeTrouble(cApplicationConfig* config, int err) {
  cCIAppConfig* store = recordStore(config);
  if (store && store->folderPath()) {
    const int first = store->trouble() ? store->trouble() : err;
    // A save that found the store's lock held past its wait: the system's
    // words for that would not say who holds it.
    const char* why = first == EWOULDBLOCK ? "another run keeps it locked" : first ? std::strerror(first) : nullptr;
    return why ? std::string(store->folderPath()) + ": " + why : store->folderPath();
  }
  _guardchar<char> home;
  if (!cFolderContents::getHome(home) || !home.ptr) return err ? std::strerror(err) : std::string();
  const std::string where = std::string(home.ptr) + "/." + kRecordStore;
  // The store is never placed by the working folder, which changes
  // between runs: such a home has no store at all, and the form that
  // tells of it gives the reason in the user's language.
  if (home.ptr[0] != '/') return where;
  return err ? where + ": " + std::strerror(err) : where;
}

std::map<std::string, std::string> readPlacedIn(cApplicationConfig* config, const char* section) {
  std::map<std::string, std::string> out;
  forEachEntry(config, section, "files", "file", [&](int n, const std::string& path) {
    std::string real = readReal(config, indexed(section, "filereal", n));
    if (real.empty()) real = realByEarlierId(config, section, "file", n, parentOf(path));
    if (!real.empty()) out[path] = std::move(real);
  });
  return out;
}

std::string sideOwner(const std::string& side) {
  for (const char* suffix : {".bkp.tmp", ".bkp", ".tmp"})
    if (side.ends_with(suffix)) return side.substr(0, side.size() - std::strlen(suffix));
  const size_t tmp = side.rfind(".tmp");
  return tmp == std::string::npos ? side : side.substr(0, tmp);
}

bool openRecordFolder(cApplicationConfig* config) {
  auto* full = dynamic_cast<cCIAppFullConfig*>(config);
  if (!full || full->global()->hasFolder()) return true;
  _guardchar<char> home;
  if (!cFolderContents::getHome(home) || !home.ptr || home.ptr[0] != '/') return false;
  const std::string folder = std::string(home.ptr) + "/." + kRecordStore;
  errno = 0;
  if (!checkPathRecursive(folder.c_str())) {
    // Something other than a folder under the store's name fails without
    // a call that says why; the system's word for it is this one.
    if (!errno && cFolderContents::objtype(folder.c_str()) != fotNone) errno = ENOTDIR;
    return false;
  }
  return full->openConfig(kRecordStore);
}

bool saveInstallRecord(sPkgInstallContext* context, cApplicationConfig* config, const char* managerPath,
                       const char* managerShortcut, bool* throughGlobal, const sRecordExtras* extras) {
  if (!config) return false;
  _guardchar<char> section;
  recordSection(context->recordName.ptr, section);
  clearStoreTrouble(config);
  if (auto* full = dynamic_cast<cCIAppFullConfig*>(config)) {
    if (writeAndSave(full->global(), context, section.ptr, managerPath, managerShortcut, extras)) {
      if (throughGlobal) *throughGlobal = true;
      return true;
    }
    full->discardChanges();
  }
  if (throughGlobal) *throughGlobal = false;
  return writeAndSave(config, context, section.ptr, managerPath, managerShortcut, extras);
}

namespace {

// Drops the entries `name`0 to `name`N-1 and their count `countKey`.
void dropEntries(cApplicationConfig* config, const char* section, const char* countKey, const char* name) {
  unsigned long long old = 0;
  if (config->getParamInt(key(section, countKey).c_str(), old))
    for (unsigned long long i = 0; i < old && i < kMaxEntries; ++i)
      config->removeSection(indexed(section, name, static_cast<int>(i)).c_str());
  config->removeSection(key(section, countKey).c_str());
}

}  // namespace

std::vector<std::string> readFileList(cApplicationConfig* config, const char* section) {
  std::vector<std::string> files;
  forEachEntry(config, section, "files", "file", [&](int, const std::string& file) { files.push_back(file); });
  return files;
}

sSavedRecord readSavedRecord(cApplicationConfig* config, const char* section) {
  sSavedRecord saved;
  cCIAppConfig* store = recordStore(config);
  // A store without a folder from the root keeps nothing.
  const char* folder = store ? store->folderPath() : nullptr;
  cCIAppConfig disk;
  if (!folder || folder[0] != '/' || !disk.openConfig(folder)) return saved;
  saved.opened = true;
  saved.present = disk.hasSection(section);
  saved.versioned = disk.getParamInt(key(section, "ver").c_str(), saved.version);
  saved.files = readFileList(&disk, section);
  saved.sides = readSideMark(&disk, section);
  return saved;
}

void writeFileList(cApplicationConfig* config, const char* section, const std::vector<std::string>& files) {
  dropEntries(config, section, "files", "file");
  int count = 0;
  for (const std::string& file : files) setText(config, indexed(section, "file", count++), file.c_str());
  config->setParamInt32(key(section, "files").c_str(), count);
}

void keepOnlyFiles(cApplicationConfig* config, const char* section, const std::set<std::string>& keep) {
  struct sKept {
    std::string path, real;
    unsigned long long dev = 0, ino = 0;
    bool hasId = false;
  };
  std::vector<sKept> kept;
  unsigned long long old = 0;
  config->getParamInt(key(section, "files").c_str(), old);
  for (unsigned long long i = 0; i < old && i < kMaxEntries; ++i) {
    const int n = static_cast<int>(i);
    _guardchar<char> path;
    if (config->getParamStr(indexed(section, "file", n).c_str(), path) && path.ptr && keep.count(path.ptr)) {
      sKept& k = kept.emplace_back();
      k.path = path.ptr;
      k.real = readReal(config, indexed(section, "filereal", n));
      k.hasId = config->getParamInt(indexed(section, "filedev", n).c_str(), k.dev) &&
                config->getParamInt(indexed(section, "fileino", n).c_str(), k.ino);
    }
    for (const char* name : {"filereal", "filedev", "fileino"})
      config->removeSection(indexed(section, name, n).c_str());
  }
  dropEntries(config, section, "files", "file");
  dropEntries(config, section, "shortc", "shortc");
  int count = 0;
  for (const sKept& k : kept) {
    if (!k.real.empty()) setText(config, indexed(section, "filereal", count), k.real.c_str());
    if (k.hasId) {
      config->setParamInt64(indexed(section, "filedev", count).c_str(), static_cast<long long>(k.dev));
      config->setParamInt64(indexed(section, "fileino", count).c_str(), static_cast<long long>(k.ino));
    }
    setText(config, indexed(section, "file", count++), k.path.c_str());
  }
  config->setParamInt32(key(section, "files").c_str(), count);
}

tSideMark readSideMark(cApplicationConfig* config, const char* section) {
  tSideMark out;
  forEachEntry(config, section, "sides", "side", [&](int n, const std::string& side) {
    unsigned long long dev = 0, ino = 0;
    if (!config->getParamInt(indexed(section, "sidedev", n).c_str(), dev) ||
        !config->getParamInt(indexed(section, "sideino", n).c_str(), ino)) {
      if (const sFileId now = ownIdAt(AT_FDCWD, side); now.known()) out[side] = now;
      return;
    }
    if (!dev && !ino) return;
    sFileId& id = out[side] = {static_cast<dev_t>(dev), static_cast<ino_t>(ino)};
    readBorn(config, section, "side", n, id);
  });
  return out;
}

void writeSideMark(cApplicationConfig* config, const char* section, const tSideMark& sides) {
  unsigned long long old = 0;
  if (config->getParamInt(key(section, "sides").c_str(), old))
    for (unsigned long long i = 0; i < old && i < kMaxEntries; ++i)
      for (const char* name : {"sidedev", "sideino", "sideborn", "sidebornns", "sidegen"})
        config->removeSection(indexed(section, name, static_cast<int>(i)).c_str());
  dropEntries(config, section, "sides", "side");
  addSideMark(config, section, sides);
}

void addSideMark(cApplicationConfig* config, const char* section, const tSideMark& sides) {
  if (sides.empty()) return;
  unsigned long long old = 0;
  config->getParamInt(key(section, "sides").c_str(), old);
  int count = static_cast<int>(old < kMaxEntries ? old : kMaxEntries);
  for (const auto& [side, id] : sides) {
    // No birth time or generation read from an earlier entry under this
    // number.
    if (!id.born)
      for (const char* name : {"sideborn", "sidebornns"}) config->removeSection(indexed(section, name, count).c_str());
    if (!id.hasGen) config->removeSection(indexed(section, "sidegen", count).c_str());
    writeId(config, section, "side", count, id);
    setText(config, indexed(section, "side", count++), side.c_str());
  }
  config->setParamInt32(key(section, "sides").c_str(), count);
}

bool isSideMade(const cHeldFolder& folder, const std::string& name, const sFileId& id) {
  return id.known() && folder.idAt(name) == id;
}

bool getPackageRemovalCommandLine(cApplicationConfig* config, const char* id, int& major,
                                  _guardchar<char>& command) {
  if (config) {
    if (!id || !*id) return false;
    std::string base = std::string("install/") + id;
    unsigned long long ver = 0;
    _guardchar<char> app;
    if (config->getParamInt((base + "/ver").c_str(), ver) && config->getParamStr("installer/app", app) && app.ptr &&
        cFolderContents::objtype(app.ptr) == fotFile) {
      command.set((std::string("\"") + app.ptr + "\" uninstall \"" + id + "\"").c_str());
      major = static_cast<int>(ver >> 48);
      return true;
    }
  }
  int version[4] = {};
  if (!OSGetRegistedVersion(id, version, &command, nullptr, false) &&
      !OSGetRegistedVersion(id, version, &command, nullptr, true))
    return false;
  major = version[0];
  return true;
}

bool getInstalledPackageName(cApplicationConfig* config, const char* id, _guardchar<char>& name) {
  if (config) {
    if (!id || !*id) return false;
    if (config->getParamStr((std::string("install/") + id + "/name").c_str(), name) && name.ptr) return true;
  }
  _guardchar<char> ignored;
  int version[4] = {};
  return OSGetRegistedVersion(id, version, &ignored, &name, false) ||
         OSGetRegistedVersion(id, version, &ignored, &name, true);
}

namespace {

// What stands at a store's path that is not a regular file, as the user
// reads it.
std::string notAFile(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return std::strerror(errno);
  const char* what = S_ISDIR(st.st_mode)                           ? "a folder"
                     : S_ISLNK(st.st_mode)                         ? "a symbolic link"
                     : S_ISFIFO(st.st_mode)                        ? "a FIFO"
                     : S_ISSOCK(st.st_mode)                        ? "a socket"
                     : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                                                                   : "no regular file";
  return std::string(what) + ", not a file of records";
}

// The path of the store's file that holds `section`.
std::string hiveOf(const cCIAppConfig* store, const char* section) {
  const char* slash = std::strchr(section, '/');
  const std::string name = slash ? std::string(section, static_cast<size_t>(slash - section)) : section;
  return std::string(store->folderPath() ? store->folderPath() : "") + "/" + name;
}

// How the store's file holds `section`; where it is there but could not
// be read, or is no regular file, `why` names it and why.
cCIAppConfig::eKeyRead readOf(cCIAppConfig* store, const char* section, std::string& why) {
  int err = 0;
  const cCIAppConfig::eKeyRead read = store->keyRead(section, err);
  if (read == cCIAppConfig::krUnread || read == cCIAppConfig::krNotFile) {
    const std::string hive = hiveOf(store, section);
    why = hive + ": " + (read == cCIAppConfig::krNotFile ? notAFile(hive) : std::strerror(err));
  }
  return read;
}

}  // namespace

bool storeUnread(cApplicationConfig* config, const char* section, std::string& why) {
  why.clear();
  cCIAppConfig* store = recordStore(config);
  if (store && section) readOf(store, section, why);
  return !why.empty();
}

eRecordRead recordRead(cApplicationConfig* config, const char* section, std::string& why) {
  why.clear();
  cCIAppConfig* store = recordStore(config);
  if (!store || !section) return rrRead;
  const cCIAppConfig::eKeyRead read = readOf(store, section, why);
  if (!why.empty()) return rrUnread;
  const char* slash = std::strchr(section, '/');
  const std::string name = slash ? std::string(section, static_cast<size_t>(slash - section)) : section;
  const std::string hive = hiveOf(store, section);
  unsigned long long n = 0;
  // Only the whole record of an installation holds the shortcuts and the
  // time, which the mark of a first installation under way never does,
  // and every whole record holds its version.
  const bool present = store->hasSection(section);
  const bool unversioned = read == cCIAppConfig::krRead && present &&
                           !store->getParamInt(key(section, "ver").c_str(), n) &&
                           (store->getParamInt(key(section, "utime").c_str(), n) ||
                            store->getParamInt(key(section, "shortc").c_str(), n));
  // Without a folder from the root that no ".." step leaves, an installed
  // package's record cannot tell its files from anybody else's.
  _guardchar<char> folder;
  const bool hasFolder = present && store->getParamStr(key(section, "path").c_str(), folder) && folder.ptr;
  const bool unfounded = read == cCIAppConfig::krRead && present &&
                         store->getParamInt(key(section, "ver").c_str(), n) &&
                         !(hasFolder && folder.ptr[0] == '/' && !hasDotSteps(plainPath(folder.ptr)));
  if (read != cCIAppConfig::krCut && !unversioned && !unfounded) return rrRead;
  // The file's bytes are kept, as a save keeps those of a file that does
  // not read whole, before any run writes the record anew: the record's
  // own are among them.
  errno = 0;
  why = store->keepHiveCopy(name.c_str());
  if (why.empty()) {
    why = hive + ": " + std::strerror(errno ? errno : EIO);
    return rrUnread;
  }
  if (hasFolder && *folder.ptr) why += std::string("\n") + folder.ptr;
  return unversioned ? rrUnversioned : unfounded ? rrUnfounded : rrCut;
}
