// A path cut into the segments a navigation bar shows as buttons: "/" for
// the root, then one per component, each remembering the path up to it.
#pragma once

#include "base/btree.h"
#include "base/guardchar.h"

struct sNaviSegment {
  _guardchar<char> label;
  _guardchar<char> path;
};

// Keyed by button id from 1; the bar's button 0 is the folder icon. Runs of
// "/" count as one separator, and the path kept for a segment is the
// caller's own prefix, so a click reopens exactly what was typed.
void splitNavigationPath(const char* path, bool showRootSlash,
                         cFasterTreeList<int, sNaviSegment>& out);
void clearNavigationSegments(cFasterTreeList<int, sNaviSegment>& segments);

// One wake-up of the progress animator's clock (every 40th 5 ms sleep):
// true with the value to post once the clock passes a quarter. The first
// value is exactly 0.0, which the bar reads as "start"; the rest approach 1
// without reaching it, since 1.0 means "stop". A negative clock is idle.
bool stepFakeNavigationProgress(double& t, double& post);
