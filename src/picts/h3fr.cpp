#include "picts/h3fr.h"

#include <strings.h>

#include <cstring>

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

bool cPict3FR::walkRawIFD(cFileIOTarget* io, int page, bool& preview) {
  if (!cPictDNG::walkRawIFD(io, page, preview) || myVersion != kMark) return false;
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
