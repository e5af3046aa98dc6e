// Fujifilm camera files: a big-endian header locating a JPEG preview, a
// property block and the sensor section, which holds either bare 16-bit
// samples or a small TIFF with the maker's own tags. Sensors mounted at 45
// degrees are unrolled into a diamond, demosaiced and turned back.
#pragma once

#include "picts/raw_common.h"
#include "picts/tiffgeneric.h"

class cPictRAF : public cCameraRawPict, public cTiffGeneric {
 public:
  int typeOf() override { return kPictRAF; }
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
  bool loadVerifyHeader(cFileIOTarget* io);
  bool loadProps(cFileIOTarget* io);
  void initModelSpecificInfo();
  // Header, properties, the section's own directory and the model's rows.
  bool parse(cFileIOTarget* io);
  bool bareSection() const { return myCFALength == 2ULL * myRawWidth * myRawHeight; }
  bool readSamples(cFileIOTarget* io, _typebuf<unsigned short>& raw);
  bool unrollDiamond(const _typebuf<unsigned short>& raw, _typebuf<unsigned short>& diamond, long long& dw,
                     long long& dh) const;
  bool turnBack(_typebuf<unsigned long long>& pixels, long long& width, long long& height) const;

  double myM0 = 1, myM1 = 1, myM2 = 1;
  char myModel[33] = {};
  unsigned int myJpegOffset = 0, myJpegLength = 0, myPropsOffset = 0, myPropsLength = 0;
  unsigned int myCFAOffset = 0, myCFALength = 0, mySecondFrame = 0;
  bool myLayout = false, myLayoutOrder = false, myWordSwapped = false, myXTrans = false, myByteSwap = false;
  unsigned int myBlack = 240;
  long long myImageWidth = 0, myImageHeight = 0;
  unsigned int myRawWidth = 0, myRawHeight = 0;
  unsigned int myBits = 16, myStripOffset = 0, myStripLength = 0;
  unsigned char myPattern[4] = {0, 1, 1, 2};
  sMarginInfo myMargins;
  cRawWalkGuard myGuard;
};
