#include "tamsivarapp/installjob.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/folder.h"
#include "tamsivar/manager.h"
#include "tamsivar/oshooks.h"
#include "tamsivar/plainpath.h"
#include "tamsivarapp/heldpath.h"
#include "tamsivarapp/installfiles.h"
#include "tamsivarapp/installrecord.h"
#include "tamsivarapp/remove.h"
#include "tamsivarapp/stcmd.h"
#include "tamsivarapp/ver.h"

bool cInstallJobHost::managerPath(_guardchar<char>& out) { return getAppManagerPath(out); }

namespace {

constexpr unsigned int kCopyPiece = 65536;
// Where a permission digit is not given, the digit of the mode every new
// file gets (0664).
constexpr unsigned char kDefaultDigits[3] = {6, 6, 4};

// How many other temporary names are tried when the user has a file under
// "<target>.tmp".
constexpr int kTempNames = 100;

// How many new files are made and named in the record with one save at
// most: each save writes the whole record and waits for the disk.
constexpr size_t kMadeAtOnce = 512;
// Each file of a batch holds its own descriptor until it is named, and its
// folder's unless the file before it is in the same folder; the first
// time a folder is met, the run may hold it for good as well.
constexpr size_t kHeldPerFile = 3;
// How many descriptors a save of the record opens at once, at most.
constexpr int kSaveNeeds = 4;
// Left free for the program's other threads while a batch is held, at
// most a quarter of the free descriptors: the window opens a picture or a
// font now and then.
constexpr size_t kLeftToOthers = 8;

// Whether `count` more descriptors can be opened now.
bool roomFor(int count) {
  std::vector<int> taken;
  for (int fd; static_cast<int>(taken.size()) < count && (fd = ::open("/", O_PATH | O_CLOEXEC)) >= 0;)
    taken.push_back(fd);
  const bool room = static_cast<int>(taken.size()) == count;
  for (int fd : taken) ::close(fd);
  return room;
}

sFileId ownIdOf(const std::string& path) { return ownIdAt(AT_FDCWD, path); }

// A run of this system takes a side file only while the record names it
// with the identity of the file the run made.
struct sEntry {
  cSoftPkgScenario::sCopiedFile* file = nullptr;
  // The folder every change of this entry starts from.
  std::string anchor;
  // Empty where the name is not free for this run: no backup is made.
  std::string temp, backup, backupPart;
  // The side files this run made under those names.
  sFileId tempId, backupId;
  bool existed = false;
  bool backedUp = false;
  bool applied = false;
};

class cInstallerRun {
 public:
  cInstallerRun(sPkgInstallContext& context, cInstallJobHost& host, cApplicationConfig* config)
      : ctx_(context), host_(host), config_(config) {
    const char* pgm = ctx_.scenario->getStr("pgm");
    // Spelled as the targets are, so that they are found below it.
    folder_ = plainPath(pgm ? pgm : "");
    for (auto* f = ctx_.files.head; f; f = f->next) {
      const std::string target = f->value.path.ptr ? f->value.path.ptr : "";
      sEntry& e = entries_.emplace_back();
      e.file = &f->value;
      e.anchor = anchorOf(target);
      listed_.insert(target);
      if (sPkgInstallContext::changed(f->value)) ++changed_;
    }
    forEach(ctx_.existing, [this](sExistingFileItem& item) {
      if (!item.path.ptr) return;
      listed_.insert(item.path.ptr);
      // Only a whole record, which holds its version, proves a file the
      // package's that this version does not write over.
      if (!item.kept && ctx_.installedVersion != ~0ULL) dropped_.push_back(item.path.ptr);
    });
    recordSection(ctx_.recordName.ptr, section_);
    // A record without a version is the mark of a first installation that
    // never finished: this run finishes it or takes it back. A damaged one
    // proves nothing the package's: it is replaced, its bytes kept.
    unsigned long long version = 0;
    const bool trusted = !ctx_.recordDamaged && config_;
    previous_ = trusted && config_->getParamInt((std::string(section_.ptr) + "/ver").c_str(), version);
    if (!previous_ && trusted) readUnfinished();
    recordTime_ = readRecordTime(config_, section_.ptr);
    if (trusted && config_->hasSection(section_.ptr)) earlierSides_ = readSideMark(config_, section_.ptr);
    for (const auto& [side, id] : earlierSides_) {
      const sFileId now = ownIdOf(side);
      if (now != id) continue;
      sides_.emplace(side, id);
      if (id.numberOnly(now)) unproven_.insert(side);
    }
    oldList_ = readFileList(config_, section_.ptr);
  }

  int run() {
    host_.notifyStage(0);
    if (!nameSides()) return 1;
    if (!markRun()) return unmarkRun();
    if (!prepare()) return unmarkRun();
    if (!unpack()) {
      host_.notifyLastStage();
      dropTemps();
      return unmarkRun();
    }
    host_.notifyStage(changed_ + 1);
    if (!backup()) return undo();
    host_.notifyStage(changed_ + 2);
    if (!apply()) return undo();
    ctx_.result = irOk;
    shortcuts();
    _guardchar<char> manager, managerShortcut;
    bool managerKnown = copyManager(manager, managerShortcut);
    // Until the record names the new version the run can still be taken back.
    if (!goOn(1, 1, folder_)) return undo();
    // The dropped files stay, listed, until the record of the new version
    // is saved: a run that cannot save it puts the previous version back
    // whole, and no unlinked file can be put back.
    if (!saveRecord(managerKnown ? manager.ptr : nullptr, managerShortcut.ptr, {dropped_, sidesLeft()}))
      return undo();
    host_.notifyLastStage();
    // Where the record that lists the dropped files no more cannot be
    // saved, the backups stay too, as the saved record marks them, for the
    // next run to take.
    if (!unlistDropped()) return 1;
    removeDropped();
    for (sEntry& e : entries_) removeSide(e, e.backup, e.backupId);
    return finish();
  }

 private:
  static const char* target(const sEntry& e) { return e.file->path.ptr; }
  static bool changed(const sEntry& e) { return sPkgInstallContext::changed(*e.file); }

  bool fail(int code, const std::string& path) {
    ctx_.fail(code, path.c_str());
    return false;
  }

