// pef_bench: synthesises a 24-megapixel 14-bit Huffman-coded Pentax file and
// decodes it to a finished 16-bit picture with cPictPEF and with dcraw
// (PPG demosaicing, camera colours, 16-bit output), best of a few runs each.
#include <cstdio>

#include "base/memio.h"
#include "bench_timing.h"
#include "picts/pictpef.h"
#include "picts/tests/pef_writer.h"

int main() {
  peftest::PefSpec spec;
  spec.w = 6016;
  spec.h = 4000;
  spec.bits = 14;
  spec.big = true;
  spec.rowsPerStrip = 4000;
  const auto samples = peftest::samples(spec, 1);
  tifftest::Bytes file = peftest::writePef(spec, samples);
  const std::string path = tifftest::scratchDir() + "/bench.pef";
  tifftest::writeFile(path, file);
  bool ok = true;
  const double own = bench::bestMs(2, [&] {
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cPictPEF pef;
    return pef.decode(&io);
  }, ok);
  const double peer = bench::bestMs(2, [&] {
    return rawtest::dcrawTo({"-q", "2", "-o", "0", "-4", "-c"}, path, "/dev/null");
  }, ok);
  if (!ok) {
    std::fprintf(stderr, "pef_bench: a decoder failed\n");
    return 1;
  }
  std::printf("file: %dx%d, %d bits, %zu bytes\n", spec.w, spec.h, spec.bits, file.size());
  std::printf("pef: %.1f ms\ndcraw: %.1f ms\n", own, peer);
  std::printf("ratio pef/dcraw time: %.3f\n", own / peer);
  return 0;
}
