// Integer pixel geometry of the toolkit, origin at the top left.
#pragma once

struct sRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// Right and bottom are inclusive where an element names an area of itself.
struct sArea {
  int left = 0, top = 0, right = 0, bottom = 0;
};

struct sPoint {
  int x = 0, y = 0;
};

struct sSize {
  int cx = 0, cy = 0;
};
