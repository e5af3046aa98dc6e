// JPEG pictures: baseline, extended, progressive and lossless streams,
// decoded MCU by MCU into the picture or straight into a render target.
#pragma once

#include "picts/jpgparser.h"
#include "picts/pictbase.h"

class cPictJPEG : public cPictBase, public cJPEGParser {
 public:
  cPictJPEG();

  int typeOf() override { return kPictJPEG; }
  // Reads up to the frame header only.
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool supportsExtRendering() override { return true; }
  bool getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                  long long const* maxH) override;

  static bool validFor(cFileIOTarget* io, sPictInfo* info);
  // Bottom-up rows (the library's order) by default; false stores the
  // picture top-down, as a caller filling its own bitmap may want.
  void setUsingBMPOrder(bool bottomUp) { myBottomUp = bottomUp; }
  // False leaves the EXIF block unread (a thumbnail's own thumbnail).
  void setReadExif(bool read) { myReadExif = read; }

  bool onExif(const void* data, unsigned& count) override;
  bool onImageDescribed() override;
  bool onScanData() override;
  bool onMCUDone(int x, int y, sHuffDecodedUnit** units, int count) override;
  bool onScanLine(_typebuf<unsigned char>** rows, int y, int width) override;
  bool onImageDone() override;

 private:
  enum eMode { kProbe = 1, kDecode = 2, kPreview = 3 };

  long long rowIndex(long long imageRow) const { return myBottomUp ? myHeight - 1 - imageRow : imageRow; }
  // Checks the frame against the bytes left and makes the picture.
  bool preparePicture();

  int myMode = kDecode;
  bool myDescribed = false;
  bool myBottomUp = true;
  bool myReadExif = true;
  bool myRendering = false;
  // A frame was described for a decode and its picture is still to be made.
  bool myAwaitingData = false;
  // Whether any decoded data reached the picture: an image of memory that
  // no data reached is not a success.
  bool myDelivered = false;
  unsigned long long myStreamBytes = 0;
  _typebuf<unsigned int> myConv8;
  _typebuf<unsigned long long> myConv16;
  _typebuf<unsigned char*> myRowPtrs;
};
