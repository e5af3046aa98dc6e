// A Windows shell link in the published binary layout: header, the target's
// item list (computer, drive, one entry per path component), the link
// information with the local path, and the UTF-16 strings.
#include <sys/stat.h>

#include <cctype>
#include <string>
#include <vector>

#include "base/targets.h"
#include "base/textconv.h"
#include "base/utils.h"
#include "tamsivar/oshooks.h"

namespace {

using tLink = std::vector<unsigned char>;

constexpr unsigned char kShellLinkClass[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr unsigned char kComputerClass[16] = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                              0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};

enum : unsigned int {
  kHasTargetIDList = 0x1, kHasLinkInfo = 0x2, kHasName = 0x4, kHasWorkingDir = 0x10, kHasArguments = 0x20,
  kHasIconLocation = 0x40, kIsUnicode = 0x80, kRunAsUser = 0x2000, kEnableTargetMetadata = 0x80000,
};
constexpr unsigned short kAttrFolder = 0x10, kAttrFile = 0x20;
constexpr size_t kMaxListBytes = 65535, kMaxStringUnits = 65535;

void u16(tLink& out, unsigned int v) {
  out.push_back(static_cast<unsigned char>(v));
  out.push_back(static_cast<unsigned char>(v >> 8));
}

void u32(tLink& out, unsigned int v) {
  u16(out, v & 0xFFFF);
  u16(out, v >> 16);
}

void u64(tLink& out, unsigned long long v) {
  u32(out, static_cast<unsigned int>(v));
  u32(out, static_cast<unsigned int>(v >> 32));
}

void bytes(tLink& out, const void* data, size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  out.insert(out.end(), p, p + n);
}

// 0 for a missing path, else the file-type bits of its mode.
unsigned int kindOf(const char* path, unsigned long long* size = nullptr) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return 0;
  if (size) *size = static_cast<unsigned long long>(st.st_size);
  return st.st_mode & S_IFMT;
}

std::vector<unsigned short> utf16(const std::string& text) {
  _typebuf<unsigned short> units;
  _pc2w(text.c_str(), static_cast<long long>(text.size()), units);
  return std::vector<unsigned short>(units.ptr, units.ptr + units.count);
}

// One component of the target below the drive.
void fileEntry(tLink& list, const std::string& name, bool isFile, unsigned int fileSize) {
  std::vector<unsigned short> wide = utf16(name);
  size_t narrow = name.size() + 1;
  size_t pad = narrow % 2;
  size_t extOffset = 14 + narrow + pad;
  size_t extSize = 46 + 2 * wide.size();
  size_t start = list.size();
  u16(list, static_cast<unsigned int>(extOffset + extSize));
  list.push_back(isFile ? 0x32 : 0x31);
  list.push_back(0);
  u32(list, isFile ? fileSize : 0);
  u32(list, 0);
  u16(list, isFile ? kAttrFile : kAttrFolder);
  bytes(list, name.c_str(), narrow);
  list.insert(list.end(), pad, 0);
  size_t ext = list.size();
  u16(list, static_cast<unsigned int>(extSize));
  u16(list, 8);
  u32(list, 0xBEEF0004u);
  list.resize(ext + 16, 0);
  u16(list, 0x2A);
  list.resize(ext + 42, 0);
  for (unsigned short unit : wide) u16(list, unit);
  u16(list, 0);
  u16(list, static_cast<unsigned int>(ext - start));
}

