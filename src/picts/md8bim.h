// An index of a block of Photoshop image resources ("8BIM" records), as a
// TIFF carries it, pointing into the caller's block without copying.
#pragma once

#include "base/btree.h"

class cMd8BIM {
 public:
  struct sEntry {
    const unsigned char* data = nullptr;
    unsigned long long size = 0;
  };
  // The thumbnail resource, 1036, under its key: the id and two name bytes.
  static constexpr unsigned int kThumbnailKey = 1036u << 16;

  // Indexes the records; false at the first record that is not one or
  // that runs past the block, keeping those before it.
  bool processMD(const void* block, long long length, bool bigEndian);
  const sEntry* prop(unsigned int key) const { return myEntries.find(key); }

 private:
  cFasterTreeList<unsigned int, sEntry> myEntries;
};
