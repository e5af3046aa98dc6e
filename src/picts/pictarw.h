// Sony camera files (ARW and the older SR2 kind): a classic TIFF whose first
// IFD carries make, model and a JPEG preview, whose first SubIFD the sensor
// body, and whose encrypted private block or embedded Minolta-style block
// the white balance.
#pragma once

#include "picts/raw_common.h"
#include "picts/tiffgeneric.h"

// The decrypted private block's walker: the white balance of tag 29459.
class cARWExtProps : public cTiffGeneric {
 public:
  bool onRawTag(int tag, int type, const void* data, int length, unsigned int offset) override;

  double m[4] = {1, 1, 1, 1};
};

class cPictARW : public cCameraRawPict, public cTiffGeneric {
 public:
  struct sModel {
    const char* key;
    unsigned short right, black, white;
    double f0, f1, f2;
    bool a100;
  };
  static const sModel kModels[];
  static const int kModelCount;

  int typeOf() override { return kPictARW; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                  const long long* maxHeight) override;
  bool supportsExtRendering() override { return false; }
  static bool validFor(cFileIOTarget* io, sPictInfo* info);
  // The white balance of a Minolta-style block at `offset`; false when the
  // block is not one, true once it is (with or without a balance).
  bool processMRW(cFileIOTarget* io, unsigned int offset);
  // The private block's keystream over `words` 32-bit words of `data`.
  static void sonyDecrypt(unsigned char* data, unsigned long long words, unsigned int key);

  bool onTag(int tag, int type, const void* data, int length) override;
  bool onRawTag(int tag, int type, const void* data, int length, unsigned int offset) override;

 protected:
  void reset();

 private:
  bool walk(cFileIOTarget* io);
  void readPrivateBlock();
  void readMinoltaBlock(unsigned int offset);
  bool whiteBalance(double (&m)[4]);
  bool readStrip(long long s, unsigned short* raw);
  bool readArw1(unsigned short* raw, unsigned long long rows);
  bool readArw2(unsigned short* raw, unsigned long long rows);

  unsigned int myRawWidth = 0, myRawHeight = 0, myBits = 0, myCompression = 0, mySamples = 0;
  sRawStrips myStrips;
  sRawCFA myCFA;
  unsigned int myCFARows = 0, myCFAColumns = 0;
  sMarginInfo myMargins;
  unsigned int myPreviewOffset = 0, myPreviewLength = 0;
  _typebuf<unsigned int> mySubIFDs;
  double myM[4] = {1, 1, 1, 1};
  bool myA100 = false;
  unsigned int myBlack = 0, myWhite = 0;
  double myF[3] = {1, 1, 1};
  unsigned int mySR2Key = 0, mySR2Length = 0, mySR2Offset = 0;
  cRawWalkGuard myGuard;
};
