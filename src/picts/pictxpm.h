// XPM pictures: C source declaring an array of strings with the size line,
// the colour table and the pixel rows. A restricted form is read: one to four
// characters a pixel, colours only under the "c" key, as hexadecimal RGB or
// None.
#pragma once

#include "base/btree.h"
#include "picts/pictbase.h"

class cPictXPM : public cPictBase {
 public:
  int typeOf() override { return kPictXPM; }
  // The size line must lie within the first 255 bytes.
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool supportsExtRendering() override { return true; }

  static bool validFor(cFileIOTarget* io, sPictInfo* info);
  // Pictures are not written in this format.
  static bool save(cPictBase*, cFileIOTarget*) { return false; }

 private:
  struct sSize {
    long long width, height, colors, cpp;
  };
  // Where decoding stands between strings.
  struct sParse {
    bool header = false, comment = false, array = false, comma = false, sized = false;
    long long colorsRead = 0, rowsDone = 0;
    bool rendering = false;
  };

  static bool parseSize(const char* text, long long length, sSize& size);
  // One string of the array; `finished` once the last row is in.
  bool takeString(const char* text, long long length, bool& finished);
  bool takeColor(const char* text, long long length);
  bool takeRow(const char* text, long long length);
  bool takeLine(const char* line, long long length, bool& finished);

  sSize mySize{};
  unsigned long long myTextBytes = 0;
  sParse myParse;
  // Pixel code (its characters, the first in the lowest byte) to colour;
  // made anew for every decode.
  cPtr<cFasterTreeList<unsigned int, unsigned int>> myColors;
};
