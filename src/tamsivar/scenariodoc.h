// One of the scenario's three documents (welcome, readme, licence): the
// compiled bytes it travels as, kept so the scenario can be written again
// unchanged.
//
// This is the seam to the document loader: until the loader is wired in, a
// document is held as its byte block only, and a block loads when it is not
// empty.
#pragma once

#include "base/buffers.h"

struct sScenarioDoc {
  _typebuf<unsigned char> bytes;

  // Keeps a copy of the compiled document; false when it is empty or does not load.
  bool load(const unsigned char* data, long long size);
  void clear() { bytes.set(0); }
  bool empty() const { return bytes.count == 0; }
};
