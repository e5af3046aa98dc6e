// The base of buttons that draw themselves: it keeps only the hover, press
// and activated flags and the click logic. An activated button ignores
// clicks and keys.
#pragma once

#include "ciom/buttonpress.h"

class cGenButtonChild : public cChildElement {
 public:
  void setActivated(bool on, bool repaint);
  bool activated() const { return myActivated; }
  bool hovered() const { return myPress.hovered; }
  bool pressed() const { return myPress.pressed; }

  void onInitData() override;
  bool wantTabStop() override { return true; }
  bool wantFullRepaint() override { return true; }
  void onMouseButton(int x, int y, int button, bool down) override;
  void onKey(int key, bool shift, bool mod2, bool mod3) override;
  void onMouseOver() override;
  void onMouseLeft() override;

 private:
  sButtonPress myPress;
  bool myActivated = false;
};
