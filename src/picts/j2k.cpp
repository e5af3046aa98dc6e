// Raw JPEG 2000 codestreams, from SOC to EOC.
#include "picts/jp2codec.h"
#include "picts/pictjp2.h"

bool cPictJ2K::validFor(cFileIOTarget* io, sPictInfo* info) {
  if (!io) return false;
  cJP2FileIOTarget in(io);
  cJ2KDecode dec;
  cPtr<cJP2Image> image;
  if (!dec.readHeader(&in, image)) return false;
  probeInfo(*image, info);
  return true;
}

bool cPictJ2K::decode(cFileIOTarget* io) {
  if (!io) return false;
  cJP2FileIOTarget in(io);
  cJ2KDecode dec;
  cPtr<cJP2Image> image;
  return dec.readHeader(&in, image) && dec.decode(&in, image.ptr) && jp2ImageToThis(image.ptr);
}
