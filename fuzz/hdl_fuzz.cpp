// The markup compiler over an arbitrary source, named twice by an index in
// a folder of its own; what compiles is loaded and drawn. Inputs that could
// name a file outside that folder are dropped. The harness works inside the
// folder.
#include <cstdint>
#include <fstream>
#include <string>

#include "base/memio.h"
#include "cihlpdoc/hdlparser.h"
#include "support/fixedcanvas.h"
#include "workfolder.h"

namespace {

// A 2 x 2 PNG that sources may name as "./p.png".
const unsigned char kPicture[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xFD,
    0xD4, 0x9A, 0x73, 0x00, 0x00, 0x00, 0x10, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8,
    0xCF, 0x00, 0x04, 0xFF, 0x19, 0x20, 0x14, 0x00, 0x1B, 0xF2, 0x03, 0xFD, 0xD6, 0x96, 0xF2,
    0x2B, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

// Relative picture paths resolve inside the folder.
const cFuzzWorkFolder& prepared() {
  static const cFuzzWorkFolder folder("zvk-hdl-fuzz-");
  static const bool ready = [] {
    std::ofstream(folder.path("doc.idx")) << "ENG = \"./src.hdl\"\nrus=\"./src.hdl\"\n";
    std::ofstream(folder.path("p.png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(kPicture), sizeof kPicture);
    return true;
  }();
  (void)ready;
  return folder;
}

// Every path the source can name is relative to the folder unless it holds
// a "/" of its own; "./" and the "</" of closing tags are the only ones kept.
bool namesOtherPlaces(const std::string& s) {
  if (s.find("..") != std::string::npos) return true;
  for (size_t at = s.find('/'); at != std::string::npos; at = s.find('/', at + 1))
    if (at == 0 || (s[at - 1] != '.' && s[at - 1] != '<')) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string source(reinterpret_cast<const char*>(data), size);
  if (namesOtherPlaces(source)) return 0;
  const cFuzzWorkFolder& folder = prepared();
  std::ofstream(folder.path("src.hdl"), std::ios::binary | std::ios::trunc) << source;
  cFuzzWorkFolder::cInside inside(folder);
  cMemIOTarget target;
  cHDLParser parser;
  cHDLParser::sErrInfo err;
  std::string index = folder.path("doc.idx");
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
