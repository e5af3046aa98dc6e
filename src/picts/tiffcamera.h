// The TIFF-based camera files (NEF, CR2): one picture, however many pages
// their TIFF structure has, previewed over white.
#pragma once

#include "picts/picttiff.h"

class cPictTIFFCamera : public cPictTIFF {
 public:
  bool supportsMultipage() override { return false; }
  // Their raw planes are finished whole, so they are drawn after decoding.
  bool supportsExtRendering() override { return false; }
  int getNumPages(cFileIOTarget*) override { return 1; }
  bool getPageSize(cFileIOTarget* io, int page, int& w, int& h) override {
    return cPictBase::getPageSize(io, page, w, h);
  }
  bool decodePage(cFileIOTarget* io, int page) override { return cPictBase::decodePage(io, page); }
  bool decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH, int page,
                         bool allowDecode, unsigned int) override {
    return cPictBase::decodePagePreview(io, out, maxW, maxH, page, allowDecode, 0xFFFFFF);
  }
};
