// Sigma camera files: three colours at every pixel, so no demosaicing; the
// file ends with a pointer to a section directory whose image sections hold
// the sensor data or JPEG previews of several sizes.
#pragma once

#include "base/btree.h"
#include "picts/raw_common.h"

class cPictX3F : public cCameraRawPict {
 public:
  struct sPreview {
    unsigned int offset = 0, length = 0, width = 0, height = 0;
  };

  int typeOf() override { return kPictX3F; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                  const long long* maxHeight) override;
  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  bool loadX3F(cFileIOTarget* io);
  virtual void reset();

 private:
  bool readSD(cFileIOTarget* io, unsigned long long* pixels);
  bool readDP(cFileIOTarget* io, unsigned long long* pixels);

  unsigned int myRawWidth = 0, myRawHeight = 0;
  unsigned int myRawOffset = 0, myRawLength = 0;
  // Keyed by pixel count; the first section listed of a count wins.
  cFasterTreeList<unsigned long long, sPreview> myPreviews;
};
