// One run per package at a time. An install, upgrade or uninstall holds its
// package's lock from its first read of the package's record to its last
// save of it, so no run reads a record another is changing, and none saves
// over another's work. The lock is the kernel's, on a file of the package's
// own in the "locks" folder of the store, where the store reads no hive: it
// goes with the process that holds it, however that process ends. Runs of
// different packages never wait for each other.
#pragma once

#include <functional>
#include <string>

#include "base/appconfig.h"

class cPackageRunLock {
 public:
  enum eTaken {
    rlHeld,
    // Another run holds it and this one would not wait any longer.
    rlGivenUp,
    // No lock file could be made or opened: error() says why.
    rlUnmade,
  };

  cPackageRunLock() = default;
  cPackageRunLock(const cPackageRunLock&) = delete;
  cPackageRunLock& operator=(const cPackageRunLock&) = delete;
  ~cPackageRunLock() { release(); }

  // Takes the lock of the package recorded as `recordName` in the store
  // `config`, whose folder must be there. While another run holds it,
  // `waiting` is asked about ten times a second whether to wait on; false
  // gives up.
  eTaken take(cApplicationConfig* config, const char* recordName, const std::function<bool()>& waiting);
  bool held() const { return fd_ >= 0; }
  int error() const { return error_; }
  // The lock's file and the system's reason it could not be made.
  std::string trouble() const;
  void release();

 private:
  int fd_ = -1;
  int error_ = 0;
  std::string path_;
};

// The file whose lock the package recorded as `recordName` takes in the
// store `config`; empty where the store has no folder from the root.
std::string packageLockPath(cApplicationConfig* config, const char* recordName);
