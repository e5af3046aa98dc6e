// Leaf MOS files: a TIFF (alone, or stored first in a ZIP archive) whose tag
// 34310 holds a chain of named PKTS records: the capture profile, the
// mosaic pattern and raw rotation, the row order and a JPEG preview.
#pragma once

#include "base/memio.h"
#include "picts/pictjpeg.h"
#include "picts/tiff_ep.h"

class cPictMOS : public cPictTIFF_EP {
 public:
  int typeOf() override { return kPictMOS; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool decodePage(cFileIOTarget* io, int page) override { return page == 0 && decode(io); }
  bool supportsMultipage() override { return false; }
  int getNumPages(cFileIOTarget*) override { return 1; }
  bool getPageSize(cFileIOTarget* io, int page, int& w, int& h) override {
    return cPictBase::getPageSize(io, page, w, h);
  }
  bool getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                  long long const* maxH) override;

  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  bool onTag(int tag, int type, const void* data, int length) override;

 protected:
  void reset() override;
  // The raw sits in the main IFD of the TIFF inside the window.
  bool walkRaw(cFileIOTarget* io, int page, bool& preview) override;
  bool onRawDecoded(cFileIOTarget* io) override;
  bool onBeforeDecodeStripes(bool many) override;
  bool isLosslessJpeg(int compression) const override { return compression == 7 || compression == 99; }
  cRAWLosslessJpeg* newLosslessDecoder(long long w, long long rows) override;
  bool processLeafData(const unsigned char* data, long long length, int depth);
  // The TIFF's window in `io`: after a stored ZIP member's header, or all of it.
  bool openWindow(cFileIOTarget* io);

  cPictJPEG myPreview;
  int myMosaicCode = -1;  // -1: no mosaic pattern record
  unsigned myBackType = 0;
  unsigned myRowsFlag = 0;
  int myRotation = 0;
  bool myPreviewExists = false;
  bool myCaptureProfile = false;
  cFileIOSubRange myWindow;
};
