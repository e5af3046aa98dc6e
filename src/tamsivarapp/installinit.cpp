#include "tamsivarapp/installinit.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "base/folder.h"
#include "base/job.h"
#include "base/targets.h"
#include "tamsivar/oshooks.h"
#include "tamsivar/plainpath.h"
#include "tamsivarapp/heldpath.h"
#include "tamsivarapp/installfiles.h"
#include "tamsivarapp/installrecord.h"
#include "tamsivarapp/lang.h"

namespace {

std::string recordKey(sPkgInstallContext& ctx, const char* name) {
  return std::string("install/") + ctx.recordName.ptr + "/" + name;
}

bool fileDigest(const char* path, unsigned char (&out)[32]) {
  cFileIO in;
  return in.open(path, fmRead) && cSoftPkg::mkDigest(&in, out);
}

// The scenario inside an installer bundle, as "make" writes it.
std::string bundleScenario(const std::string& bundle) { return bundle + "/Contents/Resources/scenario.data"; }

// Finds the package: a scenario file or an installer bundle, also beside the
// program for "./name". A path that names neither is kept for the message.
bool resolvePackage(sPkgInstallContext& ctx) {
  const char* path = ctx.package.ptr;
  if (!path || !*path) return false;
  std::string found = path;
  int type = cFolderContents::objtype(path);
  if (type == fotNone && std::strncmp(path, "./", 2) == 0 && ctx.program.ptr) {
    if (const char* slash = std::strrchr(ctx.program.ptr, '/')) {
      found = std::string(ctx.program.ptr, static_cast<size_t>(slash + 1 - ctx.program.ptr)) + (path + 2);
      type = cFolderContents::objtype(found.c_str());
    }
  }
  if (type == fotFolder) {
    found = bundleScenario(found);
    type = cFolderContents::objtype(found.c_str());
  }
  if (type != fotFile) {
    ctx.problemPath.set(path);
    return false;
  }
  ctx.package.set(found.c_str());
  return true;
}

int loadScenario(sPkgInstallContext& ctx) {
  cFileIO in;
  if (!in.open(ctx.package.ptr, fmRead)) {
    ctx.problemPath.set(ctx.package.ptr);
    return iiBadPackagePath;
  }
  // A file that opens but holds no scenario where one should start is a
  // package that cannot be loaded, whatever else it holds.
  if (!in.set_fp(ctx.offset) || !startsBinScenario(in)) return iiBadPackage;
  if (!ctx.scenario) ctx.scenario = new cSoftPkgScenario;
  if (!in.set_fp(ctx.offset) || !ctx.scenario->loadBinConfig(&in)) return iiBadPackage;
  // The codename becomes the record's place in the configuration.
  const char* codename = ctx.scenario->getStr("codename");
  if (!isUsableCodename(codename)) return iiBadPackage;
  ctx.version = ctx.scenario->getVerID();
  if (ctx.version == ~0ULL) return iiBadPackage;
  ctx.codename.set(codename);
  // The configuration keeps UTF-8, the scenario's own character set.
  ctx.recordName.set(codename);
  return iiReady;
}

int chooseLanguage(sPkgInstallContext& ctx, cApplicationConfig* config, cInstallInitHost& host) {
  ctx.scenario->getSupportedLangs(ctx.langs);
  if (!ctx.langs.head) return iiBadPackage;
  int lang = ctx.langs.head->value;
  if (ctx.langs.head->next) {
    // The recorded language is offered only while the package still has
    // it: a version may drop one, and nothing can be shown in it then.
    unsigned long long stored = 0;
    if (config && config->getParamInt(recordKey(ctx, "lang").c_str(), stored))
      for (auto* it = ctx.langs.head; it; it = it->next)
        if (static_cast<unsigned long long>(it->value) == stored) lang = it->value;
    host.applyLang(lang);
    lang = host.chooseLang(ctx, lang);
    if (lang > 9) return iiLangCancelled;
  }
  host.applyLang(lang);
  ctx.scenario->setCurrLangID(lang);
  // A path without an absolute place would land, or run, where the
  // installer runs: the package is sound, the path is not.
  int line = 0;
  const char* section = "";
  const int bits = cJob::is64bitOS() ? 64 : 32;
  cSoftPkgScenario::sPathDef* relative = ctx.scenario->relativePath(bits, line, &section);
  if (!relative) return iiReady;
  // A base the language lacks leaves the rest to name it.
  _guardchar<char> path;
  const char* named = ctx.scenario->defToPath(*relative, path) && path.ptr ? path.ptr : relative->rest.ptr;
  ctx.problemPath.set((std::string(section) + " " + (named ? named : "")).c_str());
  // Only a language in which every path has its place is worth choosing
  // instead.
  for (auto* it = ctx.langs.head; it; it = it->next) {
    if (it->value == lang || !ctx.scenario->setCurrLangID(it->value)) continue;
    int at = 0;
    if (!ctx.scenario->relativePath(bits, at)) ctx.installableLangs.push_back(it->value);
  }
  ctx.scenario->setCurrLangID(lang);
  return iiRelativePath;
}

// Calls `each` with every listed path that names a regular file; a missing
// entry damages the record, a missing file is skipped and added to `gone`.
// Given `gone`, a file the system will not look at (behind a folder it
// will not open) is not gone: it cannot be read.
template <typename F>
int eachListed(sPkgInstallContext& ctx, cApplicationConfig* config, const char* name, unsigned long long count,
               F each, std::vector<std::string>* gone = nullptr) {
  for (unsigned long long i = 0; i < count; ++i) {
    _guardchar<char> path;
    if (!config->getParamStr(recordKey(ctx, (name + std::to_string(i)).c_str()).c_str(), path) || !path.ptr)
      return iiRecordDamaged;
    errno = 0;
    int type = cFolderContents::objtype(path.ptr);
    if (type == fotNone && gone && errno != ENOENT && errno != ENOTDIR) {
      ctx.fail(iiUnreadableFile, path.ptr);
      return iiUnreadableFile;
    }
    if (type == fotNone) {
      if (gone) gone->push_back(plainPath(path.ptr));
      continue;
    }
    if (type != fotFile) return iiRecordDamaged;
    if (int code = each(path.ptr)) return code;
  }
  return iiReady;
}

// Takes the record's installation folder for the run's while it is the
// folder this system made there.
int takeRecordedFolder(sPkgInstallContext& ctx, cApplicationConfig* config) {
  _guardchar<char> folder;
  // A folder named from elsewhere than the root, or through a ".." step,
  // is no folder this system can prove it made: one is chosen anew.
  if (!config->getParamStr(recordKey(ctx, "path").c_str(), folder) || !folder.ptr || folder.ptr[0] != '/' ||
      hasDotSteps(plainPath(folder.ptr)) || cFolderContents::objtype(folder.ptr) != fotFolder)
    return iiFolderGone;
  // A folder an older version recorded under another spelling is the same
  // folder.
  const std::string plain = plainPath(folder.ptr);
  ctx.scenario->setStr(-1, "pgm", plain.c_str());
  ctx.installedFolder.set(plain.c_str());
  // The recorded path now resolving elsewhere than where the folder this
  // system made did (a link put in its place): nothing there is the
  // package's.
  _guardchar<char> section;
  recordSection(ctx.recordName.ptr, section);
  ctx.folderReal = readFolderReal(config, section.ptr);
  ctx.folderMount = readFolderMount(config, section.ptr);
  ctx.placedIn = readPlacedIn(config, section.ptr);
  int err = 0;
  const cHeldFolder::eWay way = anchorWay(plain, {true, ctx.folderReal, ctx.folderMount}, err);
  if (way != cHeldFolder::held) {
    // A file system mounted over the folder since, or the one it was made
    // on unmounted since, is named as such: the user unmounts or mounts it
    // rather than looks for a stray file.
    if (way == cHeldFolder::mounted) ctx.kept.push_back({plain, kKeptMounted});
    if (way == cHeldFolder::unmounted) ctx.kept.push_back({plain, kKeptUnmounted});
    ctx.fail(iiForeignFile, plain.c_str());
    return iiForeignFile;
  }
  return iiReady;
}

// A listed file of the previous installation, as the package's targets
// are compared with it. An earlier build wrote the entries as the folder
// was typed ("//", "/./"): they are taken as those are spelled, plainly.
static int takeListed(sPkgInstallContext& ctx, const char* path) {
  const std::string plain = plainPath(path);
  cStringKey key(plain.c_str(), -1);
  sExistingFileItem* item = ctx.existing.find(key) ? nullptr : ctx.existing.insert(key);
  if (!item) return iiRecordDamaged;
  item->path.set(plain.c_str());
  if (fileDigest(path, item->digest)) return iiReady;
  ctx.fail(iiUnreadableFile, path);
  return iiUnreadableFile;
}

int readPrevious(sPkgInstallContext& ctx, cApplicationConfig* config) {
  if (ctx.installedVersion > ctx.version) return iiNewerInstalled;
  if (int code = takeRecordedFolder(ctx, config)) return code;
  unsigned long long count = 0;
  if (!config->getParamInt(recordKey(ctx, "files").c_str(), count) || !count) return iiRecordDamaged;
  int code = eachListed(ctx, config, "file", count, [&ctx](const char* path) { return takeListed(ctx, path); },
                        &ctx.listedGone);
  if (code) return code;
  count = 0;
  config->getParamInt(recordKey(ctx, "shortc").c_str(), count);
  return eachListed(ctx, config, "shortc", count, [&ctx](const char* path) {
    cStringKey key(path, -1);
    _guardchar<char>* item = ctx.oldShortcuts.find(key) ? nullptr : ctx.oldShortcuts.insert(key);
    if (!item) return static_cast<int>(iiRecordDamaged);
    item->set(path);
    return static_cast<int>(iiReady);
  });
}

int checkNewFile(sPkgInstallContext& ctx, cSoftPkgScenario::sCopiedFile& f) {
  ctx.problemPath.set(f.path.ptr);
  int type = cFolderContents::objtype(f.path.ptr);
  if (type == fotFile) {
    unsigned char digest[32];
    if (!fileDigest(f.path.ptr, digest)) return iiUnreadableFile;
    return std::memcmp(digest, f.digest, 32) == 0 ? iiReady : iiForeignFile;
  }
  if (type != fotNone) return iiSpecialObject;
  switch (isPossibleInstallPath(f.path.ptr)) {
    case 0:
      ctx.problemPath.set(nullptr);
      return iiReady;
    case 3:
      return iiNoWriteRight;
    case 2:
      return iiSpecialObject;
    default:
      return iiUnusableTarget;
  }
}

// Replacing a file takes its folder too: the new copy is made beside it and
// renamed over it.
bool folderWritable(const char* path) {
  _guardchar<char> folder;
  return stripLastComponent(path, folder) && folder.ptr && *folder.ptr && cFolderContents::canWrite(folder.ptr);
}

}  // namespace

