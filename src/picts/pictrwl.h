// Panasonic and Leica camera files: a TIFF-like file of magic 0x55 whose
// sensor size and white balance sit in low-numbered private tags, with
// plain 16-bit, padded 12-bit or bit-packed sensor bodies.
#pragma once

#include "picts/raw_common.h"
#include "picts/tiffgeneric.h"

// The packed body's reader: 16 KiB blocks read back to front in 16-byte
// chunks, optionally stored as two swapped halves.
struct sPanaCtx {
  // Two zero bytes past the block: a read at its last byte takes one more.
  unsigned char buffer[16386] = {};
  unsigned int bitpos = 0;
  cFileIOTarget* io = nullptr;
  unsigned char error = 0;
  unsigned char split = 1;
};

class cPictRWL : public cTiffGeneric, public cCameraRawPict {
 public:
  struct sModel {
    const char* key;
    unsigned short left, right, top, bottom, black;
    unsigned char flags;  // kPacked, kWhole
  };
  static constexpr unsigned char kPacked = 1;  // the body is bit-packed
  static constexpr unsigned char kWhole = 2;   // its blocks are not split in halves
  static const sModel kModels[];
  static const int kModelCount;

  int typeOf() override { return kPictRWL; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  static bool validFor(cFileIOTarget* io, sPictInfo* info);
  static unsigned pana_bits(int n, sPanaCtx& ctx);

  using cTiffGeneric::processStream;
  bool processStream(cFileIOTarget* io, unsigned long long size) override;
  bool onTag(int tag, int type, const void* data, int length) override;

 protected:
  void reset();

 private:
  bool walk(cFileIOTarget* io);
  bool readPlain(cFileIOTarget* io, unsigned short* raw);
  bool readPacked(cFileIOTarget* io, unsigned short* raw);

  unsigned int myRawWidth = 0, myRawHeight = 0;
  sRawStrips myStrips;
  double myM0 = 1, myM1 = 1, myM2 = 1;
  sMarginInfo myMargins;
  unsigned int myBlack = 0;
  unsigned int myCFA = 4;
  bool myPacked = false;
  bool mySplit = true;
};
