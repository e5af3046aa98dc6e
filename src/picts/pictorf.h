// Olympus camera files: a TIFF-like file of its own magic whose first IFD
// holds the sensor strips, whose maker note holds the white balance, black
// level and a JPEG preview, and whose body is plain, packed or compressed.
#pragma once

#include "picts/raw_common.h"
#include "picts/tiffgeneric.h"

// The maker note's image-processing directory: white balance and black.
class cExtORFProps : public cTiffGeneric {
 public:
  explicit cExtORFProps(unsigned int correction) : myCorrection(correction) {}
  bool onRawTag(int tag, int type, const void* data, int length, unsigned int offset) override;

  double red = 0, blue = 0;
  unsigned short black = 0;

 private:
  bool readShorts(unsigned int offset, unsigned short (&v)[4]);
  unsigned int myCorrection;
};

class cPictORF : public cTiffGeneric, public cCameraRawPict {
 public:
  struct sModel {
    const char* key;
    unsigned char bytes;  // compared, a terminating zero included where the key has one
    unsigned char left, right, top;
    bool swapped;  // 12-bit samples in word-swapped groups
  };
  static const sModel kModels[];
  static const int kModelCount;

  int typeOf() override { return kPictORF; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                  const long long* maxHeight) override;
  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  using cTiffGeneric::processStream;
  bool processStream(cFileIOTarget* io, unsigned long long size) override;
  bool onRawTag(int tag, int type, const void* data, int length, unsigned int offset) override;
  bool onTag(int tag, int type, const void* data, int length) override;

 protected:
  void reset();

 private:
  bool walk(cFileIOTarget* io);
  bool walkMakerNote(unsigned int offset, int length);
  bool readStrip(long long s, unsigned short* out, bool lastStrip);
  bool readCompressed(unsigned short* out, unsigned int rows, bool lastStrip);

  unsigned int myRawWidth = 0, myRawHeight = 0, myBits = 0, myPhotometric = 0;
  sRawStrips myStrips;
  double myM0 = 1, myM1 = 1, myM2 = 1;
  sMarginInfo myMargins;
  unsigned int myBlack = 0;
  unsigned int myPreviewOffset = 0, myPreviewLength = 0;
  bool myInterlaced = false, myBigSamples = false, mySwapped = false, myMakerMode = false;
  unsigned int myCorrection = 0;
  cRawWalkGuard myGuard;
};
