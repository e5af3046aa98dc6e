#include "ciom/buttonpress.h"

void sButtonPress::mouse(cChildElement* e, int x, int y, int button, bool down) {
  if (!e->enabled() || button != cChildElement::mbLeft) return;
  if (down) {
    pressed = true;
    e->repaint(nullptr);
    e->capturePointer(false);
  } else if (pressed) {
    pressed = false;
    e->repaint(nullptr);
    e->releasePointer();
    if (e->inme(x, y)) e->notifyAction(new cChildElement::cChildAction(cChildElement::acDefault));
  }
}

bool sButtonPress::key(cChildElement* e, int key) {
  if (!e->enabled() || (key != cChildElement::kcSpace && key != cChildElement::kcEnter)) return false;
  pressed = true;
  e->repaint(nullptr);
  e->notifyAction(new cChildElement::cChildAction(cChildElement::acDefault));
  pressed = false;
  e->repaint(nullptr);
  return true;
}

void sButtonPress::hover(cChildElement* e, bool on) {
  hovered = on;
  if (e->enabled()) e->repaint(nullptr);
}
