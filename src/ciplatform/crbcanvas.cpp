#include "ciplatform/crbcanvas.h"

#include <algorithm>
#include <climits>

#include "base/textconv.h"
#include "ciplatform/macctfont.h"
#include "ciplatform/pangotext.h"

bool cCrbCanvas::create(cairo_t* context, int w, int h) {
  if (!context) return false;
  myContext = context;
  myArea = myBounds = {0, 0, w, h};
  myFont = static_cast<cMacCTFont*>(createFont(5, 13, _glbalStdFont(), false, false, false));
  cairo_save(myContext);
  myRegion.destroy();
  myRegion.add(new cClippingItem(0, 0, w, h));
  return true;
}

void cCrbCanvas::close() {
  if (myContext) cairo_restore(myContext);
  myContext = nullptr;
  myRegion.destroy();
}

// Back to the state saved at creation, then the region. With every rectangle
// clipped away nothing may show, so an empty region clips to nothing.
bool cCrbCanvas::select() {
  if (!myContext) return false;
  cairo_restore(myContext);
  cairo_save(myContext);
  cairo_new_path(myContext);
  for (cListItem* it = myRegion.head; it; it = it->next) {
    auto* r = static_cast<cClippingItem*>(it);
    cairo_rectangle(myContext, r->left, r->top, r->right - r->left, r->bottom - r->top);
  }
  cairo_clip(myContext);
  return true;
}

void cCrbCanvas::setColour(unsigned int c) const {
  cairo_set_source_rgb(myContext, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0);
}

bool cCrbCanvas::drawPango(int x, int y, bool transparent, const char* utf8, int bytes) {
  if (!myContext || !myFont || !utf8) return false;
  PangoLayout* layout = myFont->layoutOf(utf8, bytes);
  if (!layout) return false;
  const double X = static_cast<double>(myArea.left) + x, Y = static_cast<double>(myArea.top) + y;
  if (!transparent) {
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    setColour(myBackground);
    cairo_rectangle(myContext, X, Y, static_cast<double>(logical.width) / PANGO_SCALE + 1.5,
                    static_cast<double>(logical.height) / PANGO_SCALE + 0.5);
    cairo_fill(myContext);
  }
  // The layout's top is y, so the baseline lies one ascent below it.
  setColour(myTextColour);
  cairo_move_to(myContext, X, Y);
  pango_cairo_show_layout(myContext, layout);
  return true;
}

bool cCrbCanvas::drawText(int x, int y, bool transparent, const char* text, long long len) {
  if (!text) return false;
  cPangoText t(text, len);
  return drawPango(x, y, transparent, t.bytes, t.length);
}

bool cCrbCanvas::drawText(int x, int y, bool transparent, const unsigned short* text, long long len) {
  if (!text) return false;
  cPangoText t(text, len);
  return drawPango(x, y, transparent, t.bytes, t.length);
}

// The border runs through the centres of the outermost pixels, so a width
// of 1 covers exactly them.
bool cCrbCanvas::drawRect(sRect* r, unsigned int fill, unsigned int frame) {
  if (!myContext || !r) return false;
  const double X = static_cast<double>(myArea.left) + r->x, Y = static_cast<double>(myArea.top) + r->y;
  setColour(fill);
  if (fill == frame) {
    cairo_rectangle(myContext, X, Y, r->width, r->height);
    cairo_fill(myContext);
    return true;
  }
  if (r->width > 2 && r->height > 2) {
    cairo_rectangle(myContext, X + 1, Y + 1, r->width - 2, r->height - 2);
    cairo_fill(myContext);
  }
  setColour(frame);
  cairo_set_line_width(myContext, myLineWidth);
  const double l = X + 0.5, t = Y + 0.5, rt = X + r->width - 0.5, b = Y + r->height - 0.5;
  cairo_move_to(myContext, l, b);
  cairo_line_to(myContext, rt, b);
  cairo_line_to(myContext, rt, t);
  cairo_line_to(myContext, l, t);
  cairo_close_path(myContext);
  cairo_stroke(myContext);
  return true;
}

