#include "tamsivarapp/uninstall.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "base/buffers.h"
#include "base/conproc.h"
#include "ciom/ciappconfig.h"
#include "tamsivar/oshooks.h"
#include "tamsivar/plainpath.h"
#include "tamsivar/scenario.h"
#include "tamsivarapp/heldpath.h"
#include "tamsivarapp/installfiles.h"
#include "tamsivarapp/installrecord.h"
#include "tamsivarapp/lang.h"
#include "tamsivarapp/runlock.h"

namespace {

constexpr int kPollMs = 100;
// Ids of the languages the application may have tables for.
constexpr int kLangIds = 10;
// A record listing more entries than this is not one the installer wrote.
constexpr unsigned long long kMaxEntries = 1u << 22;

std::string recordKey(const sPkgUninstallContext& ctx, const std::string& name) {
  return std::string("install/") + ctx.id.ptr + "/" + name;
}

// Only a name a package can have names a record: another would reach into
// the record of another package, read under that package's lock.
bool hasRecord(const sPkgUninstallContext& ctx) {
  return ctx.config && isUsableCodename(ctx.id.ptr) &&
         ctx.config->hasSection((std::string("install/") + ctx.id.ptr).c_str());
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

// A rename or an unlink needs only the folder: a file its owner cannot
// write may still go.
bool folderLetsGo(const cHeldFolder& folder) { return ::faccessat(folder.fd(), ".", W_OK | X_OK, AT_EACCESS) == 0; }

// Without its folder an installed package's record cannot tell its files
// from anybody else's: each file and shortcut it lists stays, named, and
// so does the record, until the package is installed anew.
int keepUnfounded(sPkgUninstallContext& ctx) {
  const auto keep = [&ctx](const std::string& path) { ctx.kept.push_back({path, kKeptUnfounded}); };
  forEachEntry(ctx, "files", "file", keep);
  forEachEntry(ctx, "shortc", "shortc", keep);
  return unRecordUnfounded;
}

// The copies of the store's bytes that runs kept, which may hold a record
// the store lost.
void nameCopiesOnDisk(sPkgUninstallContext& ctx) {
  if (const cCIAppConfig* store = recordStore(ctx.config))
    for (const std::string& copy : store->copiesOnDisk("install")) ctx.kept.push_back({copy, kKeptStoreCopy});
}

void deregister(const char* id) {
  if (!OSDeregisterPackage(id, false)) OSDeregisterPackage(id, true);
}

// One uninstall of a recorded package. Every change is made on a folder
// held from the installation folder down (from the root for a file placed
// outside it), so a link swapped in while a question is open leads the
// change nowhere: the file it hides is kept and named.
class cRecordRoad {
 public:
  cRecordRoad(sPkgUninstallContext& ctx, cUninstallHost& host)
      : ctx_(ctx), host_(host), section_(std::string("install/") + ctx.id.ptr) {}

  int run() {
    _guardchar<char> base;
    unsigned long long version = 0;
    // A first installation killed before it ended is marked without its
    // version, by an earlier build without its folder too: only what that
    // run provably made goes.
    unfinished_ = !ctx_.config->getParamInt(recordKey(ctx_, "ver").c_str(), version);
    // Older versions recorded the folder as it was typed: a "." step or a
    // doubled slash leaves the folder the same, a ".." does not.
    const bool hasBase = ctx_.config->getParamStr(recordKey(ctx_, "path").c_str(), base) && base.ptr &&
                         base.ptr[0] == '/' && !hasDotSteps(plainPath(base.ptr));
    if (!hasBase && !unfinished_) return keepUnfounded(ctx_);
    // A record holding nothing, not even its folder, is what a store cut
    // inside it leaves once another run saved it anew: removing nothing and
    // ending as done would leave the package's files unnamed. The copies of
    // the store that may still hold the record are named instead.
    unsigned long long listed = 0;
    if (!hasBase && !ctx_.config->getParamInt(recordKey(ctx_, "files").c_str(), listed) &&
        !ctx_.config->getParamInt(recordKey(ctx_, "shortc").c_str(), listed)) {
      nameCopiesOnDisk(ctx_);
      return keepUnfounded(ctx_);
    }
    ctx_.base = hasBase ? plainPath(base.ptr) : std::string();
    baseReal_ = readFolderReal(ctx_.config, section_.c_str());
    baseMount_ = readFolderMount(ctx_.config, section_.c_str());
    placedIn_ = readPlacedIn(ctx_.config, section_.c_str());
    ctx_.files.clear();
    ctx_.shortcuts.clear();
    ctx_.kept.clear();
    earlierSides_ = readSideMark(ctx_.config, section_.c_str());
    readLists();
    if (!host_.confirm(kAskRemove)) return unCancelled;
    if (!markSides()) return unCancelled;
    if (!moveAside()) return unCancelled;
    removeFiles();
    // A shortcut sits in a shared folder such as the desktop: the file
    // goes, its folder stays.
    for (const std::string& shortcut : ctx_.shortcuts)
      if (const sChange gone = removeAt(AT_FDCWD, shortcut); !gone.quiet())
        keep(shortcut, kKeptNotRemoved, gone.err);
    deregister(ctx_.id.ptr);
    // Two spellings of one file: the one removed is not kept by the other.
    std::erase_if(ctx_.kept, [this](const sKeptFile& k) {
      const auto id = keptIds_.find(k.path);
      return id != keptIds_.end() && removedIds_.count(id->second) && idOf(k.path) != id->second;
    });
    clearStoreTrouble(ctx_.config);
    const bool recordStays = recordWhatStays();
    errno = 0;
    if (!ctx_.config->saveConfig() && !savedAsMeant(recordStays)) {
      const int err = errno;
      ctx_.storeTrouble = storeTrouble(ctx_.config, err);
      return unRecordUnsaved;
    }
    nameStoreCopies(ctx_.config, ctx_.kept);
    if (recordStays) return unRecordKept;
    return ctx_.kept.empty() ? unDone : unKept;
  }

 private:
  struct sTarget {
    std::string path;
    std::string anchor;
    // Moved aside to "<file>.bkp"; otherwise that name is not ours to take
    // and the file goes in place at the end.
    bool aside = false;
    bool moved = false;
    // Left where it is, for the reason it is named with.
    bool kept = false;
    // The file as listed; moved aside, its backup is still that file.
    sFileId id;
  };

  // Inside the folder its files go from the folder down; an absolute path
  // outside it from the folder it was written into; any other spelling may
  // not name the file the package wrote.
  std::string anchorFor(const std::string& path) const {
    if (path.empty() || path[0] != '/' || hasDotSteps(path)) return {};
    return !ctx_.base.empty() && under(path, ctx_.base) ? ctx_.base : parentOf(path);
  }

  // Each anchor is reached only where it resolved when it was made, or,
  // recorded by an earlier build, where it is no link itself.
  sAnchorPin pinOf(const std::string& anchor, const std::string& path) const {
    if (!ctx_.base.empty() && anchor == ctx_.base) return {true, baseReal_, baseMount_};
    for (const std::string& file : {path, sideOwner(path)}) {
      const auto placed = placedIn_.find(file);
      if (placed != placedIn_.end() && parentOf(file) == anchor) return {true, placed->second};
    }
    return {true, {}};
  }

  using tFileId = std::pair<dev_t, ino_t>;

  // From the installation folder only while it is the folder the
  // installation made: one a link now leads to instead keeps its files.
  bool holdAt(cHeldFolder& folder, const std::string& anchor, const std::string& path) const {
    return !anchor.empty() && folder.hold(anchor, path, nullptr, pinOf(anchor, path));
  }

  // The file a path leads to as the system follows it; none when nothing.
  static tFileId idOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? tFileId{st.st_dev, st.st_ino} : tFileId{};
  }

  void keep(const std::string& path, int reason, int err = 0) {
    for (const sKeptFile& k : ctx_.kept)
      if (k.path == path) return;
    ctx_.kept.push_back({path, reason, err});
    keptIds_[path] = idOf(path);
  }

  // Unlinks `name` of a held folder, noting which file went.
  sChange unlinkNoted(const cHeldFolder& folder, const std::string& name) {
    struct stat st;
    if (::fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return judged(-1, errno, false);
    const sChange gone = removeAt(folder.fd(), name);
    if (gone.how == sChange::done) removedIds_.insert({st.st_dev, st.st_ino});
    return gone;
  }

  // A side file the run could not remove stays, marked, for the next run.
  void keepSide(const std::string& side, const sFileId& id, int err) {
    keep(side, kKeptNotRemoved, err);
    keptSides_[side] = id;
  }

  // A link inside the installation folder is the package's entry and goes
  // itself; what it leads to, and a link placed outside, never.
  bool removable(const cHeldFolder& folder, const std::string& anchor, const std::string& name) const {
    const unsigned type = folder.typeOf(name);
    return type == S_IFREG || (type == S_IFLNK && anchor == ctx_.base);
  }

  // The package's files, each classified now and checked again at the
  // moment it is changed. A backup a killed uninstall left, whose file is
  // gone, is taken as the file already moved aside.
  void readLists() {
    forEachEntry(ctx_, "files", "file", [&](const std::string& file) { listed_.insert(file); });
    std::set<std::string> taken;
    forEachEntry(ctx_, "files", "file", [&](const std::string& file) {
      const std::string anchor = anchorFor(file);
      cHeldFolder folder;
      if (!holdAt(folder, anchor, file)) return keepUnreached(folder, anchor, file);
      if (keptMountedOn(folder, file)) return;
      const std::string bkp = folder.side(".bkp");
      const auto side = earlierSides_.find(file + ".bkp");
      // A backup marked by its number alone is left to the side files,
      // which keep it.
      const bool leftAside = !folder.typeOf(folder.leaf()) && isSide(file + ".bkp") &&
                             folder.typeOf(bkp) == S_IFREG && isSideMade(folder, bkp, side->second) &&
                             !side->second.numberOnly(folder.idAt(bkp)) &&
                             (!unfinished_ || tempMarkOf(file, side->second) != earlierSides_.end());
      if ((!leftAside && !removable(folder, anchor, folder.leaf())) || !taken.insert(file).second) return;
      if (unfinished_ && !leftAside) {
        const sFileId now = folder.idAt(folder.leaf());
        const auto temp = tempMarkOf(file, now);
        if (temp == earlierSides_.end()) {
          // The file the run found in its place, and backed up, is the
          // user's and stays. One no mark ties to the run may be the
          // package's under a whole record cut short and saved again: it
          // stays, named, and so does the record naming it.
          if (!markedBefore(file + ".bkp", now)) keep(file, kKeptUnrecorded);
          return;
        }
        if (temp->second.numberOnly(now)) {
          keep(file, kKeptUnproven);
          keptSides_.insert(*temp);
          return;
        }
      }
      ctx_.files.push_back(file);
      sTarget& t = targets_.emplace_back();
      t.path = file;
      t.anchor = anchor;
      t.aside = leftAside || (!folder.typeOf(bkp) && !listed_.count(file + ".bkp"));
      t.moved = leftAside;
      t.id = leftAside ? side->second : folder.idAt(folder.leaf());
      if (leftAside) sideFolders_.hold(file, folder);
    });

    forEachEntry(ctx_, "shortc", "shortc", [&](const std::string& shortcut) {
      if (isRegularFile(shortcut.c_str()) && shortcut[0] == '/' && !hasDotSteps(shortcut))
        ctx_.shortcuts.push_back(shortcut);
    });
  }

  // A listed file whose folder could not be held from its anchor. Behind
  // a folder the system would not open it is neither gone nor removed: it
  // stays listed, with the system's reason; so does one a file system
  // mounted on the way may hide, whatever lies there now. Behind a link,
  // seen as the system sees a path, it is a file: the user hears why it
  // stays.
  void keepUnreached(const cHeldFolder& folder, const std::string& anchor, const std::string& file) {
    if (folder.way() == cHeldFolder::unmounted) {
      // The package's file is on the file system unmounted since; a file
      // of that name in the folder left behind is another's, and one with
      // nothing there holds the record back no more.
      struct stat st;
      if (::lstat(file.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) {
        keep(file, kKeptUnmounted);
        stuckFiles_.insert(file);
      }
    } else if (folder.way() == cHeldFolder::failed || folder.way() == cHeldFolder::mounted) {
      keep(file, folder.err() ? kKeptNotRemoved : kKeptMounted, folder.err());
      stuckFiles_.insert(file);
    } else if (folder.way() != cHeldFolder::gone && isRegularFileFollowing(file)) {
      keep(file, anchor.empty() ? kKeptOddPath : keptReasonFor(anchor, file));
    }
  }

  // A listed file the user bound something onto is kept as a mount on the
  // way to it is: it cannot be moved or removed, and is never asked about
  // as busy. True where it was kept.
  bool keptMountedOn(const cHeldFolder& folder, const std::string& file) {
    if (!isMountRoot(folder.fd(), folder.leaf())) return false;
    keep(file, kKeptMounted);
    stuckFiles_.insert(file);
    return true;
  }

  static bool isRegularFileFollowing(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  // Whether an earlier run marked `side` as `id`, rather than this one.
  bool markedBefore(const std::string& side, const sFileId& id) const {
    const auto earlier = earlierSides_.find(side);
    return earlier != earlierSides_.end() && earlier->second == id;
  }

  // A file the package lists is never a side file.
  bool isSide(const std::string& path) const { return earlierSides_.count(path) && !listed_.count(path); }

  // "<file>.tmp" or "<file>.tmp<n>": where a run unpacked `file`.
  static bool isTempOf(const std::string& side, const std::string& file) {
    if (side.size() < file.size() + 4 || side.compare(0, file.size(), file) != 0 ||
        side.compare(file.size(), 4, ".tmp") != 0)
      return false;
    return side.find_first_not_of("0123456789", file.size() + 4) == std::string::npos;
  }

  // The temporary name, with its mark, under which a run unpacked `file`
  // as the file `id`, moved into place since; the end where none.
  tSideMark::const_iterator tempMarkOf(const std::string& file, const sFileId& id) const {
    if (!id.known()) return earlierSides_.end();
    for (auto it = earlierSides_.lower_bound(file); it != earlierSides_.end() && it->first.starts_with(file); ++it)
      if (isTempOf(it->first, file) && it->second == id) return it;
    return earlierSides_.end();
  }

  // The backups this run makes are named in the record, with the identity
  // of the file each will be, before the first one exists, so that a kill
  // leaves nothing the next run cannot tell from the user's own files.
  // False where the wait for the store's lock was given up: nothing has
  // been moved yet, and nothing is. Any other failure to save leaves the
  // mark to the later saves, as a run cut short here would.
  bool markSides() {
    tSideMark sides;
    // An unfinished installation's temporary names stay named while it is
    // undone: they prove which files in place its run made.
    for (const auto& [side, id] : earlierSides_) {
      if (!listed_.count(side) && (ownIdAt(AT_FDCWD, side) == id || (unfinished_ && isTempOf(side, sideOwner(side)))))
        sides.emplace(side, id);
    }
    for (const sTarget& t : targets_)
      if (t.aside) sides[t.path + ".bkp"] = t.id;
    writeSideMark(ctx_.config, section_.c_str(), sides);
    clearStoreTrouble(ctx_.config);
    errno = 0;
    if (ctx_.config->saveConfig()) return true;
    const cCIAppConfig* store = recordStore(ctx_.config);
    return !store || store->trouble() != EWOULDBLOCK;
  }

  // Every file is moved aside before any goes, so that giving up on a busy
  // one puts the package back whole.
  bool moveAside() {
    bool reborn = false;
    for (size_t i = 0; i < targets_.size(); ++i) {
      sTarget& t = targets_[i];
      while (!t.moved) {
        cHeldFolder folder;
        if (!holdAt(folder, t.anchor, t.path)) {
          // A link or a mount put on its way since it was listed, or a
          // folder the system no longer opens: it stays where it is.
          t.aside = false;
          t.kept = true;
          keepUnreached(folder, t.anchor, t.path);
          break;
        }
        if (keptMountedOn(folder, t.path)) {
          t.aside = false;
          t.kept = true;
          break;
        }
        if (!removable(folder, t.anchor, folder.leaf())) {
          // Gone, or no longer the package's file: skipped, as when listed so.
          t.aside = false;
          break;
        }
        // A file the user put under the backup's name since, or in the
        // file's own place: the file there goes in place at the end.
        if (t.aside && (folder.typeOf(folder.side(".bkp")) || folder.idAt(folder.leaf()) != t.id))
          t.aside = false;
        const sChange moved = t.aside ? moveFileClean(folder, folder.leaf(), folder.side(".bkp"))
                                      : judged(folderLetsGo(folder) ? 0 : -1, errno, false);
        if (moved.how == sChange::gone) {
          // Gone since it was looked at: nothing of it to remove.
          t.aside = false;
          break;
        }
        if (moved.quiet()) {
          t.moved = t.aside;
          if (t.moved) {
            sideFolders_.hold(t.path, folder);
            reborn |= tookUp(folder, t);
          }
          break;
        }
        if (!host_.askRelease(t.path.c_str())) continue;
        putBack(i);
        return false;
      }
    }
    if (reborn) {
      // The record names each backup by the file it became, for a run cut
      // short before it goes.
      tSideMark sides = readSideMark(ctx_.config, section_.c_str());
      for (const sTarget& t : targets_)
        if (t.moved) sides[t.path + ".bkp"] = t.id;
      writeSideMark(ctx_.config, section_.c_str(), sides);
      ctx_.config->saveConfig();
    }
    return true;
  }

  // A file system that keeps a file in a lower layer (an overlay) moves it
  // by copying it up: the backup our rename made is the same file under
  // its number, born anew. It is the package's file all the same, and is
  // known by its new birth from here on; true where that happened.
  static bool tookUp(const cHeldFolder& folder, sTarget& t) {
    const sFileId now = folder.idAt(folder.side(".bkp"));
    if (now == t.id || now.dev != t.id.dev || now.ino != t.id.ino) return false;
    t.id = now;
    return true;
  }

  // Giving up: the files moved so far go back, the last moved first, so a
  // file listed beside its own "<file>.bkp" is back under both names. One
  // that cannot go back (a link swapped in above it) stays named in the
  // record, where it really is, for a later uninstall, and the user hears
  // of it.
  void putBack(size_t count) {
    std::set<size_t> stayed;
    for (size_t i = count; i-- > 0;) {
      const sTarget& t = targets_[i];
      if (!t.moved) continue;
      cHeldFolder folder;
      const bool back = holdAt(folder, t.anchor, t.path) && isSideMade(folder, folder.side(".bkp"), t.id) &&
                        renameNoReplace(folder.fd(), folder.side(".bkp"), folder.leaf()).quiet();
      if (!back) stayed.insert(i);
    }
    tSideMark sides = readSideMark(ctx_.config, section_.c_str());
    for (size_t i = 0; i < targets_.size(); ++i)
      if (targets_[i].aside && !stayed.count(i)) sides.erase(targets_[i].path + ".bkp");
    for (const size_t i : stayed) keepCutOff(targets_[i], &sides);
    // Those an earlier run marked where a link had cut them off are still
    // there too.
    for (const auto& [side, id] : earlierSides_) {
      const sFileId now = ownIdAt(AT_FDCWD, side);
      if (!listed_.count(sideOwner(side)) && now == id)
        keep(side, id.numberOnly(now) ? kKeptUnproven : kKeptFolderMoved);
    }
    writeSideMark(ctx_.config, section_.c_str(), sides);
    ctx_.config->saveConfig();
  }

  // A backup a link cut off from its path stays where it is: named there,
  // found through its folder as held when it was made, and marked there in
  // `sides` when given. Where its folder was not held it is named at its
  // path.
  void keepCutOff(const sTarget& t, tSideMark* sides) {
    const std::string bkp = t.path + ".bkp";
    const std::string now = sideFolders_.whereNow(bkp, t.id);
    if (now.empty() || now == bkp) return keep(bkp, keptReasonFor(t.anchor, t.path));
    keep(now, kKeptFolderMoved);
    if (!sides) return;
    sides->erase(bkp);
    (*sides)[now] = t.id;
  }

  void removeFiles() {
    // A backup gets one try a run: its outcome, kept or gone, is what the
    // user is told and the record holds.
    std::set<std::string> tried;
    for (const sTarget& t : targets_) {
      cHeldFolder folder;
      if (t.kept) continue;
      if (t.moved) tried.insert(t.path + ".bkp");
      if (!holdAt(folder, t.anchor, t.path)) {
        if (folder.way() == cHeldFolder::failed && t.moved) {
          keepSide(t.path + ".bkp", t.id, folder.err());
        } else if (!t.moved) {
          keepUnreached(folder, t.anchor, t.path);
        } else {
          // Moved aside, then a link swapped in above it: the backup is
          // the package's file and stays where the link cannot lead,
          // marked where it is.
          keptSides_[t.path + ".bkp"] = t.id;
          keepCutOff(t, &keptSides_);
        }
        continue;
      }
      // One that cannot go stays listed, or marked, and named: an
      // uninstall once it can go ends the package.
      if (t.moved) {
        if (!isSideMade(folder, folder.side(".bkp"), t.id)) {
        } else if (const sChange gone = unlinkNoted(folder, folder.side(".bkp")); !gone.quiet()) {
          keepSide(t.path + ".bkp", t.id, gone.err);
        }
      } else if (!t.aside && removable(folder, t.anchor, folder.leaf())) {
        if (const sChange gone = unlinkNoted(folder, folder.leaf()); !gone.quiet()) {
          keep(t.path, kKeptNotRemoved, gone.err);
          stuckFiles_.insert(t.path);
        }
      }
      emptied_.insert(parentOf(t.path));
    }
    // What earlier runs left beside the files: a regular file goes; a link
    // or a folder under such a name keeps what it holds, and the user hears
    // of it.
    for (const auto& [side, id] : readSideMark(ctx_.config, section_.c_str())) {
      if (listed_.count(side) || tried.count(side)) continue;
      const std::string anchor = anchorFor(side);
      cHeldFolder folder;
      if (!holdAt(folder, anchor, side)) {
        if (folder.way() == cHeldFolder::failed) {
          keepSide(side, id, folder.err());
        } else if (!anchor.empty() && ownIdAt(AT_FDCWD, side) == id) {
          // Still the file made, where this run cannot reach it.
          keep(side, keptReasonFor(anchor, side));
          keptSides_[side] = id;
        }
        continue;
      }
      if (!isSideMade(folder, folder.leaf(), id)) continue;
      const unsigned type = folder.typeOf(folder.leaf());
      const std::string owner = sideOwner(side);
      if (type == S_IFREG && markedBefore(side, id) && id.numberOnly(folder.idAt(folder.leaf()))) {
        // Nothing tells it from a file the user made since under the freed
        // number: it stays, marked, until it is gone.
        keep(side, kKeptUnproven);
        keptSides_[side] = id;
      } else if (type == S_IFREG && unfinished_ && side == owner + ".bkp" && listed_.count(owner)) {
        // The file an unfinished installation moved aside is put back
        // where nothing stands now; one the user put there since keeps it.
        const std::string name = owner.substr(owner.rfind('/') + 1);
        sChange back = renameNoReplace(folder.fd(), folder.leaf(), name);
        if (back.err == EEXIST) back = removeAt(folder.fd(), folder.leaf());
        if (!back.quiet()) keepSide(side, id, back.err);
      } else if (type == S_IFREG) {
        if (const sChange gone = removeAt(folder.fd(), folder.leaf()); !gone.quiet())
          keepSide(side, id, gone.err);
        emptied_.insert(parentOf(side));
      } else if (type) {
        keep(side, kKeptNotAFile);
      }
    }
    // Folders go only inside a folder of the package's own. An upgrade
    // killed between removing two emptied folders left the upper one above
    // a folder already gone, or the folder of a file gone before this run:
    // it goes where it was born before that upgrade saved the record, as a
    // folder made there again since stays. A record of an earlier build
    // tells whole seconds only: the folder of a gone file goes as one this
    // run emptied, as it always did.
    if (ctx_.base.empty() || ctx_.base == "/") return;
    const std::optional<sSaveTime> saved = readRecordTime(ctx_.config, section_.c_str());
    // So do the folders of the files it marked to remove.
    std::vector<std::string> files(listed_.begin(), listed_.end());
    for (const auto& [side, id] : earlierSides_) files.push_back(side);
    for (const std::string& file : files) {
      // A file kept still lies in its folder.
      if (anchorFor(file) != ctx_.base || keptIds_.count(file)) continue;
      const std::string folder = parentOf(file);
      const bool proven = !saved || emptied_.count(folder) || (!saved->fine && exists(folder.c_str()));
      if (const sStuck stuck =
              dropEmptyFoldersBelow(ctx_.base, file, pinOf(ctx_.base, file), proven ? std::nullopt : saved);
          !stuck.folder.empty())
        keepFolder(stuck, {file});
    }
    // A link the folder was reached through when made is the user's, and
    // so is the folder it leads to; so is a file system mounted on it.
    struct stat st;
    int err = 0;
    const cHeldFolder::eWay way = anchorWay(ctx_.base, pinOf(ctx_.base, {}), err);
    // One the system would not open is not gone.
    if (way == cHeldFolder::failed) return keepFolder({ctx_.base, err}, listed_);
    // Whatever of the package is on the file system unmounted there stays
    // with it, and the user hears where.
    if (way == cHeldFolder::unmounted) return keep(ctx_.base, kKeptUnmounted);
    if (way != cHeldFolder::held || ::lstat(ctx_.base.c_str(), &st) != 0 || S_ISLNK(st.st_mode) ||
        isMountRoot(AT_FDCWD, ctx_.base))
      return;
    if (const sChange gone = removeAt(AT_FDCWD, ctx_.base, true); !gone.quiet())
      keepFolder({ctx_.base, gone.err}, listed_);
  }

  // An emptied folder whose removal fails (an immutable parent, say) is
  // named, and the record keeps the listed files that lead to it, so that
  // an uninstall once it can be removed ends the package.
  void keepFolder(const sStuck& stuck, const std::set<std::string>& files) {
    keep(stuck.folder, kKeptNotRemoved, stuck.err);
    for (const std::string& file : files)
      if (listed_.count(file)) stuckFiles_.insert(file);
  }

  // A listed file kept because its folder is not proven the package's now,
  // or because only its number ties it to the file a run made, may still
  // be the package's, and so may a side file kept where this run cannot
  // reach it or for its number alone: the record stays, naming only
  // those, so that an uninstall once their folder is back, or once they
  // are gone, ends it. A path the package could never have written holds
  // nothing back. True where the record stays.
  bool recordWhatStays() {
    std::set<std::string> files;
    for (const sKeptFile& k : ctx_.kept)
      if (listed_.count(k.path) &&
          (k.reason == kKeptThroughLink || k.reason == kKeptOtherFolder || k.reason == kKeptUnproven ||
           k.reason == kKeptUnrecorded))
        files.insert(k.path);
    files.insert(stuckFiles_.begin(), stuckFiles_.end());
    if (files.empty() && keptSides_.empty()) {
      ctx_.config->removeSection(section_.c_str());
      return false;
    }
    keepOnlyFiles(ctx_.config, section_.c_str(), files);
    writeSideMark(ctx_.config, section_.c_str(), keptSides_);
    return true;
  }

  // Whether the store's files hold what this run meant to save, as every
  // later run reads it: a save that reported a failure (the folder's sync
  // failing once the file was in place) may have written it all the same.
  bool savedAsMeant(bool recordStays) const {
    const int err = errno;
    const sSavedRecord saved = readSavedRecord(ctx_.config, section_.c_str());
    errno = err;
    if (!saved.opened || saved.present != recordStays) return false;
    return !recordStays ||
           (saved.files == readFileList(ctx_.config, section_.c_str()) && saved.sides == keptSides_);
  }

  sPkgUninstallContext& ctx_;
  cUninstallHost& host_;
  const std::string section_;
  std::set<std::string> listed_;
  tSideMark earlierSides_;
  std::vector<sTarget> targets_;
  std::map<std::string, tFileId> keptIds_;
  std::set<tFileId> removedIds_;
  // The folders this run removed a file or a side file from.
  std::set<std::string> emptied_;
  // Where the installation folder resolved when made, and whether it was
  // a mount point; neither in a record of an earlier build.
  std::string baseReal_;
  std::optional<bool> baseMount_;
  bool unfinished_ = false;
  std::map<std::string, std::string> placedIn_;
  // The folders of the backups this run made or found, held.
  cSideFolders sideFolders_;
  // The side files kept where this run cannot reach them.
  tSideMark keptSides_;
  // Listed files whose emptied folders could not be removed.
  std::set<std::string> stuckFiles_;
};

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
  // Found as the process will be started.
  return !programPath(program.c_str()).empty();
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

sChange moveFileClean(const cHeldFolder& folder, const std::string& source, const std::string& target) {
  if (!folderLetsGo(folder)) return judged(-1, errno, false);
  return renameNoReplace(folder.fd(), source, target);
}

int runUninstall(sPkgUninstallContext& ctx, cUninstallHost& host) {
  if (!ctx.id.ptr || !*ctx.id.ptr) return unNotInstalled;
  // The store's own lock is waited for as the package's is.
  cCIAppConfig::cLockWait storeWait([&host] { return host.waitForOtherRun(cUninstallHost::hStore); });
  cPackageRunLock lock;
  if (isUsableCodename(ctx.id.ptr)) {
    // A store the run could not use ends it before it makes its lock,
    // and again under the lock, as another run may have changed it.
    const std::string section = std::string("install/") + ctx.id.ptr;
    if (storeUnread(ctx.config, section.c_str(), ctx.storeTrouble)) return unStoreUnread;
    if (const int lang = cSOPKGLang::recordedLang(ctx.config, ctx.id.ptr); lang >= 0) host.applyLang(lang);
    const auto taken =
        lock.take(ctx.config, ctx.id.ptr, [&host] { return host.waitForOtherRun(cUninstallHost::hPackage); });
    if (taken == cPackageRunLock::rlGivenUp) return unCancelled;
    // A store without its folder holds no record; where it has one, a run
    // that cannot be alone with the package changes nothing.
    const cCIAppConfig* store = recordStore(ctx.config);
    if (taken == cPackageRunLock::rlUnmade && store && store->hasFolder()) {
      ctx.storeTrouble = lock.trouble();
      return unStoreUnread;
    }
    std::string why;
    const eRecordRead read = recordRead(ctx.config, section.c_str(), why);
    if (read != rrRead) {
      ctx.storeTrouble = why;
      if (read == rrUnfounded) return keepUnfounded(ctx);
      return read == rrUnread ? unStoreUnread : read == rrCut ? unRecordDamaged : unRecordUnversioned;
    }
  }
  host.holdsPackage();
  int lang = chooseLanguage(ctx, host);
  if (lang != unDone) return lang;
  if (hasRecord(ctx)) return cRecordRoad(ctx, host).run();
  const int road = registrationRoad(ctx, host);
  // A record lost with a store that did not read whole may still be in
  // the copies of its bytes: "not installed" alone would hide them.
  if (road == unNotInstalled) nameCopiesOnDisk(ctx);
  return road;
}
