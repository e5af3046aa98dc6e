// The file moves of installing and removing packages. Every target holds its
// old or its new bytes at every moment: a new file is written beside its
// target and renamed over it; the old bytes stay reachable under a second
// name of the same file until the installation is complete.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/guardchar.h"

// The text before the last "/" (possibly empty); false without a "/".
bool stripLastComponent(const char* path, _guardchar<char>& out);
// True when `folder` is a folder afterwards, making missing parents; false
// when something else stands there or on the way.
// Each folder made on the way is appended to `made`, the upper first.
bool checkPathRecursive(const char* folder, std::vector<std::string>* made = nullptr);
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
// Writes all of `count`, retrying short writes and interruptions.
bool writeAll(int fd, const unsigned char* data, size_t count);
// Renames `from` over `to`, whatever stands at `to` now.
bool replaceFile(const char* from, const char* to);
bool isRegularFile(const char* path);
bool exists(const char* path);
// "<path><suffix>".
void sideName(const char* path, const char* suffix, _guardchar<char>& out);