// Straight lines are moved onto pixel centres; a horizontal one reaches half
// a pixel further right, as the toolkit's borders expect.
bool cCrbCanvas::drawLine(sPoint* from, sPoint* to) {
  if (!myContext || !from || !to) return false;
  double x1 = static_cast<double>(myArea.left) + from->x, y1 = static_cast<double>(myArea.top) + from->y;
  double x2 = static_cast<double>(myArea.left) + to->x, y2 = static_cast<double>(myArea.top) + to->y;
  if (from->x == to->x) {
    x1 += 0.5;
    x2 += 0.5;
  } else if (from->y == to->y) {
    y1 += 0.5;
    y2 += 0.5;
    (x1 > x2 ? x1 : x2) += 0.5;
  }
  setColour(myLineColour);
  cairo_set_line_width(myContext, myLineWidth);
  cairo_move_to(myContext, x1, y1);
  cairo_line_to(myContext, x2, y2);
  cairo_stroke(myContext);
  return true;
}

bool cCrbCanvas::setLineMode(unsigned int colour, int width) {
  myLineColour = colour;
  myLineWidth = width;
  return true;
}

bool cCrbCanvas::setTextMode(int width, int height, const char* face, bool bold, bool underline,
                             bool italic) {
  cFontObject* font = cFontObject::get(width, height, face, bold, underline, italic);
  return font && setTextMode(font);
}

bool cCrbCanvas::setTextMode(cFontObject* font) {
  if (!font) return false;
  myFont = static_cast<cMacCTFont*>(font);
  return true;
}

cFontObject* cCrbCanvas::createFont(int width, int height, const char* face, bool bold, bool underline,
                                    bool italic) {
  return cFontObject::get(width, height, face, bold, underline, italic);
}

bool cCrbCanvas::setTextColors(unsigned int text, unsigned int background) {
  myTextColour = text;
  myBackground = background;
  return true;
}

bool cCrbCanvas::textSize(const char* text, long long len, sSize& out) {
  return myFont && myFont->getTextDim(this, text, len, out);
}

bool cCrbCanvas::textSize(const unsigned short* text, long long len, sSize& out) {
  return myFont && myFont->getTextDim(this, text, len, out);
}

bool cCrbCanvas::textRuler(const char* text, long long len, int* out) {
  if (!myFont || !text || len == 0) return false;
  _typebuf<unsigned short> wide;
  long long units = _pc2w(text, len, wide);
  return units > 0 && myFont->textRuler(wide.ptr, units, out);
}

bool cCrbCanvas::textRuler(const unsigned short* text, long long len, int* out) {
  return myFont && myFont->textRuler(text, len, out);
}

bool cCrbCanvas::canDrawAt(sRect* r) {
  if (!r) return false;
  return r->x <= myBounds.right - myBounds.left && r->y <= myBounds.bottom - myBounds.top &&
         static_cast<long long>(r->x) + r->width >= 0 && static_cast<long long>(r->y) + r->height >= 0;
}

// The sub-canvas clips the shared context to its bounds and saves that
// state; the parent drops the clip with its next select().
cCanvas* cCrbCanvas::subCanvas(sRect* r) {
  if (!myContext || !r || r->width < 0 || r->height < 0 || !inDrawArea(r)) return nullptr;
  auto* sub = new cCrbCanvas;
  sub->myContext = myContext;
  const long long left = static_cast<long long>(myArea.left) + r->x,
                  top = static_cast<long long>(myArea.top) + r->y;
  sub->myArea = {static_cast<int>(left), static_cast<int>(top),
                 static_cast<int>(std::min<long long>(left + r->width, INT_MAX)),
                 static_cast<int>(std::min<long long>(top + r->height, INT_MAX))};
  sub->myBounds = {std::max(sub->myArea.left, myBounds.left), std::max(sub->myArea.top, myBounds.top),
                   std::min(sub->myArea.right, myBounds.right),
                   std::min(sub->myArea.bottom, myBounds.bottom)};
  sEdges& b = sub->myBounds;
  b.right = std::max(b.right, b.left);
  b.bottom = std::max(b.bottom, b.top);
  sub->myRegion.add(new cClippingItem(b.left, b.top, b.right, b.bottom));
  cairo_new_path(myContext);
  cairo_rectangle(myContext, b.left, b.top, b.right - b.left, b.bottom - b.top);
  cairo_clip(myContext);
  cairo_save(myContext);
  return sub;
}

cCanvas* cCrbCanvas::offscreen(int w, int h, int, int) { return cCrbOffscreenCanvas::make(w, h); }
