// Removing an installed package: its files, the folders they leave empty,
// its shortcuts and its record, or, for a package the record does not know,
// its registration and the uninstaller it registered. The forms around it
// post and wait; this part never shows anything.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/appconfig.h"
#include "base/guardchar.h"
#include "base/list.h"
#include "tamsivarapp/keptfiles.h"

struct sPkgUninstallContext {
  _guardchar<char> id;
  cApplicationConfig* config = nullptr;
  // The record's installation folder: nothing above it is removed.
  std::string base;
  std::vector<std::string> files;
  std::vector<std::string> shortcuts;
  // What stays because it may not be what the package or a run of this
  // system wrote, and why.
  std::vector<sKeptFile> kept;
  std::string storeTrouble;
  _List<int> langs;
  // Run on the main thread when this run waited for another run of the
  // package and now holds it: the caller shows what the record holds now.
  std::function<void()> afterWait;
  sPkgUninstallContext() = default;
  sPkgUninstallContext(const sPkgUninstallContext&) = delete;
  sPkgUninstallContext& operator=(const sPkgUninstallContext&) = delete;
  ~sPkgUninstallContext() { langs.destroy(); }
};

// End codes; code c shows row c + 5 of the uninstall form's texts, the
// unsaved record row 17, the record kept row 23, the unread store row 30,
// the damaged record row 31, the record without its version row 33 and
// the record without a usable folder row 38.
enum eUninstallResult {
  unDone = 0,
  unInternal = 1,
  unNotInstalled = 2,
  unCannotStart = 3,
  unFailed = 4,
  unDeregistered = 5,
  unCancelled = 6,
  // Removed, except what `kept` names.
  unKept = 7,
  // Removed, but the record still names the package: `storeTrouble` says
  // where and why.
  unRecordUnsaved = 8,
  // Removed, except what `kept` names, some of which may still be the
  // package's: the record stays, naming those, until an uninstall can
  // remove them.
  unRecordKept = 9,
  // Nothing was removed: the store's file of records could not be read or
  // the package's lock could not be made; `storeTrouble` says where and
  // why.
  unStoreUnread = 10,
  // Nothing was removed: the store's file did not read whole where the
  // package's record is or would be; `storeTrouble` names the copy of its
  // bytes and the record's folder.
  unRecordDamaged = 11,
  // Nothing was removed: the package's record lacks its version;
  // `storeTrouble` names the copy of the store's bytes and the record's
  // folder.
  unRecordUnversioned = 12,
  // Nothing was removed: the package's record names no usable
  // installation folder; `kept` names what it lists, `storeTrouble` the
  // copy of the store's bytes and the folder it names.
  unRecordUnfounded = 13,
};

// Rows of the questions.
inline constexpr int kAskBrokenRegistration = 2;
inline constexpr int kAskRemove = 3;

// What the job asks of the main thread; the job waits for every answer.
class cUninstallHost {
 public:
  virtual ~cUninstallHost() = default;
  virtual bool applyLang(int) { return true; }
  // Above 9: nothing chosen.
  virtual int chooseLang(sPkgUninstallContext&, int preset) { return preset; }
  virtual bool confirm(int row) = 0;
  // True gives up on `path`, false tries again.
  virtual bool askRelease(const char* path) = 0;
  // What another run holds while this one waits: the package, or the store
  // of installed packages, which a run of any package holds as it writes it.
  enum eHeld { hPackage, hStore };
  // Another run holds `held`: whether to wait on for its end, the host
  // telling the user what this run waits for. Asked again about ten times
  // a second; false ends the uninstall as cancelled.
  virtual bool waitForOtherRun(eHeld) { return false; }
  // The run holds the package from here on, and everything it reads and
  // asks comes from the record as it is now.
  virtual void holdsPackage() {}
};

// Renames `source` to `target` in a held folder that lets it go, never over
// anything; a file the owner cannot write may still be moved, as a rename
// needs only the folder.
class cHeldFolder;
struct sChange;
sChange moveFileClean(const cHeldFolder& folder, const std::string& source, const std::string& target);
// Every step from the package id to the end code, under the package's lock
// where the store's folder is there.
int runUninstall(sPkgUninstallContext& context, cUninstallHost& host);
// Waits for a child started by `process`, every 100 ms, dropping what it
// prints so that a full pipe never stops it; its exit status, or -1 when it
// did not exit normally.
class cConProcess;
int waitDraining(cConProcess& process);
// Whether the program a command line names exists and may be run.
bool canStart(const char* commandLine);
