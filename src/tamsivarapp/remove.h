// Removing the manager itself once no package it installed is left: its
// shortcut and its bundle in the applications folder, or, where none is
// installed, the very program that runs.
#pragma once

#include "base/appconfig.h"

enum eRemoveResult {
  rmDone = 0,
  rmPackagesLeft = 1,
  rmBadBundle = 2,
  rmSelfRemoved = 3,
  rmDeclined = 4,
};

inline constexpr int kAskRemoveManager = 2;

class cRemoveHost {
 public:
  virtual ~cRemoveHost() = default;
  virtual bool applyLang(int) { return true; }
  virtual bool confirm(int row) = 0;
};

// `program` is the path the program was started under, removed only where
// no manager is installed and it names the running program itself.
int runRemoveManager(cApplicationConfig* config, const char* program, cRemoveHost& host);
// The steps after the question, with the installed manager's executable
// at `managerPath`: its bundle's files, emptied folders up to the bundle's.
int removeManagerAt(const char* managerPath, const char* program);
// Removes `path` only when it is the running program's own file; true when
// it is gone or nothing stood there.
bool removeOwnProgram(const char* path);
