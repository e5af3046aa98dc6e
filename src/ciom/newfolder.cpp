#include "ciom/newfolder.h"

#include <string>

#include "base/folder.h"

eNewFolderOutcome makeNewFolder(const char* folder, const char* name, _guardchar<char>& made) {
  std::string p = std::string(folder ? folder : "") + "/" + (name ? name : "");
  made.set(p.c_str());
  switch (cFolderContents::objtype(p.c_str())) {
    case fotNone: return name && *name && cFolderContents::mkdir(p.c_str()) ? nfoCreated : nfoCreateFailed;
    case fotFile: return nfoFileExists;
    case fotFolder: return nfoFolderExists;
    default: return nfoOtherExists;
  }
}

int newFolderMessage(eNewFolderOutcome outcome, bool fileChooser) {
  switch (outcome) {
    case nfoCreated: return -1;
    case nfoFileExists: return fileChooser ? 19 : 1;
    case nfoFolderExists: return fileChooser ? 20 : 2;
    case nfoCreateFailed: return fileChooser ? 21 : 3;
    case nfoOtherExists: return fileChooser ? 22 : 4;
  }
  return -1;
}
