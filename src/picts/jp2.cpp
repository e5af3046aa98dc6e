// JP2 files: the box layer, then the codestream inside it.
#include "picts/jp2codec.h"
#include "picts/pictjp2.h"

bool cPictJP2::validFor(cFileIOTarget* io, sPictInfo* info) {
  if (!io) return false;
  cJP2FileIOTarget in(io);
  cJP2Decode dec;
  cPtr<cJP2Image> image;
  if (!dec.setup(0) || !dec.readHeader(&in, image)) return false;
  probeInfo(*image, info);
  return true;
}

bool cPictJP2::decode(cFileIOTarget* io) {
  if (!io) return false;
  cJP2FileIOTarget in(io);
  cJP2Decode dec;
  cPtr<cJP2Image> image;
  if (!dec.setup(0) || !dec.readHeader(&in, image)) return false;
  cJP2Image* im = image.ptr;
  // The area of zeros is the whole image: the grid's own corners may lie
  // beyond what an int holds.
  return dec.setArea(im, 0, 0, 0, 0) && dec.decode(&in, im) && dec.endDecompress(&in) && jp2ImageToThis(im);
}

bool cPictJP2Base::highThroughput(cFileIOTarget* io) {
  cPtr<cJP2Image> image;
  cJP2FileIOTarget stream(io);
  cJ2KDecode codestream;
  if (!codestream.readHeader(&stream, image) && codestream.highThroughput()) return true;
  io->set_fp(0);
  cJP2FileIOTarget boxed(io);
  cJP2Decode file;
  return file.setup(0) && !file.readHeader(&boxed, image) && file.highThroughput();
}
