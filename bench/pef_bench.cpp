// pef_bench: synthesises a 24-megapixel 14-bit Huffman-coded Pentax file and
// decodes it to a finished 16-bit picture with cPictPEF and with dcraw.
#include "picts/pictpef.h"
#include "picts/tests/pef_writer.h"
#include "raw_bench.h"

int main() {
  peftest::PefSpec spec;
  spec.w = 6016;
  spec.h = 4000;
  spec.bits = 14;
  spec.big = true;
  spec.rowsPerStrip = 4000;
  const auto samples = peftest::samples(spec, 1);
  tifftest::Bytes file = peftest::writePef(spec, samples);
  return bench::compareRawWithDcraw<cPictPEF>("pef", file);
}
