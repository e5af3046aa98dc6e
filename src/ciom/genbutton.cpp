#include "ciom/genbutton.h"

#include "ciom/setters.h"

void cGenButtonChild::onInitData() {
  cChildElement::onInitData();
  myPress = sButtonPress{};
  myActivated = false;
}

void cGenButtonChild::setActivated(bool on, bool repaint) { storeChanged(this, myActivated, on, repaint); }

void cGenButtonChild::onMouseButton(int x, int y, int button, bool down) {
  if (!myActivated) myPress.mouse(this, x, y, button, down);
}

void cGenButtonChild::onKey(int key, bool, bool, bool) {
  if (!myActivated) myPress.key(this, key);
}

void cGenButtonChild::onMouseOver() {
  cChildElement::onMouseOver();
  myPress.hover(this, true);
}

void cGenButtonChild::onMouseLeft() {
  cChildElement::onMouseLeft();
  myPress.hover(this, false);
}
