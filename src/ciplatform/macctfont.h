// The platform font: a Pango font description of an absolute pixel size,
// and one layout in the shared context that measures and draws with it.
#pragma once

#include <pango/pangocairo.h>

#include "ciom/fontobject.h"

class cMacCTFont : public cFontObject {
 public:
  ~cMacCTFont() override { close(); }

  bool define(int width, int height, const char* face, bool bold, bool underline, bool italic) override;
  bool apply(cCanvas* canvas) override;
  bool getTextDim(cCanvas* canvas, const char* text, long long len, sSize& out) override;
  bool getTextDim(cCanvas* canvas, const unsigned short* text, long long len, sSize& out) override;
  // out[i] is the right edge of UTF-16 unit i; exactly len entries are written.
  bool textRuler(const unsigned short* text, long long len, int* out);
  void close();

  // The pixel size the toolkit's height stands for.
  static double pixelSize(int height) { return height - ((height - 11) * 0.25 + 1.5); }

  const PangoFontDescription* description() const { return myDescription; }
  // The font's layout holding the text, or null for an undefined font.
  PangoLayout* layoutOf(const char* utf8, int bytes);

 private:
  bool measure(const char* utf8, int bytes, sSize& out);

  PangoFontDescription* myDescription = nullptr;
  PangoLayout* myLayout = nullptr;
};
