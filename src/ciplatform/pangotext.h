// Text as Pango takes it: valid UTF-8, laid out in one shared context whose
// rendering options are fixed, so what is measured is what is drawn.
#pragma once

#include <pango/pangocairo.h>

#include "base/buffers.h"

PangoContext* sharedPangoContext();

// Holds a text as valid UTF-8 for Pango, one character per UTF-16 unit of
// the text. Valid UTF-8 without control characters is borrowed as it is;
// anything else goes through UTF-16, where stray bytes, control characters
// and lone surrogates become characters of their own instead of upsetting
// Pango or breaking the line.
class cPangoText {
 public:
  cPangoText(const char* text, long long len);
  cPangoText(const unsigned short* text, long long len);

  const char* bytes = nullptr;
  int length = 0;

 private:
  void fromUtf16(const unsigned short* text, long long len);
  _typebuf<char> myCopy;
};
