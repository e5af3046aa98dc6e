// How the folder chooser walks a typed path and where it starts.
#pragma once

#include "base/guardchar.h"

// `out` gets the text up to the next "/" ("/" itself for the root of an
// absolute path); the result is past the run of "/" after it, or null when
// the text has no "/" left.
const char* folderChooseNextTag(const char* text, _guardchar<char>& out);

// A folder starts as itself, a file as its folder; anything else gives no
// start (false), and the chooser then waits for a selection.
bool folderChooseStartFolder(const char* given, _guardchar<char>& start);
