#include "ciom/folderchoose_path.h"

#include <cstring>

#include "base/folder.h"

const char* folderChooseNextTag(const char* text, _guardchar<char>& out) {
  if (!text) {
    out.set(static_cast<const char*>(nullptr));
    return nullptr;
  }
  const char* slash = std::strchr(text, '/');
  if (!slash) {
    out.set(text);
    return nullptr;
  }
  if (slash == text)
    out.set("/");
  else
    out.set(text, slash - text);
  while (*slash == '/') ++slash;
  return slash;
}

bool folderChooseStartFolder(const char* given, _guardchar<char>& start) {
  start.set(static_cast<const char*>(nullptr));
  if (!given || !*given) return false;
  int type = cFolderContents::objtype(given);
  if (type == fotFolder) {
    start.set(given);
    return true;
  }
  const char* slash = std::strrchr(given, '/');
  if (type != fotFile || !slash) return false;
  _guardchar<char> folder;
  folder.set(given, slash == given ? 1 : slash - given);
  if (cFolderContents::objtype(folder.ptr) != fotFolder) return false;
  start.set(folder.ptr);
  return true;
}
