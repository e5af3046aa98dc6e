// What a window costs while nothing happens: the process's CPU time over
// five idle seconds inside the modal loop, against a bare Xlib wait for
// events over the same time. Needs an X display (xvfb-run works).
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "nslib/nswnd.h"

namespace {

constexpr auto kIdle = std::chrono::seconds(5);

double cpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int endOnWake(int code, void* record, void* param) {
  (void)record;
  if (code == nsweWakeUp) nswnd_modal_result(static_cast<cNSWndWrapper*>(*static_cast<void**>(param)), 1);
  return 0;
}

// Shows a window, lets it sit in its modal loop, then wakes it.
double windowIdleMs() {
  void* self = nullptr;
  cNSWndWrapper* w = nswnd_create_wnd(endOnWake, &self, "Idle", 320, 200, true, -1, -1);
  self = w;
  std::atomic<double> spent{0};
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let it map and paint
    double start = cpuMs();
    std::this_thread::sleep_for(kIdle);
    spent = cpuMs() - start;
    nswnd_notify_action(w);
  });
  nswnd_modal(w, nullptr);
  waker.join();
  nswnd_destroy(w);
  return spent;
}

// The same wait on a plain connection with one mapped window.
double bareIdleMs() {
  Display* d = XOpenDisplay(nullptr);
  Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 320, 200, 0, 0, 0);
  XSelectInput(d, w, ExposureMask | StructureNotifyMask);
  XMapWindow(d, w);
  XSync(d, False);
  std::atomic<bool> stop{false};
  std::atomic<double> spent{0};
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    double start = cpuMs();
    std::this_thread::sleep_for(kIdle);
    spent = cpuMs() - start;
    stop = true;
    Display* other = XOpenDisplay(nullptr);
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.format = 32;
    XSendEvent(other, w, False, NoEventMask, &ev);
    XCloseDisplay(other);
  });
  while (!stop) {
    XEvent ev;
    XNextEvent(d, &ev);
  }
  waker.join();
  XCloseDisplay(d);
  return spent;
}

}  // namespace

int main() {
  if (!nsapp()) {
    std::fprintf(stderr, "no X display\n");
    return 1;
  }
  double ours = windowIdleMs();
  double bare = bareIdleMs();
  double seconds = std::chrono::duration<double>(kIdle).count();
  std::printf("idle window cpu ms over %.0f s: %.2f\n", seconds, ours);
  std::printf("idle window cpu percent of one core: %.3f\n", ours / (seconds * 10));
  std::printf("bare Xlib wait cpu ms over %.0f s: %.2f\n", seconds, bare);
  // A small constant keeps the ratio finite when both waits cost nothing.
  std::printf("ratio idle cpu window/bare Xlib wait: %.2f\n", (ours + 0.1) / (bare + 0.1));
  return 0;
}
