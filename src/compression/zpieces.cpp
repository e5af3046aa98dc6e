#include "compression/zpieces.h"

#include <vector>

#include "compression/zcommon.h"

cZPieceDeflater::cZPieceDeflater(int level) {
  std::memset(&stream, 0, sizeof stream);
  started = deflateInit_(&stream, level, kZlibInterfaceVersion, static_cast<int>(sizeof stream)) == Z_OK;
}

cZPieceDeflater::~cZPieceDeflater() {
  if (started) deflateEnd(&stream);
}

bool cZPieceDeflater::piece(const void* data, unsigned int length, bool last, cFileIOTarget& out) {
  if (!started) return false;
  unsigned char produced[8192];
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(data));
  stream.avail_in = length;
  // A finishing piece is not done until zlib has written the stream's end;
  // a flushed one when zlib leaves room in the output.
  for (;;) {
    stream.next_out = produced;
    stream.avail_out = sizeof produced;
    int rc = ::deflate(&stream, last ? Z_FINISH : Z_PARTIAL_FLUSH);
    if (rc == Z_STREAM_ERROR) return false;
    unsigned int made = static_cast<unsigned int>(sizeof produced - stream.avail_out);
    if (made && !out.writef(produced, made)) return false;
    if (last ? rc == Z_STREAM_END : stream.avail_out != 0) return stream.total_out != 0;
  }
}

unsigned long long zDeflateBound(unsigned long long plain) {
  static_assert(sizeof(uLong) == 8, "zlib's bound is asked in 64 bits");
  return compressBound(static_cast<uLong>(plain));
}

bool zInflateExact(const void* in, unsigned long long inLength, void* out, unsigned long long outLength) {
  z_stream stream;
  if (!startInflate(stream)) return false;
  const Bytef* next = static_cast<const Bytef*>(in);
  Bytef* into = static_cast<Bytef*>(out);
  unsigned long long inLeft = inLength, outLeft = outLength;
  unsigned char spare;
  bool spareGiven = false;
  int rc = Z_OK;
  while (rc == Z_OK) {
    if (!stream.avail_in && inLeft) {
      stream.next_in = const_cast<Bytef*>(next);
      stream.avail_in = zlibCount(inLeft);
      next += stream.avail_in;
      inLeft -= stream.avail_in;
    }
    if (!stream.avail_out) {
      if (outLeft) {
        stream.next_out = into;
        stream.avail_out = zlibCount(outLeft);
        into += stream.avail_out;
        outLeft -= stream.avail_out;
      } else if (!spareGiven) {
        // Room for one byte more than asked: the check value is read only
        // with room left, and a stream that goes on shows by filling it.
        stream.next_out = &spare;
        stream.avail_out = 1;
        spareGiven = true;
      } else {
        break;
      }
    }
    rc = ::inflate(&stream, Z_NO_FLUSH);
  }
  bool exact = rc == Z_STREAM_END && !stream.avail_in && !inLeft && stream.total_out == outLength;
  inflateEnd(&stream);
  return exact;
}