  // Reports `done` of `total` steps of the current phase. The owner holds
  // the run here while it asks whether to stop, so every phase that can
  // still be taken back reports before each step; false stops the run.
  bool goOn(unsigned long long done, unsigned long long total, const std::string& path) {
    const double percent = total ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 100.0;
    return host_.notifyProgress(percent) || fail(irStopped, path);
  }

  // Below the installation folder each change starts from the folder and
  // follows no link on the way down; elsewhere from the file's own folder.
  std::string anchorOf(const std::string& target) const {
    if (!folder_.empty() && folder_[0] == '/' && under(target, folder_) && !hasDotSteps(target)) return folder_;
    return parentOf(target);
  }

  // How an anchor must be reached: the installation folder where it
  // resolved when made, once it was made; the folder a file of the
  // previous installation placed elsewhere (or its side file) was written
  // into where it resolved then; a new target's folder as it is.
  sAnchorPin pinOf(const std::string& anchor, const std::string& path) const {
    if (anchor == folder_) return {previous_ || !ctx_.folderReal.empty(), ctx_.folderReal, ctx_.folderMount};
    for (const std::string& file : {path, sideOwner(path)}) {
      if (parentOf(file) != anchor || !ctx_.existing.find(cStringKey(file.c_str(), -1))) continue;
      const auto placed = ctx_.placedIn.find(file);
      return {true, placed != ctx_.placedIn.end() ? placed->second : std::string()};
    }
    return {};
  }

  bool hold(const sEntry& e, cHeldFolder& folder, std::vector<std::string>* made = nullptr) const {
    return holdAt(folder, e.anchor, target(e), made);
  }

  // From the installation folder only while it is the folder this system
  // made or first wrote into; from a file's own folder only while it is the
  // one the file was written into.
  bool holdAt(cHeldFolder& folder, const std::string& anchor, const std::string& path,
              std::vector<std::string>* made = nullptr) const {
    return !anchor.empty() && folder.hold(anchor, path, made, pinOf(anchor, path));
  }

  // A side name this run may take: not a file the package lists, and free
  // or still, provably, the file an earlier run of this system made there.
  bool mayTake(const std::string& name) const {
    return !listed_.count(name) && (!ownIdOf(name).known() || (sides_.count(name) && !unproven_.count(name)));
  }

  // Picks the side names of every changed entry. A user's file under the
  // usual name is left alone: the new file is unpacked under another
  // name, and the old one is replaced without a backup.
  bool nameSides() {
    for (sEntry& e : entries_) {
      if (!changed(e)) continue;
      const std::string t = target(e);
      for (int n = 0; n < kTempNames && e.temp.empty(); ++n) {
        std::string name = t + ".tmp" + (n ? std::to_string(n) : "");
        if (mayTake(name)) e.temp = name;
      }
      if (e.temp.empty()) return fail(irObstacle, t + ".tmp");
      if (mayTake(t + ".bkp")) {
        e.backup = t + ".bkp";
        if (mayTake(e.backup + ".tmp")) e.backupPart = e.backup + ".tmp";
      }
    }
    return true;
  }

  // Before the first file is written the record lists the old files and
  // the new ones, and each side file is named with its identity as soon as
  // it is made, before anything is written into it: killed at any moment,
  // the run leaves nothing the next one cannot tell apart. The rest of a
  // previous record stays as it is until the run succeeds. A record that
  // cannot be written fails the run before its first file.
  bool markRun() {
    if (!config_) return true;
    // A first installation is marked without its version, so that until
    // it ends nothing takes it for an installed package; its folder and
    // language let an uninstall take it back.
    clearStoreTrouble(config_);
    if (!previous_) {
      config_->removeSection(section_.ptr);
      config_->setParamStr((std::string(section_.ptr) + "/path").c_str(), folder_.c_str(), -1);
      config_->setParamInt16((std::string(section_.ptr) + "/lang").c_str(), ctx_.scenario->currLangID());
    }
    std::vector<std::string> both = previous_ ? oldList_ : std::vector<std::string>();
    const std::set<std::string> old(both.begin(), both.end());
    for (const sEntry& e : entries_)
      if (!old.count(target(e))) both.push_back(target(e));
    writeFileList(config_, section_.ptr, both);
    writeSideMark(config_, section_.ptr, sides_);
    errno = 0;
    return (config_->saveConfig() && readFileList(config_, section_.ptr) == both) || unsaved();
  }

  // The problem path of an unsaved record says where the store is and why
  // it was not written, as the system told it.
  bool unsaved(int err = errno) {
    ctx_.fail(irRecordUnsaved, storeTrouble(config_, err).c_str());
    return false;
  }

  std::vector<std::string> targets() const {
    std::vector<std::string> files;
    for (const sEntry& e : entries_) files.push_back(target(e));
    return files;
  }

  // Whether the store's files hold the record of this version listing
  // exactly `files` and marking exactly `sides`: a save that reported a
  // failure may have written it.
  bool savedAs(const std::vector<std::string>& files, const tSideMark& sides) const {
    const sSavedRecord saved = readSavedRecord(config_, section_.ptr);
    return saved.versioned && saved.version == ctx_.version && saved.files == files && saved.sides == sides;
  }

  // A record that could not be saved is named with what is left: each file
  // the store's files still list that `installed` does not hold, and each
  // side or dropped file they still mark that is gone.
  void nameUnlisted(const std::vector<std::string>& installed) {
    const std::set<std::string> held(installed.begin(), installed.end());
    const sSavedRecord saved = readSavedRecord(config_, section_.ptr);
    for (const std::string& file : saved.files)
      if (!held.count(file)) keep(file, kKeptNotInstalled);
    for (const auto& [side, id] : saved.sides)
      if (ownIdOf(side) != id) keep(side, kKeptNotInstalled);
  }

  // Saves the record of the new version listing `files`, with the side
  // files still there.
  bool saveList(const std::vector<std::string>& files) {
    const tSideMark sides = sidesLeft();
    writeFileList(config_, section_.ptr, files);
    writeSideMark(config_, section_.ptr, sides);
    clearStoreTrouble(config_);
    errno = 0;
    if (config_->saveConfig()) return true;
    const int err = errno;
    if (savedAs(files, sides)) return true;
    // The new version is in place: never "nothing was changed".
    unsaved(err);
    ctx_.result = irRecordLeft;
    nameUnlisted(files);
    return false;
  }

