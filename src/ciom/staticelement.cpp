#include "ciom/staticelement.h"

#include <algorithm>

#include "ciom/fontobject.h"
#include "ciom/setters.h"
#include "ciom/themeuse.h"

unsigned int disabledTextColor(unsigned int c) {
  unsigned int out = c & 0xFF000000;
  for (int shift = 0; shift < 24; shift += 8) out |= (((c >> shift & 0xFF) + 196) >> 1) << shift;
  return out;
}

void cStaticElement::onInitData() {
  cChildElement::onInitData();
  myTextMargin = 0;
  myFont = stdFont();
  myImage = nullptr;
  myLineFactor = 1.2;
  myTextColor = themeColor(4);
  myBgColor = themeColor(14);
  myFrameColor = themeColor(20);
  myAlign = cCanvas::eAlignLeft;
  myMode = tdmEllipsis;
}

void cStaticElement::setText(const char* text, cCanvas::eTextAlign align, bool repaint) {
  myAlign = align;
  cChildElement::setText(text, -1, repaint);
}


void cStaticElement::setImage(cPicture* image, bool repaint) {
  if (image == myImage) return;
  myImage = image;
  if (repaint) this->repaint(nullptr);
}

void cStaticElement::setFont(cFontObject* font) { storeChanged(this, myFont, font ? font : stdFont(), true); }
void cStaticElement::setTextColor(unsigned int c) { storeChanged(this, myTextColor, c, true); }
void cStaticElement::setBgColor(unsigned int c) { storeChanged(this, myBgColor, c, true); }
void cStaticElement::setFrameColor(unsigned int c) { storeChanged(this, myFrameColor, c, true); }
void cStaticElement::setTextDispMode(eTextDisplayModes m) { storeChanged(this, myMode, m, true); }
void cStaticElement::setTextMargin(int m) { storeChanged(this, myTextMargin, m, true); }

void cStaticElement::setColorSchema(unsigned int text, unsigned int bg, unsigned int frame) {
  if (text == myTextColor && bg == myBgColor && frame == myFrameColor) return;
  myTextColor = text;
  myBgColor = bg;
  myFrameColor = frame;
  repaint(nullptr);
}

void cStaticElement::setYWrapAddSpacing(double add) {
  if (add < 0) return;
  double factor = 1.0 + add;
  if (factor == myLineFactor) return;
  myLineFactor = factor;
  if (myMode == tdmWrapped) repaint(nullptr);
}

bool cStaticElement::wantsSize(sSize* out) {
  if (!out) return false;
  int w = 6, h = 0;
  if (myImage) {
    w = myImage->width() + 11;
    h = myImage->height() + 4;
  }
  const char* t = text();
  if (t && *t) {
    sSize s;
    if (!sizeOf(t, s, myFont)) return false;
    h = std::max(h, s.cy + 2);
    w += s.cx;
  }
  out->cx = w + myTextMargin;
  out->cy = h;
  return true;
}

void cStaticElement::onPaint(cCanvas* c) {
  const int w = width(), h = height();
  if (!transparent()) {
    sRect all{0, 0, w, h};
    c->drawRect(&all, myBgColor, myFrameColor);
  }
  int tx = myImage ? myImage->width() + 8 : 3;
  const unsigned int colour = enabled() ? myTextColor : disabledTextColor(myTextColor);
  const char* t = text();
  if (t && *t) {
    c->setTextMode(myFont);
    c->setTextColors(colour, myBgColor);
    switch (myMode) {
      case tdmEllipsis: {
        int x = c->drawTextLimited(myTextMargin + tx, 1, w - 2 - tx - myTextMargin, h - 2, myAlign, transparent(),
                                   0, 0, t, -1, nullptr, false);
        if (x >= 0) tx = x - myTextMargin;
        break;
      }
      case tdmClipped: {
        sRect all{0, 0, w, h}, area{tx, 1, w - tx - 3, h - 2};
        c->clip(&all);
        c->unclip(&area);
        c->select();
        sSize s;
        if (c->textSize(t, -1, s)) {
          const int room = w - tx - 3, y = (h - s.cy) / 2;
          if (s.cx >= room) {
            c->drawText(tx, y, false, t, -1);
          } else if (myAlign == cCanvas::eAlignCenter) {
            c->drawText(myTextMargin + tx + (room - s.cx) / 2, y, transparent(), t, -1);
            tx += (room - s.cx) / 2;
          } else if (myAlign == cCanvas::eAlignRight) {
            c->drawText(w - 3 - s.cx - myTextMargin, y, transparent(), t, -1);
            tx = w - 3 - s.cx;
          } else {
            c->drawText(myTextMargin + tx, y, transparent(), t, -1);
          }
        }
        // The picture sits left of the text area, so it must stay drawable.
        c->unclip(&all);
        c->select();
        break;
      }
      case tdmWrapped:
        if (h >= 7 && w > tx + 3) {
          sSize drawn;
          c->drawTextWrapped(tx, 3, w - 3 - tx, h - 6, myAlign, t, drawn, transparent(), myLineFactor);
        }
        break;
    }
  }
  if (myImage) {
    sPoint at{tx - 5 - myImage->width(), (h + 1 - myImage->height()) / 2};
    c->drawTransparent(&at, myImage, nullptr);
  }
}
