#include "ciom/customform.h"

#include <algorithm>

#include "ciom/canvas.h"
#include "ciom/themeuse.h"

namespace {

constexpr int kTopDim = 0, kSideDim = 1, kBottomDim = 2;

int limited(int dim, int m) {
  return std::min(std::max(m, themeDim(dim, cCITheme::eMinimum)), themeDim(dim, cCITheme::eMaximum));
}

// Draws the picture at (x, y) stretched to w x h (-1: its own size).
void put(cCanvas* c, cPicture* p, int x, int y, int w = -1, int h = -1) { c->drawBitmap(x, y, p, w, h); }

void fill(cCanvas* c, int x, int y, int w, int h, unsigned int colour) {
  sRect r{x, y, w, h};
  c->drawRect(&r, colour, colour);
}

}  // namespace

bool cCustomForm::anchorPanel() {
  int side = themeDim(kSideDim);
  return anchor(&myPanel, side, myTopMargin, -(2 * side) - 1, -myBottomMargin - myTopMargin - 1);
}

bool cCustomForm::setTopMargin(int m) {
  myTopMargin = limited(kTopDim, m);
  return anchorPanel();
}

bool cCustomForm::setBottomMargin(int m) {
  myBottomMargin = limited(kBottomDim, m);
  return anchorPanel();
}

void cCustomForm::setCustomDraw(unsigned int flags, bool on) {
  if (on)
    myCustomDraw |= flags;
  else
    myCustomDraw &= ~flags;
}

void cCustomForm::onConstruct() {
  myTopMargin = themeDim(kTopDim);
  myBottomMargin = themeDim(kBottomDim);
  anchorPanel();
  myPanel.setBgColor(themeColor(0));
  setDefaultBackgroundColor(themeColor(0));
  notifyAction(new cChildAction(acChange));
}

bool cCustomForm::onAction(cChildElement* sender, cChildAction* a) {
  if (sender == this && a && a->code == acChange && onAfterConstruct()) return true;
  if (sender == myFormButtons && myFormButtons && a && a->code == cToolBarChild::acChange) {
    runDeed(deedOfButton(static_cast<cToolBarChild::cTbButtonAction*>(a)->id));
    return true;
  }
  return cChildElement::onAction(sender, a);
}

void cCustomForm::setFormButtons(cToolBarChild* bar, int acceptId, int cancelId) {
  myFormButtons = bar;
  myAcceptId = acceptId;
  myCancelId = cancelId;
}

cCustomForm::eFormDeed cCustomForm::deedOfKey(int key, bool shift, bool mod2, bool mod3) {
  if (shift || mod2 || mod3) return fdNone;
  return key == kcEscape ? fdCancel : key == kcEnter ? fdAccept : fdNone;
}

cCustomForm::eFormDeed cCustomForm::deedOfButton(int id) const {
  return id == myAcceptId ? fdAccept : id == myCancelId ? fdCancel : fdNone;
}

bool cCustomForm::runDeed(eFormDeed d) {
  return d == fdCancel ? onFormCancel() : d == fdAccept && onFormAccept();
}

bool cCustomForm::deedEnds(eFormDeed d) { return d == fdCancel ? cancelEnds() : d == fdAccept && acceptEnds(); }

bool cCustomForm::processKey(int key, bool shift, bool mod2, bool mod3) {
  if (runDeed(deedOfKey(key, shift, mod2, mod3))) return true;
  if (shift || mod2 || mod3) return cChildElement::processKey(key, shift, mod2, mod3);
  return cChildElement::processKey(key, false, false, false);
}

bool cCustomForm::endsOnKey(int key, bool shift, bool mod2, bool mod3) {
  return deedEnds(deedOfKey(key, shift, mod2, mod3));
}

