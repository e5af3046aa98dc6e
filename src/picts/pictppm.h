// Binary greyscale and colour pixmaps (P5, P6) of 8 or 16 bits a sample.
#pragma once

#include "picts/pictbase.h"

class cPictPPM : public cPictBase {
 public:
  int typeOf() override { return kPictPPM; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool supportsExtRendering() override { return true; }

  static bool validFor(cFileIOTarget* io, sPictInfo* info);

 private:
  // Reads the header; `length` gets its size in bytes.
  bool readHeader(cFileIOTarget* io, long long& width, long long& height, unsigned long long& length);

  unsigned char myFormat = 0;  // '5' grey or '6' colour
  int myMaxValue = 0;
};
