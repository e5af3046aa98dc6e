// What the two medical-image readers share: the image records found by the
// element walk, the pages they make, the sequence items walked below an
// element, and the decoding of native and encapsulated pixel data.
#pragma once

#include "base/btree.h"
#include "picts/pictbase.h"

class cPictDICOMPages : public cPictBase {
 public:
  // One image: where its pixel data lies and how the samples are laid out.
  struct sDicomInfo {
    unsigned pixelOffset;
    unsigned pixelLength;
    unsigned samplesPerPixel;
    unsigned planarConfiguration;
    unsigned bitsAllocated;
    unsigned bitsStored;
    unsigned pixelRepresentation;
    unsigned columns;
    unsigned rows;
    // Pixel data of undefined length: fragments, never native frames.
    bool encapsulated;
    // The photometric interpretations that change what is shown.
    unsigned photometric;
  };
  enum ePhotometric { kPhotometricOther = 0, kPhotometricMonochrome1 = 1, kPhotometricRGB = 2 };

  // Sequences nested deeper than this refuse the file: the walk recurses
  // once per level and a small file can ask for any depth.
  static constexpr int kMaxNesting = 32;
  // A split never makes more pages than this, so a file of tiny frames
  // cannot make millions of records.
  static constexpr unsigned long long kMaxPages = 65536;
  // Records ever made for one file, frames of a split included: bounds the
  // memory a file of many small items can ask for.
  static constexpr unsigned long long kMaxRecords = 2 * kMaxPages;

  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override { return decodePage(io, 0); }
  bool supportsExtRendering() override { return true; }
  bool supportsMultipage() override { return true; }
  int getNumPages(cFileIOTarget* io) override;
  bool getPageSize(cFileIOTarget* io, int page, int& w, int& h) override;
  bool decodePage(cFileIOTarget* io, int page) override;
  bool decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH, int page,
                         bool allowDecode, unsigned int background) override;

 protected:
  void reset();
  // The record field of an image attribute (group 0028), or null.
  static unsigned sDicomInfo::*imageAttribute(unsigned group, unsigned element);
  static bool isPixelData(unsigned group, unsigned element) { return group == 0x7FE0 && element == 0x0010; }
  bool recordPixelData(int dataSet, unsigned offset, unsigned length);
  static bool isPhotometric(unsigned group, unsigned element) { return group == 0x0028 && element == 0x0004; }
  // Reads the photometric interpretation's code string; false when it
  // cannot be read.
  bool recordPhotometric(int dataSet, unsigned offset, unsigned length);
  // For groups from 0x8000: 1 ends the level (item and sequence
  // delimiters), 0 is an ordinary element, -1 refuses the file.
  static int highGroup(unsigned group);
  sDicomInfo* img(int dataSet);
  // Parses `io` unless it is the stream already parsed.
  bool parsed(cFileIOTarget* io);
  virtual bool processDICOM(cFileIOTarget* io) = 0;
  virtual bool processDICOM_cat(cFileIOTarget* io, unsigned long long& position, unsigned long long end,
                                int& itemCounter, int depth) = 0;
  // Walks the items of a sequence whose value runs from `position` to `end`.
  bool walkItems(cFileIOTarget* io, unsigned long long& position, unsigned long long end, int& itemCounter,
                 int depth);
  // The bytes of one frame, with the pad byte that makes an odd size even.
  static bool isNativeLength(unsigned long long frameSize, unsigned long long length);
  static unsigned long long frameSizeOf(const sDicomInfo& info);
  // Where the first fragment of encapsulated data lies, past the offset
  // table whatever its length.
  static bool firstFragment(cFileIOTarget* io, const sDicomInfo& info, unsigned long long& start,
                            unsigned long long& length);
  bool decodeImage(cFileIOTarget* io, sDicomInfo* info);
  // Whether JPEG fragments are read beside JPEG 2000 codestreams.
  virtual bool readsJPEG() const = 0;

  cFasterTreeList<int, sDicomInfo> myImages;
  cFileIOTarget* myIo = nullptr;
  unsigned long long myRecords = 0;

 private:
  sDicomInfo* page(int n);
  bool decodeNative(cFileIOTarget* io, const sDicomInfo& info);
  bool decodeEncapsulated(cFileIOTarget* io, const sDicomInfo& info);
  bool decodeJ2K(cFileIOTarget* window, const sDicomInfo& info);
  bool decodeJPEG(cFileIOTarget* window, const sDicomInfo& info);
};
