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
  void rawSize(int& w, int& h) override;
  bool onRawDecoded(cFileIOTarget* io) override;
  // LinearRaw: three samples a pixel, white-balanced and finished when
  // AsShotNeutral gave three values; any other plain IFD decodes as a TIFF
  // picture.
  bool decodePlain(cFileIOTarget* io) override;
  // Levels a table linearises are looked up as they stand.
  unsigned eightBitScale() const override { return myLinearization.count ? 1 : 256; }
  bool takesPacked12() const override { return false; }
  // The area DefaultCropOrigin and DefaultCropSize leave of the raw.
  sMarginInfo cropMargins() const;
  // The three AsShotNeutral factors; false without exactly three.
  bool neutral(double (&factors)[3]) const;
  // Whether the main IFD holds the raw (its one SubIFD, if any, being a preview).
  bool mainIsRaw();
  // The decoded mosaic through LinearizationTable, cut to ActiveArea, and
  // levelled where BlackLevel differs over its repeat tile; false when the
  // area passes the raw.
  bool shapeRaw();
  bool blackLevels(const sTagProcessParam& t);

  // The version bytes as a big-endian number.
  unsigned myVersion = 0;
  unsigned myWhite = 0, myBlack = 0;
  // BlackLevel by position in its BlackLevelRepeatDim tile (rows x columns).
  unsigned myBlackRows = 1, myBlackCols = 1;
  _typebuf<unsigned int> myBlackLevels;
  _typebuf<unsigned short> myLinearization;
  _typebuf<unsigned int> myActiveArea;  // top, left, bottom, right
  _typebuf<unsigned int> myCropSize;
  _typebuf<unsigned int> myCropOrigin;
  // Reciprocals of AsShotNeutral.
  _typebuf<double> myMultipliers;
};
