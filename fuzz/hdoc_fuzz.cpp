// The document loader over arbitrary bytes, and every language it loads laid
// out and drawn, so the boxes' pointers into the tables are used too.
#include <cstdint>
#include <vector>

#include "cihlpdoc/sidocloader.h"
#include "support/fixedcanvas.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<unsigned char> bytes(data, data + size);
  cSiDocLoader loader;
  if (!loader.load(bytes.data(), static_cast<long long>(bytes.size()))) return 0;
  for (int lang = 0; lang < 256; ++lang) {
    cSiDocContainer* root = loader.forLang(lang);
    if (!root) continue;
    cFixedMetricCanvas canvas(300, 300);
    sSiDocDrawProps props;
    props.right = 300;
    sSize size;
    root->wantsSize(&canvas, props, size);
    root->draw(&canvas, props, size);
  }
  return 0;
}
