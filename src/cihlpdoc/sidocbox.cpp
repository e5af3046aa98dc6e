#include "cihlpdoc/sidocbox.h"

#include <algorithm>
#include <climits>
#include <new>

#include "base/textconv.h"

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

bool cSiDocBox::place(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn, tSiDocPlan& plan) {
  if (!fit(canvas, props, drawn)) return false;
  sSiDocPlaced step;
  step.box = this;
  step.props = props;
  // Link areas are reported now, in the document's own coordinates.
  step.props.active = nullptr;
  step.size = drawn;
  plan.push_back(step);
  if (props.active && linkTarget()) props.active->setActive(linkTarget(), props.x, props.y, drawn.cx, drawn.cy);
  return true;
}

void cSiDocText::measure(cCanvas* canvas, const sSiDocDrawProps& props, sSize& out, sSize& textOnly) {
  cFontObject* f = font ? font : props.font;
  canvas->setTextMode(f);
  if (!f || f != myMeasuredWith) {
    myGlyphs = {0, 0};
    if (hasText() && canvas->textSize(text.ptr, -1, myGlyphs)) {
      myLine = {myGlyphs.cx, lineHeightOf(myGlyphs.cy)};
    } else {
      // Only a run without measurable text takes its height from a space.
      myGlyphs = {0, 0};
      sSize space;
      canvas->textSize(" ", 1, space);
      myLine = {0, lineHeightOf(space.cy)};
    }
    myMeasuredWith = f;
  }
  out = myLine;
  textOnly = myGlyphs;
  if (broken(f)) {
    // The whole room, so that nothing else starts beside the broken run.
    out = {myPiecesRoom, static_cast<int>(std::min<long long>(static_cast<long long>(myLine.cy) *
                                                                   static_cast<long long>(myPieces.size()),
                                                               INT_MAX))};
    textOnly = out;
  }
  if (width > 0) out.cx = width;
  if (height > 0) out.cy = height;
}

void cSiDocText::forget() {
  myMeasuredWith = myWrappedWith = nullptr;
  myWrapped = false;
  myPieces.clear();
}

