// The platform canvas over a cairo context. Coordinates are the toolkit's
// (top left, y down), offset by the canvas's area inside the whole context.
#pragma once

#include <cairo.h>

#include "base/list.h"
#include "ciom/canvas.h"

class cMacCTFont;

class cCrbCanvas : public cCanvas {
 public:
  // One rectangle of the drawable region, in context coordinates.
  class cClippingItem : public cListItem {
   public:
    int left, top, right, bottom;
    cClippingItem(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
    bool contains(const cClippingItem& a) const {
      return left <= a.left && top <= a.top && right >= a.right && bottom >= a.bottom;
    }
    bool intersects(const cClippingItem& a) const {
      return a.bottom > top && a.top < bottom && a.right > left && a.left < right;
    }
    bool isIn(const cClippingItem& a) const { return a.contains(*this); }
  };

  cCrbCanvas() = default;
  ~cCrbCanvas() override { close(); }

  // Over a context the canvas does not own; its graphics state is saved now
  // and restored when the canvas goes.
  bool create(cairo_t* context, int w, int h);
  void close();

  int width() override { return myArea.right - myArea.left; }
  int height() override { return myArea.bottom - myArea.top; }
  using cCanvas::drawText;
  bool drawText(int x, int y, bool transparent, const char* text, long long len) override;
  bool drawText(int x, int y, bool transparent, const unsigned short* text, long long len) override;
  bool drawRect(sRect* r, unsigned int fill, unsigned int frame) override;
  bool drawBitmap(sPoint* at, cPicture* p, sSize* size) override;
  bool drawBitmap(int x, int y, cPicture* p, int w, int h) override;
  bool drawTransparent(sPoint* at, cPicture* p, sSize* size) override;
  bool drawLine(sPoint* from, sPoint* to) override;
  bool draw(int x, int y, cCanvas* src, int sx, int sy, int sw, int sh) override;
  bool clip(sRect* r) override;
  bool unclip(sRect* r) override;
  bool setLineMode(unsigned int colour, int width) override;
  bool setTextMode(int width, int height, const char* face, bool bold, bool underline, bool italic) override;
  bool setTextMode(cFontObject* font) override;
  cFontObject* createFont(int width, int height, const char* face, bool bold, bool underline,
                          bool italic) override;
  bool setTextColors(unsigned int text, unsigned int background) override;
  unsigned int bgColor() override { return myBackground; }
  bool textSize(const char* text, long long len, sSize& out) override;
  bool textSize(const unsigned short* text, long long len, sSize& out) override;
  bool textRuler(const char* text, long long len, int* out) override;
  bool textRuler(const unsigned short* text, long long len, int* out) override;
  bool canDrawAt(sRect* r) override;
  cCanvas* subCanvas(sRect* r) override;
  cCanvas* offscreen(int w, int h, int, int) override;
  bool select() override;

  cList& region() { return myRegion; }

 protected:
  cairo_t* myContext = nullptr;

 private:
  struct sEdges {
    int left = 0, top = 0, right = 0, bottom = 0;
  };
  bool drawPango(int x, int y, bool transparent, const char* utf8, int bytes);
  // The rectangle in context coordinates cut to the bounds; false when empty.
  bool toRegionArea(const sRect* r, sEdges& a) const;
  void addArea(sEdges a);
  void setColour(unsigned int colour) const;

  sEdges myArea, myBounds;
  unsigned int myLineColour = 0;
  int myLineWidth = 1;
  unsigned int myBackground = 0xFFFFFF, myTextColour = 0;
  cMacCTFont* myFont = nullptr;
  cList myRegion;
};

// The same canvas over an image surface of its own: premultiplied B, G, R, A
// bytes, top row first, the byte order of cPicture.
class cCrbOffscreenCanvas : public cCrbCanvas {
 public:
  // cairo holds at most this many pixels a side.
  static constexpr int kMaxSide = 32767;

  ~cCrbOffscreenCanvas() override { close(); }
  bool create(int w, int h);
  void close();
  // A new canvas, or null for a side below 1, above the limit, or no memory.
  static cCrbOffscreenCanvas* make(int w, int h);

  bool snapshot(cPicture* out, sRect* r) override;
  cairo_surface_t* surface() const { return mySurface; }

 private:
  cairo_surface_t* mySurface = nullptr;
};
