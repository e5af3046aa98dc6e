#include "ciom/canvas.h"

#include <algorithm>

bool cCanvas::inDrawArea(sRect* r) {
  if (!r) return false;
  return r->x <= width() && r->y <= height() && static_cast<long long>(r->x) + r->width >= 0 &&
         static_cast<long long>(r->y) + r->height >= 0;
}

// Only the part of the target that lands on the canvas is resized, so a huge
// zoom of a small visible corner costs what the corner costs. Rows are taken
// from the top of the picture, the way it is held in memory, so a picture
// cut at the top or at the bottom still shows upright.
bool cCanvas::drawBitmapResized(cPicture* p, int w, int h, int x, int y, cPicture::eResizeMethod m) {
  if (!p || !p->raw() || p->width() < 1 || p->height() < 1 || w < 1 || h < 1) return false;
  long long left = std::max(x, 0),
            right = std::min(static_cast<long long>(x) + w, static_cast<long long>(width()));
  long long top = std::max(y, 0),
            bottom = std::min(static_cast<long long>(y) + h, static_cast<long long>(height()));
  if (right <= left || bottom <= top) return false;
  int drawnW = static_cast<int>(right - left), drawnH = static_cast<int>(bottom - top);

  int pw = p->width(), ph = p->height();
  int sx = std::min(static_cast<int>(static_cast<double>(left - x) * pw / w + 0.5), pw - 1);
  int sy = std::min(static_cast<int>(static_cast<double>(top - y) * ph / h + 0.5), ph - 1);
  int srcW = std::clamp(static_cast<int>(static_cast<double>(drawnW) / w * pw + 0.5), 1, pw - sx);
  int srcH = std::clamp(static_cast<int>(static_cast<double>(drawnH) / h * ph + 0.5), 1, ph - sy);

  sRect part{sx, sy, srcW, srcH};
  cPicture visible, resized;
  if (!p->subPictTo(part, &visible) || !visible.resizing(m, drawnW, drawnH, &resized)) return false;
  return drawBitmap(static_cast<int>(left), static_cast<int>(top), &resized, drawnW, drawnH);
}
