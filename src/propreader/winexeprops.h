// Windows executables: the version strings of the version resource and the
// icon among the icon resources that best suits the preferred preview size.
// Every size, offset and count comes from a file that may be forged, so the
// resource section is read only when it lies within the file and every
// directory, entry and block is checked against what holds it.
#pragma once

#include "base/btree.h"
#include "base/list.h"
#include "base/stringkey.h"
#include "propreader/fileprops.h"

class cWinExeProps : public cFileObjectProps {
 public:
  // One language entry of a resource: where its data lies and how long it is.
  struct sResRef {
    unsigned int rva = 0;
    unsigned int size = 0;
    unsigned int language = 0;
  };
  // One section-table entry; only these fields are read.
  struct sImageSectionHeader {
    unsigned char name[8];
    unsigned int virtualAddress;
    unsigned int sizeOfRawData;
    unsigned int pointerToRawData;
  };
  // The language entries of one resource, in directory order.
  struct sResLangs : _List<sResRef> {
    sResLangs() = default;
    ~sResLangs() { destroy(); }
  };
  using tResNames = cFasterTreeList<int, sResLangs>;
  using tResTypes = cFasterTreeList<int, tResNames>;
  using tStrings = cFasterTreeList<cStringKey, _guardchar<char>>;

  int typeOf() override { return 0; }
  bool load(cFileIOTarget* io, int unused, bool wantPreview) override;

  static bool validFor(cFileIOTarget* io);

  // One level of version blocks filling `strings`; a later key replaces an
  // earlier one.
  static bool loadStrProps(cFileIOTarget* block, tStrings& strings) { return loadStrProps(block, strings, 0); }

  // The three levels of the resource directory over the section's bytes.
  // `budget` counts the entries still allowed, so that subdirectories shared
  // between entries cannot multiply the walk.
  static bool parseResources(const unsigned char* data, long long size, tResTypes& types);
  static bool parseResNames(const unsigned char* data, long long size, unsigned int offset, tResNames& names,
                            long long& budget);
  static bool parseResLangs(const unsigned char* data, long long size, unsigned int offset,
                            _List<sResRef>& list, long long& budget);

 private:
  static bool loadStrProps(cFileIOTarget* block, tStrings& strings, int depth);
  void loadVersion(tResTypes& types, const unsigned char* data, long long size, unsigned int base);
  void loadIcon(tResTypes& types, const unsigned char* data, long long size, unsigned int base);
};
