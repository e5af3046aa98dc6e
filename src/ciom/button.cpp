#include "ciom/button.h"

#include <algorithm>

#include "ciom/fontobject.h"
#include "ciom/setters.h"
#include "ciom/themeuse.h"

namespace {

void line(cCanvas* c, unsigned int colour, int x1, int y1, int x2, int y2) {
  c->setLineMode(colour, 1);
  sPoint a{x1, y1}, b{x2, y2};
  c->drawLine(&a, &b);
}

void fill(cCanvas* c, int x, int y, int w, int h, unsigned int colour) {
  sRect r{x, y, w, h};
  c->drawRect(&r, colour, colour);
}

// Each channel half-way to mid grey, truncating towards zero as the
// disabled fill of a filled button asks.
unsigned int halfGrey(unsigned int c) {
  unsigned int out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    int v = static_cast<int>(c >> shift & 0xFF);
    out |= static_cast<unsigned int>((v - 128) / 2 + 128) << shift;
  }
  return out;
}

cFontObject* measuringFont(cChildElement* el, cFontObject* font) {
  return font ? font : el->createFont(5, 13, _glbalStdFont(), false, false, false);
}

bool hasText(const char* t) { return t && *t; }


}  // namespace

void cButtonChild::onInitData() {
  cChildElement::onInitData();
  myPress = sButtonPress{};
  myFont = stdFont();
  myAlign = cCanvas::eAlignLeft;
  myBorder = bs3DFramed;
  myStyle = dsSideBySide;
  myBgColor = themeColor(14);
  myDsbBgColor = 0xFFFFFFFF;
  myRequiredWidth = myRequiredHeight = -1;
  const int borders[5][2] = {{53, 54}, {55, 56}, {57, 58}, {57, 58}, {59, 60}};
  for (int s = 0; s < 5; ++s) {
    myBorderLight[s] = themeColor(borders[s][0]);
    myBorderDark[s] = themeColor(borders[s][1]);
    myTextColor[s] = themeColor(s == bsDisabled ? 5 : 4);
  }
}

cButtonChild::eButtonStates cButtonChild::state() {
  if (!enabled()) return bsDisabled;
  if (myPress.pressed) return bsPressed;
  if (myPress.hovered) return bsHovered;
  return myFocused ? bsFocused : bsNormal;
}

void cButtonChild::setText(const char* text) {
  cChildElement::setText(text, -1, false);
  myRequiredWidth = -1;
  repaint(nullptr);
}

void cButtonChild::setAlign(cCanvas::eTextAlign a, bool repaint) { storeChanged(this, myAlign, a, repaint); }
void cButtonChild::setBorder(eBorderStyle b, bool repaint) { storeChanged(this, myBorder, b, repaint); }
void cButtonChild::setBgColor(unsigned int c, bool repaint) { storeChanged(this, myBgColor, c, repaint); }
void cButtonChild::setDsbBgColor(unsigned int c, bool repaint) { storeChanged(this, myDsbBgColor, c, repaint); }
void cButtonChild::setDsbTextColor(unsigned int c, bool repaint) {
  storeChanged(this, myTextColor[bsDisabled], c, repaint);
}

void cButtonChild::setStyle(eDispStyle s, bool repaint) {
  if (s == myStyle) return;
  myStyle = s;
  myRequiredWidth = myRequiredHeight = -1;
  if (repaint) this->repaint(nullptr);
}

void cButtonChild::setFont(cFontObject* font) {
  if (font == myFont) return;
  myFont = font;
  myRequiredWidth = -1;
  repaint(nullptr);
}

void cButtonChild::setTextColor(unsigned int c, bool repaint) {
  if (myTextColor[0] == c) return;
  std::fill(myTextColor, myTextColor + 4, c);
  if (repaint) this->repaint(nullptr);
}

