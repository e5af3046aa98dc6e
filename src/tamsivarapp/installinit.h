// Opening a package for installation: the scenario is loaded, a language is
// chosen, and the package is compared with the previous installation of the
// same software, file by file, so that the installer job copies only what
// changed. The windows around it post and wait; this part never shows
// anything.
#pragma once

#include <functional>

#include "base/appconfig.h"
#include "tamsivarapp/installctx.h"

// End codes; each selects the text of the same number in the init form.
enum eInstallInitResult {
  iiReady = 0,
  iiBadPackagePath = 1,
  iiBadPackage = 2,
  iiLangCancelled = 3,
  iiNewerInstalled = 4,
  iiFolderGone = 5,
  iiRecordDamaged = 6,
  iiUnreadableFile = 7,
  iiNoWriteRight = 8,
  iiSpecialObject = 9,
  iiForeignFile = 10,
  iiUnusableTarget = 11,
  iiNothingToDo = 12,
  // The caller's progress answer asked to stop; nothing was judged.
  iiStopped = 13,
  // Another run of the same package was under way and the host would not
  // wait for it; nothing was judged.
  iiPackageBusy = 14,
  // The store of records could not be read, or the package's lock could
  // not be made in it: the problem path names which and the system's
  // reason; nothing was judged.
  iiStoreUnread = 15,
  // In the chosen language the package holds a path that names a file and
  // no absolute place, which would land or run wherever the installer
  // started: the problem path names its section and the path; nothing was
  // judged.
  iiRelativePath = 16,
};

// What the init job asks of the main thread.
class cInstallInitHost {
 public:
  // The interface language to show; answering may be asynchronous for the
  // caller but the job waits.
  virtual void applyLang(int) {}
  // The language the user picks among the context's, `preselected` first;
  // above 9 means cancelled.
  virtual int chooseLang(sPkgInstallContext&, int preselected) { return preselected; }
  // Another run of the same package holds it: whether to wait on for its
  // end, the host telling the user that this run waits. Asked again about
  // ten times a second while the other run goes on.
  virtual bool waitForOtherRun() { return false; }
  virtual ~cInstallInitHost() = default;
};

// Every step from the package path to the list of files to copy.
int runInstallInit(sPkgInstallContext& context, cApplicationConfig* config, cInstallInitHost& host);
// Takes the lock of the package the context names, in the store's folder,
// which it makes where missing: iiPackageBusy where the host would not wait,
// iiStoreUnread where no lock can be made or the store's file of records
// cannot be read, iiRecordDamaged where the package's record did not read
// whole; the problem path says where and why.
int holdPackage(sPkgInstallContext& context, cApplicationConfig* config, cInstallInitHost& host);
// The steps after the language: the previous installation's record and
// files against the package's.
int compareWithInstalled(sPkgInstallContext& context, cApplicationConfig* config);
// The package's files for the chosen folder ("pgm"), each judged against
// what stands at its target; a new installation calls it once the folder
// is known. `goOn`, when given, hears the percent done before each file and
// stops the walk by answering false.
int compareFiles(sPkgInstallContext& context, const std::function<bool(double)>& goOn = nullptr);
