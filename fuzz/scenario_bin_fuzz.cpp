// A binary scenario whose body is arbitrary bytes: the harness compresses
// the body and writes a true header over it, so the mutations reach the
// tagged sections instead of stopping at the digest. A loaded scenario is
// then asked every question an installation asks, and written again.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/memio.h"
#include "hash/sha256.h"
#include "tamsivar/scenario.h"

namespace {

std::vector<uint8_t> fileAround(const uint8_t* body, size_t size) {
  uLongf packedSize = compressBound(static_cast<uLong>(size));
  std::vector<uint8_t> file(49 + packedSize);
  std::memcpy(file.data(), "ZVKSOPKG", 8);
  file[8] = 1;
  compress2(file.data() + 49, &packedSize, body, static_cast<uLong>(size), 1);
  file.resize(49 + packedSize);
  for (int i = 0; i < 4; ++i) {
    file[9 + i] = static_cast<uint8_t>(size >> 8 * i);
    file[13 + i] = static_cast<uint8_t>(packedSize >> 8 * i);
  }
  _SHA2Hash(body, file.data() + 17, static_cast<long long>(size));
  return file;
}

template <typename T>
void ask(cSoftPkgScenario& scenario, bool (cSoftPkgScenario::*query)(_List<T>&)) {
  _List<T> answer;
  (scenario.*query)(answer);
  answer.destroy();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  std::vector<uint8_t> file = fileAround(data, size);
  cBufWrapperIO in(file.data(), static_cast<long long>(file.size()), false);
  cSoftPkgScenario scenario;
  if (!scenario.loadBinConfig(&in)) return 0;
  _List<int> langs;
  scenario.getSupportedLangs(langs);
  for (auto* lang = langs.head; lang; lang = lang->next) {
    scenario.setCurrLangID(lang->value);
    scenario.setStr(-1, "pgm", "/nonexistent/zvk-fuzz");
    ask(scenario, &cSoftPkgScenario::getCopiedFiles);
    ask(scenario, &cSoftPkgScenario::getMenuItems);
    ask(scenario, &cSoftPkgScenario::getOnCompletionRun);
    scenario.welcome();
    scenario.readme();
    scenario.eula();
    scenario.requiresSize(65536);
  }
  langs.destroy();
  _guardchar<char> text;
  scenario.getIconPath(text);
  scenario.getStrVer(text, true);
  ask(scenario, &cSoftPkgScenario::getParams);
  ask(scenario, &cSoftPkgScenario::getDepractesList);
  cMemIOTarget out;
  scenario.saveBinConfig(&out);
  return 0;
}
