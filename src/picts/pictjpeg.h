// JPEG pictures. Until the decoder lands it recognises nothing, so the
// factory passes over it and callers that hand it embedded data (DIB
// compression 4) fail cleanly.
#pragma once

#include "picts/pictbase.h"

class cPictJPEG : public cPictBase {
 public:
  int typeOf() override { return kPictJPEG; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool supportsExtRendering() override { return true; }

  static bool validFor(cFileIOTarget* io, sPictInfo* info);
};
