// Changes to a package's files that a link swapped in at any moment cannot
// lead elsewhere: every step from an anchor folder down to the file's folder
// is opened without following a link, and the change is made on that
// folder's handle, so what was checked is what is changed.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

// What a path led to when this system made or wrote through it: a later
// run changes what the path reaches only while it is still that.
// A file's birth time tells a new file that got a freed inode number from
// the one that had it; where the file system keeps none, the generation
// it gives each new file under a number does (ext2 with small inodes).
// Where either side has neither (another file system, a record of an
// earlier build) device and inode alone match, which proves nothing.
struct sFileId {
  dev_t dev = 0;
  ino_t ino = 0;
  bool born = false;
  long long bornSec = 0;
  unsigned bornNsec = 0;
  bool hasGen = false;
  unsigned gen = 0;
  bool known() const { return dev != 0 || ino != 0; }
  bool operator==(const sFileId& o) const {
    return dev == o.dev && ino == o.ino &&
           (!born || !o.born || (bornSec == o.bornSec && bornNsec == o.bornNsec)) &&
           (!hasGen || !o.hasGen || gen == o.gen);
  }
  // Equal by device and inode alone, with no birth time or generation on
  // both sides: a file made later under the freed number looks the same,
  // so this proves nothing.
  bool numberOnly(const sFileId& o) const { return *this == o && !(born && o.born) && !(hasGen && o.hasGen); }
};

// How an anchor folder must be reached before anything below it changes.
// A folder this system made is the package's while its path resolves to
// where it resolved then (`real`): links that were there then are
// followed, a link at or below it that now leads elsewhere is not, and
// its device and inode numbers, which a restore, a remount or a reboot
// changes, tell nothing. Pinned without `real` (a record of an earlier
// build), the path is followed up to the folder, which may be no link
// itself. Unpinned, any path to a folder will do. Where `mountRoot` is
// known, the folder is the package's only while it is a mount point, or
// is none, as it was when made: a file system mounted on it since is
// another's.
struct sAnchorPin {
  bool pinned = false;
  std::string real;
  std::optional<bool> mountRoot = std::nullopt;
};

// Where the folder at `path` resolves to now, following links, as the
// system names it; empty when no folder is there, or, given `was`, when
// the folder there has other device and inode numbers.
std::string resolvedFolder(const std::string& path, const sFileId& was = {});
// Whether `folder` is reached as `pin` asks.
bool anchorHolds(const std::string& folder, const sAnchorPin& pin);
// Whether `name` in `folder` (AT_FDCWD: from the working folder) is the
// root of a mount; false where that cannot be told.
bool isMountRoot(int folder, const std::string& name);
// What `name` in `folder` (AT_FDCWD: from the working folder; empty: the
// file `folder` is open on) is itself, a link included, with its birth
// time where the file system keeps one, else a regular file's generation
// where it gives one; unknown when nothing is there.
sFileId ownIdAt(int folder, const std::string& name);

class cHeldFolder {
 public:
  cHeldFolder() = default;
  cHeldFolder(const cHeldFolder&) = delete;
  cHeldFolder& operator=(const cHeldFolder&) = delete;
  ~cHeldFolder();

  // Holds the folder of `path`, which is `anchor`, "/" and plain names (no
  // "." or ".." step), every folder on the way a real one on the anchor's
  // mount, as each is seen now: none is reached across a mount. With `made`,
  // missing folders are created and their paths appended, the upper first.
  // The anchor is reached as `pin` asks.
  bool hold(const std::string& anchor, const std::string& path, std::vector<std::string>* made = nullptr,
            const sAnchorPin& pin = {});
  // Why the last hold failed, judged by what stood on the way: nothing
  // (`gone`: nothing below is there either); a folder the system would not
  // open or make (`failed`, with its reason in `err()`: the item behind it
  // is neither gone nor reached); another file system (`mounted`); an
  // anchor made as a mount point that is none now (`unmounted`: the file
  // system it was made on is not there); or a link, something else in a
  // folder's place, or an anchor that is not where it was made (`refused`).
  enum eWay { held, gone, failed, mounted, unmounted, refused };
  eWay way() const { return way_; }
  int err() const { return err_; }
  int fd() const { return fd_; }
  const std::string& leaf() const { return leaf_; }
  // The name of `leaf()` with `suffix` appended, in the same folder.
  std::string side(const char* suffix) const { return leaf_ + suffix; }
  // 0 nothing there, else the lstat type bits of the name in the folder;
  // the same look tells `mountRoot`, whether it is the root of a mount (a
  // file or folder bound there).
  unsigned typeOf(const std::string& name, bool* mountRoot = nullptr) const;
  // What the name in the folder is itself, a link included; unknown when
  // nothing is there.
  sFileId idAt(const std::string& name) const;

