// Samsung camera files: a classic TIFF whose first IFD carries make, model
// and two SubIFDs; one SubIFD holds the sensor body with its colour-filter
// pattern, and tags 513/514 locate a JPEG preview.
#pragma once

#include "picts/raw_common.h"
#include "picts/tiffgeneric.h"

class cPictSRW : public cCameraRawPict, public cTiffGeneric {
 public:
  int typeOf() override { return kPictSRW; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                  const long long* maxHeight) override;
  bool supportsExtRendering() override { return false; }
  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  bool onTag(int tag, int type, const void* data, int length) override;

 protected:
  void reset();

 private:
  // Walks the first IFD and the SubIFD(s) that hold the body.
  bool walk(cFileIOTarget* io);
  bool walkSub(cFileIOTarget* io, unsigned int offset);
  void applyModel(const char* model);
  bool readStrip(long long s, unsigned short* raw, unsigned short (&vpred)[2][2]);
  bool readRowTable(long long s, unsigned short* raw);
  bool readDifferences(long long s, unsigned short* raw, unsigned short (&vpred)[2][2]);
  bool readGroups(long long s, unsigned short* raw);

  unsigned int myRawWidth = 0, myRawHeight = 0, myBits = 0, myCompression = 0, mySamples = 0;
  _typebuf<unsigned int> mySubIFDs;
  sRawStrips myStrips;
  sRawCFA myCFA;
  unsigned int myCFARows = 0, myCFAColumns = 0;
  bool mySawCFA = false;  // the directory being walked gave a pattern
  sMarginInfo myMargins;
  unsigned int myRowTable = 0;
  bool myBig12 = false;
  unsigned int myPreviewOffset = 0, myPreviewLength = 0;
  cRawWalkGuard myGuard;
};
