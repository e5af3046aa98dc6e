// How many of the bytes still to come can carry entropy-coded data. The
// stream is read ahead to its end and put back; comment and application
// segments met on the way, and whatever follows the end of the image, are
// left out, so that padding cannot vouch for pixels no scan could fill.
#include <algorithm>
#include <cstring>
#include <new>

#include "base/targets.h"
#include "picts/jpgparser.h"

namespace {

// The bytes after the parser's position: first those of its read block not
// yet consumed, then the stream's own, a block at a time.
class cAhead {
 public:
  cAhead(const unsigned char* held, long long count, cFileIOTarget* io, _typebuf<unsigned char>& block)
      : myAt(held), myEnd(held + count), myIo(io), myBlock(block) {}

  // Passes the bytes up to the next 0xFF, adding them to `run`, and takes
  // the 0xFF; false at the end of the stream.
  bool toMarker(unsigned long long& run) {
    for (;;) {
      if (myAt == myEnd && !refill()) return false;
      const void* ff = std::memchr(myAt, 0xFF, static_cast<size_t>(myEnd - myAt));
      const unsigned char* stop = ff ? static_cast<const unsigned char*>(ff) : myEnd;
      run += static_cast<unsigned long long>(stop - myAt);
      myAt = stop;
      if (ff) {
        ++myAt;
        return true;
      }
    }
  }

  bool get(unsigned char& b) {
    if (myAt == myEnd && !refill()) return false;
    b = *myAt++;
    return true;
  }

  // Passes up to n bytes; answers how many there were.
  unsigned long long skip(unsigned long long n) {
    unsigned long long done = 0;
    while (done < n && (myAt != myEnd || refill())) {
      const unsigned long long piece =
          std::min<unsigned long long>(n - done, static_cast<unsigned long long>(myEnd - myAt));
      myAt += piece;
      done += piece;
    }
    return done;
  }

  // Reads the rest of the stream; answers how much was read from it in all.
  unsigned long long drain() {
    while (refill()) myAt = myEnd;
    return myRead;
  }

 private:
  bool refill() {
    unsigned int got = myIo->read(myBlock.ptr, static_cast<unsigned int>(myBlock.count));
    myRead += got;
    myAt = myBlock.ptr;
    myEnd = myBlock.ptr + got;
    return got != 0;
  }

  const unsigned char* myAt;
  const unsigned char* myEnd;
  cFileIOTarget* myIo;
  _typebuf<unsigned char>& myBlock;
  unsigned long long myRead = 0;
};

bool isPadding(unsigned char marker) { return (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE; }

// Markers that stand alone: stuffing, restarts, start and temporary.
bool standsAlone(unsigned char marker) {
  return marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

}  // namespace

bool cJPEGParser::codedBytesAhead(unsigned long long& coded) {
  if (!io) return false;
  _typebuf<unsigned char> block;
  try {
    block.set(kReadBlock);
  } catch (const std::bad_alloc&) {
    return false;
  }
  cAhead in(readBuf.ptr + readAt, readEnd - readAt, io, block);
  coded = 0;
  for (;;) {
    unsigned long long run = 0;
    const bool marker = in.toMarker(run);
    coded += run;
    unsigned char m = 0xFF;
    while (marker && m == 0xFF)
      if (!in.get(m)) break;
    if (!marker || m == 0xFF || m == 0xD9) break;
    if (standsAlone(m)) {
      coded += 2;
      continue;
    }
    unsigned char length[2];
    if (!in.get(length[0]) || !in.get(length[1])) break;
    const unsigned long long body = (length[0] << 8 | length[1]) - 2ULL;
    if (body > 0xFFFF) break;
    const unsigned long long passed = in.skip(body);
    if (!isPadding(m)) coded += 4 + passed;
    if (passed < body) break;
  }
  // Put back where the parser's next read expects it.
  return io->set_fp_end(in.drain());
}