bool targetList(tLink& out, const std::string& target, bool isFile, unsigned int fileSize) {
  tLink list;
  u16(list, 20);
  list.push_back(0x1F);
  list.push_back(0x50);
  bytes(list, kComputerClass, sizeof kComputerClass);
  size_t drive = list.size();
  u16(list, 25);
  list.push_back(0x2F);
  list.push_back(static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(target[0]))));
  list.push_back(':');
  list.push_back('\\');
  list.resize(drive + 25, 0);
  std::vector<std::string> parts;
  for (size_t at = 2; at < target.size();) {
    size_t end = target.find_first_of("/\\", at);
    if (end == std::string::npos) end = target.size();
    if (end > at) parts.push_back(target.substr(at, end - at));
    at = end + 1;
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    fileEntry(list, parts[i], isFile && i + 1 == parts.size(), fileSize);
    if (list.size() > kMaxListBytes) return false;
  }
  u16(list, 0);
  if (list.size() > kMaxListBytes) return false;
  u16(out, static_cast<unsigned int>(list.size()));
  bytes(out, list.data(), list.size());
  return true;
}

void linkInfo(tLink& out, const std::string& target) {
  unsigned int length = static_cast<unsigned int>(target.size());
  u32(out, length + 47);
  u32(out, 0x1C);
  u32(out, 1);
  u32(out, 0x1C);
  u32(out, 0x2D);
  u32(out, 0);
  u32(out, length + 46);
  u32(out, 17);
  u32(out, 3);
  u32(out, 0);
  u32(out, 16);
  out.push_back(0);
  bytes(out, target.c_str(), target.size() + 1);
  out.push_back(0);
}

bool linkString(tLink& out, const char* text, bool backslashes) {
  if (!text) return true;
  std::string s = text;
  if (backslashes)
    for (char& c : s)
      if (c == '/') c = '\\';
  std::vector<unsigned short> units = utf16(s);
  if (units.size() > kMaxStringUnits) return false;
  u16(out, static_cast<unsigned int>(units.size()));
  for (unsigned short unit : units) u16(out, unit);
  return true;
}

}  // namespace

bool createWinShortcut(const char* linkPath, const char* target, const char* workFolder, const char* icon,
                       int iconIndex, const char* description, bool elevated, const char* arguments) {
  if (!linkPath || !target || !std::isalpha(static_cast<unsigned char>(target[0])) || target[1] != ':') return false;
  // Letters outside ASCII are not drive letters, whatever the locale says.
  if (static_cast<unsigned char>(target[0]) > 0x7F) return false;
  unsigned long long fileSize = 0;
  unsigned int kind = kindOf(target, &fileSize);
  if (kind != S_IFREG && kind != S_IFDIR) return false;
  if (workFolder && kindOf(workFolder) != S_IFDIR) return false;
  if (icon && kindOf(icon) != S_IFREG) return false;
  bool isFile = kind == S_IFREG;

  unsigned int flags = kHasTargetIDList | kHasLinkInfo | kIsUnicode | kEnableTargetMetadata;
  if (elevated) flags |= kRunAsUser;
  if (description) flags |= kHasName;
  if (workFolder) flags |= kHasWorkingDir;
  if (arguments) flags |= kHasArguments;
  if (icon) flags |= kHasIconLocation;

  long long now = getCurrUnixTime();
  unsigned long long fileTime = toWinTime(static_cast<unsigned int>(now), static_cast<int>(now >> 32));
  tLink link;
  u32(link, 0x4C);
  bytes(link, kShellLinkClass, sizeof kShellLinkClass);
  u32(link, flags);
  u32(link, isFile ? kAttrFile : kAttrFolder);
  u64(link, fileTime);
  u64(link, fileTime);
  u64(link, fileTime);
  unsigned int size32 = isFile ? static_cast<unsigned int>(fileSize) : 0;
  u32(link, size32);
  u32(link, static_cast<unsigned int>(iconIndex));
  u32(link, 1);
  link.resize(76, 0);
  std::string path = target;
  if (!targetList(link, path, isFile, size32)) return false;
  linkInfo(link, path);
  if (!linkString(link, description, false) || !linkString(link, workFolder, true) ||
      !linkString(link, arguments, false) || !linkString(link, icon, true))
    return false;

  cFileIO out;
  return link.size() <= 0xFFFFFFFFu && out.create(linkPath, fmWrite) &&
         out.writef(link.data(), static_cast<unsigned int>(link.size()));
}
