// The Canon model tables of the CR2 decoder.
#pragma once

#include "picts/balance.h"

struct sCanonColorRow {
  unsigned int id;
  unsigned short white;  // 0: 2^bits - 1; every row's black is 0
  double matrix[9];      // red, green, blue rows out of the camera's red, green, blue
};

struct sCanonMarginRow {
  unsigned int id;
  sMarginInfo margins;
};

extern const double kCanonLaterMatrix[9];
extern const double kCanonEarlyMatrix[9];
extern const double kIdentityMatrix[9];
extern const sCanonColorRow gCanonColors[70];
extern const sCanonMarginRow gCanonMargins[57];