  // A dropped file is unlinked only once the saved record lists it no
  // more, so that no record ever lists a file that is gone, where a user's
  // file may stand later. Until it goes the record marks it by its
  // identity, as a side file, for a run cut short to leave to the next run
  // or the uninstall. Where that record cannot be saved, the store still
  // lists the dropped files, all of them still there, and the run names
  // them.
  bool unlistDropped() {
    if (!config_ || dropped_.empty()) return true;
    for (const std::string& path : dropped_)
      if (const sFileId id = ownIdOf(path); id.known()) sides_[path] = id;
    return saveList(targets());
  }

  // The final record names the new files, the dropped ones that had to
  // stay, and the side files until they are gone. Where it cannot be
  // saved, the one saved before it names the new files and marks the
  // dropped ones by identity alone.
  int finish() {
    if (!config_) return 0;
    std::vector<std::string> files = targets();
    files.insert(files.end(), keptDropped_.begin(), keptDropped_.end());
    return saveList(files) ? 0 : 1;
  }

  // Names side files just made in the record, `added` alone where the
  // record names every other one already; a run whose record cannot name
  // them stops before it writes into them.
  bool markMade(const tSideMark* added = nullptr) {
    if (!config_) return true;
    clearStoreTrouble(config_);
    if (added)
      addSideMark(config_, section_.ptr, *added);
    else
      writeSideMark(config_, section_.ptr, sides_);
    errno = 0;
    return config_->saveConfig() || unsaved();
  }

  // The side files this run or an earlier one made that are still there,
  // or that the system would not let it look at: those are not gone.
  tSideMark sidesLeft() const {
    tSideMark left;
    for (const auto& [side, id] : sides_) {
      const sFileId now = ownIdOf(side);
      if (now == id || (!now.known() && errno != ENOENT)) left.emplace(side, id);
    }
    return left;
  }

  // A failed run has put the previous installation back: so does the
  // record, naming only the side files that could not go. Where it cannot
  // be saved, the run names each file the store's files still list that
  // is not installed.
  int unmarkRun() {
    if (!config_) return 1;
    // Built on what the store's files hold, so that a record which failed
    // to save is never saved by this one.
    config_->discardChanges();
    tSideMark left = sidesLeft();
    std::vector<std::string> files = previous_ ? oldList_ : std::vector<std::string>();
    // A new file the run could not take back stays listed, proven the
    // package's by the mark of the name it was made under.
    for (const sEntry* e : notRemoved_) {
      if (std::find(files.begin(), files.end(), target(*e)) == files.end()) files.push_back(target(*e));
      left[e->temp] = e->tempId;
    }
    if (!previous_ && files.empty()) {
      // Still the mark of an unfinished first installation while it names
      // side files a link cut off, for the next run to take.
      config_->removeSection(section_.ptr);
      if (!left.empty()) writeSideMark(config_, section_.ptr, left);
    } else {
      writeFileList(config_, section_.ptr, files);
      writeSideMark(config_, section_.ptr, left);
    }
    if (!config_->saveConfig()) nameUnlisted(oldList_);
    // A run that names anything it leaves never says that nothing changed.
    if (ctx_.result == irRecordUnsaved && !ctx_.kept.empty()) ctx_.result = irRecordLeft;
    return 1;
  }

  // Repairs what an interrupted run of this system left under the names it
  // marked: stale copies go, and a backup whose file is gone or about to be
  // replaced is put back first so that the old bytes are never lost.
  bool prepare() {
    size_t done = 0;
    for (const auto& [side, id] : earlierSides_) {
      if (!goOn(done++, earlierSides_.size(), side)) return false;
      const std::string anchor = anchorOf(side);
      cHeldFolder folder;
      if (listed_.count(side)) continue;
      if (!holdAt(folder, anchor, side)) {
        // Still the file made, where its path no longer leads, or behind a
        // folder the system would not open: it stays, named, and so in
        // the record.
        if (folder.way() == cHeldFolder::failed)
          keep(side, kKeptNotRemoved, folder.err());
        else if (ownIdOf(side) == id)
          keep(side, keptReasonFor(anchor, side));
        continue;
      }
      if (!isSideMade(folder, folder.leaf(), id)) continue;
      const unsigned type = folder.typeOf(folder.leaf());
      const std::string owner = sideOwner(side);
      const sEntry* entry = find(owner);
      const bool isBackup = side == owner + ".bkp";
      if (!type) continue;
      if (type != S_IFREG) {
        if (!isBackup || exists(owner.c_str())) return fail(irObstacle, isBackup ? owner : side);
        continue;
      }
      // Nothing tells it from a file the user made since under the freed
      // number: it stays, marked, until it is gone.
      if (unproven_.count(side)) {
        keep(side, kKeptUnproven);
        continue;
      }
      if (isBackup && listed_.count(owner) && (!exists(owner.c_str()) || (entry && changed(*entry)))) {
        cHeldFolder at;
        if (!holdAt(at, anchor, owner) || !restoreHeld(at, folder.leaf(), at.leaf())) return fail(irStaleSideFile, owner);
      } else if (const sChange gone = removeAt(folder.fd(), folder.leaf()); !gone.quiet()) {
        if (entry && changed(*entry)) return fail(irStaleSideFile, side);
        // Marked still, it is the next run's to take.
        keep(side, kKeptNotRemoved, gone.err);
      } else if (!listed_.count(owner) && anchor == folder_) {
        // A dropped file an upgrade cut short had marked: the folders it
        // emptied go as they would have then.
        keepStuck(dropEmptyFoldersBelow(anchor, side, pinOf(anchor, side)), side);
      }
    }
    dropUnfinishedFolders();
    return true;
  }

  // The folder and the files the mark of an unfinished first installation
  // names, read before this run marks itself in its place.
  void readUnfinished() {
    _guardchar<char> base;
    if (!config_ || !config_->getParamStr((std::string(section_.ptr) + "/path").c_str(), base) || !base.ptr ||
        base.ptr[0] != '/' || hasDotSteps(base.ptr))
      return;
    unfinishedBase_ = plainPath(base.ptr);
    unfinishedList_ = readFileList(config_, section_.ptr);
  }

