// A label whose picture is the theme's check mark for its state; a click or
// Space toggles it and notifies the default action.
#pragma once

#include "ciom/staticelement.h"

class cCheckBoxChild : public cStaticElement {
 public:
  bool checked() const { return myChecked; }
  void setChecked(bool on, bool notify);

  // Shows the check picture of the current state.
  virtual void setImage();
  // The picture of a check box cannot be replaced.
  virtual void setImage(cPicture*) {}
  using cStaticElement::setImage;

  void onInitData() override;
  bool wantTabStop() override { return true; }
  bool wantAcceptFoucs() override { return true; }
  void onMouseButton(int x, int y, int button, bool down) override;
  void onKey(int key, bool shift, bool mod2, bool mod3) override;
  void onSetFocus(bool f1, bool f2) override;
  void onLooseFocus(bool f1, bool f2) override;
  void onEnableChanged(bool on) override;

 private:
  void showCheck(bool focused);

  bool myChecked = false;
};