void cButtonChild::setTextColor(eButtonStates s, unsigned int c, bool repaint) {
  if (s >= 0 && s < 5) storeChanged(this, myTextColor[s], c, repaint);
}

void cButtonChild::setBorderColors(eButtonStates s, unsigned int light, unsigned int dark) {
  if (s < 0 || s >= 5) return;
  if (light != 0xFFFFFFFF) myBorderLight[s] = light;
  if (dark != 0xFFFFFFFF) myBorderDark[s] = dark;
}

cChildPicture& cButtonChild::image(eButtonStates s) {
  switch (s) {
    case bsDisabled: return myPictures[3];
    case bsPressed: return myPictures[2];
    case bsFocused:
    case bsHovered: return myPictures[1];
    default: return myPictures[0];
  }
}

cPicture* cButtonChild::forDraw(eButtonStates s) {
  cPicture* normal = myPictures[0].image();
  switch (s) {
    case bsDisabled: return myPictures[3].image() ? myPictures[3].image() : normal;
    case bsPressed:
      if (myPictures[2].image()) return myPictures[2].image();
      return myPictures[1].image() ? myPictures[1].image() : normal;
    case bsFocused:
    case bsHovered: return myPictures[1].image() ? myPictures[1].image() : normal;
    default: return normal;
  }
}

void cButtonChild::refStateBackImage(eButtonStates s, cPicture* p) {
  if (cPicture** slot = myBackImages.insert(s)) *slot = p;
}

cPicture* cButtonChild::stateBackImage(eButtonStates s) {
  if (cPicture** p = myBackImages.find(s); p && *p) return *p;
  return s >= 0 && s < 5 ? themePict(23 + s) : nullptr;
}

int cButtonChild::requiredWidth(cChildElement* el, const char* text, cPicture* pict, eDispStyle style,
                                cFontObject* font) {
  int w = 5;
  if (pict && style == dsSideBySide) w = pict->width() + (hasText(text) ? 11 : 6);
  sSize s;
  if (el && text && el->sizeOf(text, s, measuringFont(el, font))) w += s.cx;
  w += 5;
  if (style == dsStacked && pict) w = std::max(w, pict->width() + 6);
  return w;
}

int cButtonChild::requiredHeight(cChildElement* el, const char* text, cPicture* pict, eDispStyle style,
                                 cFontObject* font) {
  const int ph = pict ? pict->height() : 0;
  int th = 0;
  sSize s;
  if (el && hasText(text) && el->sizeOf(text, s, measuringFont(el, font))) th = s.cy;
  if (style == dsStacked) return th + ph + 6 + (pict && hasText(text) ? 2 : 0);
  if (style == dsSideBySide) return std::max(th, ph) + 6;
  return 0;
}

int cButtonChild::requiredWidth() {
  if (myRequiredWidth < 0) myRequiredWidth = requiredWidth(this, text(), myPictures[0].image(), myStyle, myFont);
  return myRequiredWidth;
}

int cButtonChild::requiredHeight() {
  if (myRequiredHeight < 0)
    myRequiredHeight = requiredHeight(this, text(), myPictures[0].image(), myStyle, myFont);
  return myRequiredHeight;
}

