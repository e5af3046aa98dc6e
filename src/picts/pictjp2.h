// JPEG 2000 pictures: JP2 files and raw codestreams, decoded whole by the
// codec and converted to 8-bit pixels.
#pragma once

#include "picts/jp2image.h"
#include "picts/pictbase.h"

class cPictJP2Base : public cPictBase {
 public:
  bool supportsExtRendering() override { return false; }
  bool jp2ImageToThis(cJP2Image* image);
  // Whether `io`, a codestream or a JP2 file, announces high-throughput
  // block coding: a kind of JPEG 2000 that is refused, not a stranger.
  static bool highThroughput(cFileIOTarget* io);

 protected:
  // What a probe reports of a header: the image area's size, no preview.
  static void probeInfo(const cJP2Image& image, sPictInfo* info);
};

class cPictJP2 : public cPictJP2Base {
 public:
  int typeOf() override { return kPictJP2; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override { return validFor(io, info); }
  bool decode(cFileIOTarget* io) override;
  // Reads the boxes and the main header only.
  static bool validFor(cFileIOTarget* io, sPictInfo* info);
};

class cPictJ2K : public cPictJP2Base {
 public:
  int typeOf() override { return kPictJ2K; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override { return validFor(io, info); }
  bool decode(cFileIOTarget* io) override;
  // Reads the main header only.
  static bool validFor(cFileIOTarget* io, sPictInfo* info);
};
