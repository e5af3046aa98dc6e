// One spelling for a place a package's files are written to and recorded
// under, so that the record names them as every later run spells them.
#pragma once

#include <string>

// An absolute `path` without "." steps, repeated slashes or a closing slash.
// Each of these leaves the file meant the same; ".." steps stay as written,
// since a link before one decides where it leads. Any other text is
// returned as it is.
std::string plainPath(const std::string& path);
// `path` spelled plainly, its ".." steps taken as the system takes them:
// from the folder a link before one leads to. A folder the user chose is
// recorded so, as every later run reaches it.
std::string settledPath(const std::string& path);
