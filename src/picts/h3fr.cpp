#include "picts/h3fr.h"

#include <strings.h>

#include <cstring>

bool cPict3FR_LJPEG::processHuffmanLosslessScan() {
  // A second scan would only overwrite a finished raw with what follows it.
  if (myScanDone) return false;
  if (comps.count != 1 || scanCount != 1 || !prepareRaw()) {
    onGeneralError(position, kErrGeometry);
    return false;
  }
  cJHuffDecoder dec;
  if (!dec.create(*this)) {
    onGeneralError(position, kErrSetup);
    return false;
  }
  _typebuf<unsigned char>* rows[1];
  try {
    myLine.set(2LL * myRawWidth);
  } catch (const std::bad_alloc&) {
    return false;
  }
  rows[0] = &myLine;
  unsigned short* line = reinterpret_cast<unsigned short*>(myLine.ptr);
  for (unsigned y = 0; y < myRawHeight; ++y) {
    std::memset(line, 0, static_cast<size_t>(myLine.count));
    int running[2] = {32768, 32768};
    bool cut = false;
    for (unsigned x = 0; x < myRawWidth; x += 2) {
      int length[2];
      for (int& l : length) l = dec.simpleDecodeRaw();
      cut = length[0] < 0 || length[1] < 0;
      if (cut) break;
      for (int c = 0; c < 2; ++c) {
        int diff = dec.simpleReadRaw(length[c]);
        if (length[c] && (diff & (1 << (length[c] - 1))) == 0) diff -= (1 << length[c]) - 1;
        if (diff == 65535) diff = -32768;
        running[c] = (running[c] + diff) & 0xFFFF;
        if (x + c < myRawWidth) line[x + c] = static_cast<unsigned short>(running[c]);
      }
    }
    // Only the last row may end early: its writer stopped with the data.
    if (cut && y + 1 < myRawHeight) {
      onGeneralError(position, kErrDecode);
      return false;
    }
    if (!onScanLine(rows, static_cast<int>(y), static_cast<int>(myRawWidth))) {
      onGeneralError(position, kErrRefused);
      return false;
    }
  }
  myScanDone = true;
  return true;
}

bool cPict3FR::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPict3FR probe;
  return probe.isPicture(io, info);
}

bool cPict3FR::onTag(int tag, int type, const void* data, int length) {
  if (ifdKind() == kMainIFD && !myRawMode) {
    if (tag == 271) {
      const char* make = static_cast<const char*>(data);
      if (type != 2 || length < 10 || !make || strncasecmp(make, "Hasselblad", 10) != 0) return false;
    } else if (tag == 50708) {
      if (myVersion == 0) myVersion = kMark;
      return myVersion == kMark;
    }
  }
  return cPictDNG::onTag(tag, type, data, length);
}

bool cPict3FR::walkRaw(cFileIOTarget* io, int page, bool& preview) {
  if (!cPictDNG::walkRaw(io, page, preview) || myVersion != kMark) return false;
  // The files name no pattern: the sensors are all red-green over green-blue.
  if (mySamplesPerPixel == 1 && !myCFA.count) {
    myCFARows = myCFACols = 2;
    myCFA.set(4);
    const unsigned char pattern[4] = {0, 1, 1, 2};
    std::memcpy(myCFA.ptr, pattern, 4);
  }
  return true;
}

cRAWLosslessJpeg* cPict3FR::newLosslessDecoder(long long w, long long rows) {
  cRAWLosslessJpeg* jpeg = new cPict3FR_LJPEG;
  jpeg->init(static_cast<unsigned>(w), static_cast<unsigned>(rows), cRAWLosslessJpeg::kScanPlain);
  return jpeg;
}
