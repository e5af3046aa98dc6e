// Addresses that come from a package record or the update server: opened
// only when they are web addresses, and only as one argument to the opener.
#pragma once

#include "base/webaddress.h"

// Hands a web address to the desktop's opener; false, with nothing started,
// for anything else (a file, a script address, an empty text).
bool openWebAddress(const char* url);