// A file of the previous installation placed outside its folder is still the
// package's where its path resolves to the folder it was written into,
// whatever links it passes, or, recorded by an earlier build, where its
// folder is no link, as the uninstaller holds: one a link put in its
// folder's place now reaches is another's, never to be replaced.
static bool replaceable(const sPkgInstallContext& ctx, const std::string& path) {
  const char* folder = ctx.installedFolder.ptr;
  if (folder && *folder == '/' && under(path, folder) && !hasDotSteps(path)) return true;
  const auto placed = ctx.placedIn.find(path);
  cHeldFolder held;
  return held.hold(parentOf(path), path, nullptr, {true, placed != ctx.placedIn.end() ? placed->second : ""});
}

int compareFiles(sPkgInstallContext& ctx, const std::function<bool(double)>& goOn) {
  _guardchar<char> blocker;
  if (!ctx.scenario->getCopiedFiles(ctx.files, &blocker)) {
    // A link in the folder is in the way; the package is not damaged.
    if (!blocker.ptr) return iiBadPackage;
    ctx.fail(iiSpecialObject, blocker.ptr);
    return iiSpecialObject;
  }
  if (!ctx.files.head) return iiBadPackage;
  unsigned long long count = 0, done = 0;
  for (auto* it = ctx.files.head; it; it = it->next) ++count;
  bool work = false;
  for (auto* it = ctx.files.head; it; it = it->next) {
    if (goOn && !goOn(100.0 * static_cast<double>(done++) / static_cast<double>(count))) return iiStopped;
    auto& f = it->value;
    unsigned char digest[32];
    if (!ctx.scenario->digest(static_cast<int>(f.index), digest)) return iiBadPackage;
    if (auto* old = ctx.existing.find(cStringKey(f.path.ptr, -1))) {
      old->kept = 1;
      if (std::memcmp(old->digest, digest, 32) == 0) {
        f.perms[2] = kFileUnchanged;
      } else if (!replaceable(ctx, f.path.ptr)) {
        ctx.fail(iiForeignFile, f.path.ptr);
        return iiForeignFile;
      } else if (!cFolderContents::canWrite(f.path.ptr) || !folderWritable(f.path.ptr)) {
        ctx.fail(iiNoWriteRight, f.path.ptr);
        return iiNoWriteRight;
      }
    } else if (int code = checkNewFile(ctx, f)) {
      return code;
    }
    work = work || sPkgInstallContext::changed(f);
  }
  // So is a listed file this version does not hold: a run of this version
  // cut short, or whose store failed, before it dropped it left it listed.
  using tExisting = decltype(ctx.existing);
  for (auto* it = ctx.existing.root ? tExisting::leftmost(ctx.existing.root) : nullptr; it && !work;
       it = tExisting::next(it))
    work = !it->value.kept;
  // Identical files under another version still rewrite the record, so an
  // upgrade that changed no byte is not stuck at the old version. So does a
  // record naming a file that is gone: a run of this version cut short
  // between removing the files it dropped and saving the list without them
  // leaves one, and a file someone later puts at such a name must never be
  // taken for the package's.
  if (!work && ctx.listedGone.empty() && ctx.installedVersion == ctx.version) return iiNothingToDo;
  return iiReady;
}

