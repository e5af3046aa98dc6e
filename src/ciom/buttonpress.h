// The click logic that every push button shares: a left press captures the
// pointer and a release inside clicks; Space and Enter click at once. A
// click notifies the default action to the parents.
#pragma once

#include "ciom/child.h"

struct sButtonPress {
  bool hovered = false;
  bool pressed = false;

  void mouse(cChildElement* e, int x, int y, int button, bool down);
  bool key(cChildElement* e, int key);
  void hover(cChildElement* e, bool on);
};
