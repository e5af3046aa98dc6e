// j2k_bench DIR: decodes every .j2k codestream in DIR from memory into
// component planes, with cJ2KDecode and with libopenjp2 on one thread, and
// prints per file the best of a few runs of each and the extra memory each
// needed at its peak.
#include <openjpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/memio.h"
#include "bench_timing.h"
#include "picts/jp2codec.h"

namespace {

using bench::Bytes;

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
  return bench::compareDecoders(argv[1], {".j2k"}, "j2k", "openjpeg", ownDecode, openjpegDecode);
}
