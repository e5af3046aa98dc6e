#include "picts/streamskip.h"

bool skipBytes(cFileIOTarget* io, unsigned long long count) {
  unsigned char scratch[4096];
  while (count > 0) {
    unsigned int piece = count < sizeof scratch ? static_cast<unsigned int>(count) : sizeof scratch;
    if (!io->readf(scratch, piece)) return false;
    count -= piece;
  }
  return true;
}
