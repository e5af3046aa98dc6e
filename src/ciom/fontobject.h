// The toolkit's font handle. One object per description is shared by the
// whole process, so fonts compare by pointer and live until the process ends.
#pragma once

#include "base/guardchar.h"
#include "base/list.h"
#include "ciom/geometry.h"

class cCanvas;

class cFontObject : public cListItem {
 public:
  // What a font is looked up by.
  struct sKey {
    int width = 0;
    int height = 0;
    const char* face = nullptr;
    bool bold = false, underline = false, italic = false;
  };

  int width = 0;
  int height = 0;
  _guardchar<char> face;
  bool bold = false, underline = false, italic = false;

  // Takes an sKey.
  bool eq(void* key) override;
  // Realises the description as a platform font; false when it cannot.
  virtual bool define(int width, int height, const char* face, bool bold, bool underline, bool italic) = 0;
  // Makes this font the canvas's current one.
  virtual bool apply(cCanvas* canvas) = 0;
  virtual bool getTextDim(cCanvas*, const char*, long long, sSize&) { return false; }
  virtual bool getTextDim(cCanvas*, const unsigned short*, long long, sSize&) { return false; }

  // The shared font for the description, or null when the platform cannot
  // make it. Callers never delete it.
  static cFontObject* get(int width, int height, const char* face, bool bold, bool underline, bool italic);

  static cList myFontsStore;
};

// Supplied by the platform layer.
cFontObject* __newPlatformCPFont();
// The standard and fixed-pitch face names; never null.
const char* _glbalStdFont();
const char* _glbalFixedFont();
