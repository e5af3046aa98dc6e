// Changes to a package's files that a link swapped in at any moment cannot
// lead elsewhere: every step from an anchor folder down to the file's folder
// is opened without following a link, and the change is made on that
// folder's handle, so what was checked is what is changed.
#pragma once

#include <string>
#include <vector>

class cHeldFolder {
 public:
  cHeldFolder() = default;
  cHeldFolder(const cHeldFolder&) = delete;
  cHeldFolder& operator=(const cHeldFolder&) = delete;
  ~cHeldFolder();

  // Holds the folder of `path`, which is `anchor`, "/" and plain names (no
  // "." or ".." step), every folder on the way a real one. With `made`,
  // missing folders are created and their paths appended, the upper first.
  bool hold(const std::string& anchor, const std::string& path, std::vector<std::string>* made = nullptr);
  int fd() const { return fd_; }
  const std::string& leaf() const { return leaf_; }
  // The name of `leaf()` with `suffix` appended, in the same folder.
  std::string side(const char* suffix) const { return leaf_ + suffix; }
  // 0 nothing there, else the lstat type bits of the name in the folder.
  unsigned typeOf(const std::string& name) const;

 private:
  void release();
  int fd_ = -1;
  std::string leaf_;
};

// Whether `path` has a "." or ".." step.
bool hasDotSteps(const std::string& path);
// Whether `path` lies below `folder`, as text.
bool under(const std::string& path, const std::string& folder);
// Removes the folders `path` leaves empty below `anchor`, the nearest
// first, each through a held parent; stops at the first that stays.
void dropEmptyFoldersBelow(const std::string& anchor, const std::string& path);
// Renames `from` to `to` in the held folder, never over anything that
// stands at `to`.
bool renameNoReplace(int folder, const std::string& from, const std::string& to);
