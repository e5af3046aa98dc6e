// Where the manager application lives, under its name in the interface
// language, and the trigger an installed program can pull to have the
// manager look for an update of its package at most once a day.
#pragma once

#include <string>
#include <vector>

#include "base/guardchar.h"
#include "base/job.h"
#include "ciom/ciomlang.h"
#include "tamsivar/tamsivarnames_block.h"

// The block of the manager's names: section "names", slot 0 English, 1
// Japanese, 2 Korean.
extern const unsigned char (&_tamsivarNames)[gTamsivarLangBlockSize_names];
extern cCiomLang ci_tamsivarNames;

// Null when the block cannot be read or the slot has no name.
char* tamsivarName(int index);
// "$HOME/Applications/<name>.app/Contents/MacOS/Tamsivar" for every name
// the manager may have been installed under, the interface language's first.
std::vector<std::string> appManagerPaths();
// The first of those that holds a manager, else the interface language's.
bool getAppManagerPath(_guardchar<char>& out);

// Runs one command line through the shell on a thread of its own.
class cStartCheckUpdatesJob : public cJob {
 public:
  _guardchar<char> command;

  cStartCheckUpdatesJob() : cJob(nullptr) {}
  // The command is the job's: the thread is gone before it is freed.
  ~cStartCheckUpdatesJob() override { terminate(); }
  int job() override;
};

extern cStartCheckUpdatesJob gThisAppUpdateChecker;

// Starts "<manager> update <codename> quite" unless it already ran today for
// this codename (known only with an application configuration); false when
// nothing can be started.
bool autoCheckUpdates(const char* codename);
