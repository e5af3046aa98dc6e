// What the file chooser shows for one listing entry, which entries it shows,
// and the name it hands back when saving: kept apart from the dialog so the
// rules can be checked against a real folder tree without a window.
#pragma once

#include "base/folder.h"
#include "base/guardchar.h"
#include "ciom/listview.h"

// Entry kinds of the special locations besides plain folders.
constexpr int kFileSystemRoot = 8;
constexpr int kMountedFileSystem = 10;

struct sFileChooseRowLook {
  int typeText;  // index in the chooser's texts; -1 for none
  int image;
  int typeOrder;  // the Type column's sort key
  bool showsSize;
};
sFileChooseRowLook fileChooseRowLook(int entryType);
// Folders, special locations and file systems open in the list.
inline bool fileChooseOpensAsFolder(int entryType) {
  return entryType == fotFolder || entryType == fotSpecialLocation || entryType == kFileSystemRoot ||
         entryType == kMountedFileSystem;
}

// The text a listed entry shows: the home folder and the file system's root
// in the user's language, another place as the system names it, a plain
// entry by its name.
const char* placeLabel(const sFolderItemInfo& entry);

// Folders are never filtered out, so the user can always walk on.
bool fileChooseShowsEntry(const sFolderItemInfo& entry, bool showHidden, const char* pattern);

// Empty for a size that has no meaning (not a file).
void fileChooseSizeText(const sFolderItemInfo& entry, char* out, int outSize);
// Empty when the entry has no modification time.
void fileChooseDateText(const sTimestamp& modified, char* out, int outSize);

// Sort keys of the Date, Type and Size cells. Each cell carries its key
// itself as association, never a pointer into the listing, which the
// navigation job rewrites while the rows are still shown and sorted.
unsigned long long fileChooseDateKey(const sFolderItemInfo& entry);
unsigned long long fileChooseSizeKey(const sFolderItemInfo& entry);
void* fileChooseKeyTag(unsigned long long key);
unsigned long long filechooseKeyU64Transform(cListViewChild::sListViewDataItem* cell);

// The extension is added unless the name already ends in ".<extension>"
// (ignoring case only where paths ignore it). Nothing changes without an
// extension.
void fileChooseSaveName(_guardchar<char>& file, const char* extension);

// The folder part of a path (before its last "/") when that names a folder.
bool fileChooseFolderPart(const char* path, _guardchar<char>& folder);

// Where the chooser opens: the given folder; else the folder part of a
// given path, whose name part then fills the name field; else home. False
// when there is nowhere to open (no home either).
bool fileChooseStartFolder(const char* folder, const char* file, _guardchar<char>& open, _guardchar<char>& name);