namespace {

void findSuperseded(sPkgInstallContext& ctx, cApplicationConfig* config) {
  _List<cSoftPkgScenario::sDeprecateItem> list;
  ctx.scenario->getDepractesList(list);
  for (auto* it = list.head; it; it = it->next) {
    int major = 0;
    _guardchar<char> command, name;
    const char* id = it->value.codename.ptr;
    // Its own earlier version is upgraded in place under this run's lock,
    // which an uninstall of it started from here would wait for.
    if (id && ctx.recordName.ptr && std::strcmp(id, ctx.recordName.ptr) == 0) continue;
    if (!getPackageRemovalCommandLine(config, id, major, command) || !command.ptr) continue;
    if (it->value.version != 0xFFFF && it->value.version != major) continue;
    if (!getInstalledPackageName(config, id, name) || !name.ptr) continue;
    sPackageForRemoval& made = ctx.removals.add()->value;
    made.name.set(name.ptr);
    made.command.set(command.ptr);
    made.selected = 1;
  }
  list.destroy();
}

}  // namespace

// Whether the record marks a file by its identity: a run ends leaving no
// mark, so one cut short left a file to remove or, the file gone, a mark
// that only a new save of the record drops.
static bool marksLeft(const sPkgInstallContext& ctx, cApplicationConfig* config) {
  _guardchar<char> section;
  recordSection(ctx.recordName.ptr, section);
  return !readSideMark(config, section.ptr).empty();
}

