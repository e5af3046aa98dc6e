// tiff_bench DIR: decodes every TIFF in DIR with cPictTIFF and with libtiff's
// TIFFReadRGBAImageOriented (both from memory, 8-bit pixels out) and prints,
// per file, the best of a few runs of each and the extra memory each needed
// at its peak.
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/memio.h"
#include "bench_timing.h"
#include "picts/picttiff.h"

namespace {

using bench::Bytes;

struct sMemory {
  const Bytes* data;
  toff_t at;
};

tmsize_t memRead(thandle_t h, void* buf, tmsize_t n) {
  auto* m = static_cast<sMemory*>(h);
  toff_t left = m->at < m->data->size() ? m->data->size() - m->at : 0;
  tmsize_t got = static_cast<tmsize_t>(std::min<toff_t>(left, static_cast<toff_t>(n)));
  std::memcpy(buf, m->data->data() + m->at, static_cast<size_t>(got));
  m->at += static_cast<toff_t>(got);
  return got;
}
tmsize_t memWrite(thandle_t, void*, tmsize_t) { return -1; }
toff_t memSeek(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<sMemory*>(h);
  m->at = whence == SEEK_SET ? off : whence == SEEK_CUR ? m->at + off : m->data->size() + off;
  return m->at;
}
int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return static_cast<sMemory*>(h)->data->size(); }
int memMap(thandle_t h, void** base, toff_t* size) {
  auto* m = static_cast<sMemory*>(h);
  *base = const_cast<unsigned char*>(m->data->data());
  *size = m->data->size();
  return 1;
}
void memUnmap(thandle_t, void*, toff_t) {}

bool libtiffDecode(const Bytes& file) {
  sMemory m{&file, 0};
  TIFF* tif =
      TIFFClientOpen("bench", "rm", &m, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap);
  if (!tif) return false;
  uint32_t w = 0, h = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
  bool ok = TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_BOTLEFT, 0);
  TIFFClose(tif);
  return ok;
}

bool ownDecode(Bytes& file) {
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  cPictTIFF tiff;
  if (!tiff.decode(&io)) return false;
  if (!tiff.is16Bpp()) return true;
  _typebuf<unsigned int> rgba;  // the same 8-bit output as libtiff's
  return tiff.moveToColorData(rgba);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tiff_bench DIR\n");
    return 2;
  }
  TIFFSetWarningHandler(nullptr);
  return bench::compareDecoders(argv[1], {".tif"}, "tiff", "libtiff", ownDecode, libtiffDecode);
}
