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

// A picture's word as 0x00BBGGRR, the way colours are given to the canvas.
inline unsigned int colourOf(unsigned int p) { return (p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF); }

inline unsigned int pixelAt(cCrbOffscreenCanvas& c, int x, int y) {
  cPicture one;
  sRect r{x, y, 1, 1};
  return c.snapshot(&one, &r) ? colourOf(one.raw()[0]) : 0xDEADBEEF;
}

// Every opaque pixel of the picture, drawn at its own size at (x, y); the
// number compared.
inline int expectPicture(cCrbOffscreenCanvas& c, const cPicture* p, int x, int y) {
  int compared = 0;
  for (int py = 0; p && py < p->height(); ++py)
    for (int px = 0; px < p->width(); ++px) {
      const unsigned int v = p->raw()[py * p->width() + px];
      if (v >> 24 != 0xFF) continue;
      EXPECT_EQ(pixelAt(c, x + px, y + py), colourOf(v)) << "at " << x + px << "," << y + py;
      ++compared;
    }
  return compared;
}