// What a damaged record could still list of its files, once its folder is
// taken as the one made, is what any version replaces, as an upgrade
// does: a version whose bytes differ is no file in the way. Nothing else
// of the record is trusted, so a listed file this version does not write
// is never removed, and an entry that did not read is no file.
static int takeDamagedList(sPkgInstallContext& ctx, cApplicationConfig* config) {
  _guardchar<char> section;
  recordSection(ctx.recordName.ptr, section);
  for (const std::string& path : readFileList(config, section.ptr)) {
    // Listed twice, it is taken once.
    if (cFolderContents::objtype(path.c_str()) != fotFile ||
        ctx.existing.find(cStringKey(plainPath(path).c_str(), -1)))
      continue;
    if (const int code = takeListed(ctx, path.c_str())) return code;
  }
  return iiReady;
}

int compareWithInstalled(sPkgInstallContext& context, cApplicationConfig* config) {
  bool previous = !context.recordDamaged && config &&
                  config->getParamInt(recordKey(context, "ver").c_str(), context.installedVersion);
  if (!previous) {
    context.installedVersion = ~0ULL;
  } else if (int code = readPrevious(context, config)) {
    return code;
  }
  // A damaged record, or one without its version (a first installation
  // never finished, or a whole record cut short and saved again, which
  // cannot be told apart), still tells where the package was installed and
  // what it may have placed there, which any version replaces; where that
  // folder is gone, a new one is asked for as for any new installation.
  if (!previous && config) {
    int code = takeRecordedFolder(context, config);
    if (code == iiReady) code = takeDamagedList(context, config);
    if (code == iiReady) code = compareFiles(context);
    if (code != iiFolderGone && code) return code;
  }
  if (previous) {
    int code = compareFiles(context);
    // A run cut short may have left side files or files it marked to
    // remove; a file under a side name the record does not mark is the
    // user's, which no run takes, and is no work.
    if (code == iiNothingToDo && marksLeft(context, config)) code = iiReady;
    if (code) return code;
  }
  if (!context.scenario->requiresSize(65536)) return iiNothingToDo;
  findSuperseded(context, config);
  return iiReady;
}

