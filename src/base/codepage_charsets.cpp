// The character sets that the stateful and EUC pages switch between.
#include "base/codepage_tables.h"
#include "base/codepages.h"

namespace {

bool gridLookup(const unsigned short* grid, unsigned short* u, const unsigned char* s, long long avail) {
  if (avail < 2 || s[0] < 0x21 || s[0] > 0x7E || s[1] < 0x21 || s[1] > 0x7E) return false;
  unsigned short found = grid[(s[0] - 0x21) * 94 + (s[1] - 0x21)];
  if (!found) return false;
  *u = found;
  return true;
}

}  // namespace

bool jisx0201_mbtowc(unsigned short* u, const unsigned char* s, long long avail) {
  if (avail < 1) return false;
  unsigned char b = s[0];
  if (b < 0x80) {
    // The Roman half is ASCII but for the yen sign and the overline.
    *u = b == 0x5C ? 0x00A5 : b == 0x7E ? 0x203E : b;
    return true;
  }
  if (b < 0xA1 || b > 0xDF) return false;
  *u = 0xFF61 + (b - 0xA1);
  return true;
}

bool jisx0208_mbtowc(unsigned short* u, const unsigned char* s, long long avail) {
  return gridLookup(kJisX0208, u, s, avail);
}

bool jisx0212_mbtowc(unsigned short* u, const unsigned char* s, long long avail) {
  return gridLookup(kJisX0212, u, s, avail);
}

bool gb2312_mbtowc(unsigned short* u, const unsigned char* s, long long avail) {
  return gridLookup(kGb2312, u, s, avail);
}

bool cns11643_1_mbtowc(unsigned short* u, const unsigned char* s, long long avail) {
  return gridLookup(kCns11643Plane1, u, s, avail);
}

bool cns11643_2_mbtowc(unsigned short* u, const unsigned char* s, long long avail) {
  return gridLookup(kCns11643Plane2, u, s, avail);
}
