// The installed-package record: one configuration section per package,
// "install/<codename>", telling later runs what was installed, where, in
// which language and with which files and shortcuts.
#pragma once

#include "base/appconfig.h"
#include "tamsivarapp/installctx.h"

// Writes the context's record under `section`; neither removes the old
// section nor saves.
void ctxToConfig(sPkgInstallContext* context, cApplicationConfig* config, const char* section);
// Replaces the package's section and saves, through the global view first
// and the configuration itself when that fails. `managerPath` and
// `managerShortcut` may be null. False when neither save succeeded.
bool saveInstallRecord(sPkgInstallContext* context, cApplicationConfig* config, const char* managerPath,
                       const char* managerShortcut, bool* throughGlobal = nullptr);
// "install/<record name>".
void recordSection(const char* recordName, _guardchar<char>& out);
// How to remove an installed package, and the major version installed.
bool getPackageRemovalCommandLine(cApplicationConfig* config, const char* id, int& major,
                                  _guardchar<char>& command);
bool getInstalledPackageName(cApplicationConfig* config, const char* id, _guardchar<char>& name);
