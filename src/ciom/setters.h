// The setters of the controls store only a changed value and repaint the
// element when the caller asks.
#pragma once

#include "ciom/child.h"

template <typename T>
void storeChanged(cChildElement* e, T& field, T value, bool repaint) {
  if (field == value) return;
  field = value;
  if (repaint) e->repaint(nullptr);
}
