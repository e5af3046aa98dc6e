#include "picts/md8bim.h"

#include <cstring>

namespace {

unsigned int readU32(const unsigned char* p, bool bigEndian) {
  return bigEndian ? static_cast<unsigned int>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]
                   : static_cast<unsigned int>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0];
}

}  // namespace

bool cMd8BIM::processMD(const void* block, long long length, bool bigEndian) {
  cFasterTreeList<unsigned int, sEntry> gone;
  myEntries.moveTo(gone);
  const unsigned char* bytes = static_cast<const unsigned char*>(block);
  long long at = 0;
  while (bytes && length - at >= 12) {
    const unsigned char* record = bytes + at;
    if (std::memcmp(record, "8BIM", 4) != 0) return false;
    unsigned long long size = readU32(record + 8, bigEndian);
    if (size > static_cast<unsigned long long>(length - at - 12)) return false;
    sEntry* entry = myEntries.insert(readU32(record + 4, bigEndian));
    if (!entry) return false;
    *entry = {record + 12, size};
    at += 12 + static_cast<long long>(size);
    at += at & 1;
  }
  return true;
}
