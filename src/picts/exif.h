// EXIF and TIFF descriptive tags as picture properties: camera, dates,
// exposure, resolution, orientation, GPS position, maker note and the JPEG
// thumbnail, through the EXIF, GPS, interoperability and thumbnail IFDs.
#pragma once

#include "base/btree.h"
#include "picts/tiffgeneric.h"

class cPictBase;
class cPictJPEG;

class cExifDecoder : public cTiffGeneric {
 public:
  // The tag through which an IFD was reached, which decides what its tags mean.
  enum eKind {
    kMainIFD = 0,
    kExifIFD = 34665,
    kGpsIFD = 34853,
    kInteropIFD = 40965,
    kThumbnailIFD = 0x10000
  };
  // The walker's code for a thumbnail that does not decode.
  static constexpr int kErrThumbnail = 8;

  cExifDecoder() = default;

  void setLoadPreview(bool load) { myLoadPreview = load; }
  // Walks from the TIFF header at the stream's start into `pict`'s properties.
  virtual bool decode(cPictBase* pict, cFileIOTarget* io, int kind);
  // Walks the one IFD at `offset`.
  virtual bool decodeDirect(cPictBase* pict, cFileIOTarget* io, int kind, unsigned int offset, bool bigEndian,
                            bool bigTiff, unsigned long long size);
  virtual void reset();

  // The header is reached through `decode` only.
  bool processStream(cFileIOTarget*, unsigned long long) override { return false; }
  using cTiffGeneric::processStream;
  bool onRawTag(int tag, int type, const void* data, int length, unsigned int offset) override;
  bool onTag(int tag, int type, const void* data, int length) override;

  // Decodes an embedded JPEG of `bytes` bytes from the start of `io`, unless
  // its frame asks for more pixels than so few bytes can describe.
  static bool decodeEmbeddedJpeg(cPictJPEG& jpeg, cFileIOTarget* io, unsigned long long bytes);

 protected:
  int ifdKind() const { return myKind; }
  bool loadPreview() const { return myLoadPreview; }
  // Whether the main IFD's first extra sample is an alpha that its colours
  // are stored multiplied by.
  bool associatedAlpha() const { return myAssociatedAlpha; }

 private:
  // Sub-IFDs nest no deeper: EXIF holds interoperability, nothing holds more.
  static constexpr int kMaxDepth = 4;

  void prepare(cPictBase* pict, int kind);
  bool walk(cFileIOTarget* io, unsigned int offset, bool bigEndian, bool bigTiff, unsigned long long size,
            bool fromHeader);
  bool onMainTag(const sTagProcessParam& t);
  bool onGpsTag(const sTagProcessParam& t);
  bool onThumbnailTag(const sTagProcessParam& t);
  bool walkSubIFD(const sTagProcessParam& t);
  bool storeThumbnail();

  bool mySouth = false;
  bool myWest = false;
  bool myBelowSea = false;
  bool myThumbJpeg = false;
  bool myAssociatedAlpha = false;
  unsigned int myThumbOffset = ~0U;
  unsigned int myThumbLength = ~0U;
  cPictBase* myTarget = nullptr;
  int myKind = kMainIFD;
  bool myLoadPreview = false;
  // Shared along one walk: IFDs already entered, and the nesting depth.
  cFasterTreeList<unsigned int, char>* myWalked = nullptr;
  int myDepth = 0;
};
