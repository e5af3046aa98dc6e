// The constant tables behind the code pages, written by tools/gen_codepages.py.
#pragma once

struct sSingleBytePage {
  int cp;
  unsigned short units[256];  // indexed by the byte
};
extern const sSingleBytePage kSingleBytePages[];
extern const int kSingleBytePageCount;

// The double-byte pages: the base table gives the unit of a single byte, or
// kLeadByte; rows[lead] holds the units of the trail bytes 0x40 to 0xFF, or is
// null when that lead byte has no characters.
constexpr unsigned short kLeadByte = 0xFFFF;
struct sDoubleBytePage {
  const unsigned short* base;
  const unsigned short* rows[256];
};
extern const unsigned short kCP950Base[256];
extern const sDoubleBytePage kCP932, kCP936, kCP949, kCP950;

// 94 x 94 character sets, row-major from the byte pair 0x21 0x21; 0 marks a
// position without a character.
extern const unsigned short kJisX0208[94 * 94];
extern const unsigned short kJisX0212[94 * 94];
extern const unsigned short kGb2312[94 * 94];
extern const unsigned short kCns11643Plane1[94 * 94];
extern const unsigned short kCns11643Plane2[94 * 94];
