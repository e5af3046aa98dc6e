#include "cihlpdoc/sidocbox.h"

bool cSiDocImage::wantsSize(cCanvas*, const sSiDocDrawProps&, sSize& wanted) {
  if (fixedSize()) {
    wanted = {width, height};
    return true;
  }
  wanted = {0, 0};
  if (!picture) return false;
  wanted = {width > 0 ? width : picture->width(), height > 0 ? height : picture->height()};
  return true;
}

bool cSiDocImage::fit(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) {
  drawn = {0, 0};
  if (!canvas || !picture || !picture->raw() || picture->width() < 1 || picture->height() < 1 ||
      props.right == 0 || props.bottom == 0)
    return false;
  int w = width > 0 ? width : picture->width();
  int h = height > 0 ? height : picture->height();
  if (props.right >= 0 && static_cast<long long>(props.x) + w > props.right) w = props.right - props.x;
  if (props.bottom >= 0 && static_cast<long long>(props.y) + h > props.bottom) h = props.bottom - props.y;
  if (w <= 0 || h <= 0) return false;
  drawn = {w, h};
  return placement == eScaled || placement == eNatural;
}

bool cSiDocImage::draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) {
  if (!fit(canvas, props, drawn)) return false;
  const int w = drawn.cx, h = drawn.cy;
  if (placement == eScaled) return canvas->drawBitmap(props.x, props.y, picture, w, h);

  const int pw = picture->width(), ph = picture->height();
  if (w < pw || h < ph) {
    // The picture keeps its natural size; only the part inside the box shows.
    sRect whole{props.x, props.y, pw, ph};
    sRect box{props.x, props.y, w, h};
    canvas->clip(&whole);
    canvas->unclip(&box);
    canvas->select();
    canvas->drawBitmap(props.x, props.y, picture, -1, -1);
    canvas->unclip(&whole);
    canvas->select();
  } else {
    canvas->drawBitmap(props.x, props.y, picture, -1, -1);
  }
  const unsigned int bg = background(props);
  if (w > pw) {
    sRect strip{props.x + pw, props.y, w - pw, h};
    canvas->drawRect(&strip, bg, bg);
  }
  if (h > ph) {
    sRect strip{props.x, props.y + ph, w, h - ph};
    canvas->drawRect(&strip, bg, bg);
  }
  return true;
}

bool cSiDocImageLink::draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) {
  if (!cSiDocImage::draw(canvas, props, drawn)) return false;
  if (props.active && ref) props.active->setActive(ref, props.x, props.y, drawn.cx, drawn.cy);
  return true;
}
