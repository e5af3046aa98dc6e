// The Nikon camera models a NEF may name, and what each needs of the decoder.
#pragma once

#include "picts/balance.h"

struct sNikonCamera {
  unsigned int id;
  const char* name;
};

// Values of 0 mean the general default: black 0, white 2^bits - 1, square
// pixels, the file's own filter pattern, the general default balance.
struct sNikonModelTraits {
  unsigned int id;
  unsigned int black;
  unsigned int white;
  sMarginInfo margins;
  double scaleX, scaleY;
  unsigned char pattern[4];
  double balance[4];
};

constexpr unsigned int kNikonE5400 = 50;
constexpr unsigned int kNikonE5700 = 51;

extern const sNikonCamera gNikonCameras[61];
extern const sNikonModelTraits gNikonTraits[46];