bool cCustomForm::endsOnClick(int x, int y, int releaseX, int releaseY) {
  if (!myFormButtons) return false;
  int px = x, py = y;
  cChildElement* pressed = pressedAt(px, py);
  // A button clicks on a release inside it, wherever the pointer went meanwhile.
  if (!pressed || !pressed->inme(releaseX + px - x, releaseY + py - y)) return false;
  for (const int id : {myAcceptId, myCancelId})
    if (pressed == myFormButtons->findButton(id)) return deedEnds(deedOfButton(id));
  return false;
}

void cCustomForm::onPaint(cCanvas* c) { drawSkin(c, 0, 0); }

bool cCustomForm::onBackgroundRequest(cCanvas* c, sRect* r) {
  if (!c || !r) return false;
  drawSkin(c, -r->x, -r->y);
  return true;
}

void cCustomForm::onSizeChanged() {
  cChildElement::onSizeChanged();
  repaint(nullptr);
}

void cCustomForm::drawSkin(cCanvas* c, int ox, int oy) {
  if (!c) return;
  const int W = width(), H = height(), T = myTopMargin, B = myBottomMargin, S = themeDim(kSideDim);
  const unsigned int topFill = themeColor(1), bottomFill = themeColor(2), sideFill = themeColor(3);
  cPicture* pic[8];
  for (int i = 0; i < 8; ++i) pic[i] = themePict(i);

  int leftCornerH = T, rightCornerH = T;
  if (!(myCustomDraw & cdTop)) {
    int left = 0, topW = W;
    if (pic[0]) {
      put(c, pic[0], ox, oy);
      left = pic[0]->width();
      leftCornerH = pic[0]->height();
      topW = W - pic[0]->width();
    }
    if (pic[2]) {
      put(c, pic[2], ox + W - pic[2]->width(), oy);
      topW -= pic[2]->width();
      rightCornerH = pic[2]->height();
    }
    if (pic[1]) {
      put(c, pic[1], ox + left, oy, topW, pic[1]->height());
      if (pic[1]->height() < T) fill(c, ox + left, oy + pic[1]->height(), topW, T - pic[1]->height(), topFill);
    } else {
      fill(c, ox + left, oy, topW, T, topFill);
    }
  }

  int bottomLeft = 0, bottomW = W, rightBottomH = B;
  if (!(myCustomDraw & cdLeftAndBottomCorners)) {
    int leftBottomH = B;
    if (pic[5]) {
      put(c, pic[5], ox, oy + H - pic[5]->height());
      bottomLeft = pic[5]->width();
      bottomW = W - pic[5]->width();
      leftBottomH = pic[5]->height();
    }
    int L = H - leftCornerH - leftBottomH;
    if (pic[3]) {
      put(c, pic[3], ox, oy + leftCornerH, pic[3]->width(), L);
      if (pic[3]->width() < S) fill(c, ox + pic[3]->width(), oy + leftCornerH, S - pic[3]->width(), L, sideFill);
    } else {
      fill(c, ox, oy + leftCornerH, S, L, sideFill);
    }
    if (pic[7]) {
      put(c, pic[7], ox + W - pic[7]->width(), oy + H - pic[7]->height());
      bottomW -= pic[7]->width();
      rightBottomH = pic[7]->height();
    }
  }
  if (myCustomDraw & cdRightAndBottom) return;

  int R = H - rightCornerH - rightBottomH;
  if (pic[4]) {
    put(c, pic[4], ox + W - pic[4]->width(), oy + rightCornerH, pic[4]->width(), R);
    if (pic[4]->width() < S) fill(c, ox + W - S, oy + rightCornerH, S - pic[4]->width(), R, sideFill);
  } else {
    fill(c, ox + W - S, oy + rightCornerH, S, R, sideFill);
  }
  if (pic[6]) {
    put(c, pic[6], ox + bottomLeft, oy + H - pic[6]->height(), bottomW, pic[6]->height());
    if (pic[6]->height() < B) fill(c, ox + bottomLeft, oy + H - B, bottomW, B - pic[6]->height(), bottomFill);
  } else {
    fill(c, ox + bottomLeft, oy + H - B, bottomW, B, bottomFill);
  }
}
