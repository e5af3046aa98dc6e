// Lossless JPEG holding camera sensor data (DNG tiles, sliced camera
// frames, reduced-size YCbCr pictures): decoded into a buffer of 16-bit
// samples in raw order rather than into a picture.
#pragma once

#include "picts/pictjpeg.h"

class cRAWLosslessJpeg : public cPictJPEG {
 public:
  enum eRawType : unsigned { kRawSimple = 0, kRawSraw2x2 = 1, kRawSraw2x1 = 2 };
  enum eScanType : unsigned { kScanPlain = 0, kScanInterlaced = 1 };
  // Reduced-size pictures store their chroma around this value.
  static constexpr unsigned kChromaOffset = 16384;

  cRAWLosslessJpeg();

  // Sliced data: the stream's samples fill `sliceCount` columns of
  // `sliceWidth` top to bottom, then one of `lastSliceWidth` (0: the slice
  // width). Plain row order.
  void init(unsigned width, unsigned height, unsigned sliceCount, unsigned sliceWidth,
            unsigned lastSliceWidth);
  // Unsliced data: the stream's samples fill the rows one after another.
  void init(unsigned width, unsigned height, eScanType scan);

  // A lossless frame's size; other frames are no sensor data.
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool processHuffmanLosslessScan() override;
  bool onScanLine(_typebuf<unsigned char>** rows, int y, int lineWidth) override;
  // Sensor data come in lossless frames only; any other frame would only
  // make the parser build stores for a picture nobody asked for.
  bool onImageDescribed() override;
  bool onImageDone() override { return myRaw.count > 0; }

  // width x height samples (x 3, interleaved Y Cb Cr, for the reduced-size
  // types), or null before a scan was prepared.
  unsigned short* getBitmap() { return reinterpret_cast<unsigned short*>(myRaw.ptr); }
  // Hands the raw buffer over (the caller's old contents are freed); true
  // when it holds samples.
  bool getData(_typebuf<unsigned char>& buffer);
  // Whether the samples are to be taken, given what decode answered.
  virtual bool decodedWhole(bool decoded) const { return decoded; }
  // The samples the frame holds, which fill the raw row after row: fewer
  // than a unit's rows need leave them unwritten, which is damage, not a
  // picture.
  virtual unsigned long long frameSamples() const;
  void getInfo(eRawType& type, int& precision) const {
    type = myRawType;
    precision = static_cast<int>(myPrecision);
  }

 protected:
  // Checks the frame against the raw geometry, chooses the raw type and
  // makes the buffer: what every lossless scan does before its first line.
  bool prepareRaw();
  bool onScanLineSimple(_typebuf<unsigned char>** rows, int y, int lineWidth);
  bool onScanLineSraw1(_typebuf<unsigned char>** rows, int y, int lineWidth);
  bool onScanLineSraw2(_typebuf<unsigned char>** rows, int y, int lineWidth);

  unsigned myRawWidth = 0, myRawHeight = 0;
  // While probing, the frame header is all that is read.
  bool myProbing = false, myProbed = false;
  unsigned mySliceCount = 0, mySliceWidth = 0, myLastSliceWidth = 0;
  eRawType myRawType = kRawSimple;
  eScanType myScanType = kScanPlain;
  unsigned myPrecision = 0;
  unsigned myMaxH = 0, myMaxV = 0;
  _typebuf<unsigned char> myRaw;

 private:
  // Walks raw positions in stream order through the slices.
  struct sCursor {
    long long row = 0, col = 0, slice = 0, start = 0, width = 0;
  };
  void seek(sCursor& at, long long index, long long height) const;
  void advance(sCursor& at, long long height) const;
  bool scanSraw();

  // Slice widths in the cursor's columns (pixel columns for the
  // reduced-size types).
  unsigned myUnitSlice = 0, myUnitLast = 0;

  _classbuf<_typebuf<unsigned char>> myLines;
};
