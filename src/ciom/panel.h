// The plain container: a filled, framed area with an optional line of its
// own text. Children painted over it take its colour as their background.
#pragma once

#include "ciom/child.h"

class cPanelChild : public cChildElement {
 public:
  enum eXAlign : int { xaLeft = 0, xaRight = 1, xaCenter = 2 };
  enum eYAlign : int { yaTop = 0, yaBottom = 1, yaCenter = 2 };

  cPanelChild();

  // Both only store; the caller repaints.
  void setBgColor(unsigned int c) { myBgColor = c; }
  void setBorderColor(unsigned int c) { myBorderColor = c; }
  unsigned int bgColor() const { return myBgColor; }
  void setXAlign(eXAlign a, bool repaint);
  void setYAlign(eYAlign a, bool repaint);
  void setXMargin(int m, bool repaint);
  void setYMargin(int m, bool repaint);

  void onInitData() override;
  void onPaint(cCanvas* c) override;
  bool onBackgroundRequest(cCanvas* c, sRect* r) override;

 private:
  unsigned int myBgColor;
  unsigned int myBorderColor = 0xFFFFFFFF;  // the background colour
  int myYMargin = 0, myXMargin = 0;
  eXAlign myXAlign = xaCenter;
  eYAlign myYAlign = yaCenter;
};
