// Medical data sets stored bare: no preamble and no value representations,
// implicit little-endian elements from the first byte, one page per data
// set, and of encapsulated data only JPEG 2000.
#pragma once

#include "picts/dicompages.h"

class cPictDICOMLegacy : public cPictDICOMPages {
 public:
  int typeOf() override { return kPictDICOMLegacy; }
  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  // Called for every element of defined length; false refuses the file.
  virtual bool onTag(unsigned short group, unsigned short element, unsigned valueLength, unsigned valueOffset,
                     int dataSet);

 protected:
  bool processDICOM(cFileIOTarget* io) override;
  bool processDICOM_cat(cFileIOTarget* io, unsigned long long& position, unsigned long long end,
                        int& itemCounter, int depth) override;
  bool readsJPEG() const override { return false; }
};
