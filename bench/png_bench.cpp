// png_bench DIR: decodes every PNG in DIR with cPictPNG and with libpng
// (8-bit RGBA out, files read into memory first) and prints, per file, the
// best of a few runs of each and the extra memory each needed at its peak.
#include <malloc.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/memio.h"
#include "bench_measure.h"
#include "picts/pictpng.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr int kRuns = 3;

struct Source {
  const Bytes* data;
  size_t at;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t n) {
  auto* s = static_cast<Source*>(png_get_io_ptr(png));
  if (n > s->data->size() - s->at) png_error(png, "short");
  std::memcpy(out, s->data->data() + s->at, n);
  s->at += n;
}

bool libpngDecode(const Bytes& file) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Source source{&file, 0};
  Bytes pixels;
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &source, readFromMemory);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  size_t rowBytes = png_get_rowbytes(png, info), height = png_get_image_height(png, info);
  pixels.resize(rowBytes * height);
  for (size_t y = 0; y < height; ++y) rows.push_back(pixels.data() + y * rowBytes);
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool ownDecode(Bytes& file) {
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  cPictPNG png;
  if (!png.decode(&io)) return false;
  if (!png.is16Bpp()) return true;
  _typebuf<unsigned int> rgba;  // the same 8-bit output as libpng's
  return png.moveToColorData(rgba);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: png_bench DIR\n");
    return 2;
  }
  // Every large buffer gets its own mapping and goes back when freed, so the
  // peaks of one decoder do not hide in memory the other left behind.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
    if (entry.path().extension() == ".png") paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  double ownTotal = 0, libpngTotal = 0;
  long long ownPeak = 0, libpngPeak = 0;
  for (const auto& path : paths) {
    std::ifstream in(path, std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bool ok = true;
    double own = bench::bestMs(kRuns, [&] { return ownDecode(file); }, ok);
    double ref = bench::bestMs(kRuns, [&] { return libpngDecode(file); }, ok);
    long long ownKb = bench::peakGrowthKb([&] { ownDecode(file); });
    long long refKb = bench::peakGrowthKb([&] { libpngDecode(file); });
    std::printf("%s: png %.2f ms, libpng %.2f ms, peak png %lld KiB, libpng %lld KiB%s\n",
                path.filename().c_str(), own, ref, ownKb, refKb, ok ? "" : " (a decode failed)");
    ownTotal += own;
    libpngTotal += ref;
    ownPeak = std::max(ownPeak, ownKb);
    libpngPeak = std::max(libpngPeak, refKb);
  }
  if (paths.empty() || libpngTotal <= 0) {
    std::fprintf(stderr, "no PNG files in %s\n", argv[1]);
    return 1;
  }
  std::printf("largest peak png: %lld KiB\nlargest peak libpng: %lld KiB\n", ownPeak, libpngPeak);
  std::printf("ratio png/libpng time: %.3f\n", ownTotal / libpngTotal);
  return 0;
}
