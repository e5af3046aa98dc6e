// Phase One camera files, alone or stored uncompressed as the first member of
// a ZIP: a TIFF whose own picture is the preview, with a private directory
// found through the bytes at offset 8 describing the sensor body.
#pragma once

#include "picts/raw_common.h"

class cPictIIQ : public cCameraRawPict {
 public:
  int typeOf() override { return kPictIIQ; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                  const long long* maxHeight) override;
  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  // The private directory; `start` receives where the camera's file begins
  // (0, or 39 inside a ZIP).
  bool processIIQ(cFileIOTarget* io, unsigned int* start);
  virtual void reset();

 private:
  bool sized() const { return myRawWidth && myRawHeight && myDataOffset && myDataSize; }
  bool readRows(cFileIOTarget* io, _typebuf<unsigned short>& raw);

  unsigned int myRawWidth = 0, myRawHeight = 0, myFormat = 0, myBlack = 0;
  unsigned int mySplitColumn = 0, mySplitRow = 0;
  unsigned long long myDataOffset = 0, myDataSize = 0, myStripOffset = 0;
  unsigned long long myBlackColumns = 0, myBlackRows = 0;
  sMarginInfo myMargins;
  double myM0 = 1, myM1 = 1, myM2 = 1;
};
