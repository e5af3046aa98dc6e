#include "tamsivarapp/installjob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "base/folder.h"
#include "tamsivar/manager.h"
#include "tamsivar/oshooks.h"
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

struct sEntry {
  cSoftPkgScenario::sCopiedFile* file;
  std::string temp;
  std::string backup;
  bool backedUp = false;
  bool applied = false;
};

class cInstallerRun {
 public:
  cInstallerRun(sPkgInstallContext& context, cInstallJobHost& host, cApplicationConfig* config)
      : ctx_(context), host_(host), config_(config) {
    for (auto* f = ctx_.files.head; f; f = f->next) {
      const char* target = f->value.path.ptr ? f->value.path.ptr : "";
      entries_.push_back({&f->value, std::string(target) + ".tmp", std::string(target) + ".bkp"});
      if (sPkgInstallContext::changed(f->value)) ++changed_;
    }
  }

  int run() {
    host_.notifyStage(0);
    if (!prepare()) return 1;
    if (!unpack()) {
      host_.notifyLastStage();
      dropTemps();
      return 1;
    }
    host_.notifyStage(changed_ + 1);
    if (!backup()) return undo();
    host_.notifyStage(changed_ + 2);
    if (!apply()) return undo();
    ctx_.result = irOk;
    shortcuts();
    _guardchar<char> manager, managerShortcut;
    bool managerKnown = copyManager(manager, managerShortcut);
    // Files this version dropped go while the old record still lists them:
    // once the new record is saved, nothing would name them any more.
    removeDropped();
    saveRecord(managerKnown ? manager.ptr : nullptr, managerShortcut.ptr);
    host_.notifyLastStage();
    for (sEntry& e : entries_) ::unlink(e.backup.c_str());
    return 0;
  }

 private:
  static const char* target(const sEntry& e) { return e.file->path.ptr; }
  static bool changed(const sEntry& e) { return sPkgInstallContext::changed(*e.file); }

  bool fail(int code, const std::string& path) {
    ctx_.fail(code, path.c_str());
    return false;
  }

  // Repairs what an interrupted installation left: stale copies go, and a
  // stale backup of a file about to be replaced is put back first so that
  // the old bytes are never lost.
  bool prepare() {
    for (sEntry& e : entries_) {
      _guardchar<char> part;
      backupPartName(e.backup.c_str(), part);
      if (isRegularFile(part.ptr)) ::unlink(part.ptr);
      if (exists(e.temp.c_str())) {
        if (!isRegularFile(e.temp.c_str())) return fail(irObstacle, e.temp);
        if (::unlink(e.temp.c_str()) != 0 && changed(e)) return fail(irStaleSideFile, e.temp);
      }
      if (isRegularFile(e.backup.c_str())) {
        if (!changed(e)) {
          ::unlink(e.backup.c_str());
        } else if (!restoreBackup(e.backup.c_str(), target(e))) {
          return fail(irStaleSideFile, target(e));
        }
      } else if (exists(e.backup.c_str()) && exists(target(e))) {
        return fail(irObstacle, target(e));
      }
    }
    return true;
  }

  bool unpack() {
    int stage = 0;
    for (sEntry& e : entries_) {
      if (!changed(e)) continue;
      host_.notifyStage(++stage);
      if (!unpackOne(e)) return false;
    }
    return true;
  }

  bool unpackOne(sEntry& e) {
    _guardchar<char> folder;
    if (!stripLastComponent(e.temp.c_str(), folder) || !checkPathRecursive(folder.ptr))
      return fail(irBadFolder, e.temp);
    std::unique_ptr<cFileIOTarget> item(ctx_.scenario->file(static_cast<int>(e.file->index)));
    if (!item) return fail(irItemUnreadable, e.temp);
    int fd = createExclusive(e.temp.c_str());
    if (fd < 0) return fail(irCannotCreate, e.temp);
    bool ok = copyItem(*item, fd, e);
    if (::close(fd) != 0 && ok) ok = fail(irWriteFailed, e.temp);
    return ok;
  }

  bool copyItem(cFileIOTarget& item, int fd, sEntry& e) {
    unsigned long long total = item.size(), done = 0;
    while (done < total) {
      unsigned long long left = total - done;
      unsigned int piece = left < kCopyPiece ? static_cast<unsigned int>(left) : kCopyPiece;
      if (!item.readf(buffer_, piece)) return fail(irReadFailed, e.temp);
      for (unsigned int at = 0; at < piece;) {
        ssize_t n = ::write(fd, buffer_ + at, piece - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(irWriteFailed, e.temp);
        at += static_cast<unsigned int>(n);
      }
      done += piece;
      if (!host_.notifyProgress(100.0 * static_cast<double>(done) / static_cast<double>(total)))
        return fail(irStopped, e.temp);
    }
    return true;
  }

  void dropTemps() {
    for (sEntry& e : entries_) ::unlink(e.temp.c_str());
  }

  // The backup is a second name of the target, so the target itself never
  // goes missing; only where neither a link nor a copy can be made is the
  // file busy.
  bool backup() {
    for (sEntry& e : entries_) {
      if (!changed(e) || !exists(target(e))) continue;
      if (!isRegularFile(target(e))) return fail(irObstacle, target(e));
      while (!makeBackup(target(e), e.backup.c_str())) {
        if (host_.askRelease(target(e))) return fail(irBackupGivenUp, e.backup);
      }
      e.backedUp = true;
    }
    return true;
  }

  static mode_t modeOf(const unsigned char (&perms)[3]) {
    mode_t mode = 0;
    for (int i = 0; i < 3; ++i) mode = mode * 8 + (perms[i] <= 7 ? perms[i] : kDefaultDigits[i]);
    return mode;
  }

  bool apply() {
    for (sEntry& e : entries_) {
      if (!changed(e)) continue;
      if (!replaceFile(e.temp.c_str(), target(e))) return fail(irCannotApply, target(e));
      e.applied = true;
      const unsigned char(&perms)[3] = e.file->perms;
      if (perms[0] != 8 || perms[1] != 8 || perms[2] != 8) ::chmod(target(e), modeOf(perms));
    }
    return true;
  }

  // Puts the previous installation back as it was: old files over new ones,
  // files the previous installation did not have removed.
  int undo() {
    for (sEntry& e : entries_) {
      if (e.backedUp) {
        restoreBackup(e.backup.c_str(), target(e));
      } else if (e.applied) {
        ::unlink(target(e));
      }
      if (changed(e)) ::unlink(e.temp.c_str());
    }
    return 1;
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

  void saveRecord(const char* manager, const char* managerShortcut) {
    if (!config_) return;
    bool global = false;
    if (!saveInstallRecord(&ctx_, config_, manager, managerShortcut, &global)) {
      ctx_.result = irRecordUnsaved;
      return;
    }
    if (manager && isRegularFile(manager)) OSRegisterPackage(ctx_.codename.ptr, *ctx_.scenario, !global);
  }

  void removeDropped() {
    const char* stop = ctx_.installedFolder.ptr;
    forEach(ctx_.existing, [stop](sExistingFileItem& item) {
      if (!item.kept && item.path.ptr) rmFileClean(item.path.ptr, stop);
    });
  }

  sPkgInstallContext& ctx_;
  cInstallJobHost& host_;
  cApplicationConfig* config_;
  std::vector<sEntry> entries_;
  int changed_ = 0;
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
  auto run = std::make_unique<cInstallerRun>(context, host, config);
  return run->run();
}
