// The markup compiler over an arbitrary source, named twice by an index in
// a folder of its own; what compiles is loaded and drawn. Inputs that could
// name a file outside that folder are dropped.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/memio.h"
#include "cihlpdoc/hdlparser.h"
#include "support/fixedcanvas.h"

namespace {

// The folder, made once; relative picture paths resolve inside it.
const std::string& folder() {
  static const std::string path = [] {
    char name[] = "/tmp/zvk-hdl-fuzz-XXXXXX";
    if (!mkdtemp(name) || chdir(name) != 0) abort();
    std::ofstream(std::string(name) + "/doc.idx") << "ENG = \"./src.hdl\"\nrus=\"./src.hdl\"\n";
    std::atexit([] {
      unlink((folder() + "/doc.idx").c_str());
      unlink((folder() + "/src.hdl").c_str());
      rmdir(folder().c_str());
    });
    return std::string(name);
  }();
  return path;
}

bool namesOtherPlaces(const std::string& s) {
  if (s.find("..") != std::string::npos) return true;
  for (size_t at = s.find('/'); at != std::string::npos; at = s.find('/', at + 1))
    if (at == 0 || s[at - 1] != '.') return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string source(reinterpret_cast<const char*>(data), size);
  if (namesOtherPlaces(source)) return 0;
  const std::string& dir = folder();
  std::ofstream(dir + "/src.hdl", std::ios::binary | std::ios::trunc) << source;
  cMemIOTarget target;
  cHDLParser parser;
  cHDLParser::sErrInfo err;
  std::string index = dir + "/doc.idx";
  if (!parser.parse(index.data(), &target, err)) return 0;
  _typebuf<unsigned char> doc;
  target.toBuffer(doc);
  cSiDocLoader loader;
  if (!loader.load(doc.ptr, doc.count)) return 0;
  cFixedMetricCanvas canvas(300, 300);
  sSiDocDrawProps props;
  props.right = 300;
  sSize drawn;
  loader.forLang(0)->draw(&canvas, props, drawn);
  return 0;
}
