// EXIF blocks of arbitrary bytes, walked as the JPEG picture walks its APP1
// block, with and without decoding the thumbnail; and as a JPEG's APP1
// segment, so that the picture's own wiring is reached too.
#include <cstddef>
#include <cstdint>
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
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE1};
  size_t length = size + 8;
  jpeg.push_back(static_cast<uint8_t>(length >> 8));
  jpeg.push_back(static_cast<uint8_t>(length));
  jpeg.insert(jpeg.end(), {'E', 'x', 'i', 'f', 0, 0});
  jpeg.insert(jpeg.end(), data, data + size);
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  cBufWrapperIO io(jpeg.data(), static_cast<long long>(jpeg.size()), false);
  cPictJPEG picture;
  cPictBase::sPictInfo info;
  picture.isPicture(&io, &info);
  cPictDummy preview;
  io.set_fp(0);
  picture.getPreview(&io, preview, nullptr, nullptr);
  return 0;
}
