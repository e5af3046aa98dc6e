#include <algorithm>
#include <climits>

#include "cihlpdoc/sidocbox.h"

namespace {

using tItem = _List<cPtr<cSiDocBox> >::sItem;

// Positions are worked out in 64 bits, so deep margins cannot wrap; what a
// child is handed is brought back into the canvas's int range.
int toInt(long long v) { return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX)); }

// One line of children: [first, end) and how it was ended.
struct sLine {
  tItem* first = nullptr;
  tItem* end = nullptr;
  int count = 0;
  long long pen = 0;  // the right edge of the last child, gaps and margins included
  int gaps = 0;
  bool allFit = true;
};

// A fill on the canvas, or kept in the plan when there is one.
void fillRect(cCanvas* canvas, tSiDocPlan* plan, const sRect& r, unsigned int colour) {
  if (plan) {
    sSiDocPlaced step;
    step.props.x = r.x;
    step.props.y = r.y;
    step.size = {r.width, r.height};
    step.colour = colour;
    plan->push_back(step);
    return;
  }
  sRect copy = r;
  canvas->drawRect(&copy, colour, colour);
}

// The margins of a child that shares its line take the line's background, so
// no stale pixels show between boxes.
void fillMargins(cCanvas* canvas, tSiDocPlan* plan, const cSiDocBox& box, long long pen, long long lineY,
                 sSize size, unsigned int colour) {
  const long long fullHeight = static_cast<long long>(box.marginTop) + size.cy + box.marginBottom;
  auto fill = [&](long long fx, long long fy, long long fw, long long fh) {
    if (fw <= 0 || fh <= 0) return;
    fillRect(canvas, plan, {toInt(fx), toInt(fy), toInt(fw), toInt(fh)}, colour);
  };
  fill(pen, lineY, box.marginLeft, fullHeight);
  fill(pen + box.marginLeft, lineY, size.cx, box.marginTop);
  fill(pen + box.marginLeft + size.cx, lineY, box.marginRight, fullHeight);
  fill(pen + box.marginLeft, lineY + box.marginTop + size.cy, size.cx, box.marginBottom);
}

// A child drawn, or placed in the plan when there is one.
void paint(cSiDocBox& box, cCanvas* canvas, const sSiDocDrawProps& props, sSize& size, tSiDocPlan* plan) {
  if (plan)
    box.place(canvas, props, size, *plan);
  else
    box.draw(canvas, props, size);
}

}  // namespace

bool cSiDocContainer::addChild(cSiDocBox* child) {
  if (!child) return false;
  children.add()->value = child;
  return true;
}

bool cSiDocContainer::wantsSize(cCanvas* canvas, const sSiDocDrawProps& props, sSize& wanted) {
  if (fixedSize()) {
    wanted = {width, height};
    return true;
  }
  return layout(canvas, props, wanted, false, nullptr);
}

bool cSiDocContainer::draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) {
  return layout(canvas, props, drawn, true, nullptr);
}

bool cSiDocContainer::place(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn, tSiDocPlan& plan) {
  return layout(canvas, props, drawn, true, &plan);
}

bool cSiDocContainer::layout(cCanvas* canvas, const sSiDocDrawProps& props, sSize& out, bool drawing,
                             tSiDocPlan* plan) {
  out = {0, 0};
  if (align < eLeft || align > eJustify) return false;
  const long long x = props.x, y = props.y;
  long long right = width > 0 ? x + width : INT_MAX;
  long long bottom = height > 0 ? y + height : INT_MAX;
  if (props.right >= 0 && props.right < right) right = props.right;
  if (props.bottom >= 0 && props.bottom < bottom) bottom = props.bottom;
  right -= marginRight;
  bottom -= marginBottom;

  if (!children.head) {
    out = {std::max(width, 0), std::max(height, 0)};
    if (drawing && canvas && fixedSize() && bgColor != kSiDocNoColor)
      fillRect(canvas, plan, {props.x, props.y, width, height}, bgColor);
    return false;
  }
  if (!canvas) return false;

  sSiDocDrawProps child = props;
  child.lineStart = false;
  child.font = font ? font : props.font;
  child.bgColor = background(props);
  child.textColor = textColor != kSiDocNoColor ? textColor : props.textColor;
  child.right = toInt(right);
  child.bottom = toInt(bottom);
  canvas->setTextMode(child.font);
  sSize space;
  canvas->textSize(" ", 1, space);

  long long lineY = y, contentWidth = 0;
  for (tItem* next = children.head; next;) {
    // Which children share the line: up to a break, or to the first one that
    // does not fit; the first one always stays, however wide.
    sLine line;
    line.first = next;
    line.pen = x;
    bool prevText = false;
    for (tItem* it = next; it; it = it->next) {
      cSiDocBox* box = it->value.ptr;
      if (it != line.first && box->lineBreak) break;
      sSiDocDrawProps measureProps = child;
      measureProps.x = toInt(line.pen + box->marginLeft);
      measureProps.y = toInt(y);
      measureProps.right = toInt(right - box->marginRight);
      measureProps.lineStart = it == line.first;
      sSize size;
      box->wantsSize(canvas, measureProps, size);
      box->measured = size;
      long long advance = static_cast<long long>(box->marginLeft) + size.cx + box->marginRight;
      const bool gap = prevText && box->hasText();
      if (gap) advance += space.cx;
      if (it != line.first && line.pen + advance > right) {
        line.allFit = false;
        break;
      }
      line.pen += advance;
      line.gaps += gap;
      ++line.count;
      line.end = it->next;
      prevText = box->hasText();
    }
    next = line.end;

    long long start = x;
    double gapWidth = space.cx;
    if (align == eRight) start = right - (line.pen - x);
    if (align == eCentre) start = x + (right - line.pen) / 2;
    // Only a line that something pushed out is stretched: the last line of a
    // paragraph keeps its natural gaps.
    if (align == eJustify && !line.allFit && line.gaps > 0)
      gapWidth = space.cx + static_cast<double>(right - line.pen) / line.gaps;

    if (line.count == 1) {
      cSiDocBox* box = line.first->value.ptr;
      child.x = toInt(start + box->marginLeft);
      child.y = toInt(lineY + box->marginTop);
      sSize size = box->measured;
      if (drawing) paint(*box, canvas, child, size, plan);
      lineY += box->marginTop + size.cy;
      contentWidth = std::max<long long>(contentWidth, size.cx);
      continue;
    }

    long long pen = start, lineHeight = 0;
    prevText = false;
    for (tItem* it = line.first; it != line.end; it = it->next) {
      cSiDocBox* box = it->value.ptr;
      const bool gap = prevText && box->hasText();
      const long long bx = static_cast<long long>(pen + box->marginLeft + (gap ? gapWidth : 0));
      child.x = toInt(bx);
      child.y = toInt(lineY + box->marginTop);
      sSize size = box->measured;
      if (drawing) {
        paint(*box, canvas, child, size, plan);
        fillMargins(canvas, plan, *box, pen, lineY, size, child.bgColor);
      }
      pen = bx + size.cx + box->marginRight;
      lineHeight = std::max<long long>(lineHeight,
                                       static_cast<long long>(box->marginTop) + size.cy + box->marginBottom);
      contentWidth = std::max(contentWidth, pen - x);
      prevText = box->hasText();
    }
    lineY += lineHeight;
  }
  out.cx = width > 0 ? width : toInt(contentWidth);
  out.cy = height > 0 ? height : toInt(lineY - y);
  return true;
}
