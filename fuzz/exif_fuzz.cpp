// EXIF blocks of arbitrary bytes, walked as the JPEG picture walks its APP1
// block, with and without decoding the thumbnail; and as a JPEG's APP1
// segment, so that the picture's own wiring is reached too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "base/memio.h"
#include "picts/exif.h"
#include "picts/pictbase.h"
#include "picts/pictjpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (bool load : {false, true}) {
    cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
    cPictDummy pict;
    cExifDecoder exif;
    exif.setLoadPreview(load);
    exif.decode(&pict, &io, cExifDecoder::kMainIFD);
  }
  if (size > 65000) return 0;
  // SOI, APP1 "Exif" with the input, then EOI: enough for the probe and the preview.
  // Laid out by hand: g++ -O3 misreads vector inserts of short lists as overflows.
  const size_t length = size + 8;
  const uint8_t head[] = {
      0xFF, 0xD8, 0xFF, 0xE1, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 'E', 'x',
      'i',  'f',  0,    0};
  std::vector<uint8_t> jpeg(sizeof head + size + 2);
  std::memcpy(jpeg.data(), head, sizeof head);
  if (size) std::memcpy(jpeg.data() + sizeof head, data, size);
  jpeg[jpeg.size() - 2] = 0xFF;
  jpeg[jpeg.size() - 1] = 0xD9;
  cBufWrapperIO io(jpeg.data(), static_cast<long long>(jpeg.size()), false);
  cPictJPEG picture;
  cPictBase::sPictInfo info;
  picture.isPicture(&io, &info);
  cPictDummy preview;
  io.set_fp(0);
  picture.getPreview(&io, preview, nullptr, nullptr);
  return 0;
}
