// Icon and cursor files: a directory of images, each a PNG stream or an
// icon-mode bitmap with its AND mask. Every image is a page; the largest
// gives the picture's size and the best fitting one serves as the preview,
// so small icons are shown from their own image rather than scaled down.
#pragma once

#include "picts/pictbase.h"

class cPictICO : public cPictBase {
 public:
  int typeOf() override { return kPictICO; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override { return validFor(io, info); }
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
  // Decodes the current page.
  bool decodeInt(cFileIOTarget* io);

 private:
  int myPage = 0;
};
