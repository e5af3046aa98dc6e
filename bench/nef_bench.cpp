// nef_bench: a synthesised 24-megapixel NEF (6000 x 4000, 14-bit smooth
// mosaic, lossless Huffman body) decoded by cPictNEF and by
// dcraw (raw_bench.h), our time split into reading the raw and finishing it.
#include "picts/nef.h"
#include "picts/tests/nef_support.h"
#include "raw_bench.h"

namespace {

// Notes when the raw plane is complete, between reading and finishing.
struct cTimedNEF : cPictNEF {
  std::chrono::steady_clock::time_point rawDone;
  bool onAfterDecodeStripes() override {
    rawDone = std::chrono::steady_clock::now();
    return cPictNEF::onAfterDecodeStripes();
  }
};

}  // namespace

int main() {
  neftest::Spec s;
  s.plane.width = 6000;
  s.plane.height = 4000;
  s.plane.bits = 14;
  for (uint16_t v : rawtest::mosaic(s.plane.width, s.plane.height, true, 1))
    s.plane.v.push_back(static_cast<uint16_t>(v >> 2));
  s.kind = 3;
  s.linearization = neftest::Bytes(12, 0);
  s.linearization[0] = 'F';
  s.subIfds = 2;
  const neftest::Bytes file = neftest::writeNef(s);
  return bench::compareRawWithDcraw<cTimedNEF>("nef", file);
}
