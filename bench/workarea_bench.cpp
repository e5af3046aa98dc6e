// What a question for the work area costs beside 4,000 top-level windows of
// another program, against the same question beside none, on a desktop that
// names no work area, so that the panels' bands are what answers. Needs an
// X display without a window manager (xvfb-run works).
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "nslib/nswnd.h"

namespace {

constexpr int kWindows = 4000, kQuestions = 2000, kRuns = 3;

using tClock = std::chrono::steady_clock;

double msSince(tClock::time_point start) {
  return std::chrono::duration<double, std::milli>(tClock::now() - start).count();
}

// The best of a few runs of many questions, in microseconds a question.
double questionUs() {
  double best = 1e300;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = tClock::now();
    int x, y, w, h;
    for (int i = 0; i < kQuestions; ++i) nswnd_work_area(&x, &y, &w, &h);
    best = std::min(best, msSince(start) * 1000 / kQuestions);
  }
  return best;
}

// Shown windows of another program, one in a hundred a panel along the left.
std::vector<Window> showWindows(Display* d) {
  std::vector<Window> out;
  XSetWindowAttributes attrs{};
  attrs.override_redirect = True;
  const Atom strut = XInternAtom(d, "_NET_WM_STRUT", False);
  for (int i = 0; i < kWindows; ++i) {
    const Window w = XCreateWindow(d, DefaultRootWindow(d), i % 500, i / 500, 1, 1, 0, CopyFromParent, InputOnly,
                                   CopyFromParent, CWOverrideRedirect, &attrs);
    if (i % 100 == 0) {
      long band[4] = {20 + i / 100, 0, 0, 0};
      XChangeProperty(d, w, strut, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<unsigned char*>(band), 4);
    }
    XMapWindow(d, w);
    out.push_back(w);
  }
  XSync(d, False);
  return out;
}

}  // namespace

int main() {
  Display* peer = XOpenDisplay(nullptr);
  if (!nsapp() || !peer) {
    std::fprintf(stderr, "no X display\n");
    return 1;
  }
  int x, y, w, h;
  nswnd_work_area(&x, &y, &w, &h);
  const double none = questionUs();
  const std::vector<Window> shown = showWindows(peer);
  const auto first = tClock::now();
  nswnd_work_area(&x, &y, &w, &h);
  const double firstMs = msSince(first);
  const double many = questionUs();
  std::printf("work area beside them: %d, %d, %d x %d\n", x, y, w, h);
  std::printf("first question after %d windows came: %.2f ms\n", kWindows, firstMs);
  std::printf("question beside no windows: %.1f us\n", none);
  std::printf("question beside %d windows: %.1f us\n", kWindows, many);
  for (Window s : shown) XDestroyWindow(peer, s);
  XCloseDisplay(peer);
  std::printf("ratio question beside %d windows/beside none: %.2f\n", kWindows, many / none);
  return x == 20 + (kWindows - 1) / 100 ? 0 : 1;
}
