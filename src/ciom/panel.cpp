#include "ciom/panel.h"

#include "ciom/canvas.h"
#include "ciom/fontobject.h"
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

namespace {
template <typename T>
void store(cChildElement* e, T& field, T value, bool repaint) {
  if (field == value) return;
  field = value;
  if (repaint) e->repaint(nullptr);
}
}  // namespace

void cPanelChild::setXAlign(eXAlign a, bool repaint) { store(this, myXAlign, a, repaint); }
void cPanelChild::setYAlign(eYAlign a, bool repaint) { store(this, myYAlign, a, repaint); }
void cPanelChild::setXMargin(int m, bool repaint) { store(this, myXMargin, m, repaint); }
void cPanelChild::setYMargin(int m, bool repaint) { store(this, myYMargin, m, repaint); }

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
