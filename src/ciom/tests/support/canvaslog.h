// A canvas wrapper that remembers the texts and fills drawn through it, so the
// toolkit's layout can be checked on the fixed-metric canvas and on the
// platform's real one alike.
#pragma once

#include <string>
#include <vector>

#include "base/textconv.h"
#include "ciom/canvas.h"

struct sDrawnText {
  int x = 0, y = 0;
  std::string text;
};

struct sDrawnFill {
  sRect r;
  unsigned int fill = 0, frame = 0;
};

struct sCanvasLog {
  std::vector<sDrawnText> texts;
  std::vector<sDrawnFill> fills;
  void clear() {
    texts.clear();
    fills.clear();
  }
};

template <class Base>
class cLoggingCanvas : public Base, public sCanvasLog {
 public:
  using Base::Base;
  using Base::drawText;

  bool drawText(int x, int y, bool transparent, const unsigned short* text, long long len) override {
    _typebuf<char> utf8;
    _w2pc(text, len, utf8);
    texts.push_back({x, y, std::string(utf8.ptr ? utf8.ptr : "", static_cast<size_t>(utf8.count))});
    return Base::drawText(x, y, transparent, text, len);
  }
  bool drawText(int x, int y, bool transparent, const char* text, long long len) override {
    if (text) texts.push_back({x, y, len < 0 ? std::string(text) : std::string(text, static_cast<size_t>(len))});
    return Base::drawText(x, y, transparent, text, len);
  }
  bool drawRect(sRect* r, unsigned int fill, unsigned int frame) override {
    fills.push_back({*r, fill, frame});
    return Base::drawRect(r, fill, frame);
  }
};
