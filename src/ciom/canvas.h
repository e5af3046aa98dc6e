// The one drawing surface of the toolkit. The platform implements the
// primitives; the text layout and the resized picture drawing are built here
// on top of them, so they behave the same on every platform.
#pragma once

#include "base/btree.h"
#include "base/guardchar.h"
#include "ciom/geometry.h"
#include "ciom/picture.h"

class cFontObject;

class cCanvas {
 public:
  // Values above 3 are drawn left-aligned (the fixed type lets callers pass
  // them); only wrapping knows justification.
  enum eTextAlign : int { eAlignLeft = 0, eAlignCenter = 1, eAlignRight = 2, eAlignJustify = 3 };

  // A word (text present, width in pixels) or a white-space run (no text,
  // width in space columns; 0 marks a line break).
  struct cTokenizedW {
    _guardchar<unsigned short> text;
    int width = 0;
  };
  struct cTokenizedA {
    _guardchar<char> text;
    int width = 0;
  };

  virtual ~cCanvas() = default;

  virtual int width() { return 0; }
  virtual int height() { return 0; }
  // Draws with the top-left corner at (x, y); len -1 means up to the terminator.
  virtual bool drawText(int, int, bool, const char*, long long) { return false; }
  virtual bool drawText(int, int, bool, const unsigned short*, long long) { return false; }
  // One line in the box, cut with "..." when it does not fit; answers the x
  // the text was drawn at, or -1.
  virtual int drawTextLimited(int x, int y, int w, int h, eTextAlign align, bool transparent, int leftMargin,
                              int rightMargin, const char* text, long long len, long long* outWidth,
                              bool fillBackground);
  virtual int drawTextLimited(int x, int y, int w, int h, eTextAlign align, bool transparent, int leftMargin,
                              int rightMargin, const unsigned short* text, long long len, long long* outWidth,
                              bool fillBackground);
  // Word-wrapped text from the top of the box; lines may continue below it.
  virtual bool drawTextWrapped(int x, int y, int w, int h, eTextAlign align, const char* text, sSize& outSize,
                               bool transparent, double lineFactor);
  virtual bool drawTextWrapped(int x, int y, int w, int h, eTextAlign align, const unsigned short* text,
                               sSize& outSize, bool transparent, double lineFactor);
  virtual bool drawRect(sRect*, unsigned int /*fill*/, unsigned int /*frame*/) { return false; }
  virtual bool drawBitmap(sPoint*, cPicture*, sSize*) { return false; }
  // w and h of -1 draw the picture at its own size.
  virtual bool drawBitmap(int, int, cPicture*, int, int) { return false; }
  virtual bool drawTransparent(sPoint*, cPicture*, sSize*) { return false; }
  virtual bool drawLine(sPoint*, sPoint*) { return false; }
  virtual bool draw(int, int, cCanvas*, int, int, int, int) { return false; }
  virtual bool drawBitmapResized(cPicture* p, int w, int h, int x, int y, cPicture::eResizeMethod m);
  // The drawable region starts as the whole canvas; changes apply at select().
  virtual bool clip(sRect*) { return false; }
  virtual bool unclip(sRect*) { return false; }
  virtual bool setLineMode(unsigned int, int) { return false; }
  virtual bool setTextMode(int, int, const char*, bool, bool, bool) { return false; }
  virtual bool setTextMode(cFontObject*) { return false; }
  virtual cFontObject* createFont(int, int, const char*, bool, bool, bool) { return nullptr; }
  virtual bool setTextColors(unsigned int, unsigned int) { return false; }
  virtual unsigned int bgColor() { return 0; }
  virtual bool textSize(const char*, long long, sSize&) { return false; }
  virtual bool textSize(const unsigned short*, long long, sSize&) { return false; }
  // out[i] is the right edge of UTF-16 unit i of the text (the width of units
  // 0..i); a UTF-8 text needs no more entries than it has bytes.
  virtual bool textRuler(const char*, long long, int*) { return false; }
  virtual bool textRuler(const unsigned short*, long long, int*) { return false; }
  virtual bool canDrawAt(sRect*) { return false; }
  virtual bool inDrawArea(sRect* r);
  virtual bool snapshot(cPicture*, sRect*) { return false; }
  virtual cCanvas* subCanvas(sRect*) { return nullptr; }
  virtual cCanvas* offscreen(int, int, int, int) { return nullptr; }
  virtual bool select() { return true; }

  bool tokenizeString(const unsigned short* text, cFasterTreeList<int, cTokenizedW>& out);
  bool tokenizeString(const char* text, cFasterTreeList<int, cTokenizedA>& out);
};
