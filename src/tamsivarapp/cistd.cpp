#include "tamsivarapp/cistd.h"

#include <algorithm>

#include "ciom/canvas.h"

namespace {

cFontObject* stdFace(int w, int h, bool bold, bool underline) {
  return cFontObject::get(w, h, _glbalStdFont(), bold, underline, false);
}

// The margin on either side of a selection button's text; the accent bar
// starts after the left one.
constexpr int kSelMargin = 19;
constexpr int kSelTop = 4;
constexpr unsigned int kWhite = 0xFFFFFF;
constexpr unsigned int kSelLine = 0xEBEBEB;

}  // namespace

cFontObject* mkTitleFont() { return stdFace(10, 24, false, false); }
cFontObject* mkWizTitleFont() { return stdFace(8, 20, false, false); }
cFontObject* mkStdFont() { return stdFace(5, 13, false, false); }
cFontObject* mkBtnFont(bool underline) { return stdFace(6, 14, true, underline); }
cFontObject* mkBtnPassFont() { return stdFace(5, 14, false, false); }
cFontObject* mkSelectHdrFont() { return stdFace(6, 17, false, false); }

unsigned int mixColors(unsigned int a, int wa, unsigned int b, int wb) {
  unsigned int out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const unsigned int ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
    out |= ((ca * wa / 255 + cb * wb / 255) & 0xFF) << shift;
  }
  return out;
}

void cWZIButton::setColorSchema(unsigned int text, unsigned int face, unsigned int frame,
                                unsigned int highlight) {
  myText = text;
  myFace = face;
  myFrame = frame;
  myHighlight = highlight;
}

void cWZIButton::onInitData() {
  cGenButtonChild::onInitData();
  setColorSchema(0x655654, 0xE7E7E7, 0xA79997, 0xFFFFFF);
}

void cWZIButton::onPaint(cCanvas* c) {
  const int w = width(), h = height();
  const char* t = text();
  cFontObject* font = mkBtnFont(false);
  sRect box{0, 0, 0, 0};
  bool hasBox = false;
  if (t && *t && font) {
    font->apply(c);
    sSize size;
    if (c->textSize(t, -1, size)) {
      const int dx = (w - size.cx) / 2, dy = (h - size.cy) / 2;
      box = {dx < -1 ? 0 : dx, dy < -1 ? 0 : dy, std::min(size.cx, w), std::min(size.cy, h)};
      hasBox = true;
    }
  }

  unsigned int face = myFace, textColor = myText;
  if (!enabled()) {
    face = mixColors(myHighlight, 96, myFace, 159);
    textColor = mixColors(face, 128, myText, 127);
  } else if (pressed()) {
    face = mixColors(myHighlight, 192, myFace, 63);
  } else if (hovered()) {
    face = mixColors(myHighlight, 96, myFace, 159);
  }

  // The text is drawn on a face that was left untouched under it.
  if (hasBox) {
    c->clip(&box);
    c->select();
  }
  sRect all{0, 0, w, h};
  c->drawRect(&all, face, myFrame);
  if (!hasBox) return;
  c->unclip(&box);
  c->select();
  font->apply(c);
  c->setTextColors(textColor, face);
  c->drawText(box.x, box.y, false, t, -1);
}

int cWZISelButton::requiredWidth(cChildElement* e, const char* text, cFontObject* font) {
  sSize size;
  if (!e || !text || !font || !e->sizeOf(text, size, font)) return 0;
  return size.cx + 2 * kSelMargin;
}

int cWZISelButton::requiredWidth() { return requiredWidth(this, text(), myFont); }

void cWZISelButton::onInitData() {
  cGenButtonChild::onInitData();
  myFont = stdFace(6, 17, false, false);
  if (!myFont) myFont = stdFace(5, 13, false, false);
}

void cWZISelButton::onPaint(cCanvas* c) {
  const int w = width(), h = height();
  if (w < 2 * kSelMargin || h < 24) return;
  const unsigned int accent = activated() ? 0x5C5CDA : (hovered() || pressed()) ? 0xA29389 : 0x9A8A7E;

  const char* t = text() ? text() : "";
  sSize size{0, 0};
  if (myFont) myFont->apply(c);
  c->textSize(t, -1, size);
  const bool fits = size.cx <= w - 2 * kSelMargin;
  sRect box{fits ? (w - size.cx) / 2 : kSelMargin, (h - kSelTop - size.cy) / 2 + kSelTop,
            fits ? size.cx : w - 2 * kSelMargin, size.cy};

  c->clip(&box);
  c->select();
  sRect body{0, kSelTop, w, h - kSelTop};
  c->drawRect(&body, kWhite, kWhite);
  sRect line{0, kSelTop - 1, w, 1};
  c->drawRect(&line, kSelLine, kSelLine);
  if (!activated()) {
    sRect top{0, 0, w, kSelTop - 1};
    c->drawRect(&top, kWhite, kWhite);
  } else {
    sRect left{0, 0, kSelMargin, kSelTop - 1};
    sRect bar{kSelMargin, 0, box.width, kSelTop - 1};
    sRect right{kSelMargin + box.width, 0, kSelMargin, kSelTop - 1};
    c->drawRect(&left, kWhite, kWhite);
    c->drawRect(&bar, accent, accent);
    c->drawRect(&right, kWhite, kWhite);
  }
  c->unclip(&box);
  c->select();
  if (myFont) myFont->apply(c);
  c->setTextColors(accent, kWhite);
  if (fits)
    c->drawText(box.x, box.y, false, t, -1);
  else
    c->drawTextLimited(box.x, box.y, box.width, box.height, cCanvas::eAlignLeft, false, 0, 0, t, -1, nullptr,
                       true);
}

void cWZISelButton::onMouseMoving(int, int) {
  changePointerReq(activated() ? mptArrow : mptHand);
}
