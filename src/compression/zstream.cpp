#include "compression/zstream.h"

#include "compression/zcommon.h"

cZStream::cZStream() { std::memset(&stream, 0, sizeof stream); }

cZStream::~cZStream() {
  output.set(0);
  input.set(0);
  if (started) inflateEnd(&stream);
}

bool cZStream::create(cFileIOTarget* src, unsigned long long plainSize, long long bufSize, bool ownSource) {
  if (!src || bufSize <= 0 || bufSize > 0x7FFFFFFF) return false;
  try {
    input.set(bufSize);
    output.set(2 * bufSize);
  } catch (const std::bad_alloc&) {
    return false;
  }
  outputStart = ~0ull;
  if (started) inflateEnd(&stream);
  started = startInflate(stream);
  if (!started) return false;
  return cDecompressIOTarget::create(src, plainSize, bufSize, ownSource);
}

bool cZStream::resetDecompression() {
  outputStart = ~0ull;
  return inflateReset(&stream) == Z_OK;
}

// A source answers its own error codes (0xFFFFFFFF from a file) through the
// same count as its bytes; anything beyond what was asked is such an answer
// and must never reach zlib as an input count.
bool cZStream::refillInput() {
  unsigned int asked = static_cast<unsigned int>(input.count);
  unsigned int got = source->read(input.ptr, asked);
  if (got == 0 || got > asked) return false;
  stream.next_in = input.ptr;
  stream.avail_in = got;
  return true;
}

void cZStream::recycleOutput() {
  outputStart += stream.total_out;
  stream.total_out = 0;
  stream.next_out = output.ptr;
  stream.avail_out = static_cast<unsigned int>(output.count);
}

// One inflate call, refilling a consumed input and recycling a full output
// first. A call that neither consumes nor produces fails: the stream ended
// early or is damaged, and trying again would not change that. Consuming
// without producing is progress: header bytes fed through a small buffer and
// empty blocks give no output.
bool cZStream::step() {
  if (stream.avail_out == 0) recycleOutput();
  if (stream.avail_in == 0 && !refillInput()) return false;
  unsigned int inBefore = stream.avail_in, outBefore = stream.avail_out;
  int rc = inflate(&stream, Z_FULL_FLUSH);
  if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return false;
  return stream.avail_in != inBefore || stream.avail_out != outBefore;
}

bool cZStream::fillBufFrom(unsigned long long p) {
  if (!source) return false;
  unsigned long long capacity = static_cast<unsigned long long>(window.count);
  unsigned long long want = plainSize - p < capacity ? plainSize - p : capacity;
  // Only the end itself: nothing to decode, and a well-formed stream never
  // produces a byte beyond it.
  if (want == 0) return true;
  // Bytes before the output are gone: only a restart reaches them.
  if (outputStart != ~0ull && p < outputStart && !resetDecompression()) return false;
  if (outputStart == ~0ull) {
    if (!source->set_fp(0)) return false;
    stream.avail_in = 0;
    stream.next_out = output.ptr;
    stream.avail_out = static_cast<unsigned int>(output.count);
    stream.total_out = 0;
    if (!step()) return false;
    outputStart = 0;
  }
  while (outputStart + stream.total_out <= p) {
    if (!step()) return false;
  }
  unsigned char* dst = window.ptr;
  while (want > 0) {
    unsigned long long offset = p - outputStart;
    unsigned long long avail = stream.total_out - offset;
    unsigned long long n = avail < want ? avail : want;
    std::memcpy(dst, output.ptr + offset, n);
    dst += n;
    p += n;
    want -= n;
    if (want > 0 && !step()) return false;
  }
  return true;
}
