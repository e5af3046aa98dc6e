// One entry of a menu-like list: what the popup menu shows for an id, and
// what the toolbar's overflow hands it.
#pragma once

#include "base/guardchar.h"

struct sActiveElementItem {
  _guardchar<char> text;  // UTF-8, may be null
  _guardchar<char> hint;
  void* association = nullptr;  // the caller's, never touched
  int picture = -1;             // index into the caller's pictures; negative for none
  int height = 0;               // 0 or less: measured
};
