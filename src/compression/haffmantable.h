// Huffman decoding for camera RAW data: a lookup table built from a
// code-length table, and a bit reader over a byte buffer.
#pragma once

#include "base/buffers.h"

class cHaffmanTable {
 public:
  unsigned int bitBuffer = 0;  // the newest byte in the low 8 bits
  int bitCount = 0;            // unconsumed bits; negative once reads ran past the data

  // Builds the decode table: entry 0 holds L, the longest code length; entries
  // 1 to 2^L, indexed by the next L bits, hold (length << 8) | symbol.
  // `spec` (16 counts of codes per length, then the symbols) is left just
  // after what it used, so tables stored in a row can be read in turn.
  static void createIndexTable(const unsigned char** spec, _typebuf<unsigned short>& table);

  // With `huff` null: the next `nbits` (1..25) raw bits. With `huff` (the
  // table from its entry 1, `nbits` = its L): the next symbol. -1 resets the
  // reader. Bits past the data read as zeros and drive the count negative,
  // after which every read answers 0 until a reset.
  int getBitHuff(int nbits, unsigned short* huff, _typebuf<unsigned char>& data, long long& pos);
};
