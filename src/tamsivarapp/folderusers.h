// Whether running processes use folders: a folder that nothing locks may
// still be a shell's working folder or hold a file a program has open.
#pragma once

#include <string>
#include <vector>

// For each folder (a path without links, as the system reports paths),
// whether a process other than this one uses it or anything inside it: as
// its working folder, its root or its program's place, or through an open
// descriptor. Only the processes this one may look into are seen, which
// are all of its own user's.
std::vector<bool> foldersInUse(const std::vector<std::string>& folders);

// The path the system gives for an open descriptor; empty when it gives none.
std::string descriptorPath(int fd);
