// A text scenario compiled inside a scratch folder that holds a small tree
// and a two-language document, the working folder for the whole run. Inputs
// naming "/" or ".." are dropped, so nothing outside the folder is ever
// packed. A scenario that compiles must survive the binary form: it is
// saved and loaded back, and any refusal there is a fault of the compiler.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "base/memio.h"
#include "tamsivar/scenario.h"

namespace {

std::string gFolder;

void removeFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(gFolder, ignored);
}

void put(const char* name, const std::string& content) {
  std::ofstream(name, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
}

bool prepare() {
  char pattern[] = "/tmp/zvk-fuzz-text-XXXXXX";
  if (!mkdtemp(pattern) || chdir(pattern) != 0) return false;
  gFolder = pattern;
  std::atexit(removeFolder);
  std::filesystem::create_directories("tree/sub/deeper");
  std::filesystem::create_directories("tree/empty");
  put("tree/a.txt", "alpha\n");
  put("tree/sub/b.bin", std::string(300, '\x7f'));
  put("tree/sub/deeper/c", "c");
  put("one.txt", "one\n");
  put("en.hdl", "<text>Hello <b>there</b></text>");
  put("ru.hdl", "<text>Privet</text>");
  put("doc.idx", "ENG = \"en.hdl\"\nRUS = \"ru.hdl\"\n");
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = prepare();
  if (!ready || size > 1 << 16) return 0;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (text.find('/') != text.npos || text.find("..") != text.npos) return 0;
  put("scenario.txt", std::string(text));
  cSoftPkgScenario scenario;
  int line = 0;
  const int code = scenario.loadTextConfig("scenario.txt", line);
  if (code == 0 && line != -1) __builtin_trap();
  // Every refusal has words for the writer.
  if (code != 0 && (!(scenario.fault.words || textCodeMeaning(code)) || line < -1 || line > static_cast<int>(size)))
    __builtin_trap();
  if (code != 0) return 0;
  cMemIOTarget saved;
  if (!scenario.saveBinConfig(&saved) || !saved.set_fp(0)) __builtin_trap();
  cSoftPkgScenario back;
  if (!back.loadBinConfig(&saved)) __builtin_trap();
  return 0;
}
