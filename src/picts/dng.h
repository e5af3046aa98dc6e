// Digital Negative files: a TIFF whose main IFD carries DNGVersion, with the
// raw image in the main IFD or in a SubIFD. The mosaic is linearised, cut
// to its active area and the default crop, levelled by the black levels,
// white-balanced as shot and finished by the shared RAW chain.
#pragma once

#include "picts/tiff_ep.h"

class cPictDNG : public cPictTIFF_EP {
 public:
  int typeOf() override { return kPictDNG; }
  int getNumPages(cFileIOTarget* io) override;
  bool getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                  long long const* maxH) override;

  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  bool onTag(int tag, int type, const void* data, int length) override;

 protected:
  void reset() override;
  bool walkRaw(cFileIOTarget* io, int page, bool& preview) override;
  // The raw IFD walked and complete, its sizes not yet checked.
  virtual bool walkRawIFD(cFileIOTarget* io, int page, bool& preview);
  void rawSize(int& w, int& h) override;
  bool onRawDecoded(cFileIOTarget* io) override;
  // LinearRaw: three samples a pixel, white-balanced and finished when
  // AsShotNeutral gave three values; any other plain IFD decodes as a TIFF
  // picture.
  bool decodePlain(cFileIOTarget* io) override;
  // Levels a table linearises are looked up as they stand.
  unsigned eightBitScale() const override { return myLinearization.count ? 1 : 256; }
  bool takesPacked12() const override { return false; }
  // The area DefaultCropOrigin and DefaultCropSize leave of a w x h raw.
  sMarginInfo cropMargins(long long w, long long h) const;
  // The picture a mosaic decodes to: the raw, cut to ActiveArea and the
  // crop; false when the area passes the raw or nothing is left.
  bool pictureSize(long long& w, long long& h);
  // The three AsShotNeutral factors; false without exactly three.
  bool neutral(double (&factors)[3]) const;
  // Whether the main IFD holds the raw (its one SubIFD, if any, being a preview).
  bool mainIsRaw();
  // The decoded mosaic through LinearizationTable, cut to ActiveArea, and
  // levelled where BlackLevel differs over its repeat tile; false when the
  // area passes the raw.
  bool shapeRaw();
  bool blackLevels(const sTagProcessParam& t);
  bool blackDeltas(const sTagProcessParam& t, _typebuf<double>& deltas);
  // Takes off what the black of each place exceeds the lowest by, which is
  // left to the demosaicing.
  void levelBlacks(unsigned short* raw);

  // The version bytes as a big-endian number.
  unsigned myVersion = 0;
  unsigned myWhite = 0, myBlack = 0;
  // BlackLevel by position in its BlackLevelRepeatDim tile (rows x columns).
  unsigned myBlackRows = 1, myBlackCols = 1;
  // Kept with their fractions, which add up with the deltas before a sample is rounded.
  _typebuf<double> myBlackLevels;
  // BlackLevelDeltaH and BlackLevelDeltaV: added to the black of each
  // column and row of the active area.
  _typebuf<double> myBlackDeltaH, myBlackDeltaV;
  _typebuf<unsigned short> myLinearization;
  _typebuf<unsigned int> myActiveArea;  // top, left, bottom, right
  _typebuf<unsigned int> myCropSize;
  _typebuf<unsigned int> myCropOrigin;
  // Reciprocals of AsShotNeutral.
  _typebuf<double> myMultipliers;
};
