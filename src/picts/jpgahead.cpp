// How many of the bytes still to come are entropy-coded data. The stream is
// read ahead to its end of image and put back; only what lies inside scans
// counts, so that no segment, restart marker or fill byte can vouch for
// pixels that no scan could fill.
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

  bool failed() const { return myFailed; }

 private:
  // A target's answer above the count asked for is its error mark.
  bool refill() {
    if (myFailed) return false;
    const unsigned int asked = static_cast<unsigned int>(myBlock.count);
    const unsigned int got = myIo->read(myBlock.ptr, asked);
    myFailed = got > asked;
    if (myFailed) return false;
    myAt = myBlock.ptr;
    myEnd = myBlock.ptr + got;
    return got != 0;
  }

  const unsigned char* myAt;
  const unsigned char* myEnd;
  cFileIOTarget* myIo;
  _typebuf<unsigned char>& myBlock;
  bool myFailed = false;
};

bool isRestart(unsigned char marker) { return marker >= 0xD0 && marker <= 0xD7; }

// Markers without a length: the rest of 0xD0..0xD8 and TEM.
bool standsAlone(unsigned char marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8); }

}  // namespace

bool cJPEGParser::codedBytesAhead(unsigned long long& coded) {
  if (!io) return false;
  // The parser has consumed `position` bytes of a stream that starts the
  // target, and holds the rest of its block: a target that cannot be set a
  // byte back from where it stands cannot be put back either, and is not
  // read ahead.
  const long long held = readEnd - readAt;
  const unsigned long long at = position + static_cast<unsigned long long>(held);
  if (at == 0 || !io->set_fp(at - 1)) return true;
  if (!io->set_fp(at)) return false;
  _typebuf<unsigned char> block;
  try {
    block.set(kReadBlock);
  } catch (const std::bad_alloc&) {
    return false;
  }
  cAhead in(readBuf.ptr + readAt, held, io, block);
  // The parser stands at the first scan's data.
  bool inScan = true;
  unsigned long long count = 0;
  for (;;) {
    unsigned long long run = 0;
    const bool marker = in.toMarker(run);
    if (inScan) count += run;
    unsigned char m = 0xFF;
    while (marker && m == 0xFF)
      if (!in.get(m)) break;
    if (!marker || m == 0xFF || m == 0xD9) break;
    if (m == 0x00) {
      // A stuffed 0xFF is one byte of data.
      if (inScan) ++count;
      continue;
    }
    if (isRestart(m)) continue;
    inScan = false;
    if (standsAlone(m)) continue;
    unsigned char length[2];
    if (!in.get(length[0]) || !in.get(length[1])) break;
    const unsigned long long body = (length[0] << 8 | length[1]) - 2ULL;
    if (body > 0xFFFF) break;
    const unsigned long long passed = in.skip(body);
    if (passed < body) break;
    inScan = m == 0xDA;
  }
  // Put back where the parser's next read expects it; what follows the
  // end of the image is not read, as a stream inside a longer one has none.
  if (in.failed() || !io->set_fp(at)) return false;
  coded = count;
  return true;
}
