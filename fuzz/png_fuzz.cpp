// PNG decoding of arbitrary bytes: probing, decoding into the picture's own
// buffer, and rendering into a small target while decoding. The input is
// also tried with every chunk checksum made right, so that mutations reach
// the chunk contents instead of stopping at the first checksum.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/memio.h"
#include "hash/checksums.h"
#include "picts/pictpng.h"

namespace {

// Reading every pixel into a place the compiler must keep lets the
// sanitizers see any pixel the picture claims but does not own.
volatile unsigned long long gPixelSum;

void decodeAll(uint8_t* data, size_t size) {
  cBufWrapperIO io(data, static_cast<long long>(size), false);
  cPictBase::sPictInfo info;
  if (!cPictPNG::validFor(&io, &info)) return;
  cPictPNG png;
  io.set_fp(0);
  if (png.decode(&io)) {
    unsigned long long sum = 0;
    long long count = png.width() * png.height();
    for (long long i = 0; i < count; ++i) sum += png.is16Bpp() ? png.raw16Bpp()[i] : png.raw8Bpp()[i];
    gPixelSum = sum;
  }
  cPictDummy icon;
  icon.create(16, 16, 0);
  cPictBase::sExtPictDef target(&icon);
  png.setExtTarget(&target);
  io.set_fp(0);
  png.decode(&io);
}

void fixChecksums(std::vector<uint8_t>& file) {
  for (size_t at = 8; at + 12 <= file.size();) {
    size_t length =
        static_cast<size_t>(file[at]) << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
    if (length > file.size() - at - 12) return;
    unsigned int crc = crc32n(file.data() + at + 4, static_cast<long long>(length) + 4);
    for (int i = 0; i < 4; ++i) file[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    at += 12 + length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  decodeAll(file.data(), file.size());
  fixChecksums(file);
  decodeAll(file.data(), file.size());
  return 0;
}
