// JPEG 2000 pictures, in the JP2 box container and as a bare codestream.
// Until the decoder lands both recognise nothing, so the factory passes over
// them and the icon containers that hand them embedded data fail cleanly.
#pragma once

#include "picts/pictbase.h"

class cPictJP2 : public cPictBase {
 public:
  int typeOf() override { return kPictJP2; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;

  static bool validFor(cFileIOTarget* io, sPictInfo* info);
};

class cPictJ2K : public cPictBase {
 public:
  int typeOf() override { return kPictJ2K; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;

  static bool validFor(cFileIOTarget* io, sPictInfo* info);
};
