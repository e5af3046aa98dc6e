#include "compression/haffmantable.h"

void cHaffmanTable::createIndexTable(const unsigned char** spec, _typebuf<unsigned short>& table) {
  const unsigned char* counts = *spec;
  const unsigned char* symbols = counts + 16;
  int longest = 0;
  for (int len = 1; len <= 16; ++len)
    if (counts[len - 1] != 0) longest = len;
  const long long entries = 1ll << longest;
  table.set(entries + 1);
  table.ptr[0] = static_cast<unsigned short>(longest);
  // Indexes no code covers decode as symbol 0 of the full length, so a reader
  // that meets them still moves on.
  for (long long i = 1; i <= entries; ++i) table.ptr[i] = static_cast<unsigned short>(longest << 8);
  long long h = 1;
  for (int len = 1; len <= longest; ++len) {
    const long long span = 1ll << (longest - len);
    for (int n = 0; n < counts[len - 1]; ++n) {
      const unsigned short entry = static_cast<unsigned short>(len << 8 | *symbols++);
      for (long long i = 0; i < span && h <= entries; ++i) table.ptr[h++] = entry;
    }
  }
  *spec = symbols;
}

int cHaffmanTable::getBitHuff(int nbits, unsigned short* huff, _typebuf<unsigned char>& data,
                              long long& pos) {
  if (nbits == -1) {
    bitBuffer = 0;
    bitCount = 0;
    return 0;
  }
  if (nbits <= 0 || nbits > 25 || bitCount < 0) return 0;
  while (bitCount < nbits && pos >= 0 && pos < data.count) {
    bitBuffer = bitBuffer << 8 | data.ptr[pos++];
    bitCount += 8;
  }
  const unsigned int mask = (1u << nbits) - 1;
  const unsigned int v =
      bitCount >= nbits ? bitBuffer >> (bitCount - nbits) & mask : bitBuffer << (nbits - bitCount) & mask;
  if (huff) {
    const unsigned short e = huff[v];
    bitCount -= e >> 8;
    return e & 0xFF;
  }
  bitCount -= nbits;
  return static_cast<int>(v);
}
