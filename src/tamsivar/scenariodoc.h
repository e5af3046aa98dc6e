// One of the scenario's three documents (welcome, readme, licence): the
// loaded document, and the compiled bytes it was loaded from, kept so the
// scenario can be written again unchanged.
#pragma once

#include "base/buffers.h"
#include "cihlpdoc/sidocloader.h"

struct sScenarioDoc {
  cSiDocLoader loader;
  _typebuf<unsigned char> bytes;

  // False when the bytes are empty or do not load as a document; nothing is kept then.
  bool load(const unsigned char* data, long long size);
  void clear() {
    loader.destroy();
    bytes.set(0);
  }
  bool empty() const { return bytes.count == 0; }
};
