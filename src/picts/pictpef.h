// Pentax (and Ricoh-made Pentax) camera files: a classic TIFF whose first
// IFD holds the sensor body, whose EXIF IFD the colour-filter pattern, whose
// maker note the white balance, crop and Huffman table, and whose second IFD
// a JPEG preview.
#pragma once

#include "picts/raw_common.h"
#include "picts/tiffgeneric.h"

// The maker note's walker.
class cPefMeta : public cTiffGeneric {
 public:
  bool onTag(int tag, int type, const void* data, int length) override;
  void reset();

  double m0 = 1, m1 = 1, m2 = 1;
  // Entry 0 the code length (0: no table), then 4096 entries for getbithuff.
  unsigned short table[4097] = {};
  _typebuf<unsigned int> cropOrigin;
  _typebuf<unsigned int> rawSize;
  bool ricoh = false;

 private:
  bool readTable(const unsigned char* p, long long length);
};

class cPictPEF : public cCameraRawPict, public cTiffGeneric {
 public:
  int typeOf() override { return kPictPEF; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                  const long long* maxHeight) override;
  bool supportsExtRendering() override { return false; }
  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  bool onTag(int tag, int type, const void* data, int length) override;
  bool onRawTag(int tag, int type, const void* data, int length, unsigned int offset) override;

 protected:
  void reset();

 private:
  bool walk(cFileIOTarget* io);
  // `whole`: the difference table of the maker note's code table.
  bool readStrip(long long s, unsigned short* raw, unsigned short (&vpred)[2][2], const int* whole);

  unsigned int myRawWidth = 0, myRawHeight = 0, myBits = 0, myCompression = 0, mySamples = 0;
  sRawStrips myStrips;
  sRawCFA myCFA;
  sMarginInfo myMargins;
  unsigned int myPreviewOffset = 0, myPreviewLength = 0;
  bool myRicoh = false;
  cPefMeta myMeta;
  cRawWalkGuard myGuard;
};
