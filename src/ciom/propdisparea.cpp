#include "ciom/propdisparea.h"

#include <cstring>

#include "ciom/canvas.h"
#include "ciom/themeuse.h"

namespace {
constexpr int kMargin = 5, kRightReserve = 25, kBaseHeight = 10;
constexpr double kLineFactor = 1.2;

// The first `len` bytes of `s`, or fewer where the string ends first.
void copyUpTo(_guardchar<char>& out, const char* s, int len) {
  if (!s) {
    out.set(static_cast<const char*>(nullptr));
    return;
  }
  const size_t n = len < 0 ? std::strlen(s) : strnlen(s, static_cast<size_t>(len));
  out.set(s, static_cast<long long>(n));
}
}  // namespace

void cPropDispAreaChild::onInitData() {
  cScrollableElement::onInitData();
  myFrame = themeColor(44);
  myBackground = themeColor(45);
  myTextColor = themeColor(4);
}

void cPropDispAreaChild::setText(const char* title, int titleLen, const char* text, int textLen) {
  copyUpTo(myTitle, title, titleLen);
  copyUpTo(myText, text ? text : "", textLen);
  repaint(nullptr);
}

void cPropDispAreaChild::setColorSchema(unsigned int frame, unsigned int background, unsigned int text) {
  myFrame = frame;
  myBackground = background;
  myTextColor = text;
  repaint(nullptr);
}

void cPropDispAreaChild::onPaintArea(cCanvas* c) {
  if (!c) return;
  const int w = width(), h = height(), s = shiftY(), b = myBorderWidth;
  sRect all{0, 0, w, h};
  sRect inner;
  clientRect(&inner);
  inner = {inner.x + b, inner.y + b, inner.width - 2 * b, inner.height - 2 * b};
  c->clip(&all);
  c->unclip(&inner);
  c->select();
  if (!transparent()) {
    sSize virt{w, h};
    virtualSize(&virt);
    sRect back{0, -s, virt.cx, virt.cy};
    c->drawRect(&back, myBackground, myBackground);
  }
  c->setTextColors(myTextColor, myBackground);
  int total = kBaseHeight, y0 = 0;
  if (myTitle.ptr && *myTitle.ptr) {
    c->setTextMode(myTitleFont ? myTitleFont : stdFontBold());
    sSize drawn{0, 0};
    c->drawTextWrapped(kMargin, kMargin - s, w - kRightReserve, 32767, cCanvas::eAlignLeft, myTitle.ptr,
                       drawn, true, kLineFactor);
    total = drawn.cy + kBaseHeight + myExtraSpacing;
    y0 = drawn.cy + myExtraSpacing;
  }
  if (myText.ptr && *myText.ptr) {
    c->setTextMode(myTextFont ? myTextFont : stdFont());
    sSize drawn{0, 0};
    c->drawTextWrapped(kMargin, y0 + kMargin - s, w - kRightReserve, 2147483647, cCanvas::eAlignJustify,
                       myText.ptr, drawn, true, kLineFactor);
    total += drawn.cy;
  }
  if (total != minVisualHeight()) notifyAction(new cPropDispResizeAction(total));
  c->unclip(&all);
  c->select();
  if (!transparent()) {
    c->setLineMode(myFrame, 1);
    sPoint corners[] = {{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}, {0, 0}};
    for (int i = 0; i < 4; ++i) c->drawLine(&corners[i], &corners[i + 1]);
  }
}
