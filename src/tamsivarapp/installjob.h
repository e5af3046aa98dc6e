// The work of the "Install" step: the package's changed files go in through
// temporary copies and backups, the manager copies itself, the record is
// saved and what the previous installation no longer needs goes. The job
// never shows anything: it reports through its host and leaves its outcome
// in the context.
#pragma once

#include "base/appconfig.h"
#include "tamsivarapp/installctx.h"

// Result codes left in the context.
enum eInstallerResult {
  irOk = 0,
  irObstacle = 1,
  irStaleSideFile = 2,
  irItemUnreadable = 3,
  irCannotCreate = 4,
  irReadFailed = 5,
  irWriteFailed = 6,
  irBackupGivenUp = 7,
  irCannotApply = 8,
  irBadFolder = 9,
  irStopped = 10,
  // The record could not be saved and the previous installation is back
  // as it was: nothing was changed.
  irRecordUnsaved = 11,
  // The record could not be saved, and what it names is not what is
  // installed: the context's kept files say what is left.
  irRecordLeft = 12,
};

// What the job needs of the panel that runs it.
class cInstallJobHost {
 public:
  virtual void notifyStage(int) {}
  virtual void notifyLastStage() {}
  // False asks the job to stop.
  virtual bool notifyProgress(double) { return true; }
  // A file that cannot be moved or deleted: true gives up, false retries.
  virtual bool askRelease(const char*) { return true; }
  // Where the manager's own copy goes; false leaves the copy out.
  virtual bool managerPath(_guardchar<char>& out);
  virtual ~cInstallJobHost() = default;
};

// The number of entries the job copies.
int changedCount(sPkgInstallContext& context);
// 0 when the job reached its end with its record saved (the context's
// result is then 0), 1 when it stopped on an error named by the context's
// result and problem path. Every target holds its old or its new bytes at every moment, and a
// failure after the first backup puts every old file back.
int runInstallerJob(sPkgInstallContext& context, cInstallJobHost& host, cApplicationConfig* config);
