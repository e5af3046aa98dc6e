// Run-length encoded PCX pictures of version 5: one plane of palette indices
// or three planes of red, green and blue.
#pragma once

#include "picts/pictbase.h"

class cPictPCX : public cPictBase {
 public:
  int typeOf() override { return kPictPCX; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool supportsExtRendering() override { return true; }

  static bool validFor(cFileIOTarget* io, sPictInfo* info);

 private:
  bool readHeader(cFileIOTarget* io, unsigned char* header);
  bool loadPalette(cFileIOTarget* io, const unsigned char* header);

  _typebuf<unsigned int> myPalette;
  int myPlanes = 0;
  int myBytesPerLine = 0;
};
