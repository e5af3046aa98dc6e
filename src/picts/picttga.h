// Truevision TGA pictures: colour-mapped, true-colour and grey, plain or run-
// length encoded. The format has no signature; the probe rests on how well
// the header's fields agree with each other.
#pragma once

#include "picts/pictbase.h"

class cPictTGA : public cPictBase {
 public:
  int typeOf() override { return kPictTGA; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool supportsExtRendering() override { return true; }

  static bool validFor(cFileIOTarget* io, sPictInfo* info);

 private:
  enum ePixelKind { pkColorMapped, pkTrueColor, pkGrey };

  bool readHeader(cFileIOTarget* io);
  bool loadPalette(cFileIOTarget* io);
  bool processPlainCMap(cFileIOTarget* io) { return processRows(io, false, pkColorMapped); }
  bool processPlainRGB(cFileIOTarget* io) { return processRows(io, false, pkTrueColor); }
  bool processPlainBW(cFileIOTarget* io) { return processRows(io, false, pkGrey); }
  bool processRLECMap(cFileIOTarget* io) { return processRows(io, true, pkColorMapped); }
  bool processRLERGB(cFileIOTarget* io) { return processRows(io, true, pkTrueColor); }
  bool processRLEBW(cFileIOTarget* io) { return processRows(io, true, pkGrey); }
  bool processRows(cFileIOTarget* io, bool rle, ePixelKind kind);
  // Turns one stored row into words; false for an index past the map.
  bool convertRow(const unsigned char* raw, unsigned int* out, ePixelKind kind, bool& anyAlpha) const;

  unsigned char myHeader[18] = {};
  _typebuf<unsigned int> myPalette;
  bool myRendering = false;
};
