// CCITT fax strips (TIFF compressions 3 and 4): modified Huffman runs, the
// two-dimensional modes, EOL and fill handling, either bit order. Rows come
// out packed most-significant bit first, white 0 and black 1.
#pragma once

#include "base/pullinput.h"

struct sFaxCode {
  unsigned short value;
  unsigned char length;  // 0: no code starts with these bits
};

enum eFaxMode : unsigned short {
  kModePass = 1,
  kModeHorizontal,
  kModeV0,
  kModeVR1,
  kModeVR2,
  kModeVR3,
  kModeVL1,
  kModeVL2,
  kModeVL3,
  kModeExtension,
};

// Indexed by the next 13 bits (runs) or 7 bits (modes); made at build time
// from the code tables by tools/gen_fax_tables.py.
extern const sFaxCode kFaxWhiteCodes[8192];
extern const sFaxCode kFaxBlackCodes[8192];
extern const sFaxCode kFaxModeCodes[128];
constexpr unsigned short kFaxEOL = 0xFFFF;

// A byte's bits last to first, as FillOrder 2 stores them.
inline unsigned char reversedBits(unsigned char b) {
  b = static_cast<unsigned char>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = static_cast<unsigned char>((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return static_cast<unsigned char>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

struct sFax3DecodeCtx {
  const unsigned char* data;
  long long size;
  bool lsbFirst;  // FillOrder 2
  bool twoD;      // compression 3 with T4Options bit 0
  bool group4;    // compression 4
  long long width;
  long long rows;
  long long columns;  // of each row kept, from its start: 1 to `width`
};

// Fills `out` (rows x ceil(columns / 8) bytes); false on a code that does
// not decode or a row that does not add up to the width.
bool decodeFax(const sFax3DecodeCtx& ctx, unsigned char* out);
// The same over input pulled as the rows need it; `ctx.data` and `ctx.size` are not used.
bool decodeFax(const sFax3DecodeCtx& ctx, cPullInput& input, unsigned char* out);
