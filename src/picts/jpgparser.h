// The JPEG stream parser: reads the markers, keeps the frame, table and scan
// state, runs every scan through the entropy decoder and reports what it
// meets through virtual callbacks. The JPEG picture turns those callbacks
// into pixels; the TIFF, EXIF, DICOM and RAW readers derive from it (or use
// its Huffman decoder) for the JPEG data they carry.
#pragma once

#include "base/btree.h"
#include "picts/jpghuffman.h"

class cJPEGParser : public sJPGState {
 public:
  // General error codes given to onGeneralError.
  enum eGeneralError {
    kErrRefused = 1,      // a callback refused an MCU or a scan line
    kErrUncleanEnd = 2,   // bits left after the last MCU
    kErrNoCoefs = 3,      // end of a multi-scan image with nothing stored
    kErrGeometry = 5,     // MCU grids disagree, unsupported block or sampling
    kErrUnsupported = 6,  // a coding or lossless mode not decoded
    kErrSetup = 7,        // the Huffman decoder could not be set up
    kErrDecode = 8,       // entropy-decoding error
    kErrProgression = 9,  // a scan refines bits not yet reached, or scans beyond the limit
  };
  // More scans than any encoder writes: each may walk every block of the
  // picture, whatever few bytes it holds.
  static constexpr unsigned int kMaxScans = 500;

  cJPEGParser();
  cJPEGParser(const cJPEGParser&) = delete;
  cJPEGParser& operator=(const cJPEGParser&) = delete;

  virtual bool colorConvert(_typebuf<unsigned char>** rows, unsigned char* out, int count, bool wordSamples);
  virtual bool colorConvert16(_typebuf<unsigned char>** rows, unsigned short* out, int count);
  virtual bool processHuffmanLosslessScan();
  virtual ~cJPEGParser();
  virtual bool onExif(const void*, unsigned&) { return true; }
  virtual bool onComment(const char*, long long) { return true; }
  virtual bool onImageDescribed() { return true; }
  // A scan header was read and its entropy-coded data comes next.
  virtual bool onScanData() { return true; }
  virtual bool onMarker(unsigned short, const void*, unsigned&) { return true; }
  virtual bool onMCUUpdated(int, int, sHuffDecodedUnit**, int) { return true; }
  virtual bool onMCUDone(int, int, sHuffDecodedUnit**, int) { return true; }
  virtual bool onScanLine(_typebuf<unsigned char>**, int, int) { return true; }
  virtual void onMCUError(int, int, int, unsigned long long) {}
  virtual void onSplError(int, int, unsigned long long) {}
  virtual void onGeneralError(unsigned long long, int) {}
  virtual bool onImageDone() { return true; }

  bool processStream(cFileIOTarget* io);
  void initState();
  void setForceColorSpace(int space) { forceColorSpace = space < 0 ? 0 : static_cast<unsigned int>(space); }
  void setYCCKMode(bool on) { ycckMode = on ? 1 : 0; }
  void setPlainInks(bool on) { plainInks = on; }
  void setFourthAlpha(bool on) { fourthAlpha = on; }
  // Scan component selectors that match no frame component are taken as
  // indices into the frame's components.
  void setRelativeSelectors(bool on) { myRelativeSelectors = on; }
  // Finds the restart marker the entropy decoder expects next.
  static bool getRestart(sJPGState* state);
  // The entropy-coded bytes from the position, which must be a scan's
  // data, to the end of the image: what lies inside scans, a stuffed 0xFF
  // counted once. The stream is read ahead and put back; a target that
  // cannot be set where it stands is not read, and `coded` keeps its value.
  // False on a read error or when the stream cannot be put back.
  bool codedBytesAhead(unsigned long long& coded);

  // MCU geometry of the current frame.
  int mcuWidth() const { return static_cast<int>(maxH * blockW); }
  int mcuHeight() const { return static_cast<int>(maxV * blockH); }
  int mcusAcross() const { return static_cast<int>((imageWidth + mcuWidth() - 1) / mcuWidth()); }
  int mcusDown() const { return static_cast<int>((imageHeight + mcuHeight() - 1) / mcuHeight()); }

 protected:
  // One MCU's blocks to pixels through colorConvert, clipped to width x height.
  bool decodeSample(sHuffDecodedUnit** units, int count, unsigned char** rows, int& width, int& height);
  void idct_int(sJCompInfo* comp, short* coefficients, _typebuf<unsigned char>* outRows, int column,
                const unsigned short* rangeLimit, int precision);
  bool processHuffmalScan(int mcusAcross, int mcusDown);
  bool processHuffmalProgressive(int mcusAcross, int mcusDown);
  bool advanceProgression();
  // The predictor and point transform of a lossless row decoded with the
  // first predictor.
  void finishLosslessRow(bool opensInterval);
  bool flushScanData();

  // Owned by the picture: per-channel curves for the YCCK conversions.
  cFasterTreeList<int, unsigned char*>* myCurves8Ref = nullptr;
  cFasterTreeList<int, unsigned short*>* myCurves16Ref = nullptr;

 private:
  bool dispatch(unsigned short word);
  bool readLength(unsigned int& length);
  bool readPayload(unsigned int length, unsigned& count);
  bool announceSegment(unsigned int& length);
  bool readSegment(unsigned int& length, unsigned& count);
  bool genericSegment();
  bool process0xe0ff();
  bool process0xe1ff();
  bool process0xeeff();
  bool process0xfeff();
  bool processImageDs(unsigned int frameCoding, unsigned int frameProcess);
  bool processHTab();
  bool processQTab();
  bool processRst();
  bool processScan();
  void chooseColorSpace();
  bool processDecode();
  bool buildRangeLimit();
  bool createStore(int mcusAcross, int mcusDown);
  bool decodeBlockRows(sHuffDecodedUnit** units, int count);
  unsigned int effectiveColorSpace() const;

  unsigned short myMarker = 0;
  _typebuf<unsigned char> mySegment;
  _classbuf<_typebuf<unsigned char>> myLosslessRows;
  // The row before, as predicted, for predictors that look up.
  _classbuf<_typebuf<unsigned short>> myLosslessAbove;
  _typebuf<sHuffDecodedUnit*> myUnitPtrs;
  _typebuf<sHuffDecodedUnit> myRowUnits;
  int myStoreAcross = 0;
  int myStoreDown = 0;
  unsigned int myScansSeen = 0;
  // Per frame component and coefficient, the lowest bit a progressive scan
  // has given it; -1 before its first scan.
  signed char myCoefBits[4][64] = {};
  bool myRelativeSelectors = false;
};
