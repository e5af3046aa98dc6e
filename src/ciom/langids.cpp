#include "ciom/langids.h"

#include "ciom/ciomlang.h"
#include "ciom/ciomlang_blocks.h"

namespace {

constexpr const char* kCodes[kCIOMStdLangCount] = {"ENG", "RUS", "DEU", "JPN", "KOR",
                                                   "FRA", "UKR", "ESP", "CHN", "TWN"};

// The names live in a store of their own so that no applied language can
// replace them.
cCiomLang ciLangNames;
cCiomLangData* gLangNamesSection = nullptr;

}  // namespace

bool ciLangValid(int n) { return static_cast<unsigned int>(n) < kCIOMStdLangCount; }

const char* ciLangID(int n) { return ciLangValid(n) ? kCodes[n] : "INV"; }

const char* ciLangName(int n) {
  if (!gLangNamesSection) {
    if (!loadCiomLangData(gCiomLangBlock_langnames, gCiomLangBlockSize_langnames, ciLangNames))
      return nullptr;
    gLangNamesSection = ciLangNames.sections.find(cStringKey("lnames", -1));
    if (!gLangNamesSection) return nullptr;
  }
  return gLangNamesSection->string(n);
}
