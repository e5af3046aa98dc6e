// Minolta MRW camera files: a chain of named blocks (sensor size, white
// balance, an embedded TIFF with the camera model and a JPEG thumbnail)
// followed by the sensor samples, 16-bit or packed 12-bit.
#pragma once

#include "picts/balance.h"
#include "picts/pictbase.h"
#include "picts/tiffgeneric.h"

class cPictMRW : public cPictBase, public cTiffGeneric {
 public:
  cPictMRW();

  int typeOf() override { return kPictMRW; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                  long long const* maxH) override;
  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  bool onTag(int tag, int type, const void* data, int length) override;
  void reset();
  // The header and the block walk; false for a chain that does not hold.
  bool loadMrwProps(cFileIOTarget* io);

 protected:
  // The sensor plane after `loadMrwProps`, into myRaw.
  bool readSamples(cFileIOTarget* io);
  // Per colour index; all 1.0 when red, green or blue has none. False for a
  // pattern entry that names no colour.
  bool colourBalance(double (&balance)[4]) const;

  _typebuf<unsigned short> myRaw;

 private:
  // Per pattern entry, as the WBG block gives them.
  double myBalance[4] = {1, 1, 1, 1};
  bool readTiffBlock(cFileIOTarget* io, unsigned long long at, unsigned long long length);

  sCFAData myCFA{2, 2, 4};
  unsigned long long myThumbOffset = 0;  // in the file
  unsigned int myThumbLength = 0;
  unsigned long long myRawStart = 0;
  unsigned long long myTiffStart = 0;
  unsigned int myThumbTiffOffset = 0;  // as the embedded TIFF says, from its start
  bool myTiffBig = false;
  sMarginInfo myMargins;
};