  // The folders a first installation killed before it ended made for files
  // this run does not place are the package's by its record: once its side
  // files are gone, those left empty go, as its uninstall would take them.
  void dropUnfinishedFolders() {
    if (unfinishedBase_.empty() || unfinishedBase_ == "/") return;
    const sAnchorPin pin{true, {}};
    for (const std::string& path : unfinishedList_)
      if (!listed_.count(path) && under(path, unfinishedBase_) && !hasDotSteps(path))
        keepStuck(dropEmptyFoldersBelow(unfinishedBase_, path, pin));
    if (unfinishedBase_ != folder_ && anchorHolds(unfinishedBase_, pin))
      if (const sChange gone = removeAt(AT_FDCWD, unfinishedBase_, true); !gone.quiet())
        keep(unfinishedBase_, kKeptNotRemoved, gone.err);
  }

  // An emptied folder that could not be removed is named; given the gone
  // file that led to it, that file stays listed, so that an uninstall
  // takes the folder once it can.
  void keepStuck(const sStuck& stuck, const std::string& from = {}) {
    if (stuck.folder.empty()) return;
    keep(stuck.folder, kKeptNotRemoved, stuck.err);
    if (from.empty()) return;
    sides_.erase(from);
    keptDropped_.push_back(from);
  }

  const sEntry* find(const std::string& path) const {
    for (const sEntry& e : entries_)
      if (path == target(e)) return &e;
    return nullptr;
  }

  // Renames a backup over its file. Where the two are still names of the
  // same file the rename does nothing, so the backup name is then dropped.
  static bool restoreHeld(const cHeldFolder& folder, const std::string& backup, const std::string& file) {
    if (::renameat(folder.fd(), backup.c_str(), folder.fd(), file.c_str()) != 0) return false;
    struct stat b, t;
    if (::fstatat(folder.fd(), backup.c_str(), &b, AT_SYMLINK_NOFOLLOW) == 0 &&
        ::fstatat(folder.fd(), file.c_str(), &t, AT_SYMLINK_NOFOLLOW) == 0 && b.st_dev == t.st_dev &&
        b.st_ino == t.st_ino)
      return removeAt(folder.fd(), backup).quiet();
    return true;
  }

  // The new files are made a batch at a time without a name where the file
  // system allows it, named in the record with their identities in one
  // save, and only then given their names; killed at any moment, the run
  // leaves no file under a side name the record does not name with that
  // file's identity, and the record names no file that lacks its name for
  // longer than the links take. A batch is filled before the next is made,
  // so that the bar follows the files as they come: with all made first, a
  // large package sat in its first stage for as long as the making took.
  bool unpack() {
    std::vector<sEntry*> pending;
    for (sEntry& e : entries_)
      if (changed(e)) pending.push_back(&e);
    int stage = 0, filled = 0;
    for (size_t at = 0; at < pending.size();) {
      const size_t made = makeBatch(pending, at, stage);
      if (!made) return false;
      for (const size_t end = at + made; at < end; ++at) {
        if (filled++) host_.notifyStage(++stage);
        if (!fillTemp(*pending[at])) return false;
      }
    }
    return true;
  }

  // A file made and not yet named, in its held folder, which the next file
  // of the batch shares when it goes into the same folder.
  struct sMade {
    sEntry* entry = nullptr;
    std::shared_ptr<cHeldFolder> folder;
    int fd = -1;
    bool unnamed = false;
    ~sMade() {
      if (fd >= 0) ::close(fd);
    }
  };

  // Makes, marks and names the files of `pending` from `from` on, as many
  // as the free descriptors allow; answers how many, 0 when the run
  // failed. Should the descriptors run out all the same (another thread
  // or the held folders took some), the batch ends with the files it
  // holds, less those given back so that the save has room.
  size_t makeBatch(const std::vector<sEntry*>& pending, size_t from, int& stage) {
    const size_t room = batchRoom();
    std::vector<std::unique_ptr<sMade>> made;
    size_t held = 0;
    for (size_t i = from; i < pending.size() && made.size() < kMadeAtOnce; ++i) {
      const sMade* before = made.empty() ? nullptr : made.back().get();
      const size_t needs = before && sameFolder(*before->entry, *pending[i]) ? 1 : kHeldPerFile;
      if (before && held + needs > room) break;
      made.push_back(std::make_unique<sMade>());
      errno = 0;
      const int code = makeTemp(*pending[i], *made.back(), before, held);
      if (!code) {
        if (!goOn(i + 1, pending.size(), pending[i]->temp)) return 0;
        continue;
      }
      const bool outOfDescriptors = errno == EMFILE || errno == ENFILE;
      made.pop_back();
      if (!outOfDescriptors || made.empty()) {
        fail(outOfDescriptors ? irCannotCreate : code, pending[i]->temp);
        return 0;
      }
      break;
    }
    while (made.size() > 1 && !roomFor(kSaveNeeds)) {
      giveBack(*made.back());
      made.pop_back();
    }
    tSideMark added;
    for (const auto& m : made) added.emplace(m->entry->temp, m->entry->tempId);
    if (!markMade(&added)) return 0;
    if (!stage) host_.notifyStage(++stage);
    for (auto& m : made) {
      const std::string name = m->entry->temp.substr(m->entry->temp.rfind('/') + 1);
      if (m->unnamed && !nameUnnamed(m->fd, *m->folder, name)) {
        fail(irCannotCreate, m->entry->temp);
        return 0;
      }
    }
    return made.size();
  }

  // How many descriptors a batch may hold: all that are free but those the
  // save and the other threads need.
  static size_t batchRoom() {
    const size_t free = freeDescriptors();
    if (free == 0) return kMadeAtOnce * kHeldPerFile;
    const size_t needed = kSaveNeeds + std::min(kLeftToOthers, free / 4);
    return free > needed ? free - needed : 0;
  }

  // A file made for a batch that closed before it is left to a later one:
  // one without a name goes with its descriptor, one with a name, not yet
  // in the record, goes at once.
  void giveBack(sMade& m) {
    const std::string name = m.entry->temp.substr(m.entry->temp.rfind('/') + 1);
    if (!m.unnamed && isSideMade(*m.folder, name, m.entry->tempId))
      if (const sChange gone = removeAt(m.folder->fd(), name); !gone.quiet()) {
        // Marked still, it is the next run's to take.
        keep(m.entry->temp, kKeptNotRemoved, gone.err);
        return;
      }
    sides_.erase(m.entry->temp);
    m.entry->tempId = {};
  }

