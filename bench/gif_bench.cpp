// gif_bench DIR: decodes the first frame of every GIF in DIR with cPictGIF
// and with giflib (its indices turned into 8-bit RGBA words through the
// frame's colour table, as ours are; files read into memory first) and
// prints, per file, the best of a few runs of each and their peak memory.
#include <gif_lib.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/memio.h"
#include "bench_timing.h"
#include "picts/pictgif.h"

namespace {

using bench::Bytes;

struct Source {
  const Bytes* data;
  size_t at;
};

int readFromMemory(GifFileType* gif, GifByteType* out, int n) {
  auto* s = static_cast<Source*>(gif->UserData);
  size_t count = std::min<size_t>(static_cast<size_t>(n), s->data->size() - s->at);
  std::memcpy(out, s->data->data() + s->at, count);
  s->at += count;
  return static_cast<int>(count);
}

// The first frame only, read line by line as a viewer of stills would.
bool giflibDecode(const Bytes& file) {
  Source source{&file, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&source, readFromMemory, &error);
  if (!gif) return false;
  bool ok = false;
  GifRecordType type;
  while (DGifGetRecordType(gif, &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
    if (type == EXTENSION_RECORD_TYPE) {
      int code;
      GifByteType* ext;
      if (DGifGetExtension(gif, &code, &ext) != GIF_OK) break;
      while (ext && DGifGetExtensionNext(gif, &ext) == GIF_OK) {
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif) != GIF_OK) break;
    int w = gif->Image.Width, h = gif->Image.Height;
    const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    if (!map) break;
    std::vector<GifPixelType> line(static_cast<size_t>(w));
    std::vector<unsigned int> rgba(static_cast<size_t>(w) * h);
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    int passes = gif->Image.Interlace ? 4 : 1;
    ok = true;
    for (int p = 0; p < passes && ok; ++p)
      for (int y = passes == 1 ? 0 : kStart[p]; y < h && ok; y += passes == 1 ? 1 : kStep[p]) {
        ok = DGifGetLine(gif, line.data(), w) == GIF_OK;
        unsigned int* out = rgba.data() + static_cast<size_t>(h - 1 - y) * w;
        for (int x = 0; x < w; ++x) {
          const GifColorType& c = map->Colors[line[x] < map->ColorCount ? line[x] : 0];
          out[x] = 0xFF000000u | c.Red << 16 | c.Green << 8 | c.Blue;
        }
      }
    break;
  }
  DGifCloseFile(gif, &error);
  return ok;
}

bool ownDecode(Bytes& file) {
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  cPictGIF gif;
  return gif.decode(&io);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gif_bench DIR\n");
    return 2;
  }
  return bench::compareDecoders(argv[1], {".gif"}, "gif", "giflib", ownDecode, giflibDecode);
}
