// The installer maker: a text scenario in, an installer bundle out, holding
// the compiled scenario, the icon, the property list and a copy of this
// very program, which finds the scenario in its bundle when it starts.
#pragma once

#include <string>

// 0 when the bundle is complete, 1 on any failure (reported on standard
// output), 2 when the program does not sit in NAME.app/Contents/MacOS, the
// bundle whose icon it takes, 3 when the bundle is complete but a folder
// beside it keeps what someone put in the old bundle while make ran (a line
// names it). A folder holding anything else than make writes is never
// replaced. The program's bytes are read from the running executable.
int makeInstaller(const char* program, const char* scenario, const char* bundle, const char* unused);
// The same, with the bytes of the Installer copied from `exe`.
int makeInstallerFrom(const char* program, const char* exe, const char* scenario, const char* bundle);

// How the maker renames whole folders, with renameat2's flags; a test puts
// a file system that refuses the exchange, or a kill between two renames,
// in its place.
using tFolderRename = int (*)(const char* from, const char* to, unsigned int flags);
extern tFolderRename gFolderRename;

// The bundle property list; name and copyright are escaped for XML here.
std::string bundlePlist(const char* identifier, const char* executable, const char* name,
                        int major, int minor, const char* copyright);
// Writes `bytes` to a new file at `path`; false when it cannot.
bool writeWholeFile(const char* path, const std::string& bytes);
