#include "ciom/panel.h"

#include "ciom/canvas.h"
#include "ciom/fontobject.h"
#include "ciom/setters.h"
#include "ciom/themeuse.h"

cPanelChild::cPanelChild() : myBgColor(themeColor(0)) {}

void cPanelChild::onInitData() {
  cChildElement::onInitData();
  myBgColor = themeColor(0);
  myBorderColor = 0xFFFFFFFF;
  myXMargin = myYMargin = 0;
  myXAlign = xaCenter;
  myYAlign = yaCenter;
}


void cPanelChild::setXAlign(eXAlign a, bool repaint) { storeChanged(this, myXAlign, a, repaint); }
void cPanelChild::setYAlign(eYAlign a, bool repaint) { storeChanged(this, myYAlign, a, repaint); }
void cPanelChild::setXMargin(int m, bool repaint) { storeChanged(this, myXMargin, m, repaint); }
void cPanelChild::setYMargin(int m, bool repaint) { storeChanged(this, myYMargin, m, repaint); }

void cPanelChild::onPaint(cCanvas* c) {
  int w = width(), h = height();
  sRect all{0, 0, w, h};
  c->drawRect(&all, myBgColor, myBorderColor == 0xFFFFFFFF ? myBgColor : myBorderColor);
  const char* t = text();
  sSize size;
  if (!t || !*t) return;
  // A child's canvas starts without a font.
  if (cFontObject* f = stdFont()) f->apply(c);
  if (!c->textSize(t, -1, size)) return;
  int x = myXAlign == xaLeft ? myXMargin
          : myXAlign == xaRight ? w - size.cx - myXMargin
          : myXAlign == xaCenter ? (w - size.cx) / 2 + myXMargin
                                 : 0;
  int y = myYAlign == yaTop ? myYMargin
          : myYAlign == yaBottom ? h - size.cy - myYMargin
          : myYAlign == yaCenter ? (h - size.cy) / 2 + myYMargin
                                 : 0;
  c->setTextColors(themeColor(4), myBgColor);
  c->drawText(x, y, false, t, -1);
}

bool cPanelChild::onBackgroundRequest(cCanvas* c, sRect*) {
  if (!c) return false;
  sRect all{0, 0, c->width(), c->height()};
  c->drawRect(&all, myBgColor, myBgColor);
  return true;
}
