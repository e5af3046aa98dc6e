// The payload of an installation: one item per installed file, its bytes
// stored as they are or as one zlib stream, with the SHA-256 digest of the
// plain content so that unchanged files already on disk can be skipped.
#pragma once

#include <vector>

#include "base/buffers.h"
#include "base/list.h"
#include "base/targets.h"

class cSoftPkg {
 public:
  struct sPkgItem {
    // 0: the data is the content itself; otherwise a zlib stream of this many plain bytes.
    unsigned int unpackedSize = 0;
    unsigned char digest[32] = {};
    _typebuf<unsigned char> data;
  };

  _List<sPkgItem> items;
  // Also the index the next item receives.
  unsigned int count = 0;

  cSoftPkg() = default;
  cSoftPkg(const cSoftPkg&) = delete;
  cSoftPkg& operator=(const cSoftPkg&) = delete;
  ~cSoftPkg() { items.destroy(); }

  bool newPackage();
  // Refuses a package without items and an item without bytes: the stream
  // has no way to carry an empty item, a stored size of 0 ends it.
  bool savePackage(cFileIOTarget* target);
  // Items read before a failure stay.
  bool loadPackage(cFileIOTarget* target);
  // The whole source from its start; -1 when it cannot be read whole.
  int addPkgItem(cFileIOTarget* source, bool compress);
  // A new stream over item i's plain content, for the caller to delete.
  cFileIOTarget* item(int i);
  unsigned int sizeOf(int i);
  bool digest(int i, unsigned char (&out)[32]);
  // From the source's current position to its end.
  static bool mkDigest(cFileIOTarget* source, unsigned char (&out)[32]);

 private:
  sPkgItem* at(int i);
  bool addStored(cFileIOTarget& source, unsigned int size, sPkgItem& made);
  bool addDeflated(cFileIOTarget& source, unsigned int size, sPkgItem& made);

  // Item i at myIndex[i]: the installer asks for every item by number, and
  // a walk along the list for each made a large package quadratic.
  std::vector<sPkgItem*> myIndex;
};
