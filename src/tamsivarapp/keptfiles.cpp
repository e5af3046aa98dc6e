#include "tamsivarapp/keptfiles.h"

#include <sys/stat.h>

#include <cstring>

#include "base/folder.h"
#include "ciom/ciomlang.h"
#include "tamsivarapp/textfill.h"

std::string keptFilesText(const std::vector<sKeptFile>& kept, cCiomLangData* texts, size_t shown,
                          const KeptPathWriter& write) {
  const auto row = [texts](int i) {
    const char* t = texts ? texts->string(i) : nullptr;
    return t ? t : "";
  };
  std::string lines;
  for (size_t i = 0; i < kept.size() && i < shown; ++i) {
    if (!lines.empty()) lines += '\n';
    const std::string why = kept[i].err ? std::string(": ") + std::strerror(kept[i].err) : std::string();
    const std::string after = std::string(" (") + row(kept[i].reason) + why + ")";
    const std::string path = visibleText(kept[i].path);
    lines.append(write ? write(path, after) : path).append(after);
  }
  if (kept.size() > shown) {
    if (!lines.empty()) lines += '\n';
    lines += fillNumber(row(kKeptMore), static_cast<long long>(kept.size() - shown));
  }
  return lines;
}

std::string keptAdvice(const std::vector<sKeptFile>& kept, cCiomLangData* texts) {
  const char* advice = texts ? texts->string(kKeptAdvice) : nullptr;
  for (const sKeptFile& file : kept)
    if (file.reason != kKeptStoreCopy && file.reason != kKeptRecordCopy &&
        file.reason != kKeptUnfoundedCopy && advice)
      return std::string("\n") + advice;
  return {};
}

int keptReasonFor(const std::string& anchor, const std::string& path) {
  if (anchor.empty() || path.compare(0, anchor.size(), anchor) != 0) return kKeptOtherFolder;
  // The anchor itself, then each folder below it on the way to the file.
  for (size_t end = anchor == "/" ? 0 : anchor.size(); end != std::string::npos;
       end = path.find('/', end + 1)) {
    struct stat st;
    if (end && ::lstat(path.substr(0, end).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return kKeptThroughLink;
  }
  return kKeptOtherFolder;
}

std::string storeTroubleText(const std::string& trouble, cCiomLangData* texts) {
  _guardchar<char> home;
  const std::string shown = visibleText(trouble);
  if (!cFolderContents::getHome(home) || !home.ptr || home.ptr[0] == '/') return shown;
  const char* reason = texts ? texts->string(kHomeNotRooted) : nullptr;
  return shown + ": " + (reason ? reason : "");
}
