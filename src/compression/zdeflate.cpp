#include "compression/zdeflate.h"

#include "compression/zcommon.h"

cZDeflate::cZDeflate(int level) {
  std::memset(&stream, 0, sizeof stream);
  deflateInit_(&stream, level, kZlibInterfaceVersion, static_cast<int>(sizeof stream));
}

cZDeflate::~cZDeflate() { deflateEnd(&stream); }

unsigned int cZDeflate::deflate(const void* in, unsigned int inLen, void* out, unsigned int outLen) {
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(in));
  stream.avail_in = inLen;
  stream.next_out = static_cast<Bytef*>(out);
  stream.avail_out = outLen;
  if (deflateReset(&stream) != Z_OK) return 0;
  if (::deflate(&stream, Z_FINISH) != Z_STREAM_END) return 0;
  return static_cast<unsigned int>(stream.total_out);
}

cZInflate::cZInflate() { startInflate(stream); }

cZInflate::~cZInflate() { inflateEnd(&stream); }

unsigned int cZInflate::inflate(const void* in, unsigned int inLen, void* out, unsigned int outLen) {
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(in));
  stream.avail_in = inLen;
  stream.next_out = static_cast<Bytef*>(out);
  stream.avail_out = outLen;
  if (inflateReset(&stream) != Z_OK) return 0;
  ::inflate(&stream, Z_FINISH);
  return static_cast<unsigned int>(stream.total_out);
}
