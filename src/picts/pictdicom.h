// Medical images in the file format with a preamble: explicit value
// representations, little-endian, every data set with image attributes a
// page, frames of native pixel data split into pages of their own.
#pragma once

#include "picts/dicompages.h"

class cPictDICOM : public cPictDICOMPages {
 public:
  int typeOf() override { return kPictDICOM; }
  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  // Called for every element outside sequences' item headers; false
  // refuses the file.
  virtual bool onTag(unsigned short group, unsigned short element, unsigned short vr, unsigned valueLength,
                     unsigned valueOffset, int dataSet);

 protected:
  bool processDICOM(cFileIOTarget* io) override;
  bool processDICOM_cat(cFileIOTarget* io, unsigned long long& position, unsigned long long end,
                        int& itemCounter, int depth) override;
  bool readsJPEG() const override { return true; }
  bool getValU32(unsigned short vr, unsigned length, unsigned offset, unsigned& out);

 private:
  bool splitFrames();
};
