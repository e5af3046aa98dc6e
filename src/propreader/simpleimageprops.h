// The properties of any picture the decoder factory knows.
#pragma once

#include "base/buffers.h"
#include "propreader/fileprops.h"

class cSimpleImageProps : public cFileObjectProps {
 public:
  // Owns the probed `decoder`.
  explicit cSimpleImageProps(cPictBase* decoder);

  int typeOf() override { return myType; }
  bool load(cFileIOTarget* io, int unused, bool wantPreview) override;

 private:
  cPtr<cPictBase> myDecoder;
  int myType;
};
