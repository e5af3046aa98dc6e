// What install mode carries from opening a package to the files in place:
// the loaded scenario, the files to copy with the ones already identical
// marked, what the previous installation left, and the outcome. It lives on
// the stack of install mode and its jobs run one after another, so it has no
// lock of its own; it holds the package's, from the first read of the
// record to the job's last save.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/btree.h"
#include "base/guardchar.h"
#include "base/list.h"
#include "base/stringkey.h"
#include "tamsivar/scenario.h"
#include "tamsivarapp/heldpath.h"
#include "tamsivarapp/keptfiles.h"
#include "tamsivarapp/runlock.h"

// A file of the previous installation.
struct sExistingFileItem {
  _guardchar<char> path;
  unsigned char digest[32] = {};
  // Set once the new package installs a file at the same path.
  unsigned char kept = 0;
};

// An installed package that the new one supersedes.
struct sPackageForRemoval {
  _guardchar<char> name;
  _guardchar<char> command;
  unsigned char selected = 0;
  int result = 0;
};

// The others digit of a copied file doubles as this flag: the installed copy
// already has the package's bytes.
inline constexpr unsigned char kFileUnchanged = 255;

struct sPkgInstallContext {
  static constexpr unsigned int kMapDepthLimit = 2048;

  cSoftPkgScenario* scenario = nullptr;
  _guardchar<char> program;
  _guardchar<char> package;
  unsigned int offset = 0;
  _guardchar<char> codename;
  // The codename as the configuration spells it: the record's section name.
  _guardchar<char> recordName;
  _guardchar<char> problemPath;
  // A path that is not absolute in the chosen language: the package's other
  // languages in which every path is.
  std::vector<int> installableLangs;
  int result = 0;
  unsigned long long version = 0;
  unsigned long long installedVersion = 0;
  // The previous record's installation folder: removing old files never
  // takes folders above it.
  _guardchar<char> installedFolder;
  // The package's record was judged damaged, its store's bytes kept: the
  // run is a new installation, over the folder the record names, that
  // takes nothing else of the record for the package's.
  bool recordDamaged = false;
  // Where the installation folder resolved when this system made or first
  // wrote into it: read from the previous record, kept by the job,
  // recorded again. Empty where an earlier build recorded none.
  std::string folderReal;
  // Whether it was a mount point then: a file system mounted on it since
  // is not the package's, nor is the folder under one unmounted since.
  // Unknown only until a first installation makes the folder.
  std::optional<bool> folderMount;
  // Where the folder each file placed outside the installation folder was
  // written into resolved then, by the file's path: a path that still
  // resolves there is the package's, whatever links it passes.
  std::map<std::string, std::string> placedIn;
  _List<int> langs;
  _List<cSoftPkgScenario::sCopiedFile> files;
  _List<sPackageForRemoval> removals;
  cFasterTreeList<cStringKey, sExistingFileItem> existing;
  // Files the previous record lists that are no longer there, spelled
  // plainly.
  std::vector<std::string> listedGone;
  cFasterTreeList<cStringKey, _guardchar<char>> oldShortcuts;
  _List<_guardchar<char>> newShortcuts;
  // Files of the previous installation the new one no longer lists that
  // stayed because their path may not lead to what that version wrote.
  std::vector<sKeptFile> kept;
  cPackageRunLock runLock;

  sPkgInstallContext() {
    existing.depthLimit = kMapDepthLimit;
    oldShortcuts.depthLimit = kMapDepthLimit;
  }
  sPkgInstallContext(const sPkgInstallContext&) = delete;
  sPkgInstallContext& operator=(const sPkgInstallContext&) = delete;
  ~sPkgInstallContext() {
    langs.destroy();
    files.destroy();
    removals.destroy();
    newShortcuts.destroy();
    delete scenario;
  }

  static bool changed(const cSoftPkgScenario::sCopiedFile& f) { return f.perms[2] != kFileUnchanged; }
  void fail(int code, const char* path) {
    result = code;
    problemPath.set(path);
  }
};