void cButtonChild::paintFrame(cCanvas* c, eButtonStates s, int w, int h) {
  const unsigned int light = myBorderLight[s], dark = myBorderDark[s];
  auto outer = [&](unsigned int topLeft) {
    line(c, topLeft, 0, 0, w, 0);
    line(c, topLeft, 0, 0, 0, h);
    line(c, dark, w - 1, h - 1, 0, h - 1);
    line(c, dark, w - 1, h - 1, w - 1, 0);
  };
  auto back = [&](int inset) { c->drawBitmap(inset, inset, stateBackImage(s), w - 2 * inset, h - 2 * inset); };
  const bool idle = s == bsNormal || s == bsDisabled;
  switch (myBorder) {
    case bs3DFramed: {
      outer(light);
      const unsigned int inner = themeColor(52);
      line(c, inner, 1, 1, w - 1, 1);
      line(c, inner, 1, 1, 1, h - 1);
      line(c, inner, w - 2, h - 2, 1, h - 2);
      line(c, inner, w - 2, h - 2, w - 2, 1);
      back(2);
      break;
    }
    case bsPicture: back(0); break;
    case bsDarkFrame:
      outer(dark);
      back(1);
      break;
    case bs3D:
      outer(light);
      back(1);
      break;
    case bs3DFilled:
      outer(light);
      if (s == bsNormal)
        fill(c, 1, 1, w - 2, h - 2, myBgColor);
      else if (s == bsDisabled)
        fill(c, 1, 1, w - 2, h - 2, myDsbBgColor != 0xFFFFFFFF ? myDsbBgColor : halfGrey(myBgColor));
      else
        back(1);
      break;
    case bsFlatHover:
      if (idle) {
        fill(c, 0, 0, w, h, myBgColor);
      } else {
        outer(light);
        back(1);
      }
      break;
    case bsFlat: fill(c, 0, 0, w, h, myBgColor); break;
  }
}

void cButtonChild::onPaint(cCanvas* c) {
  const int w = width(), h = height();
  const eButtonStates s = state();
  const int down = myPress.pressed ? 1 : 0;
  if (!(s == bsNormal || s == bsDisabled) || !transparent()) paintFrame(c, s, w, h);

  cPicture* p = forDraw(s);
  const int pw = p ? p->width() : 0, ph = p ? p->height() : 0;
  if (p && myBorder == bsFlat) {
    sPoint at{(w - pw) / 2, (h - ph) / 2 + down};
    c->drawTransparent(&at, p, nullptr);
  }
  if (myFont) myFont->apply(c);
  c->setTextColors(myTextColor[enabled() ? s : bsDisabled], 0);

  int textX = -1;
  sSize size;
  const char* t = text();
  if (hasText(t) && c->textSize(t, -1, size)) {
    int tx = 3, ty = 3;
    if (myStyle == dsSideBySide) {
      tx = p ? pw + 8 : 3;
      ty = (h - size.cy) / 2;
    } else if (myStyle == dsStacked) {
      ty = p ? ph + 5 : 3;
    }
    textX = c->drawTextLimited(2, ty + down, w - 4, size.cy, myAlign, true, tx, 3, t, -1, nullptr, false);
  }
  if (!p || myBorder == bsFlat) return;
  int x = 0, y = 0;
  if (myStyle == dsSideBySide) {
    x = ((textX >= 0 ? textX : w) - pw) / 2;
    y = (h - ph) / 2;
  } else if (myStyle == dsStacked) {
    y = textX >= 0 ? 3 : (h - ph) / 2;
    x = myAlign == cCanvas::eAlignCenter ? (w - pw) / 2 : myAlign == cCanvas::eAlignRight ? w - 3 - pw : 3;
  }
  y += down;
  sRect all{0, 0, w, h}, column{x, 2, pw, h - 4};
  c->clip(&all);
  c->unclip(&column);
  sPoint at{x, y};
  c->drawTransparent(&at, p, nullptr);
  c->unclip(&all);
}

void cButtonChild::onMouseButton(int x, int y, int button, bool down) { myPress.mouse(this, x, y, button, down); }
void cButtonChild::onKey(int key, bool, bool, bool) { myPress.key(this, key); }

void cButtonChild::onMouseOver() {
  cChildElement::onMouseOver();
  myPress.hover(this, true);
}

void cButtonChild::onMouseLeft() {
  cChildElement::onMouseLeft();
  myPress.hover(this, false);
}

void cButtonChild::onSetFocus(bool, bool) {
  if (enabled()) repaint(nullptr);
}

void cButtonChild::onLooseFocus(bool, bool) {
  if (enabled()) repaint(nullptr);
}
