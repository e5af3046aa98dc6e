// Canon CR2 camera files: a TIFF whose fourth directory holds the sensor
// data as a sliced lossless-JPEG stream, with the Canon maker note giving
// the model, the sensor geometry and its masked border, and the white
// balance. Full-size mosaics are demosaiced; the reduced-size YCbCr form
// (sRAW) is converted to RGB.
#pragma once

#include "base/guardchar.h"
#include "picts/balance.h"
#include "picts/tiffcamera.h"

class cCR2MakerNoteProps : public cTiffGeneric {
 public:
  bool onTag(int tag, int type, const void* data, int length) override;
  void reset();

  // Record size, sensor width and height, two unused, left, top, right and
  // bottom border, black-mask left, top, right and bottom.
  unsigned short sensor[13] = {};
  bool maskDerived = false;
  unsigned short shot[21] = {};  // value 7 is the white-balance index
  bool hasShot = false;
  unsigned int rawOffset = 0;  // tag 0x81
  unsigned int a4[4] = {};
  double balance[4] = {};
  unsigned int model = 0;
};

class cCR2ExifProps : public cExifDecoder {
 public:
  bool onTag(int tag, int type, const void* data, int length) override;
  void reset() override {
    cExifDecoder::reset();
    width = 0;
  }

  unsigned int width = 0, height = 0;
};

class cCR2DataProps : public cTiffGeneric {
 public:
  bool onTag(int tag, int type, const void* data, int length) override;
  void reset();

  unsigned short slices[3] = {};  // count, width, width of the last
  unsigned int stripOffset = 0, stripBytes = 0;
};

// IFD 1: where its JPEG thumbnail lies.
class cCR2JpegProps : public cTiffGeneric {
 public:
  bool onTag(int tag, int type, const void* data, int length) override;
  void reset() { jpegOffset = jpegLength = 0; }

  unsigned int jpegOffset = 0, jpegLength = 0;  // tags 513 and 514
};

// Reads a directory only to learn where the next one starts: no entry of it
// is loaded or judged.
class cCR2SkipIFD : public cTiffGeneric {
 public:
  bool onRawTag(int, int, const void*, int, unsigned int) override { return true; }
};

class cPictCR2 : public cPictTIFFCamera {
 public:
  struct sCamColor {
    unsigned short black;
    unsigned short white;  // 0: 2^bits - 1
    double matrix[9];
  };

  cPictCR2();

  int typeOf() override { return kPictCR2; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  bool onTag(int tag, int type, const void* data, int length) override;
  // The strips are never TIFF strips.
  bool decodeStripe(_typebuf<unsigned char>&, int, sDecomress&) override { return false; }

  unsigned int getModelId() const { return myNote.model; }
  bool getModelName(_guardchar<char>& out) const;
  // From the black-mask rectangle of `samples`, clipped to the sensor; 0 when
  // it has none or a derived mask looks lit.
  unsigned int blackLevel(const unsigned short* samples) const;
  bool getColors(unsigned short& black, unsigned short& white, double (&matrix)[3][3]) const;
  bool getMargins();
  void initCFA();
  const cCR2MakerNoteProps& makerNote() const { return myNote; }

  static void initColors();
  static void initMargins();

 protected:
  void reset() override;
  bool isFullConfig() override;
  // Finishes the decoded samples in `record` (row 0 only: one record).
  bool decodeColors16bpp(unsigned row, sDecomress& record) override;
  bool decodeColors16bppBayer(unsigned row, sDecomress& record, bool bottomUp);
  bool decodeColors16bppSraw(unsigned row, sDecomress& record, bool bottomUp);

 private:
  bool isOldModel() const { return myNote.model == 0x80000001 || myNote.model == 0x80000167; }
  // `decoding` reads IFD 1 for its thumbnail; a probe only skips it.
  bool walk(cFileIOTarget* io, bool decoding);
  bool probeFrame(cFileIOTarget* io, unsigned& w, unsigned& h) const;

  sCFAData myCFA{2, 2, 4};
  cCR2MakerNoteProps myNote;
  cCR2ExifProps myExif;
  cCR2DataProps myData;
  _guardchar<char> myModelName;
  sMarginInfo myMargins;
  unsigned int mySubIFDs[2] = {};
  unsigned int myRawType = 0;
  unsigned int myBits = 0;
  unsigned long long mySensorW = 0, mySensorH = 0;
};
