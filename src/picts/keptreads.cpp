#include "picts/keptreads.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Below this a read costs about what finding it again would: the header's
// and each directory entry's are read afresh.
constexpr unsigned int kKeptLeast = 4096;
// What is kept: twice the stream, room for its tables beside the blocks
// some probes read from its start, and never more than this.
constexpr unsigned long long kKeptMost = 64ULL << 20;

}  // namespace

cKeptReads::cKeptReads(cFileIOTarget* io) : myIo(io), myRoom(std::min(io->size(), kKeptMost / 2) * 2) {}

unsigned int cKeptReads::read(void* buf, unsigned int count) {
  const auto key = std::make_pair(myPos, count);
  if (count >= kKeptLeast) {
    const auto kept = myKept.find(key);
    // The stream is left where this read would have left it.
    if (kept != myKept.end() && myIo->set_fp(myPos + count)) {
      std::memcpy(buf, kept->second.data(), count);
      myPos += count;
      return count;
    }
  }
  const unsigned int got = myIo->read(buf, count);
  // Some streams answer an error as a count past what was asked.
  if (got > count) return got;
  if (got == count && count >= kKeptLeast && count <= myRoom) {
    try {
      const unsigned char* from = static_cast<const unsigned char*>(buf);
      if (myKept.emplace(key, std::vector<unsigned char>(from, from + count)).second) myRoom -= count;
    } catch (const std::bad_alloc&) {
      // Not kept: it is read again when asked again.
    }
  }
  myPos += got;
  return got;
}

bool cKeptReads::set_fp(unsigned long long pos) {
  if (!myIo->set_fp(pos)) return false;
  myPos = pos;
  return true;
}

bool cKeptReads::set_fp_end(unsigned long long offset) {
  const unsigned long long size = myIo->size();
  if (offset > size || !myIo->set_fp_end(offset)) return false;
  myPos = size - offset;
  return true;
}