  // Answers 0, or the failure, with errno the system's reason. The file
  // goes into the folder `before` holds where that is its folder too,
  // reached the same way; `held` counts the descriptors the batch holds.
  int makeTemp(sEntry& e, sMade& m, const sMade* before, size_t& held) {
    m.entry = &e;
    if (before && sameFolder(*before->entry, e))
      m.folder = before->folder;
    else if (const int code = holdFolder(e, m, held))
      return code;
    const std::string name = e.temp.substr(e.temp.rfind('/') + 1);
    m.fd = ::openat(m.folder->fd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0664);
    m.unnamed = m.fd >= 0;
    if (!m.unnamed)
      m.fd = ::openat(m.folder->fd(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0664);
    if (m.fd < 0) return irCannotCreate;
    ++held;
    // Writable by its owner, whatever the umask took away, until it is
    // filled through a handle opened again.
    ::fchmod(m.fd, S_IRUSR | S_IWUSR);
    e.tempId = ownIdAt(m.fd, "");
    if (!e.tempId.known()) return irCannotCreate;
    sides_[e.temp] = e.tempId;
    return 0;
  }

  bool sameFolder(const sEntry& a, const sEntry& b) const {
    if (a.anchor != b.anchor || parentOf(target(a)) != parentOf(target(b))) return false;
    const sAnchorPin pa = pinOf(a.anchor, target(a)), pb = pinOf(b.anchor, target(b));
    return pa.pinned == pb.pinned && pa.real == pb.real;
  }

  // Makes and holds the folder of a file; answers 0 or the failure.
  int holdFolder(sEntry& e, sMade& m, size_t& held) {
    _guardchar<char> parent;
    // A folder elsewhere is made as the system reaches it; below the
    // installation folder every level is made and opened without a link.
    if (e.anchor != folder_ && (!stripLastComponent(target(e), parent) || !checkPathRecursive(parent.ptr, &made_)))
      return irBadFolder;
    if (e.anchor == folder_ && !checkPathRecursive(folder_.c_str(), &made_)) return irBadFolder;
    if (e.anchor == folder_ && ctx_.folderReal.empty() && (!previous_ || anchorHolds(folder_, pinOf(folder_, {}))))
      ctx_.folderReal = resolvedFolder(folder_);
    if (e.anchor == folder_ && !ctx_.folderMount) ctx_.folderMount = isMountRoot(AT_FDCWD, folder_);
    m.folder = std::make_shared<cHeldFolder>();
    if (!hold(e, *m.folder, &madeBelow_)) {
      // The user hears that it is a mount, not a wrong path, that stops it.
      if (m.folder->way() == cHeldFolder::mounted) keep(target(e), kKeptMounted);
      return irBadFolder;
    }
    held += 1 + (sideFolders_.hold(e.temp, *m.folder) ? 1 : 0);
    return 0;
  }

  // Through the entry's held folder, while its side name is still the
  // file the run made.
  bool fillTemp(sEntry& e) {
    cHeldFolder folder;
    if (!hold(e, folder)) return fail(irBadFolder, e.temp);
    const std::string name = e.temp.substr(e.temp.rfind('/') + 1);
    const int fd = ::openat(folder.fd(), name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 || ownIdAt(fd, "") != e.tempId) {
      if (fd >= 0) ::close(fd);
      return fail(irCannotCreate, e.temp);
    }
    std::unique_ptr<cFileIOTarget> item(ctx_.scenario->file(static_cast<int>(e.file->index)));
    const bool copied = item ? copyItem(*item, fd, e) : fail(irItemUnreadable, e.temp);
    // The file's own mode before it takes the target's name, so that no
    // change ever goes through the name afterwards; 0664 where the package
    // gives none, whatever the umask took away.
    if (copied) ::fchmod(fd, modeOf(e.file->perms));
    if (::close(fd) != 0 && copied) return fail(irWriteFailed, e.temp);
    return copied;
  }

  // Links a file made without a name into the held folder, never over
  // anything standing there.
  static bool nameUnnamed(int fd, const cHeldFolder& folder, const std::string& name) {
    if (::linkat(fd, "", folder.fd(), name.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), folder.fd(), name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }

  bool copyItem(cFileIOTarget& item, int fd, sEntry& e) {
    unsigned long long total = item.size(), done = 0;
    while (done < total) {
      unsigned long long left = total - done;
      unsigned int piece = left < kCopyPiece ? static_cast<unsigned int>(left) : kCopyPiece;
      if (!item.readf(buffer_, piece)) return fail(irReadFailed, e.temp);
      if (!writeAll(fd, buffer_, piece)) return fail(irWriteFailed, e.temp);
      done += piece;
      if (!goOn(done, total, e.temp)) return false;
    }
    return true;
  }

  // A side file of this run goes through its entry's held folder, while it
  // is still the file the run made.
  void removeSide(const sEntry& e, const std::string& side, const sFileId& id) {
    cHeldFolder folder;
    // Nothing was made under a side name that has no identity.
    if (side.empty() || !id.known()) return;
    if (!hold(e, folder)) {
      // Behind a folder the system would not open it stays, marked.
      if (folder.way() == cHeldFolder::failed) return keep(side, kKeptNotRemoved, folder.err());
      return cutOff(side, id);
    }
    const std::string name = side.substr(side.rfind('/') + 1);
    if (folder.typeOf(name) != S_IFREG || !isSideMade(folder, name, id)) return;
    // One that cannot go stays marked, for the next run to take.
    if (const sChange gone = removeAt(folder.fd(), name); !gone.quiet())
      keep(side, kKeptNotRemoved, gone.err);
  }

  // A side file whose folder was moved and a link put in its place while
  // the run went on: the path leads elsewhere, so it stays where it is. It
  // is found through its folder as held when it was made, named at its
  // real place, and marked there in the record, so that a later run takes
  // it.
  void cutOff(const std::string& side, const sFileId& id) {
    const std::string now = sideFolders_.whereNow(side, id);
    if (now.empty()) return;
    sides_[now] = id;
    keep(now, kKeptFolderMoved);
  }

  void keep(const std::string& path, int reason, int err = 0) {
    for (const sKeptFile& k : ctx_.kept)
      if (k.path == path) return;
    ctx_.kept.push_back({path, reason, err});
  }

  void dropTemps() {
    for (sEntry& e : entries_) removeSide(e, e.temp, e.tempId);
    dropMadeFolders();
  }

  // The folders a failed run made go again, the deepest first; one that
  // holds anything stays.
  void dropMadeFolders() {
    const auto removed = [this](int at, const std::string& name, const std::string& path) {
      if (const sChange gone = removeAt(at, name, true); !gone.quiet()) keep(path, kKeptNotRemoved, gone.err);
    };
    for (auto it = madeBelow_.rbegin(); it != madeBelow_.rend(); ++it) {
      cHeldFolder parent;
      if (holdAt(parent, folder_, *it)) removed(parent.fd(), parent.leaf(), *it);
    }
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) removed(AT_FDCWD, *it, *it);
  }

  // The backup is a second name of the target, so the target itself never
  // goes missing; only where neither a link nor a copy can be made is the
  // file busy. Each backup's name is recorded with the target's identity
  // before the second name is made.
  bool backup() {
    bool marked = false;
    size_t done = 0;
    for (sEntry& e : entries_) {
      if (!changed(e)) continue;
      if (!goOn(done++, 2 * static_cast<size_t>(changed_), target(e))) return false;
      cHeldFolder folder;
      if (!hold(e, folder)) return unheld(e, folder);
      bool bound = false;
      const unsigned type = folder.typeOf(folder.leaf(), &bound);
      if (!type) continue;
      // A target the user bound a file of theirs onto is no file of the
      // package's to back up or replace: the run stops there, naming it as
      // a mount on the way to it. Only what stands at the target can be
      // bound, and every target standing is looked at here, before any is
      // backed up or replaced.
      if (bound) {
        keep(target(e), kKeptMounted);
        return fail(irBadFolder, target(e));
      }
      if (type != S_IFREG) return fail(irObstacle, target(e));
      e.existed = true;
      if (e.backup.empty()) continue;
      e.backupId = folder.idAt(folder.leaf());
      if (!e.backupId.known()) return fail(irObstacle, target(e));
      sides_[e.backup] = e.backupId;
      marked = true;
    }
    if (marked && !markMade()) return false;
    for (sEntry& e : entries_) {
      if (!changed(e)) continue;
      if (!goOn(done++, 2 * static_cast<size_t>(changed_), target(e))) return false;
      if (!e.existed || e.backup.empty()) continue;
      cHeldFolder folder;
      if (!hold(e, folder)) return unheld(e, folder);
      while (!makeBackup(folder, e)) {
        if (host_.askRelease(target(e))) return fail(irBackupGivenUp, e.backup);
      }
      e.backedUp = true;
    }
    return true;
  }

  // A folder on the way the system would not open is no object in the
  // way: the user needs the system's reason to mend it, and the target
  // may not exist, so no line says it stays.
  bool unheld(const sEntry& e, const cHeldFolder& folder) {
    if (folder.way() != cHeldFolder::failed) return fail(irObstacle, target(e));
    return fail(irBadFolder, std::string(target(e)) + ": " + std::strerror(folder.err()));
  }

  // A second name where the file system allows one, else a whole copy
  // renamed into place, so a backup is never a partial file.
  bool makeBackup(const cHeldFolder& folder, sEntry& e) {
    const std::string bkp = folder.side(".bkp");
    if (::linkat(folder.fd(), folder.leaf().c_str(), folder.fd(), bkp.c_str(), 0) == 0) {
      // Should the target have been replaced since it was marked, the
      // record names another file and no later run takes this one.
      e.backupId = folder.idAt(bkp);
      return true;
    }
    if (errno == EEXIST || e.backupPart.empty()) return false;
    const std::string part = bkp + ".tmp";
    int in = ::openat(folder.fd(), folder.leaf().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) return false;
    int out = ::openat(folder.fd(), part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool ok = out >= 0;
    // The copy is named before a byte goes into it, under both its names.
    if (ok && (e.backupId = ownIdAt(out, "")).known()) {
      sides_[e.backupPart] = sides_[e.backup] = e.backupId;
      ok = markMade();
    }
    for (ssize_t n = 0; ok;) {
      n = ::read(in, buffer_, kCopyPiece);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      ok = writeAll(out, buffer_, static_cast<size_t>(n));
    }
    struct stat st;
    if (ok && ::fstat(in, &st) == 0) ::fchmod(out, st.st_mode & 07777);
    ::close(in);
    if (out >= 0 && ::close(out) != 0) ok = false;
    if (ok && renameNoReplace(folder.fd(), part, bkp).how == sChange::done) return true;
    if (out >= 0)
      if (const sChange gone = removeAt(folder.fd(), part); !gone.quiet())
        keep(e.backupPart, kKeptNotRemoved, gone.err);
    return false;
  }

  static mode_t modeOf(const unsigned char (&perms)[3]) {
    mode_t mode = 0;
    for (int i = 0; i < 3; ++i) mode = mode * 8 + (perms[i] <= 7 ? perms[i] : kDefaultDigits[i]);
    return mode;
  }

  bool apply() {
    size_t done = 0;
    for (sEntry& e : entries_) {
      if (!changed(e)) continue;
      if (!goOn(done++, static_cast<size_t>(changed_), target(e))) return false;
      cHeldFolder folder;
      const std::string temp = e.temp.substr(e.temp.rfind('/') + 1);
      if (!hold(e, folder) || !isSideMade(folder, temp, e.tempId) ||
          ::renameat(folder.fd(), temp.c_str(), folder.fd(), folder.leaf().c_str()) != 0)
        return fail(irCannotApply, target(e));
      e.applied = true;
    }
    return true;
  }

  // Puts the previous installation back as it was: old files over new ones,
  // files the previous installation did not have removed, and the folders
  // this run made.
  int undo() {
    for (sEntry& e : entries_) {
      cHeldFolder folder;
      if (!changed(e)) continue;
      if (!hold(e, folder)) {
        cutOff(e.temp, e.tempId);
        if (e.backedUp) cutOff(e.backup, e.backupId);
        continue;
      }
      if (e.backedUp && isSideMade(folder, folder.side(".bkp"), e.backupId)) {
        if (!restoreHeld(folder, folder.side(".bkp"), folder.leaf())) keep(target(e), kKeptNotPutBack);
      } else if (e.applied && !e.existed && isSideMade(folder, folder.leaf(), e.tempId)) {
        // One that cannot go stays listed, as the file its temporary name
        // was, so that the uninstall takes it.
        if (const sChange gone = removeAt(folder.fd(), folder.leaf()); !gone.quiet()) {
          keep(target(e), kKeptNotRemoved, gone.err);
          notRemoved_.push_back(&e);
        }
      } else if (e.applied && e.existed) {
        // Replaced where no backup could be made: it keeps the new bytes.
        keep(target(e), kKeptNotPutBack);
      }
      removeSide(e, e.temp, e.tempId);
    }
    dropMadeFolders();
    return unmarkRun();
  }

  void shortcuts() {
    _List<cSoftPkgScenario::sMenuItemDef> items;
    ctx_.scenario->getMenuItems(items);
    const char* group = ctx_.scenario->getStr("group");
    for (auto* it = items.head; it; it = it->next) {
      auto& item = it->value;
      _guardchar<char> made;
      if (createSysShortcut(made, item.caption.ptr, group, item.program.ptr, item.icon.ptr, item.comment.ptr,
                            item.elevated, item.arguments.ptr)) {
        if (auto* old = ctx_.oldShortcuts.find(cStringKey(made.ptr, -1))) old->set(nullptr);
        ctx_.newShortcuts.add()->value.set(made.ptr);
      } else if (made.ptr) {
        removeAlone(made.ptr);
      }
    }
    items.destroy();
    forEach(ctx_.oldShortcuts, [](_guardchar<char>& path) {
      if (path.ptr) removeAlone(path.ptr);
    });
  }

  // A shortcut lives in a folder the desktop owns: it goes alone.
  static void removeAlone(const char* path) { rmFileClean(path, path); }

  template <typename V, typename F>
  static void forEach(cFasterTreeList<cStringKey, V>& map, F each) {
    if (!map.root) return;
    for (auto* it = cFasterTreeList<cStringKey, V>::leftmost(map.root); it;
         it = cFasterTreeList<cStringKey, V>::next(it))
      each(it->value);
  }

  // Answers whether the manager's path is known.
  bool copyManager(_guardchar<char>& manager, _guardchar<char>& shortcut) {
    if (!host_.managerPath(manager) || !manager.ptr) return false;
    const char* m = manager.ptr;
    bool replace = true;
    if (isRegularFile(m)) {
      unsigned long long installed = getVerID(m);
      replace = installed == kNoVersion || installed < getCurrVerID();
    }
    if (replace) writeManager(m);
    if (exists(m)) {
      // One manager only: a bundle left under another language's name goes.
      for (const std::string& other : appManagerPaths())
        if (other != m && exists(other.c_str())) removeManagerAt(other.c_str(), nullptr);
      if (config_) {
        _guardchar<char> old;
        if (config_->getParamStr("installer/shortcut", old) && old.ptr && *old.ptr) removeAlone(old.ptr);
      }
      _guardchar<char> made;
      if (createSysShortcut(made, "Software Packages management", "PackageManager;System;Settings;", m,
                            "/usr/share/pixmaps/zvk-tamsivar.png", nullptr, true, nullptr))
        shortcut.set(made.ptr);
    }
    return true;
  }

  // The new copy is renamed over the old one, so a manager is at its path
  // at every moment once one was installed.
  void writeManager(const char* m) {
    _guardchar<char> temp, folder;
    sideName(m, ".tmp", temp);
    if (!stripLastComponent(temp.ptr, folder) || !checkPathRecursive(folder.ptr)) return;
    if (isRegularFile(temp.ptr)) ::unlink(temp.ptr);
    int fd = createExclusive(temp.ptr);
    if (fd < 0) return;
    ::close(fd);
    cFileIO out;
    // The copy is made of the program install mode runs from, named in the
    // context, so a caller other than that program still copies the manager.
    bool saved = out.open(temp.ptr, fmWrite) && saveTamsivarFrom(ctx_.program.ptr, ctx_.program.ptr, &out, folder.ptr);
    out.close();
    if (!saved) {
      ::unlink(temp.ptr);
      return;
    }
    while (!replaceFile(temp.ptr, m)) {
      if (host_.askRelease(m)) return;
    }
    ::chmod(m, 0755);
  }

  // A package without its record could be neither removed nor upgraded:
  // the run fails and puts the previous installation back. Where the save
  // failed after the record was in place (another file of the store, or
  // the folder's sync), the record stands and the run goes on.
  bool saveRecord(const char* manager, const char* managerShortcut, const sRecordExtras& kept) {
    if (!config_) return true;
    // A record of an earlier build knew not where the folder resolved: from
    // now on it is where the folder this run wrote into resolves. So is
    // each folder a file placed elsewhere was written into, each resolved
    // once.
    if (ctx_.folderReal.empty()) ctx_.folderReal = resolvedFolder(folder_);
    if (!ctx_.folderMount) ctx_.folderMount = isMountRoot(AT_FDCWD, folder_);
    std::map<std::string, std::string> resolved;
    for (const sEntry& e : entries_) {
      if (e.anchor == folder_) continue;
      const auto [at, added] = resolved.try_emplace(e.anchor);
      if (added) at->second = resolvedFolder(e.anchor);
      if (!at->second.empty())
        ctx_.placedIn[target(e)] = at->second;
      else
        ctx_.placedIn.erase(target(e));
    }
    bool global = false;
    errno = 0;
    if (!saveInstallRecord(&ctx_, config_, manager, managerShortcut, &global, &kept)) {
      const int err = errno;
      std::vector<std::string> listed = targets();
      listed.insert(listed.end(), kept.files.begin(), kept.files.end());
      if (!savedAs(listed, kept.sides)) return unsaved(err);
    }
    if (manager && isRegularFile(manager)) OSRegisterPackage(ctx_.codename.ptr, *ctx_.scenario, !global);
    return true;
  }

  // Files this version dropped go as the uninstaller takes files: from the
  // old installation folder down, or from the root through no link for one
  // placed outside it. Any other spelling, or a link on the way, may not
  // lead to the file the old version wrote: it stays, and stays listed, so
  // that the uninstaller names it; the wizard's finish page names it at
  // once, with the reason the uninstaller would give.
  void removeDropped() {
    std::string old = ctx_.installedFolder.ptr ? ctx_.installedFolder.ptr : "";
    while (old.size() > 1 && old.back() == '/') old.pop_back();
    const bool oldFolder = !old.empty() && old[0] == '/' && !hasDotSteps(old);
    std::vector<sKeptFile> stayed;
    for (const std::string& path : dropped_) {
      const std::string anchor = path.empty() || path[0] != '/' || hasDotSteps(path) ? std::string()
                                 : oldFolder && under(path, old)                     ? old
                                                                                     : parentOf(path);
      cHeldFolder folder;
      if (!holdAt(folder, anchor, path)) {
        // Behind a folder the system would not open it is not gone.
        if (folder.way() == cHeldFolder::failed)
          stayed.push_back({path, kKeptNotRemoved, folder.err()});
        else if (folder.way() != cHeldFolder::gone && exists(path.c_str()))
          stayed.push_back({path, anchor.empty()                           ? kKeptOddPath
                                  : folder.way() == cHeldFolder::mounted ? kKeptMounted
                                                                           : keptReasonFor(anchor, path)});
        continue;
      }
      bool bound = false;
      const unsigned type = folder.typeOf(folder.leaf(), &bound);
      // A file bound onto it hides the package's, which stays listed.
      if (bound) {
        stayed.push_back({path, kKeptMounted});
        continue;
      }
      if (type == S_IFREG || (type == S_IFLNK && anchor == old)) {
        // One that cannot go (its folder immutable, say) stays listed and
        // named, as one kept for its path.
        if (const sChange gone = removeAt(folder.fd(), folder.leaf()); !gone.quiet()) {
          stayed.push_back({path, kKeptNotRemoved, gone.err});
          continue;
        }
        // An emptied folder that cannot go keeps the file listed, so that
        // an uninstall takes the folder once it can, and is named.
        if (anchor == old) keepStuck(dropEmptyFoldersBelow(old, path, pinOf(old, path)), path);
      }
    }
    // A run cut short between removing a dropped file and its emptied
    // folder left the folder, born before that run saved the record that
    // still names or marks the file; one the user made there again since is
    // younger and stays. Where a record of an earlier build keeps whole
    // seconds, a folder born in the very second it was saved may be either,
    // and stays. A record without its time proves nothing, and the store
    // file's time moves with any other package's save: then they all stay.
    if (oldFolder && recordTime_) {
      std::vector<std::string> gone = ctx_.listedGone;
      for (const auto& [side, id] : earlierSides_) gone.push_back(side);
      for (const std::string& path : gone)
        if (!listed_.count(path) && under(path, old) && !hasDotSteps(path))
          keepStuck(dropEmptyFoldersBelow(old, path, pinOf(old, path), recordTime_));
    }
    // A path kept early may lead through a link into a folder a later path
    // emptied and removed: only what is still there once every dropped file
    // has been dealt with was kept.
    // One the system refused to remove or reach is there all the same.
    for (const sKeptFile& k : stayed) {
      if (!k.err && !exists(k.path.c_str())) continue;
      // Listed again, it needs no mark.
      sides_.erase(k.path);
      keptDropped_.push_back(k.path);
      if (k.err || worthNaming(k.path)) ctx_.kept.push_back(k);
    }
  }

  // A kept path is named where the uninstaller would name it: a file as the
  // system follows the path, and not another spelling of a file this
  // version installs, which the user must not delete by hand. The new files
  // are looked at once, on the first kept path.
  bool worthNaming(const std::string& path) {
    if (!newIdsRead_) {
      newIdsRead_ = true;
      for (const sEntry& e : entries_) {
        struct stat placed;
        if (::stat(target(e), &placed) == 0) newIds_.insert({placed.st_dev, placed.st_ino});
      }
    }
    struct stat kept;
    return ::stat(path.c_str(), &kept) == 0 && S_ISREG(kept.st_mode) && !newIds_.count({kept.st_dev, kept.st_ino});
  }

  sPkgInstallContext& ctx_;
  cInstallJobHost& host_;
  cApplicationConfig* config_;
  // The installation folder the package is installed into.
  std::string folder_;
  _guardchar<char> section_;
  std::vector<sEntry> entries_;
  // Every file the old and the new version list: never a side file.
  std::set<std::string> listed_;
  std::vector<std::string> dropped_, keptDropped_;
  std::set<std::pair<dev_t, ino_t>> newIds_;
  bool newIdsRead_ = false;
  // The side files the record named when the run began, and those it
  // names now.
  tSideMark earlierSides_, sides_;
  // Those of them still under their names whose marks match by device and
  // inode alone.
  std::set<std::string> unproven_;
  // The record's file list when the run began, in its order: the previous
  // version's, or the mark of an unfinished first installation.
  bool previous_ = false;
  std::vector<std::string> oldList_;
  // When the record the run began with was saved.
  std::optional<sSaveTime> recordTime_;
  // The folder and the files of a first installation killed before it
  // ended, as its record names them.
  std::string unfinishedBase_;
  std::vector<std::string> unfinishedList_;
  // Folders this run made, above the installation folder's inside and
  // below it, each in the order made.
  std::vector<std::string> made_, madeBelow_;
  // New files the taking back of a failed run could not remove.
  std::vector<const sEntry*> notRemoved_;
  int changed_ = 0;
  cSideFolders sideFolders_;
  unsigned char buffer_[kCopyPiece];
};

}  // namespace

int changedCount(sPkgInstallContext& context) {
  int n = 0;
  for (auto* f = context.files.head; f; f = f->next) n += sPkgInstallContext::changed(f->value) ? 1 : 0;
  return n;
}

int runInstallerJob(sPkgInstallContext& context, cInstallJobHost& host, cApplicationConfig* config) {
  if (!context.scenario) return 1;
  // A package that places no file would leave a record of nothing under a
  // folder that may not exist: a broken package, never a success.
  if (!context.files.head) {
    context.fail(irItemUnreadable, context.package.ptr);
    return 1;
  }
  // A store opened where the home was not made yet would lose the record.
  errno = 0;
  if (config && !openRecordFolder(config)) {
    const int err = errno;
    context.fail(irRecordUnsaved, storeTrouble(config, err).c_str());
    return 1;
  }
  // The record is read and changed only under the package's lock, which
  // the init took; where it could not be made, nothing is changed.
  if (config && !context.runLock.held()) {
    context.fail(irRecordUnsaved, context.runLock.trouble().c_str());
    return 1;
  }
  auto run = std::make_unique<cInstallerRun>(context, host, config);
  const int end = run->run();
  nameStoreCopies(config, context.kept);
  // Its last save is made: the next run of the package may begin.
  context.runLock.release();
  return end;
}
