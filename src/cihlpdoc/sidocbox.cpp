#include "cihlpdoc/sidocbox.h"

namespace {

// Lines get 7 % more than the glyphs' own height, so rows of text do not touch.
int lineHeightOf(int textHeight) { return static_cast<int>(textHeight * 1.07 + 0.5); }

}  // namespace

void cSiDocBox::setMargins(int left, int top, int right, int bottom) {
  if (left >= 0) marginLeft = left;
  if (top >= 0) marginTop = top;
  if (right >= 0) marginRight = right;
  if (bottom >= 0) marginBottom = bottom;
}

void cSiDocBox::setWidth(int w) {
  if (w > 0 || w == -1) width = w;
}

void cSiDocBox::setHeight(int h) {
  if (h > 0 || h == -1) height = h;
}

void cSiDocText::measure(cCanvas* canvas, const sSiDocDrawProps& props, sSize& out, sSize& textOnly) {
  canvas->setTextMode(font ? font : props.font);
  sSize space;
  canvas->textSize(" ", 1, space);
  out = {0, lineHeightOf(space.cy)};
  textOnly = {0, 0};
  if (hasText() && canvas->textSize(text.ptr, -1, textOnly)) out = {textOnly.cx, lineHeightOf(textOnly.cy)};
  if (width > 0) out.cx = width;
  if (height > 0) out.cy = height;
}

bool cSiDocText::wantsSize(cCanvas* canvas, const sSiDocDrawProps& props, sSize& wanted) {
  if (fixedSize()) {
    wanted = {width, height};
    return true;
  }
  wanted = {0, 0};
  if (!canvas) return false;
  sSize textOnly;
  measure(canvas, props, wanted, textOnly);
  return true;
}

bool cSiDocText::draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) {
  drawn = {0, 0};
  if (!canvas) return false;
  sSize textOnly;
  measure(canvas, props, drawn, textOnly);
  if (!hasText() || props.right == 0 || props.bottom == 0) return false;
  // A word wider than the room left is cut at the limit, never drawn past it.
  if (props.right >= 0 && static_cast<long long>(props.x) + drawn.cx > props.right)
    drawn.cx = props.right - props.x;
  if (props.bottom >= 0 && static_cast<long long>(props.y) + drawn.cy > props.bottom)
    drawn.cy = props.bottom - props.y;
  if (drawn.cx <= 0 || drawn.cy <= 0) return false;

  const unsigned int bg = background(props);
  canvas->setTextColors(textColor != kSiDocNoColor ? textColor : props.textColor, bg);
  sRect box{props.x, props.y, drawn.cx, drawn.cy};
  if (drawn.cx > textOnly.cx || drawn.cy > textOnly.cy) {
    sRect glyphs{props.x, props.y, textOnly.cx, textOnly.cy};
    canvas->clip(&glyphs);
    canvas->select();
    canvas->drawRect(&box, bg, bg);
    canvas->unclip(&glyphs);
    canvas->select();
  }
  canvas->drawTextLimited(box.x, box.y, box.width, box.height, cCanvas::eAlignLeft, false, 0, 0, text.ptr, -1,
                          nullptr, false);
  return true;
}

bool cSiDocLink::draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) {
  if (!cSiDocText::draw(canvas, props, drawn)) return false;
  if (props.active && ref) props.active->setActive(ref, props.x, props.y, drawn.cx, drawn.cy);
  return true;
}
