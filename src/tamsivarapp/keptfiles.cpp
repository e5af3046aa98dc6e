#include "tamsivarapp/keptfiles.h"

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
    const std::string after = std::string(" (") + row(kept[i].reason) + ")";
    lines.append(write ? write(kept[i].path, after) : kept[i].path).append(after);
  }
  if (kept.size() > shown) {
    if (!lines.empty()) lines += '\n';
    lines += fillNumber(row(kKeptMore), static_cast<long long>(kept.size() - shown));
  }
  return lines;
}
