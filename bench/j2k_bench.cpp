// j2k_bench DIR: decodes every .j2k codestream in DIR from memory into
// component planes, with cJ2KDecode and with libopenjp2 on one thread, and
// prints per file the best of five runs of each (wall time, and the
// process's processor time, which the ratio compares so that other load on
// a shared machine does not skew it) and the extra memory each needed at
// its peak.
#include <malloc.h>
#include <openjpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/memio.h"
#include "bench_timing.h"
#include "picts/jp2codec.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr int kRuns = 5;

struct Source {
  const Bytes* data;
  OPJ_SIZE_T at;
};

OPJ_SIZE_T readFromMemory(void* out, OPJ_SIZE_T n, void* user) {
  auto* s = static_cast<Source*>(user);
  OPJ_SIZE_T left = s->data->size() - s->at;
  if (left == 0) return static_cast<OPJ_SIZE_T>(-1);
  n = std::min(n, left);
  std::memcpy(out, s->data->data() + s->at, n);
  s->at += n;
  return n;
}

OPJ_OFF_T skipInMemory(OPJ_OFF_T n, void* user) {
  auto* s = static_cast<Source*>(user);
  OPJ_OFF_T left = static_cast<OPJ_OFF_T>(s->data->size() - s->at);
  n = std::min(n, left);
  s->at += static_cast<OPJ_SIZE_T>(n);
  return n;
}

OPJ_BOOL seekInMemory(OPJ_OFF_T to, void* user) {
  auto* s = static_cast<Source*>(user);
  if (to < 0 || static_cast<OPJ_SIZE_T>(to) > s->data->size()) return OPJ_FALSE;
  s->at = static_cast<OPJ_SIZE_T>(to);
  return OPJ_TRUE;
}

bool openjpegDecode(const Bytes& file) {
  Source source{&file, 0};
  opj_stream_t* stream = opj_stream_create(1 << 16, OPJ_TRUE);
  opj_stream_set_user_data(stream, &source, nullptr);
  opj_stream_set_user_data_length(stream, file.size());
  opj_stream_set_read_function(stream, readFromMemory);
  opj_stream_set_skip_function(stream, skipInMemory);
  opj_stream_set_seek_function(stream, seekInMemory);
  opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  opj_image_t* image = nullptr;
  bool ok = opj_setup_decoder(codec, &params) && opj_codec_set_threads(codec, 1) &&
            opj_read_header(stream, codec, &image) && opj_decode(codec, stream, image) &&
            opj_end_decompress(codec, stream);
  opj_image_destroy(image);
  opj_destroy_codec(codec);
  opj_stream_destroy(stream);
  return ok;
}

bool ownDecode(Bytes& file) {
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  cJP2FileIOTarget in(&io);
  cJ2KDecode dec;
  cPtr<cJP2Image> image;
  return dec.readHeader(&in, image) && dec.decode(&in, image.ptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: j2k_bench DIR\n");
    return 2;
  }
  // Every large buffer gets its own mapping and goes back when freed, so the
  // peaks of one decoder do not hide in memory the other left behind.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
    if (entry.path().extension() == ".j2k") paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  double ownTotal = 0, refTotal = 0;
  long long ownPeak = 0, refPeak = 0;
  for (const auto& path : paths) {
    std::ifstream in(path, std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bool ok = true;
    double own = bench::bestMs(kRuns, [&] { return ownDecode(file); }, ok);
    double ref = bench::bestMs(kRuns, [&] { return openjpegDecode(file); }, ok);
    double ownCpu = bench::bestCpuMs(kRuns, [&] { return ownDecode(file); }, ok);
    double refCpu = bench::bestCpuMs(kRuns, [&] { return openjpegDecode(file); }, ok);
    long long ownKb = bench::peakGrowthKb([&] { ownDecode(file); });
    long long refKb = bench::peakGrowthKb([&] { openjpegDecode(file); });
    std::printf("%s: j2k %.1f ms (cpu %.1f), openjpeg %.1f ms (cpu %.1f), peak j2k %lld KiB, openjpeg %lld KiB%s\n",
                path.filename().c_str(), own, ownCpu, ref, refCpu, ownKb, refKb, ok ? "" : " (a decode failed)");
    ownTotal += ownCpu;
    refTotal += refCpu;
    ownPeak = std::max(ownPeak, ownKb);
    refPeak = std::max(refPeak, refKb);
  }
  if (paths.empty() || refTotal <= 0) {
    std::fprintf(stderr, "no .j2k files in %s\n", argv[1]);
    return 1;
  }
  std::printf("largest peak j2k: %lld KiB\nlargest peak openjpeg: %lld KiB\n", ownPeak, refPeak);
  std::printf("ratio j2k/openjpeg time: %.3f\n", ownTotal / refTotal);
  return 0;
}
