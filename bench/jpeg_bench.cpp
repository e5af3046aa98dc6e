// jpeg_bench DIR: decodes every JPEG in DIR from memory with cPictJPEG and
// with libjpeg-turbo in process (accurate integer IDCT, replicated chroma,
// BGRA out) and prints, per file, the best of a few runs of each and the
// extra memory each needed at its peak. libjpeg-turbo then runs once more in
// a child with its SIMD code switched off, as the plain-code peer.
// clang-format off
#include <cstdio>  // jpeglib.h needs FILE declared before it
#include <jpeglib.h>
// clang-format on

#include <malloc.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/memio.h"
#include "bench_measure.h"
#include "picts/pictjpeg.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr int kRuns = 5;

bool libjpegDecode(const Bytes& file) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_EXT_BGRA;
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.do_fancy_upsampling = FALSE;
  cinfo.do_block_smoothing = FALSE;
  jpeg_start_decompress(&cinfo);
  size_t stride = static_cast<size_t>(cinfo.output_width) * 4;
  Bytes pixels(stride * cinfo.output_height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[8];
    for (int i = 0; i < 8; ++i)
      rows[i] = pixels.data() + stride * std::min<size_t>(cinfo.output_scanline + i, cinfo.output_height - 1);
    jpeg_read_scanlines(&cinfo, rows, 8);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

bool ownDecode(Bytes& file) {
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  cPictJPEG jpeg;
  return jpeg.decode(&io);
}

std::vector<std::filesystem::path> filesIn(const char* dir) {
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".jpg") paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  return paths;
}

Bytes readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The child's road: libjpeg-turbo alone on every file, total best time in
// milliseconds on one line of standard output.
int peerOnly(const char* dir) {
  double total = 0;
  bool ok = true;
  for (const auto& path : filesIn(dir)) {
    Bytes file = readAll(path);
    total += bench::bestMs(
        kRuns, [&] { return libjpegDecode(file); }, ok);
  }
  std::printf("%.6f\n", total);
  return ok ? 0 : 1;
}

// Runs this program again as the plain-code peer; its total, or -1.
double plainPeerMs(const char* self, const char* dir) {
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFd[1], 1);
    close(pipeFd[0]);
    close(pipeFd[1]);
    setenv("JSIMD_FORCENONE", "1", 1);
    execl(self, self, "--peer-only", dir, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFd[1]);
  std::string text;
  char buf[256];
  for (ssize_t n; (n = read(pipeFd[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  close(pipeFd[0]);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::atof(text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--peer-only") == 0) return peerOnly(argv[2]);
  if (argc != 2) {
    std::fprintf(stderr, "usage: jpeg_bench DIR\n");
    return 2;
  }
  // Every large buffer gets its own mapping and goes back when freed, so the
  // peaks of one decoder do not hide in memory the other left behind.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  std::vector<std::filesystem::path> paths = filesIn(argv[1]);
  double ownTotal = 0, peerTotal = 0;
  long long ownPeak = 0, peerPeak = 0;
  for (const auto& path : paths) {
    Bytes file = readAll(path);
    bool ok = true;
    double own = bench::bestMs(
        kRuns, [&] { return ownDecode(file); }, ok);
    double ref = bench::bestMs(
        kRuns, [&] { return libjpegDecode(file); }, ok);
    long long ownKb = bench::peakGrowthKb([&] { ownDecode(file); });
    long long refKb = bench::peakGrowthKb([&] { libjpegDecode(file); });
    std::printf("%s: jpeg %.2f ms, libjpeg-turbo %.2f ms, peak jpeg %lld KiB, libjpeg-turbo %lld KiB%s\n",
                path.filename().c_str(), own, ref, ownKb, refKb, ok ? "" : " (a decode failed)");
    ownTotal += own;
    peerTotal += ref;
    ownPeak = std::max(ownPeak, ownKb);
    peerPeak = std::max(peerPeak, refKb);
  }
  if (paths.empty() || peerTotal <= 0) {
    std::fprintf(stderr, "no JPEG files in %s\n", argv[1]);
    return 1;
  }
  double plain = plainPeerMs("/proc/self/exe", argv[1]);
  std::printf("largest peak jpeg: %lld KiB\nlargest peak libjpeg-turbo: %lld KiB\n", ownPeak, peerPeak);
  if (plain > 0) {
    std::printf("libjpeg-turbo without SIMD: %.2f ms in all\n", plain);
    std::printf("ratio jpeg/libjpeg-turbo-nosimd time: %.3f\n", ownTotal / plain);
  } else {
    std::printf("libjpeg-turbo without SIMD: could not be run\n");
  }
  std::printf("ratio jpeg/libjpeg-turbo time: %.3f\n", ownTotal / peerTotal);
  return 0;
}
