// A text scenario compiled inside a scratch folder that holds a small tree
// and a two-language document. Inputs naming "/" or ".." are dropped, so
// nothing outside the folder is ever packed. A scenario that compiles must
// survive the binary form: it is saved and loaded back, and any refusal
// there is a fault of the compiler.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "base/memio.h"
#include "tamsivar/scenario.h"
#include "workfolder.h"

namespace {

void put(const cFuzzWorkFolder& folder, const char* name, const std::string& content) {
  std::ofstream(folder.path(name), std::ios::binary)
      .write(content.data(), static_cast<std::streamsize>(content.size()));
}

const cFuzzWorkFolder& prepared() {
  static const cFuzzWorkFolder folder("zvk-fuzz-text-");
  static const bool ready = [] {
    std::filesystem::create_directories(folder.path("tree/sub/deeper"));
    std::filesystem::create_directories(folder.path("tree/empty"));
    put(folder, "tree/a.txt", "alpha\n");
    put(folder, "tree/sub/b.bin", std::string(300, '\x7f'));
    put(folder, "tree/sub/deeper/c", "c");
    put(folder, "one.txt", "one\n");
    put(folder, "en.hdl", "<text>Hello <b>there</b></text>");
    put(folder, "ru.hdl", "<text>Privet</text>");
    put(folder, "doc.idx", "ENG = \"en.hdl\"\nRUS = \"ru.hdl\"\n");
    return true;
  }();
  (void)ready;
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (text.find('/') != text.npos || text.find("..") != text.npos) return 0;
  const cFuzzWorkFolder& folder = prepared();
  put(folder, "scenario.txt", std::string(text));
  cFuzzWorkFolder::cInside inside(folder);
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