 private:
  void release();
  // Ends a hold that failed, saying why; false.
  bool stop(eWay way, int err = 0);
  int fd_ = -1;
  std::string leaf_;
  eWay way_ = refused;
  int err_ = 0;
};

// How `folder` is reached as `pin` asks, as a hold judges its way; where
// the system would not open it, `err` is its reason.
cHeldFolder::eWay anchorWay(const std::string& folder, const sAnchorPin& pin, int& err);

// How many more descriptors the process may open: the free numbers below
// its limit, whatever it inherited; 0 where that is unknown.
size_t freeDescriptors();

// The folders a run made side files in, held open by their paths then, so
// that a side file whose folder was moved and a link put in its place is
// still found where it really is. Only the first kHeld folders are held,
// and no more than a quarter of the descriptors free at the first, so
// that the run itself always has room: a side file in any other folder is
// then only left in place.
class cSideFolders {
 public:
  static constexpr size_t kHeld = 256;
  cSideFolders() = default;
  cSideFolders(const cSideFolders&) = delete;
  cSideFolders& operator=(const cSideFolders&) = delete;
  ~cSideFolders();

  // Holds `folder`, the folder of `path`'s side files; answers whether
  // that took a descriptor.
  bool hold(const std::string& path, const cHeldFolder& folder);
  // Where the side file made as `side` is now, while it is still the file
  // `id` names; empty when it is gone, or its folder was not held or was
  // removed.
  std::string whereNow(const std::string& side, const sFileId& id) const;

 private:
  std::map<std::string, int> fds_;
  std::optional<size_t> most_;
};

// The text before the last "/" of `path`: "/" for a name at the root,
// empty without a "/".
std::string parentOf(const std::string& path);
// Whether `path` has a "." or ".." step.
bool hasDotSteps(const std::string& path);
// Whether `path` lies below `folder`, as text.
bool under(const std::string& path, const std::string& folder);
// When a record was saved, on the clock the file system stamps births
// with. A record of an earlier build kept whole seconds only.
struct sSaveTime {
  long long sec = 0;
  bool fine = false;
  unsigned nsec = 0;
};
// Whether `id` is known to have been born at or after `saved`: in that
// second or a later one where only seconds are known. Without a birth
// time nothing is known.
bool bornSince(const sFileId& id, const sSaveTime& saved);
// What became of a removal or a rename, judged in one place by what
// happened: done; already gone; or, for a folder, left because it holds
// something (of the user's: the package's files went first). Those are
// quiet. Anything else is a failure with the system's reason, which the
// run names, keeps listed and ends on.
struct sChange {
  enum eHow { done, gone, holds, failed };
  eHow how = done;
  int err = 0;
  bool quiet() const { return how != failed; }
};
// The outcome of a call that answered `rc` with `err` as its errno.
sChange judged(int rc, int err, bool folder);
// Removes the file (or, `folder`, the empty folder) `name` of a folder
// open as `at` (AT_FDCWD: a path), judged.
sChange removeAt(int at, const std::string& name, bool folder = false);
// A folder that stayed, and why; no folder where none did.
struct sStuck {
  std::string folder;
  int err = 0;
};
// Removes the folders `path` leaves empty below `anchor`, the nearest
// first, each through a held parent; stops at the first that stays. A
// folder there is the package's by its path, reached from the anchor
// through no link and across no mount. Given `savedAt`, one already gone
// is passed over, and one whose birth time says it was made since then
// stays: made again by the user after an earlier run emptied it. A mount
// point stays, as a folder that holds something does. Answers the folder
// whose removal failed, or that a folder on the way the system would not
// open kept, or nothing.
sStuck dropEmptyFoldersBelow(const std::string& anchor, const std::string& path, const sAnchorPin& pin,
                             const std::optional<sSaveTime>& savedAt = std::nullopt);
// Renames `from` to `to` in the held folder, never over anything that
// stands at `to`, judged.
sChange renameNoReplace(int folder, const std::string& from, const std::string& to);
