// Canon CRW camera files: a CIFF container (heaps of typed records, heaps
// nested in heaps) holding the image geometry, the camera model, the white
// balance, a JPEG preview and the sensor data in Canon's compressed form.
#pragma once

#include "picts/balance.h"
#include "picts/pictbase.h"

// Walks one heap's record table, handing each record to `onTag`.
class cCRWTagProcessor {
 public:
  virtual ~cCRWTagProcessor() = default;
  // `block` is the heap alone; its last four bytes place the table.
  bool process(cFileIOTarget* block, bool bigEndian);
  // `inHeap`: the value is `size` bytes at `offset` of the block; otherwise
  // `size` and `offset` are the eight value bytes themselves.
  virtual bool onTag(cFileIOTarget* block, unsigned short tag, unsigned size, unsigned offset,
                     bool inHeap) = 0;

 protected:
  unsigned int number(const unsigned char* p, int bytes) const;
  // `count` bytes at `at` of the block, which must hold them.
  bool readAt(cFileIOTarget* block, unsigned long long at, void* buf, unsigned int count) const;

  bool myBig = false;
};

// A heap record's place in the file.
struct sCRWSpan {
  unsigned long long offset = 0;
  unsigned long long size = 0;
};

class cMainCRWProps : public cCRWTagProcessor {
 public:
  bool onTag(cFileIOTarget* block, unsigned short tag, unsigned size, unsigned offset, bool inHeap) override;
  sCRWSpan raw, jpeg, image;
};

class cImageCRWProps : public cCRWTagProcessor {
 public:
  bool onTag(cFileIOTarget* block, unsigned short tag, unsigned size, unsigned offset, bool inHeap) override;
  unsigned int width = 0, height = 0;
  sCRWSpan exif;
};

class cExifCRWProps : public cCRWTagProcessor {
 public:
  bool onTag(cFileIOTarget* block, unsigned short tag, unsigned size, unsigned offset, bool inHeap) override;
  unsigned short wbIndex = 1;
  // Per colour index: the table's red, green, green, blue as red, green,
  // blue and the second green.
  void balance(double (&out)[4]) const;

  unsigned short wb[4] = {84, 52, 51, 65};  // red, green, green, blue
  unsigned int table = 0;
  unsigned int skip = 0;
  unsigned int model = 0;
  // Unused, sensor width, sensor height, two unused, left and top border.
  unsigned short sensor[7] = {};
};

class cPictCRW : public cPictBase {
 public:
  int typeOf() override { return kPictCRW; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                  long long const* maxH) override;
  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  // The whole decode, or with the probe flag only as far as the geometry.
  bool processStream(cFileIOTarget* io);
  // `count` samples of a sensor `width` wide from the raw-data window.
  bool decodeSensorInfo(cFileIOTarget* window, unsigned short* samples, long long count, long long width,
                        unsigned int table);

 protected:
  // The finishing chain over myRaw, which holds the sensor samples.
  virtual bool finish(cFileIOTarget* io, const cExifCRWProps& exif, const sMarginInfo& margins,
                      unsigned int white, unsigned int black);

  _typebuf<unsigned short> myRaw;

 private:
  bool myProbe = false;
  bool myBig = false;
  unsigned long long myJpegOffset = 0;
  unsigned long long myJpegLength = 0;
  bool myLowBits = false;
};
