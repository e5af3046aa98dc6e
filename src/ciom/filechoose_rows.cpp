#include "ciom/filechoose_rows.h"

#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/stringkey.h"
#include "ciom/liblang.h"

namespace {
// Texts of the "ciom::filechoose" section.
constexpr int kTextHome = 4, kTextFolder = 16, kTextFile = 17, kTextFileSystem = 18;
}  // namespace

const char* placeLabel(const sFolderItemInfo& entry) {
  const char* own = entry.label.ptr ? entry.label.ptr : entry.name.ptr;
  if (entry.type != fotSpecialLocation || !entry.name.ptr) return own;
  _guardchar<char> home;
  const int row = !std::strcmp(entry.name.ptr, "/") ? kTextFileSystem
                  : cFolderContents::getHome(home) && home.ptr && !std::strcmp(home.ptr, entry.name.ptr)
                      ? kTextHome
                      : -1;
  cCiomLangData* texts = row < 0 ? nullptr : cLibLang::gCiomLang.sections.find(cStringKey("ciom::filechoose", -1));
  const char* text = texts ? texts->string(row) : nullptr;
  return text && *text ? text : own;
}

sFileChooseRowLook fileChooseRowLook(int entryType) {
  switch (entryType) {
    case fotFile: return {kTextFile, 2, 2, true};
    case fotFolder:
    case fotSpecialLocation: return {kTextFolder, 1, 1, false};
    case kFileSystemRoot: return {kTextFileSystem, 0, 0, false};
    case kMountedFileSystem: return {kTextFileSystem, 4, 4, false};
    default: return {-1, 3, 3, false};
  }
}

bool fileChooseShowsEntry(const sFolderItemInfo& entry, bool showHidden, const char* pattern) {
  if (entry.hidden && !showHidden) return false;
  if (entry.type != fotFile || !pattern || !*pattern) return true;
  return entry.name.ptr && cFolderContents::wcmmatch(entry.name.ptr, pattern);
}

void fileChooseSizeText(const sFolderItemInfo& entry, char* out, int outSize) {
  if (outSize <= 0) return;
  *out = 0;
  if (fileChooseRowLook(entry.type).showsSize) std::snprintf(out, outSize, "%lld KB", entry.size / 1024);
}

void fileChooseDateText(const sTimestamp& m, char* out, int outSize) {
  if (outSize <= 0) return;
  *out = 0;
  if (m.year)
    std::snprintf(out, outSize, "%02d.%02d.%04d %02d:%02d:%02d", m.day, m.month, m.year, m.hour, m.minute,
                  m.second);
}

unsigned long long fileChooseDateKey(const sFolderItemInfo& entry) {
  const sTimestamp& m = entry.modified;
  return static_cast<unsigned long long>(m.year) << 48 | static_cast<unsigned long long>(m.month) << 40 |
         static_cast<unsigned long long>(m.day) << 32 | static_cast<unsigned long long>(m.hour) << 24 |
         static_cast<unsigned long long>(m.minute) << 16 | static_cast<unsigned long long>(m.second) << 8;
}

unsigned long long fileChooseSizeKey(const sFolderItemInfo& entry) {
  // Only files show a size; a folder's own byte count would sort it among
  // them by a number the user never sees.
  return entry.size > 0 && fileChooseRowLook(entry.type).showsSize ? static_cast<unsigned long long>(entry.size)
                                                                     : 0;
}

void* fileChooseKeyTag(unsigned long long key) { return reinterpret_cast<void*>(static_cast<uintptr_t>(key)); }

unsigned long long filechooseKeyU64Transform(cListViewChild::sListViewDataItem* cell) {
  return cell ? static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(cell->association)) : 0;
}

void fileChooseSaveName(_guardchar<char>& file, const char* extension) {
  if (!file.ptr || !extension || !*extension) return;
  const char* dot = std::strrchr(file.ptr, '.');
  if (dot) {
    bool same = cFolderContents::pathCaseSensetive(file.ptr) ? std::strcmp(dot + 1, extension) == 0
                                                             : strcasecmp(dot + 1, extension) == 0;
    if (same) return;
  }
  std::string named = std::string(file.ptr) + "." + extension;
  file.set(named.c_str());
}

bool fileChooseFolderPart(const char* path, _guardchar<char>& folder) {
  const char* slash = path ? std::strrchr(path, '/') : nullptr;
  if (!slash) return false;
  folder.set(path, slash == path ? 1 : slash - path);
  return cFolderContents::objtype(folder.ptr) == fotFolder;
}

bool fileChooseStartFolder(const char* folder, const char* file, _guardchar<char>& open, _guardchar<char>& name) {
  if (folder && *folder && cFolderContents::objtype(folder) == fotFolder) {
    open.set(folder);
    return true;
  }
  if (fileChooseFolderPart(file, open)) {
    name.set(std::strrchr(file, '/') + 1);
    return true;
  }
  return cFolderContents::getHome(open);
}
