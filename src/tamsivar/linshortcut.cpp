// The freedesktop desktop entry of a program.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/targets.h"
#include "tamsivar/oshooks.h"

namespace {

// What "which" answers, without a shell: an executable file of that name in
// a folder of the PATH.
bool onPath(const char* program) {
  const char* path = std::getenv("PATH");
  for (const char* p = path ? path : ""; *p;) {
    const char* end = std::strchr(p, ':');
    std::string folder(p, end ? static_cast<size_t>(end - p) : std::strlen(p));
    p = end ? end + 1 : p + folder.size();
    if (folder.empty()) continue;
    std::string candidate = folder + "/" + program;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return true;
  }
  return false;
}

}  // namespace

bool createLinShortcut(const char* entryPath, const char* program, const char* categories, const char* name,
                       const char* icon, const char* comment, bool elevated, const char* arguments) {
  static _guardchar<char> suCommand;
  static bool reqTerminal = false;
  if (!suCommand.ptr) {
    if (onPath("gksudo")) {
      suCommand.set("gksudo \"");
    } else if (onPath("kdesudo")) {
      suCommand.set("kdesudo \"");
    } else {
      suCommand.set("sudo \"");
      reqTerminal = true;
    }
  }
  if (!entryPath || !program || !categories || !name) return false;
  cFileIO out;
  if (!out.create(entryPath, fmWrite)) return false;

  std::string entry = "[Desktop Entry]\nVersion=1.0\nEncoding=UTF-8\nName=";
  entry += name;
  if (comment) entry.append("\nComment=").append(comment);
  entry += "\nExec=";
  if (elevated) entry += suCommand.ptr;
  entry += program;
  if (arguments) entry.append(" ").append(arguments);
  if (elevated) entry += '"';
  if (icon) entry.append("\nIcon=").append(icon);
  entry.append("\nTerminal=").append(reqTerminal ? "true" : "false");
  entry.append("\nX-MultipleArgs=false\nType=Application\nCategories=").append(categories);
  const char* slash = std::strrchr(program, '/');
  entry.append("\nStartupNotify=false\nMimeType=application/x-").append(slash ? slash + 1 : program);
  entry += '\n';
  if (entry.size() > 0xFFFFFFFFu) return false;
  return out.writef(entry.data(), static_cast<unsigned int>(entry.size()));
}
