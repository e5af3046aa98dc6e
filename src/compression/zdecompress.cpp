#include "compression/zdecompress.h"

#include "base/memio.h"
#include "compression/zcommon.h"

namespace {

enum class eInflated { inputUsed, ended, failed };

// Inflates `len` bytes into `file` in 64 KiB steps until the stream ends, zlib
// finds damage, or a step makes no progress. Steps go on after the input is
// used up, so output still held inside zlib is not lost.
eInflated inflateSteps(z_stream& stream, const unsigned char* in, unsigned long long len,
                       cMemIOTarget& file) {
  const unsigned int kStep = 65536;
  _typebuf<unsigned char> step;
  try {
    step.set(kStep);
  } catch (const std::bad_alloc&) {
    return eInflated::failed;
  }
  stream.next_in = const_cast<Bytef*>(in);
  stream.avail_in = 0;
  for (;;) {
    bool fed = false;
    if (stream.avail_in == 0 && len > 0) {
      stream.avail_in = zlibCount(len);
      len -= stream.avail_in;
      fed = true;
    }
    unsigned int inBefore = stream.avail_in;
    stream.next_out = step.ptr;
    stream.avail_out = kStep;
    int rc = inflate(&stream, Z_PARTIAL_FLUSH);
    unsigned int produced = kStep - stream.avail_out;
    if (produced > 0 && file.write(step.ptr, produced) != produced) return eInflated::failed;
    if (rc == Z_STREAM_END) return eInflated::ended;
    if (rc != Z_OK && rc != Z_BUF_ERROR) return eInflated::failed;
    if (produced == 0 && stream.avail_in == inBefore && !fed) return eInflated::inputUsed;
  }
}

}  // namespace

sZlibEnd zlibStreamEnd(const unsigned char* in, unsigned long long len, unsigned long long most) {
  cPullInput whole(in, static_cast<size_t>(len));
  return zlibStreamEnd(whole, most);
}

sZlibEnd zlibStreamEnd(cPullInput& in, unsigned long long most) {
  z_stream stream;
  if (!startInflate(stream)) return {eZlibEnd::broken, 0};
  unsigned char drop[16384];
  size_t used = 0;
  unsigned long long made = 0;
  int rc = Z_OK;
  while (rc == Z_OK && made <= most) {
    if (stream.avail_in == 0) {
      if (used == in.size && !in.pull(used + 1)) break;
      stream.next_in = const_cast<Bytef*>(in.data + used);
      stream.avail_in = zlibCount(in.size - used);
      used += stream.avail_in;
    }
    stream.next_out = drop;
    // One byte past `most` is room enough to tell a stream that runs on.
    const unsigned long long room = most - made;
    stream.avail_out = room < sizeof drop ? static_cast<unsigned int>(room) + 1 : sizeof drop;
    rc = inflate(&stream, Z_NO_FLUSH);
    made += static_cast<unsigned int>(stream.next_out - drop);
  }
  inflateEnd(&stream);
  if (made > most) return {eZlibEnd::runsOn, made};
  return {rc == Z_STREAM_END ? eZlibEnd::whole : eZlibEnd::broken, made};
}

cZDecompress::cZDecompress() { std::memset(&stream, 0, sizeof stream); }

cZDecompress::~cZDecompress() {
  if (started) inflateEnd(&stream);
}

int cZDecompress::typeOf() { return 3; }

bool cZDecompress::decompress(const _typebuf<unsigned char>& in, _typebuf<unsigned char>& out) {
  z_stream local;
  if (!startInflate(local)) return false;
  bool ok = inflateReset(&local) == Z_OK;
  if (ok) {
    cMemIOTarget file(65536);
    inflateSteps(local, in.ptr, in.count > 0 ? static_cast<unsigned long long>(in.count) : 0, file);
    ok = file.toBuffer(out);
  }
  inflateEnd(&local);
  return ok;
}

bool cZDecompress::startMember() {
  if (started) return true;
  started = startInflate(stream);
  return started;
}

void cZDecompress::init() { startMember(); }

bool cZDecompress::reset() { return started && inflateReset(&stream) == Z_OK; }

bool cZDecompress::decompressPart(const unsigned char* in, long long inLen, _typebuf<unsigned char>& out) {
  if (!started) {
    if (!startMember() || inflateReset(&stream) != Z_OK) return false;
  }
  cMemIOTarget file(65536);
  eInflated result =
      inflateSteps(stream, in, in && inLen > 0 ? static_cast<unsigned long long>(inLen) : 0, file);
  if (!file.toBuffer(out)) return false;
  return result != eInflated::failed;
}

bool cZDecompress::decompressPart(const unsigned char* in, long long& inLen, unsigned char* out,
                                  long long& outLen) {
  if (!started) {
    if (!startMember() || inflateReset(&stream) != Z_OK) return false;
  }
  if (in) {
    stream.next_in = const_cast<Bytef*>(in);
    stream.avail_in = zlibCount(inLen > 0 ? static_cast<unsigned long long>(inLen) : 0);
  } else if (stream.avail_in == 0) {
    inLen = 0;
    outLen = 0;
    return true;
  }
  unsigned int inBefore = stream.avail_in;
  unsigned int space = zlibCount(out && outLen > 0 ? static_cast<unsigned long long>(outLen) : 0);
  stream.next_out = out;
  stream.avail_out = space;
  int rc = inflate(&stream, Z_FULL_FLUSH);
  inLen = inBefore - stream.avail_in;
  outLen = space - stream.avail_out;
  return rc == Z_OK || rc == Z_STREAM_END;
}
