// Camera raw files laid out as TIFF/EP: the main IFD names the standard and
// holds a preview, each SubIFD one raw image, usually a colour-filter
// mosaic. The mosaic is read into a plane of 16-bit samples, demosaiced and
// finished by the shared RAW chain. DNG and the formats built on it reuse
// the raw reading through the protected hooks.
#pragma once

#include "picts/balance.h"
#include "picts/picttiff.h"
#include "picts/raw_ljpeg.h"

class cPictTIFF_EP : public cPictTIFF {
 public:
  cPictTIFF_EP();

  int typeOf() override { return kPictTIFF_EP; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override { return decodePage(io, 0); }
  bool decodePage(cFileIOTarget* io, int page) override;
  int getNumPages(cFileIOTarget* io) override;
  bool getPageSize(cFileIOTarget* io, int page, int& w, int& h) override;
  // The main IFD's picture, scaled down into the bounds given.
  bool getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                  long long const* maxH) override;
  bool decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH, int page,
                         bool allowDecode, unsigned int background) override;
  bool supportsExtRendering() override { return false; }

  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  bool onTag(int tag, int type, const void* data, int length) override;
  // While the raw plane is read: a unit's bytes into 16-bit samples, which
  // the 16-bit colour hook places in the plane. Otherwise as any TIFF.
  bool decodeStripe(_typebuf<unsigned char>& in, int compression, sDecomress& out) override;

 protected:
  // Forgets the main IFD's findings too; cPictTIFF::reset keeps them.
  void reset() override;
  // Walks the main IFD, then the raw IFD of `page`; `preview` says whether
  // a preview picture is there to be had.
  virtual bool walkRaw(cFileIOTarget* io, int page, bool& preview);
  // The raw picture's size as the probe reports it.
  virtual void rawSize(int& w, int& h);
  // A raw IFD without a mosaic: a plain TIFF picture unless a format knows better.
  virtual bool decodePlain(cFileIOTarget* io) { return decodeIntFinal(io); }
  // Turns the raw plane into the picture; a test subclass captures the plane here.
  virtual bool onRawDecoded(cFileIOTarget* io);
  // The raw plane rides the strip and tile machinery through these hooks.
  // It is kept as one unpacked 16-bit sample per photosite rather than four
  // samples to a pixel: rows whose width is no multiple of 4 stay aligned,
  // and the reported width is the raw's own, not rounded down.
  bool processStripes(cFileIOTarget* io, int compression) override;
  bool processTiles(cFileIOTarget* io, int compression) override;
  bool onBeforeDecodeStripes(bool many) override;
  bool onBeforeDecodeTiles() override;
  bool onAfterDecodeStripes() override;
  bool onAfterDecodeTiles() override;
  bool decodeColors16bpp(unsigned int row, sDecomress& rec) override;
  // 8-bit raw samples are widened by this factor.
  virtual unsigned eightBitScale() const { return 1; }
  virtual bool takesPacked12() const { return true; }
  virtual bool isLosslessJpeg(int compression) const { return compression == 7; }
  // The decoder of one lossless unit of w x rows samples, set up; formats
  // with their own streams or settings make theirs.
  virtual cRAWLosslessJpeg* newLosslessDecoder(long long w, long long rows);

  // Walks the main IFD afresh; `full` says whether it holds a whole picture.
  bool walkMain(cFileIOTarget* io, bool& full, bool withPreview = false);
  bool walkSubIFD(cFileIOTarget* io, int index);
  bool isCFA() const { return mySamplesPerPixel == 1 && myCFA.count > 0; }
  // Whether a page of colour-filter samples, if the raw is one, names a
  // pattern some filter here demosaics. Any other mosaic is no picture:
  // its samples would pass for a grey one. TIFF/EP gives the pattern no
  // default, and dcraw takes none.
  bool mosaicTaken() const;
  // The filter of the pattern; null when no filter here takes it.
  cBayerFilter* newPatternFilter() const;
  // Reads the raw IFD's plane; a mosaic is then finished by onRawDecoded.
  bool readRawPlane(cFileIOTarget* io);
  // The finished 16-bit pixels become the picture; the raw plane goes.
  void takePicture(_typebuf<unsigned long long>& pixels, long long w, long long h);
  // `balance`, when given, is the red, green and blue factor of the
  // demosaiced picture (capped at 65535), applied before the levels.
  bool finishCFA(cFileIOTarget* io, const sMarginInfo& margins, unsigned black, const double* multipliers,
                 const double (*balance)[3] = nullptr);
  // Decodes SubIFD `subIFD` (-1: the main IFD) as a plain TIFF picture and
  // hands it to `target`, scaled down to the bounds given.
  bool plainPreview(cFileIOTarget* io, int subIFD, cPictBase& target, long long const* maxW,
                    long long const* maxH);
  // Moves `pict` into `target`, scaled down first by the bounds given (each
  // optional) when it exceeds them.
  static bool movePreview(cPictBase& pict, cPictBase& target, long long const* maxW, long long const* maxH);

  unsigned myEPStandard = 0;
  bool myEPSeen = false;
  bool myRawMode = false;
  _typebuf<unsigned char> myCFA;
  unsigned short myCFACols = 0, myCFARows = 0;
  // The raw plane: myRawWidth x myRawHeight 16-bit samples (a row of
  // three-sample pixels counts each sample).
  _typebuf<unsigned char> myRaw;
  long long myRawWidth = 0, myRawHeight = 0;

 private:
  bool unitsCanFill(int method, long long pixels) const;
  bool bytesCanFill(int method, long long samples, unsigned long long have) const;
  // The most bytes of the raw's rows one byte of `method`'s data makes.
  unsigned long long rawExpansion(int method) const;
  bool decodeLosslessUnit(const _typebuf<unsigned char>& in, long long w, long long rows,
                          unsigned short* out);
  // Where one strip or tile of the raw lies in the file and in the plane.
  struct sRawUnit {
    unsigned long long offset, count;  // count 0: the file gives none
    long long x, y, width, rows;
    long long held;  // rows its data hold: all a strip or tile declares, past the raw's last row too
  };
  // Bytes of a row of `width` samples.
  long long rawRowBytes(long long width) const;
  // Hands `visit` each strip or tile of the raw in file order; false when
  // the raw's units are not all named, or as soon as `visit` answers false.
  bool eachRawUnit(int method, const std::function<bool(const sRawUnit&)>& visit) const;
  // The bytes `unit` may be read from: its count, or its rows' size when
  // the file gives none, up to the file's end; -1 when it starts past it.
  long long rawUnitBytes(const sRawUnit& unit) const;
  bool decodeRawUnits(cFileIOTarget* io, int method);
  bool decodeRawUnit(cFileIOTarget* io, int compression, const sRawUnit& unit);
  _typebuf<unsigned char> myUnitOut;
  cFileIOTarget* myRawIO = nullptr;
  bool myReadingRaw = false;
  long long myRawUnitX = 0, myRawUnitY = 0, myRawUnitWidth = 0;
};
