// Photoshop resource blocks of arbitrary bytes in both byte orders, every
// indexed entry read to its end so the sanitizers see any entry that points
// outside the block.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "picts/md8bim.h"

namespace {

volatile unsigned gSink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (bool bigEndian : {true, false}) {
    cMd8BIM md;
    md.processMD(data, static_cast<long long>(size), bigEndian);
    for (unsigned key : {cMd8BIM::kThumbnailKey, 1000u << 16, 0u, 0x42424242u}) {
      const cMd8BIM::sEntry* e = md.prop(key);
      if (!e) continue;
      unsigned sum = 0;
      for (unsigned long long i = 0; i < e->size; ++i) sum += e->data[i];
      gSink = sum;
    }
  }
  return 0;
}
