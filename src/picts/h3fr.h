// Hasselblad 3FR files: laid out like a DNG without DNGVersion, their raw
// strips a lossless-JPEG-like stream of two interleaved difference
// predictors.
#pragma once

#include "picts/dng.h"

// One strip's stream into width x height samples (h3fr_stream.cpp tells
// its two forms apart).
class cPict3FR_LJPEG : public cRAWLosslessJpeg {
 public:
  bool decode(cFileIOTarget* io) override;
  // Whether the stream ran to its last row: what follows it is no JPEG.
  bool scanDone() const { return myScanDone; }
  bool decodedWhole(bool) const override { return myScanDone; }
  // The rows are the raw's own, whatever the frame header says.
  unsigned long long frameSamples() const override {
    return static_cast<unsigned long long>(myRawWidth) * myRawHeight;
  }

 private:
  bool myScanDone = false;
};

class cPict3FR : public cPictDNG {
 public:
  // Marks a 3FR where a DNG keeps its version: at least 1.0, so every DNG
  // check passes.
  static constexpr unsigned kMark = 0xFF000000;

  int typeOf() override { return kPict3FR; }
  static bool validFor(cFileIOTarget* io, sPictInfo* info);
  bool onTag(int tag, int type, const void* data, int length) override;

 protected:
  bool walkRawIFD(cFileIOTarget* io, int page, bool& preview) override;
  cRAWLosslessJpeg* newLosslessDecoder(long long w, long long rows) override;
};
