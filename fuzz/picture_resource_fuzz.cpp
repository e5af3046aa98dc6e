// Any bytes as a compressed picture resource, then through the operations
// that walk its pixels: a picture made from it must hold exactly its stated
// size, and nothing may read or write outside either picture.
#include <cstdint>
#include <cstdlib>

#include "ciom/picture.h"

namespace {

void check(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int w, h;
  // Large stated sizes are valid but only cost time here: a short stream
  // fills them with zeroes.
  if (!readPictureResourceSize(data, static_cast<unsigned int>(size), w, h) ||
      static_cast<long long>(w) * h > 1 << 16)
    return 0;
  cPicture p;
  check(p.create(data, static_cast<unsigned int>(size)));
  check(p.width() == w && p.height() == h && p.pixels.count == static_cast<long long>(w) * h);

  cPicture out;
  check(p.stretch(1 + data[8] % 40, 1 + data[size - 1] % 40, &out));
  check(p.scaling(1 + data[size - 1] % 40, 1 + data[8] % 40, &out));
  check(out.blt(&p, static_cast<int8_t>(data[8]), static_cast<int8_t>(data[size - 1]), 0, 0, false));
  sRect r{static_cast<int8_t>(data[size / 2]), -3, w, h + 5};
  p.subPictTo(r, &out);
  cPicture* grey = p.mkDisabled();
  check(grey && grey->pixels.count == p.pixels.count);
  delete grey;
  check(p.rotate(90) && p.width() == h);
  return 0;
}
