// Making the folder a user named in one of the choosers, and the message
// each chooser shows for what it found: the decision is shared, the texts
// differ (the file chooser offers to open an existing folder).
#pragma once

#include "base/guardchar.h"

enum eNewFolderOutcome {
  nfoCreated,
  nfoCreateFailed,
  nfoFileExists,
  nfoFolderExists,
  nfoOtherExists,
};

// Never replaces or enters what is already there; `made` gets the new path.
eNewFolderOutcome makeNewFolder(const char* folder, const char* name, _guardchar<char>& made);

// Index in "ciom::filechoose" or "ciom::folderchoose"; -1 after a creation.
int newFolderMessage(eNewFolderOutcome outcome, bool fileChooser);
