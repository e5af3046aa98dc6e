// Helpers of the platform tests: an offscreen canvas that is already made,
// and pixel reads in the toolkit's colour words.
#pragma once

#include <gtest/gtest.h>

#include "ciplatform/crbcanvas.h"

// A white canvas of w x h.
inline void makeWhite(cCrbOffscreenCanvas& c, int w, int h) {
  ASSERT_TRUE(c.create(w, h));
  sRect all{0, 0, w, h};
  c.drawRect(&all, 0xFFFFFF, 0xFFFFFF);
}

// The pixel as 0x00BBGGRR, the way colours are given to the canvas.
inline unsigned int pixelAt(cCrbOffscreenCanvas& c, int x, int y) {
  cPicture one;
  sRect r{x, y, 1, 1};
  if (!c.snapshot(&one, &r)) return 0xDEADBEEF;
  unsigned int p = one.raw()[0];
  return (p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF);
}
