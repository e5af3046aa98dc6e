// How one executable also serves as the installer and as the template of
// the manager's own copy: the bundle probe, the embedded command block and
// the copy that honours it.
#pragma once

#include "base/guardchar.h"
#include "base/targets.h"

inline constexpr unsigned int kCmdBlockSize = 8192;
// Pristine: "<ICMDBLOCK>" then zeros. A tool outside this program may patch
// it in a copy of the file to describe a derived executable.
extern "C" unsigned char _cmdBlock[kCmdBlockSize];

// True when the executable sits in Contents/MacOS of a bundle whose
// Contents/Resources holds a regular file scenario.data.
bool getSTInstallSrc(const char* program, _guardchar<char>& scenarioPath, unsigned& offset);
bool isPureICmd();
// Where a pristine copy of the block starts in `file`, or -1.
int findICmd(cFileIOTarget* file);
// Lays out the manager's bundle around `folder` (its Contents/MacOS) from
// the bundle `source` runs from, and writes the executable to `target`,
// applying a patched block.
bool saveTamsivar(const char* source, cFileIOTarget* target, const char* folder);
// The same, reading the executable from `exe` rather than from `source`.
bool saveTamsivarFrom(const char* source, const char* exe, cFileIOTarget* target,
                      const char* folder);
