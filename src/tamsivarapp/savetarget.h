// The file a download is written into before it takes the name the user
// chose: in that name's folder, so that one rename on the same file system
// puts it in place whole. It has no name while it is written where the
// file system allows that, so even a kill leaves nothing; otherwise, and
// for the rename, it takes a short visible name of its own
// (zvk-download-XXXXXXXXXXXX.part), whatever the length of the chosen one.
#pragma once

#include <string>

#include "base/targets.h"
#include "tamsivarapp/heldpath.h"

class cSaveTarget {
 public:
  cSaveTarget() = default;
  cSaveTarget(const cSaveTarget&) = delete;
  cSaveTarget& operator=(const cSaveTarget&) = delete;
  // A name the file still has goes, while it is still the file made here.
  ~cSaveTarget();

  // Makes the file beside `target`; false, with errno the reason, when the
  // folder cannot be opened, its file system refuses the name for its
  // length, or no file can be made there.
  bool create(const std::string& target);
  // Puts the file in place of the target, which holds its old or its new
  // bytes at every moment; the file is closed.
  bool moveTo();

  cFileIO file;

 private:
  int folder_ = -1;
  std::string leaf_;
  std::string name_;  // the file's own name in the folder, empty while it has none
  sFileId id_;
};
