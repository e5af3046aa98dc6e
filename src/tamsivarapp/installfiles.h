// The file moves of installing and removing packages. Every target holds its
// old or its new bytes at every moment: a new file is written beside its
// target as "<target>.tmp" and renamed over it; the old bytes stay reachable
// as "<target>.bkp", a second name of the same file, until the installation
// is complete. The next installation repairs what an interrupted one left.
#pragma once

#include "base/guardchar.h"

// The text before the last "/" (possibly empty); false without a "/".
bool stripLastComponent(const char* path, _guardchar<char>& out);
// True when `folder` is a folder afterwards, making missing parents; false
// when something else stands there or on the way.
bool checkPathRecursive(const char* folder);
// Removes a regular file (a missing one counts as removed, anything else
// refuses), then each parent folder
// it leaves empty, up to and including `stop`; a file outside `stop` takes
// no folder with it. A null `stop` bounds the walk by the root only.
bool rmFileClean(const char* path, const char* stop);
// Whether a new file may be made at `path`: 0 the nearest existing ancestor
// is a writable folder, 1 the path is empty, exists or has no usable
// ancestor, 2 an ancestor is not a folder, 3 the ancestor folder is not
// writable.
int isPossibleInstallPath(const char* path);

// A new regular file for writing, never through a link and never over
// anything already there; -1 on failure.
int createExclusive(const char* path);
// Makes `backup` a second name of `target`, or a copy of it where the file
// system refuses links. The copy is written under a side name and renamed,
// so a "<target>.bkp" is never a partial file.
bool makeBackup(const char* target, const char* backup);
// The side name of a backup copy in progress.
void backupPartName(const char* backup, _guardchar<char>& out);
// Renames `from` over `to`, whatever stands at `to` now.
bool replaceFile(const char* from, const char* to);
bool isRegularFile(const char* path);
bool exists(const char* path);
// "<path><suffix>".
void sideName(const char* path, const char* suffix, _guardchar<char>& out);
// Renames a backup over its target. Where the two are still names of the
// same file the rename does nothing, so the backup name is then dropped.
bool restoreBackup(const char* backup, const char* target);
