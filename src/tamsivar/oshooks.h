// Where the installer and the uninstaller meet the operating system. This
// desktop has no system register of packages and no menu the installer
// writes to: the package's record lives in the manager's own configuration,
// so registration succeeds without effect and shortcuts are declined. The
// writers of Windows shell links and freedesktop entries are kept for
// installers aimed at those desktops; nothing here calls them.
#pragma once

#include "base/guardchar.h"

class cSoftPkgScenario;

bool OSRegisterPackage(const char* codename, cSoftPkgScenario& scenario, bool flag);
bool OSDeregisterPackage(const char* codename, bool flag);
// Zeroes the version and frees `first` when given; `second` is left alone.
bool OSGetRegistedVersion(const char* codename, int (&version)[4], _guardchar<char>* first,
                          _guardchar<char>* second, bool flag);
// True would mean a shortcut file now exists at outPath; here none is made.
bool createSysShortcut(_guardchar<char>& outPath, const char* name, const char* group, const char* program,
                       const char* icon, const char* comment, bool elevated, const char* arguments);
// Null: shortcuts have no file extension here.
const char* shortcutExtension();

// A shell link to a target named with its drive letter ("C:/tools/run.exe"),
// which must exist as a file or a folder.
bool createWinShortcut(const char* linkPath, const char* target, const char* workFolder, const char* icon,
                       int iconIndex, const char* description, bool elevated, const char* arguments);
// A desktop entry. The elevation prefix is chosen once per process, on the
// first call: gksudo, else kdesudo, else sudo, which needs a terminal for
// its password, so every entry written after choosing it asks for one.
bool createLinShortcut(const char* entryPath, const char* program, const char* categories, const char* name,
                       const char* icon, const char* comment, bool elevated, const char* arguments);
