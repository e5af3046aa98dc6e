// TIFF and BigTIFF pictures: strips or tiles, chunky or planar, through the
// uncompressed, LZW, Deflate, PackBits and JPEG compressions with the
// horizontal predictor, in grey, palette, RGB, CMYK and CIELab, paged through the IFD
// chain.
#pragma once

#include <algorithm>
#include <utility>

#include "picts/exif.h"
#include "picts/pictbase.h"
#include "picts/unitwindow.h"

// Buffers change hands without a copy.
template <typename T>
void swapBuffers(_typebuf<T>& a, _typebuf<T>& b) {
  std::swap(a.ptr, b.ptr);
  std::swap(a.count, b.count);
}

class cPictTIFF : public cPictBase, public cExifDecoder {
 public:
  // One strip or tile on its way from the compression to the colour stage.
  struct sDecomress {
    _typebuf<unsigned char> data;
    unsigned int rowBytes = 0;
    unsigned int bitsPerSample = 0;
    unsigned int samplesPerPixel = 0;
    unsigned int rows = 0;
    unsigned int planarConfig = 0;
    unsigned int photometric = 0;
    unsigned short sampleFormat = 0;
    unsigned char bigEndian = 0;
  };

  cPictTIFF();

  int typeOf() override { return kPictTIFF; }
  // Walks the first IFD only; never reads a strip.
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  using cExifDecoder::decode;
  bool decodePage(cFileIOTarget* io, int page) override;
  bool supportsMultipage() override { return true; }
  bool supportsExtRendering() override { return true; }
  int getNumPages(cFileIOTarget* io) override;
  // The page's own thumbnail when it has one, else (when allowed) the page
  // decoded and scaled into `out`.
  bool decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH, int page,
                         bool allowDecode, unsigned int background) override;
  // The thumbnail of a Photoshop resource block, when the first IFD has one.
  bool getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                  long long const* maxH) override;
  bool getPageSize(cFileIOTarget* io, int page, int& w, int& h) override;

  static bool validFor(cFileIOTarget* io, sPictInfo* info);
  // Whether the first page or one of its SubIFDs is a sensor's
  // colour-filter samples, which this reader leaves to the camera readers.
  static bool holdsSensorMosaic(cFileIOTarget* io);

  int numSubIFDs() const { return static_cast<int>(mySubIFDs.count); }
  unsigned int subIFD(int i) const { return i >= 0 && i < mySubIFDs.count ? mySubIFDs.ptr[i] : 0; }
  bool isTiled() const { return !myStripOffsets.count && myTileOffsets.count; }

  bool onTag(int tag, int type, const void* data, int length) override;

  // Compressions 1, 3, 4, 5, 6, 7, 8, 32946 and 32773; `out.data` gets at most
  // `out.rowBytes` x `out.rows` bytes, however much the input asks for.
  virtual bool decodeStripe(_typebuf<unsigned char>& in, int compression, sDecomress& out);
  // Decodes at most `limit` bytes of a unit holding `held` (`limit` or more):
  // a run past `held` is damage, one past `limit` only is cut there.
  static bool makePackBitsDecompressing(cPullInput& in, _typebuf<unsigned char>& out, long long limit,
                                        long long held);
  // Predictor 2 over complete rows; depths of 64 bits or fewer.
  static void makeHorzUndifferencing(unsigned char* data, long long size, int width, int samplesPerPixel,
                                     int bits, bool bigEndian);
  // A floating-point sample's bits (16, 24, 32 or 64) as a float, by value.
  static bool getFloatVal(unsigned long long bits, int width, float& value);
  // One pixel from samples already scaled to 8 or 16 bits; false for a
  // sample count and photometric that make no colour.
  static bool getColor32(const unsigned int* samples, int samplesPerPixel, int photometric,
                         unsigned int& pixel);
  static bool getColor64(const unsigned long long* samples, int samplesPerPixel, int photometric,
                         unsigned long long& pixel);

 protected:
  void reset() override;
  virtual bool isFullConfig();
  bool walkToPage(cFileIOTarget* io, int page, bool withPreview = false);
  // CCITT Group 3 and Group 4 strips into 1-bit rows, a set bit where the
  // fax is black whatever the photometric: writers code a row's bits as they
  // stand, so the colour stage reads them by the photometric as it reads
  // uncompressed rows, and a BlackIsZero page shows as its writer meant.
  virtual bool decompressFax3(cPullInput& in, sDecomress& out);
  virtual bool decompressFax4(cPullInput& in, sDecomress& out);
  // The colour stage: the decoded rows of one strip or tile (its first row
  // `row`) become pixels, or samples of one plane merged into them. RAW
  // subclasses take their samples here instead.
  virtual bool decodeColorsPalette(unsigned int row, sDecomress& rec);
  virtual bool decodeColorsMargePlane8bpp(unsigned int row, unsigned int plane, sDecomress& rec);
  virtual bool decodeColorsMargePlane16bpp(unsigned int row, unsigned int plane, sDecomress& rec);
  virtual bool decodeColors8bpp(unsigned int row, sDecomress& rec);
  virtual bool decodeColors16bpp(unsigned int row, sDecomress& rec);
  // Turns planes merged as raw samples into pixels.
  virtual void finalizeColorTransform();
  // Where RAW subclasses prepare their planes and finish them; false fails the decode.
  virtual bool onBeforeDecodeStripes(bool) { return true; }
  virtual bool onBeforeDecodeTiles() { return true; }
  virtual bool onAfterDecodeStripes() { return true; }
  virtual bool onAfterDecodeTiles() { return true; }
  // Every strip or tile in order through decodeStripe and the colour stage,
  // between the hooks above.
  virtual bool processStripes(cFileIOTarget* io, int compression);
  virtual bool processTiles(cFileIOTarget* io, int compression);
  // Walks the chain's next IFD unless the chain ends or comes back.
  bool walkNext(cFileIOTarget* io, cFasterTreeList<unsigned int, char>& walked);
  // Decodes the walked IFD into the picture, or into the render target when
  // one is set; either way the target is released.
  bool decodeIntFinal(cFileIOTarget* io);

  unsigned short myPhotometric = 0;
  unsigned int myRowsPerStrip = 0;
  _typebuf<unsigned int> myStripOffsets;
  _typebuf<unsigned int> myStripByteCounts;
  unsigned int myTileWidth = 0;
  unsigned int myTileLength = 0;
  _typebuf<unsigned int> myTileOffsets;
  _typebuf<unsigned int> myTileByteCounts;
  _typebuf<unsigned int> mySubIFDs;
  _typebuf<unsigned short> myBitsPerChannel;
  unsigned short myBitsPerSample = 0;
  unsigned int mySamplesPerPixel = 0;
  unsigned short myPlanarConfig = 0;
  _typebuf<unsigned short> myColorMap;
  unsigned int myT4Options = 0;
  unsigned int mySubfileType = 0;
  unsigned short myPredictor = 0;
  unsigned short myFillOrder = 1;
  unsigned short mySampleFormat = 0;
  _typebuf<unsigned char> myJpegTables;
  bool myBottomUp = true;

  // Rows the data of the unit being decoded hold, when more than it
  // places: a tile's below the picture's last row, a strip's past it.
  long long myUnitHeld = 0;

  // What decoding a picture's strips or tiles costs against the bytes the
  // picture shows and those the file's data can make, so that forged unit
  // sides or units sharing their data cannot make a small file cost
  // gigabytes: the rows each unit places, a tile's full width included.
  // Units that each hold their own data never make more than their data
  // can, whatever their width.
  struct sUnitWork {
    // `fileBytes` of data making at most `expansion` bytes each.
    sUnitWork(unsigned long long fileBytes, unsigned long long expansion);
    unsigned long long fileBytes, fileMakes, shown = 0, placed = 0;
    void add(unsigned long long rowBytes, unsigned long long shownBytes, unsigned long long rows);
    // A unit's `count` bytes at `offset` (a count of 0: as many as it
    // may take) reach this far.
    void reach(unsigned long long offset, unsigned long long count) {
      unitsEnd = std::max(unitsEnd, count && count <= ~0ULL - offset ? offset + count : ~0ULL);
    }
    // Where the furthest unit's bytes end, as their counts say.
    unsigned long long unitsEnd = 0;
    // Units that place more than both a few times what the picture shows
    // and what the file's data can make share data: such a picture is
    // refused unless that excess is within a few times what it shows.
    bool placedAffordable() const { return placed <= bound(); }
    unsigned long long bound() const;
    // A few times what the picture shows, and a floor for small pictures.
    unsigned long long slack() const;
    // The bytes all units together may read: the file's, and the slack
    // again for units that share theirs.
    unsigned long long readable() const;
  };

  // Starts the units' budgets: what they read, and what their streams make
  // past their rows on the way to their ends.
  void startUnits(const sUnitWork& work);
  // Opens the window on a unit's `count` bytes at `offset`, whose rows
  // take `rowsBytes` stored as they are. A `pulled` unit's decoder pulls
  // what it uses, about so many bytes read at first; any other unit is
  // read whole. Every byte read is charged to what the units may read.
  bool openUnit(cFileIOTarget* io, unsigned long long offset, long long count, long long rowsBytes,
                bool pulled);
  // Whether decodeStripe's own decoders take `compression`'s units from
  // the window as they need them.
  static bool pullsInput(int compression);
  cUnitWindow myWindow;
  // Bytes the picture's Deflate streams may still make past their units'
  // rows: a stream ending within them is checked to its end, wherever
  // RowsPerStrip says its rows end; past them the rest of a stream is
  // padding, left unread.
  unsigned long long myRunOnLeft = 0;

  // A page of a sensor's colour-filter samples is a camera raw: only a
  // camera reader, which knows its pattern and levels, makes a picture of
  // it. Shown plainly it would pass for a grey picture.
  bool isSensorMosaic() const { return myPhotometric == 32803; }

 private:
  // Where one strip or tile lands in the picture.
  struct sUnit {
    unsigned long long offset;
    unsigned long long byteCount;  // 0 when the file gives none
    long long x, y, width, rows;
    int plane;
    long long held;  // rows its data hold: all a tile or strip declares, past the picture's last row too
  };

  bool takePhotoshopThumbnail(const void* data, int length);
  bool checkLayout(int compression);
  bool decodeInto(cFileIOTarget* io, sExtPictDef* target);
  bool dataCanFill(long long w, long long h, int compression) const;
  bool unitsComplete(long long w, long long h, int compression) const;
  // Whether the units' rows are affordable to decode; starts their budgets.
  bool unitWorkBounded(long long w, long long h, int compression);
  long long stripRows(long long h, long long perPlane) const;
  // Hands `visit` each strip or tile of a w x h picture in file order;
  // false as soon as `visit` answers false. A template, not a function
  // object: a picture of many tiny units walks them a few times, and a
  // call through a pointer per unit was a tenth of what such a unit costs.
  template <typename Visit>
  bool eachUnit(long long w, long long h, Visit visit) const;
  long long unitRowBytes(const sUnit& unit) const;
  // The bytes `unit` may be read from: its count, or its rows' size when
  // the file gives none, up to the file's end; -1 when it starts past it.
  long long unitBytes(const sUnit& unit) const;
  // Every unit, in order, through decodeUnit; those the target does not show are skipped.
  bool decodeUnits(cFileIOTarget* io, int compression);
  bool decodeUnit(cFileIOTarget* io, int compression, const sUnit& unit);
  // The unit being decoded, its first row at `row`, and how many of its
  // columns lie in the picture.
  sUnit unitAt(unsigned int row) const;
  long long unitColumns() const { return std::min(myUnit.width, myWidth - myUnit.x); }
  // Undoes the horizontal predictor unless a placer did it on the way.
  void undoPredictor(sDecomress& rec, int samples);
  // One plane's samples, through `value`, into their field (`fieldBits`
  // wide) of the words `rowOf` gives.
  template <typename RowOf, typename Value>
  bool mergePlane(unsigned int row, unsigned int plane, sDecomress& rec, int fieldBits, RowOf rowOf,
                  Value value);
  // A row of `count` unpacked samples; null when out of memory.
  unsigned long long* sampleRow(long long count);
  // Where row r of a unit goes: the picture's row, or the row on its way to
  // the render target, which rowDone hands on.
  unsigned int* rowOf8(const sUnit& unit, long long r);
  unsigned long long* rowOf16(const sUnit& unit, long long r);
  void rowDone(const sUnit& unit, long long r, long long cols);
  bool unitVisible(const sUnit& unit) const;
  // The picture's adjustment tables, looked up once per decode.
  void takeCurves();
  bool decodeLZW(cPullInput& in, sDecomress& out, long long need);
  // `need` bytes of a stream of at most `limit` bytes, which is then
  // checked to its end while `myRunOnLeft` allows.
  bool decodeDeflate(cPullInput& in, long long limit, sDecomress& out, long long need);
  bool decodeJPEG(cPullInput& in, long long limit, sDecomress& out);
  bool decodePackBits(cPullInput& in, long long limit, sDecomress& out, long long need);
  bool decompressFax(cPullInput& in, sDecomress& out, bool group4);

  sDecomress myUnitData;
  sUnit myUnit{};
  // The unit's rows still hold the horizontal predictor's differences.
  bool myPredicted = false;
  const unsigned char* myCurve8[4] = {};
  const unsigned short* myCurve16[4] = {};
  bool myCurved = false;
  _typebuf<unsigned long long> mySampleRow;
  unsigned long long mySize = 0;
  bool myPlanar = false;
  unsigned long long myReadLeft = 0;
  bool myRendering = false;
  _typebuf<unsigned int> myRenderRow8;
  _typebuf<unsigned long long> myRenderRow16;
};
