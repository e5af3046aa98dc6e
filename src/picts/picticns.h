// Icon families: typed elements of which the image elements are pages:
// fixed-size 1-, 4-, 8- and 24-bit bitmaps with their masks, and embedded
// PNG or JPEG 2000 streams. The largest image is the picture and the largest
// within a requested size the preview, so an icon is shown from the member
// that suits the size.
#pragma once

#include <array>

#include "picts/pictbase.h"

class cPictICNS : public cPictBase {
 public:
  int typeOf() override { return kPictICNS; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool supportsExtRendering() override { return true; }
  bool supportsMultipage() override { return true; }
  int getNumPages(cFileIOTarget* io) override;
  bool getPageSize(cFileIOTarget* io, int page, int& w, int& h) override;
  bool decodePage(cFileIOTarget* io, int page) override;
  bool decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH, int page,
                         bool allowDecode, unsigned int background) override;
  bool getPreview(cFileIOTarget* io, cPictBase& out, long long const* maxW, long long const* maxH) override;

  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  // The largest image element within the limits, the first of equal areas.
  bool findMaxPage(cFileIOTarget* io, long long& w, long long& h, unsigned int& offset, unsigned int& length,
                   long long maxW, long long maxH);
  // False when the element is no image.
  bool getCurrPageSize(cFileIOTarget* io, unsigned int type, unsigned int offset, unsigned int length,
                       long long& w, long long& h);
  bool goToPage(cFileIOTarget* io, int page, unsigned int& offset, unsigned int& length);
  bool decodeImage(cFileIOTarget* io, unsigned int offset, unsigned int length);
  // Rows top to bottom, bits most significant first; `mask` holds 8-bit
  // alpha or 1-bit opacity, or is null.
  bool processBitmap(const unsigned char* bits, long long w, long long h, int bitsPerPixel,
                     const unsigned char* mask, int maskBits);
  // Three passes of runs and literals, one per channel, into interleaved
  // red, green and blue bytes; a short source leaves the rest zero.
  static bool unpackRLE24(const unsigned char* src, long long srcLen, unsigned char* dst, long long dstLen);

  static const unsigned int icnsPalette4bpp[16];
  static const std::array<unsigned int, 256> icnsPalette8bpp;

 private:
  unsigned int myOffset = 0xFFFFFFFFu;
  unsigned int myLength = 0;
};
