// Device-independent bitmaps: the info header, palette and pixels that BMP
// files carry after their file header and icons carry bare. Plain rows of 1
// to 32 bits with bit fields, RLE8 and RLE4, and PNG or JPEG inside. Both
// classes also write pictures as 32-bit bit-field bitmaps.
#pragma once

#include "picts/pictbase.h"

class cPictDIB : public cPictBase {
 public:
  int typeOf() override { return kPictDIB; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool supportsExtRendering() override { return true; }

  static bool validFor(cFileIOTarget* io, sPictInfo* info);
  // `halveHeight`: the bitmap of an icon, at the start of `io`, whose stored
  // height counts its AND mask too; one carrying a PNG or JPEG file has
  // that file's size where the file probes, else the header's.
  static bool validFor(cFileIOTarget* io, sPictInfo* info, bool halveHeight);

  // Icon mode: halved height, AND mask applied as alpha, no run lengths.
  void setUseAlphaBp(bool on) { myUseAlphaBp = on; }
  // Reads a palette right after the header even when no room is left for one.
  void setForcedPalletteLoad(bool on) { myForcedPalletteLoad = on; }

  static int minDIBSize() { return 40; }
  static int savingDIBSize() { return 56; }
  // Writes `pict` as a 32-bit bit-field bitmap, rows bottom-up.
  static bool save(cPictBase* pict, cFileIOTarget* io);

 protected:
  // Where the pixels lie, counted from the start of the info header.
  struct sLayout {
    unsigned long long dataLimit = 0;
    unsigned long long dataOffset = 0;
  };

  // Decodes the info header and what follows; `start` is where it lies in
  // the stream, `layout` null for a bare bitmap.
  bool decodeFrom(cFileIOTarget* io, unsigned long long start, const sLayout* layout);

 private:
  // The fields used, taken from the header copy.
  struct sInfo {
    unsigned int size;
    long long width;
    long long height;  // negative: rows stored top-down
    unsigned int planes;
    unsigned int bits;
    unsigned int compression;
    unsigned int imageSize;
    unsigned int colorsUsed;
  };
  // One line of palette indices on its way into the picture.
  struct sLineContext {
    _typebuf<unsigned char> indices;
    long long line = 0;  // lines emitted so far
    long long rows = 0;
    bool dry = false;  // only the codes are checked; no pixel is written
  };

  static bool readHeader(cFileIOTarget* io, unsigned char* header, sInfo& info);
  // The size of the PNG or JPEG file a bitmap carries, where it probes.
  static void innerSize(cFileIOTarget* io, const sInfo& h, long long& width, long long& height);
  static unsigned long long innerLength(const sInfo& h);
  bool readPalette(cFileIOTarget* io);
  bool loadLegacyPalette(cFileIOTarget* io, long long count);
  bool readGap(cFileIOTarget* io);
  bool decodeRGB(cFileIOTarget* io, bool bitFields);
  bool decodeRLE8(cFileIOTarget* io) { return decodeRLE(io, false); }
  bool decodeRLE4(cFileIOTarget* io) { return decodeRLE(io, true); }
  bool decodeRLE(cFileIOTarget* io, bool four);
  bool walkRLE(cFileIOTarget* io, bool four, bool dry);
  void rleFill(sLineContext& ctx);
  bool loadMergeAlpha(cFileIOTarget* io);
  // Whether any 32-bit pixel ahead holds a non-zero fourth byte, read a row
  // at a time through `line`; the stream is left where it was.
  bool fourthByteUsed(cFileIOTarget* io, _typebuf<unsigned char>& line, bool& used);
  bool decodeEmbedded(cFileIOTarget* io, bool png);
  bool skip(cFileIOTarget* io, unsigned long long count);
  bool readf(cFileIOTarget* io, void* buf, unsigned long long count);

  unsigned char myHeader[124] = {};
  sInfo myInfo{};
  long long myRows = 0;  // rows of pixels, without an icon's mask
  sLayout myLayout;
  _typebuf<unsigned int> myPalette;
  unsigned long long myStart = 0;  // of the info header in the stream
  unsigned long long myRead = 0;   // bytes read since
  bool myUseAlphaBp = false;
  bool myForcedPalletteLoad = false;
  bool myRendering = false;
};

class cPictBMP : public cPictDIB {
 public:
  int typeOf() override { return kPictBMP; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;

  static bool validFor(cFileIOTarget* io, sPictInfo* info);
  // The file header, then the bitmap as cPictDIB::save writes it.
  static bool save(cPictBase* pict, cFileIOTarget* io);

 private:
  static bool readFileHeader(cFileIOTarget* io, sLayout& layout);
};
