// Web addresses, told apart from paths wherever a package or a server may
// give either: an address is opened by the desktop, never looked for as a
// file.
#pragma once

// True for "http://" and "https://" addresses (scheme in any case) with
// something after the "//" and without control characters. Nothing else
// is an address: "file:" names a file, and a word such as "docs:x" is as
// much a relative path as a scheme.
bool isWebAddress(const char* url);
