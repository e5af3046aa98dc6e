#include "ciom/checkbox.h"

#include "ciom/themeuse.h"

void cCheckBoxChild::onInitData() {
  cStaticElement::onInitData();
  myChecked = false;
  setImage();
}

void cCheckBoxChild::setImage() { showCheck(myFocused); }

void cCheckBoxChild::showCheck(bool focused) {
  int n;
  if (enabled())
    n = focused ? (myChecked ? 33 : 32) : (myChecked ? 31 : 30);
  else
    n = myChecked ? 35 : 34;
  cStaticElement::setImage(themePict(n), true);
}

void cCheckBoxChild::setChecked(bool on, bool notify) {
  if (on == myChecked) return;
  myChecked = on;
  setImage();
  if (notify) notifyAction(new cChildAction(acDefault));
}

void cCheckBoxChild::onMouseButton(int, int, int button, bool down) {
  if (button == mbLeft && !down) setChecked(!myChecked, true);
}

void cCheckBoxChild::onKey(int key, bool, bool, bool) {
  if (key == kcSpace) setChecked(!myChecked, true);
}

void cCheckBoxChild::onSetFocus(bool, bool) { setImage(); }
// The focus flag is still set while the loss is reported.
void cCheckBoxChild::onLooseFocus(bool, bool) { showCheck(false); }
void cCheckBoxChild::onEnableChanged(bool) { setImage(); }
