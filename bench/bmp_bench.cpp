// bmp_bench DIR: decodes every BMP in DIR with cPictBMP and with ImageMagick's
// library (read from memory, its pixels exported as 8-bit BGRA words, as ours
// are) and prints, per file, the best of a few runs of each and their peak
// memory.
#include <magick/MagickCore.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/memio.h"
#include "bench_timing.h"
#include "picts/pictdib.h"

namespace {

using bench::Bytes;

bool magickDecode(const Bytes& file) {
  ImageInfo* info = AcquireImageInfo();
  ExceptionInfo* exception = AcquireExceptionInfo();
  std::strcpy(info->magick, "BMP");
  Image* image = BlobToImage(info, file.data(), file.size(), exception);
  bool ok = image != nullptr;
  if (ok) {
    std::vector<unsigned int> words(image->columns * image->rows);
    ok = ExportImagePixels(image, 0, 0, image->columns, image->rows, "BGRA", CharPixel, words.data(),
                           exception) == MagickTrue;
    DestroyImage(image);
  }
  DestroyExceptionInfo(exception);
  DestroyImageInfo(info);
  return ok;
}

bool ownDecode(Bytes& file) {
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  cPictBMP bmp;
  return bmp.decode(&io);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bmp_bench DIR\n");
    return 2;
  }
  MagickCoreGenesis(argv[0], MagickFalse);
  int result = bench::compareDecoders(argv[1], {".bmp"}, "bmp", "magick", ownDecode, magickDecode);
  MagickCoreTerminus();
  return result;
}
