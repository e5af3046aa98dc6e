// PNG pictures: every colour type and bit depth, Adam7 interlacing and the
// transparency chunk, inflated row by row as the image data arrives.
#pragma once

#include "compression/zdecompress.h"
#include "picts/pictbase.h"
#include "picts/pngrows.h"

class cPictPNG : public cPictBase {
 public:
  int typeOf() override { return kPictPNG; }
  // Reads up to the header only.
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool supportsExtRendering() override { return true; }

  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  // Called for every decoded row before the standard conversion, with the
  // row's first pixel in the picture buffer (null while rendering into a
  // target) and the picture's width. A subclass that fills the row itself
  // answers true and the standard conversion is skipped.
  virtual bool colorConvert(unsigned char* row, int width);
  virtual bool colorConvert16(unsigned short* row, int width);

 private:
  struct sHeader {
    unsigned int width;
    unsigned int height;
    unsigned char bitDepth;
    unsigned char colorType;
    unsigned char compression;
    unsigned char filter;
    unsigned char interlace;
  };

  bool decodeInt(cFileIOTarget* io);
  bool walkChunks(cFileIOTarget* io);
  bool chkProcessHeader();
  bool processPalette(const unsigned char* data, long long length);
  bool chkProcessTransparency(const unsigned char* data, long long length);
  bool processIDatChunk(const unsigned char* data, long long length);
  bool startImageData(long long streamLeft);
  bool startPass();
  bool rowDone();
  bool processScanline(long long firstColumn, long long columnStep, long long rowBytes);
  bool startPicture();
  void buildLut();
  long long scanlineBytes() const;
  int scanlineBpp() const;
  long long pixelsPerInterlacedLine() const;
  int bitsPerPixel() const;

  sHeader myHeader{};
  _typebuf<unsigned int> myPalette;
  bool myHasKey = false;
  unsigned int myKey8 = 0xFFFFFFFF;
  unsigned long long myKey16 = ~0ULL;
  unsigned int myLut[256] = {};
  sPngRowFormat myFormat;

  long long myRow = 0;
  int myPass = -1;
  long long myGathered = 0;
  long long myRowBytes = 0;  // of the current row, filter byte included
  bool myDataStarted = false;
  bool myDataDone = false;
  _typebuf<unsigned char> myPrior;
  _typebuf<unsigned char> myCurrent;
  _typebuf<unsigned int> myRenderRow8;
  _typebuf<unsigned long long> myRenderRow16;

  cZDecompress myInflater;
  bool myProbe = false;
  bool myRendering = false;
  bool myPictureStarted = false;
};