int holdPackage(sPkgInstallContext& context, cApplicationConfig* config, cInstallInitHost& host) {
  // Without a store nothing is recorded, so nothing needs the lock; a
  // store whose folder cannot be made or opened changes nothing.
  if (!config) return iiReady;
  errno = 0;
  if (!openRecordFolder(config)) {
    context.problemPath.set(storeTrouble(config, errno).c_str());
    return iiStoreUnread;
  }
  // A store the run could not use ends it before it makes its lock; under
  // the lock the store is read again, as another run may have changed it.
  _guardchar<char> section;
  recordSection(context.recordName.ptr, section);
  std::string why;
  if (storeUnread(config, section.ptr, why)) {
    context.problemPath.set(why.c_str());
    return iiStoreUnread;
  }
  if (const int lang = cSOPKGLang::recordedLang(config, context.recordName.ptr); lang >= 0) host.applyLang(lang);
  const auto taken = context.runLock.take(config, context.recordName.ptr, [&host] { return host.waitForOtherRun(); });
  if (taken == cPackageRunLock::rlGivenUp) return iiPackageBusy;
  if (taken == cPackageRunLock::rlUnmade) {
    context.problemPath.set(context.runLock.trouble().c_str());
    return iiStoreUnread;
  }
  // What could not be read is never taken for a package not installed.
  const eRecordRead read = recordRead(config, section.ptr, why);
  if (read == rrUnread) {
    context.problemPath.set(why.c_str());
    return iiStoreUnread;
  }
  // A damaged record is no dead end: the package is installed anew, and
  // the copy of the store's bytes is named.
  context.recordDamaged = read != rrRead;
  if (context.recordDamaged)
    context.kept.push_back({why.substr(0, why.find('\n')), read == rrCut           ? kKeptStoreCopy
                                                           : read == rrUnversioned ? kKeptRecordCopy
                                                                                   : kKeptUnfoundedCopy});
  return iiReady;
}

int runInstallInit(sPkgInstallContext& context, cApplicationConfig* config, cInstallInitHost& host) {
  if (!resolvePackage(context)) return iiBadPackagePath;
  int code = loadScenario(context);
  // The record is first read for the language.
  if (!code) code = holdPackage(context, config, host);
  if (!code) code = chooseLanguage(context, config, host);
  if (!code) code = compareWithInstalled(context, config);
  // The user hears which file did not load, as with a path that is wrong.
  if (code == iiBadPackage) context.problemPath.set(context.package.ptr);
  return code;
}
