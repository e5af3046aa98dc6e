// The toolkit tests' canvas: no display, no fonts, fixed metrics. Every
// character is 7 pixels wide except the space (4) and the full stop (3); a
// line is 13 pixels high. Pictures drawn on it are kept for inspection.
#pragma once

#include <vector>

#include "ciom/canvas.h"
#include "ciom/fontobject.h"

struct sDrawnPicture {
  int x = 0, y = 0, w = 0, h = 0;
  std::vector<unsigned int> pixels;
};

class cFixedMetricCanvas : public cCanvas {
 public:
  static constexpr int kLineHeight = 13;
  static int unitWidth(unsigned int c) { return c == ' ' ? 4 : c == '.' ? 3 : 7; }

  std::vector<sDrawnPicture> pictures;

  cFixedMetricCanvas(int w, int h) : myWidth(w), myHeight(h) {}

  int width() override { return myWidth; }
  int height() override { return myHeight; }
  bool drawText(int, int, bool, const char* text, long long) override { return text != nullptr; }
  bool drawText(int, int, bool, const unsigned short* text, long long) override { return text != nullptr; }
  bool drawRect(sRect*, unsigned int, unsigned int) override { return true; }
  bool drawBitmap(int x, int y, cPicture* p, int w, int h) override;
  bool setTextColors(unsigned int, unsigned int background) override {
    myBackground = background;
    return true;
  }
  unsigned int bgColor() override { return myBackground; }
  bool setTextMode(cFontObject* font) override { return font != nullptr; }
  bool textSize(const char* text, long long len, sSize& out) override;
  bool textSize(const unsigned short* text, long long len, sSize& out) override;
  bool textRuler(const unsigned short* text, long long len, int* out) override;

 private:
  int myWidth, myHeight;
  unsigned int myBackground = 0xFFFFFF;
};

// The test platform's font: any description but the face "unavailable".
class cFixedMetricFont : public cFontObject {
 public:
  bool define(int, int, const char* face, bool, bool, bool) override;
  bool apply(cCanvas* canvas) override { return canvas && canvas->setTextMode(this); }
};