bool cSiDocText::wrap(cCanvas* canvas, cFontObject* f, int room) {
  if (f && f == myWrappedWith && room == myPiecesRoom && !myPieces.empty()) return true;
  myPieces.clear();
  myWrappedWith = nullptr;
  const long long units = _pc2w(text.ptr, -1, myWide);
  if (units <= 0 || !myWide.ptr) return false;
  std::vector<int> edges;
  try {
    edges.assign(static_cast<size_t>(units), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!canvas->textRuler(myWide.ptr, units, edges.data())) return false;
  auto lowSurrogate = [&](long long i) { return i < units && myWide.ptr[i] >= 0xDC00 && myWide.ptr[i] <= 0xDFFF; };
  for (long long start = 0; start < units;) {
    const long long base = start ? edges[static_cast<size_t>(start - 1)] : 0;
    long long end = start + 1;
    while (end < units && edges[static_cast<size_t>(end)] - base <= room) ++end;
    // A line holds at least one character, and never half of a pair.
    if (lowSurrogate(end)) end += end - 1 == start ? 1 : -1;
    // The ruler adds up single characters; the line as drawn may be wider.
    sSize piece;
    while (canvas->textSize(myWide.ptr + start, end - start, piece) && piece.cx > room) {
      long long shorter = end - 1;
      if (lowSurrogate(shorter)) --shorter;
      if (shorter <= start) break;
      end = shorter;
    }
    myPieces.push_back(start);
    start = end;
  }
  myPiecesRoom = room;
  myWrappedWith = f;
  return true;
}

bool cSiDocText::broken(cFontObject* f) const { return myWrapped && f == myWrappedWith; }

bool cSiDocText::wantsSize(cCanvas* canvas, const sSiDocDrawProps& props, sSize& wanted) {
  myWrapped = false;
  if (fixedSize()) {
    wanted = {width, height};
    return true;
  }
  wanted = {0, 0};
  if (!canvas) return false;
  sSize textOnly;
  measure(canvas, props, wanted, textOnly);
  // A word wider than a whole line (an address, a long path) goes on over
  // as many lines as it needs instead of losing its end.
  const long long room = static_cast<long long>(props.right) - props.x;
  cFontObject* f = font ? font : props.font;
  if (props.lineStart && width <= 0 && hasText() && props.right >= 0 && room > 0 && textOnly.cx > room &&
      wrap(canvas, f, static_cast<int>(room))) {
    myWrapped = true;
    measure(canvas, props, wanted, textOnly);
  }
  return true;
}

bool cSiDocText::fitText(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn, sSize& textOnly) {
  drawn = textOnly = {0, 0};
  if (!canvas) return false;
  measure(canvas, props, drawn, textOnly);
  if (!hasText() || props.right == 0 || props.bottom == 0) return false;
  // A word wider than the room left is cut at the limit, never drawn past it.
  if (props.right >= 0 && static_cast<long long>(props.x) + drawn.cx > props.right)
    drawn.cx = props.right - props.x;
  if (props.bottom >= 0 && static_cast<long long>(props.y) + drawn.cy > props.bottom)
    drawn.cy = props.bottom - props.y;
  return drawn.cx > 0 && drawn.cy > 0;
}

bool cSiDocText::fit(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) {
  sSize textOnly;
  return fitText(canvas, props, drawn, textOnly);
}

bool cSiDocText::draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) {
  sSize textOnly;
  if (!fitText(canvas, props, drawn, textOnly)) return false;
  const unsigned int bg = background(props);
  canvas->setTextColors(textColor != kSiDocNoColor ? textColor : props.textColor, bg);
  sRect box{props.x, props.y, drawn.cx, drawn.cy};
  if (broken(font ? font : props.font)) {
    canvas->drawRect(&box, bg, bg);
    const long long units = static_cast<long long>(myWide.count);
    long long y = props.y;
    for (size_t i = 0; i < myPieces.size() && y < static_cast<long long>(box.y) + box.height; ++i) {
      const long long end = i + 1 < myPieces.size() ? myPieces[i + 1] : units;
      const int h = static_cast<int>(std::min<long long>(myLine.cy, box.y + static_cast<long long>(box.height) - y));
      canvas->drawTextLimited(box.x, static_cast<int>(y), box.width, h, cCanvas::eAlignLeft, false, 0, 0,
                              myWide.ptr + myPieces[i], end - myPieces[i], nullptr, false);
      y += myLine.cy;
    }
    return true;
  }
  // The box around the glyphs (below them at least: a line is taller than
  // its glyphs) takes the background as two strips, right and below.
  const int gw = std::min(textOnly.cx, box.width), gh = std::min(textOnly.cy, box.height);
  sRect right{box.x + gw, box.y, box.width - gw, box.height}, below{box.x, box.y + gh, gw, box.height - gh};
  if (right.width > 0) canvas->drawRect(&right, bg, bg);
  if (below.height > 0 && below.width > 0) canvas->drawRect(&below, bg, bg);
  // A run that is not cut goes where drawTextLimited would put it, without
  // being measured once more: documents are drawn one word at a time.
  if (textOnly.cx <= box.width)
    canvas->drawText(box.x, box.y + (box.height - textOnly.cy) / 2, false, text.ptr, -1);
  else
    canvas->drawTextLimited(box.x, box.y, box.width, box.height, cCanvas::eAlignLeft, false, 0, 0, text.ptr, -1,
                            nullptr, false);
  return true;
}

bool cSiDocLink::draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) {
  if (!cSiDocText::draw(canvas, props, drawn)) return false;
  if (props.active && ref) props.active->setActive(ref, props.x, props.y, drawn.cx, drawn.cy);
  return true;
}
