// dng_bench: a synthesised 24-megapixel CFA DNG (6000 x 4000, 14-bit
// smooth mosaic, 256 x 256 lossless JPEG tiles) decoded by cPictDNG and by
// dcraw (raw_bench.h), our time split into reading the raw and finishing it;
// then the same mosaic in 93,750 tiles of 16 x 16 ("dng_tiles16"), where
// whatever a tile costs beside its samples shows.
#include "picts/dng.h"
#include "picts/tests/raw_support.h"
#include "raw_bench.h"

namespace {

// Notes when the raw plane is complete, between reading and finishing.
struct cTimedDNG : cPictDNG {
  std::chrono::steady_clock::time_point rawDone;
  bool onRawDecoded(cFileIOTarget* io) override {
    rawDone = std::chrono::steady_clock::now();
    return cPictDNG::onRawDecoded(io);
  }
};

}  // namespace

int main() {
  rawtest::DngSpec s;
  s.width = 6000;
  s.height = 4000;
  s.bits = 14;
  s.layout = rawtest::DngSpec::kLJpegTiles;
  s.samples = rawtest::mosaic(s.width, s.height, true, 1);
  for (uint16_t& v : s.samples) v = static_cast<uint16_t>(v >> 2);
  int status = 0;
  for (const auto& [name, tile] : {std::pair{"dng", 256}, {"dng_tiles16", 16}}) {
    s.tile = tile;
    status |= bench::compareRawWithDcraw<cTimedDNG>(name, rawtest::writeDng(s));
  }
  return status;
}
