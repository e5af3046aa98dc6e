// GIF87a and GIF89a pictures. Every image block is a page of its own, decoded
// at its own size: no compositing onto the logical screen, no animation.
#pragma once

#include "picts/pictbase.h"

class cPictGIF : public cPictBase {
 public:
  int typeOf() override { return kPictGIF; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override { return decodePage(io, 0); }
  bool supportsExtRendering() override { return true; }
  bool supportsMultipage() override { return true; }
  // -1 when the blocks break off before the trailer.
  int getNumPages(cFileIOTarget* io) override;
  bool getPageSize(cFileIOTarget* io, int page, int& w, int& h) override;
  bool decodePage(cFileIOTarget* io, int page) override;
  bool decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH, int page,
                         bool allowDecode, unsigned int background) override;

  static bool validFor(cFileIOTarget* io, sPictInfo* info);

 private:
  struct sFrame {
    long long width = 0;
    long long height = 0;
    unsigned char flags = 0;
  };

  bool readScreen(cFileIOTarget* io);
  bool loadPalette(cFileIOTarget* io, int sizeBits);
  // Positions the stream at page `page`'s descriptor; otherwise false with
  // `count` the number of pages (-1 when the blocks break off).
  bool findPage(cFileIOTarget* io, int page, bool withControl, int& count);
  bool readFrame(cFileIOTarget* io, sFrame& frame);
  bool decodeFrame(cFileIOTarget* io, const sFrame& frame);

  unsigned char myScreen[13] = {};
  unsigned char myControl[5] = {};  // flags, delay (2), transparent index, terminator
  _typebuf<unsigned int> myPalette;
  bool myRendering = false;
};
