#include "ciom/navigationpath.h"

#include <cmath>

void clearNavigationSegments(cFasterTreeList<int, sNaviSegment>& segments) {
  while (segments.root) segments.dettach(segments.root);
}

void splitNavigationPath(const char* path, bool showRootSlash,
                         cFasterTreeList<int, sNaviSegment>& out) {
  clearNavigationSegments(out);
  if (!path) return;
  const char* p = path;
  int id = 1;
  if (*p == '/') {
    if (showRootSlash) {
      sNaviSegment* root = out.insert(id);
      root->label.set("/");
      root->path.set("/");
    }
    while (*p == '/') ++p;
    id = 2;
  }
  while (*p) {
    const char* end = p;
    while (*end && *end != '/') ++end;
    sNaviSegment* seg = out.insert(id++);
    seg->label.set(p, end - p);
    seg->path.set(path, end - path);
    p = end;
    while (*p == '/') ++p;
  }
}

bool stepFakeNavigationProgress(double& t, double& post) {
  if (t < 0) return false;
  bool posted = false;
  if (t >= 0.25) {
    post = 0.6366197723675814 * std::atan(t - 0.25);
    posted = true;
  }
  t += 0.05;
  return posted;
}
