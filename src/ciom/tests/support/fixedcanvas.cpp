#include "support/fixedcanvas.h"

#include <cstring>

#include "base/str.h"
#include "base/textconv.h"

bool cFixedMetricCanvas::drawBitmap(int x, int y, cPicture* p, int w, int h) {
  if (!p || !p->raw()) return false;
  pictures.push_back({x, y, w, h, std::vector<unsigned int>(p->raw(), p->raw() + p->pixels.count)});
  return true;
}

bool cFixedMetricCanvas::textSize(const char* text, long long len, sSize& out) {
  _typebuf<unsigned short> wide;
  long long units = _pc2w(text, len, wide);
  static const unsigned short empty[1] = {0};
  return text && textSize(wide.ptr ? wide.ptr : empty, units, out);
}

bool cFixedMetricCanvas::textSize(const unsigned short* text, long long len, sSize& out) {
  if (!text) return false;
  if (len < 0) len = _wcslen(text);
  out.cx = 0;
  for (long long i = 0; i < len; ++i) out.cx += unitWidth(text[i]);
  out.cy = len ? kLineHeight : 0;
  return true;
}

bool cFixedMetricCanvas::textRuler(const unsigned short* text, long long len, int* out) {
  if (!text || !out) return false;
  int edge = 0;
  for (long long i = 0; i < len; ++i) out[i] = edge += unitWidth(text[i]);
  return true;
}

bool cFixedMetricFont::define(int, int, const char* face, bool, bool, bool) {
  return !face || std::strcmp(face, "unavailable") != 0;
}

cFontObject* __newPlatformCPFont() { return new cFixedMetricFont; }
