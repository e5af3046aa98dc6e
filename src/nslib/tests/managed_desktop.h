// A desktop of one test's own, as users have it: a virtual X server of the
// size asked, a window manager (openbox) that frames the program's windows,
// and a panel that keeps a band of the screen for itself; or a manager that
// draws no frames and says nothing of them; or none. The servers live as
// long as the test process, and die with it.
#pragma once

#include "nslib/tests/x11_driver.h"
// The driver header brings gtest and Xlib in the order they need.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "nslib/nswnd.h"

class cManagedDesktop {
 public:
  // A screen of width by height with a panel `panel` pixels tall along the
  // top edge. Check ready() before using it; why() tells what is missing.
  cManagedDesktop(int width, int height, int panel) {
    if (!start(width, height, "openbox")) return;
    showPanel(width, panel);
    if (!spawn({"openbox", "--sm-disable"})) {
      myWhy = "openbox did not start";
      return;
    }
    // The manager is up once it has worked the panel out of the work area.
    if (!waitFor([&] { return workArea().size() == 4 && workArea()[1] == panel; })) {
      myWhy = "openbox did not announce a work area without the panel";
      return;
    }
    myReady = true;
  }
  // The frameless manager: it maps and moves windows as they ask, on its
  // own connection, and takes none in a frame.
  struct sFrameless {};
  cManagedDesktop(int width, int height, sFrameless) {
    if (!start(width, height, nullptr)) return;
    XSelectInput(myPeer, DefaultRootWindow(myPeer), SubstructureRedirectMask);
    XSync(myPeer, False);
    myManager = std::thread([this] {
      XEvent ev;
      while (!myStop) {
        if (!XPending(myPeer)) {
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
          continue;
        }
        XNextEvent(myPeer, &ev);
        if (ev.type == MapRequest) {
          XMapWindow(myPeer, ev.xmaprequest.window);
        } else if (ev.type == ConfigureRequest) {
          const XConfigureRequestEvent& c = ev.xconfigurerequest;
          XWindowChanges to{c.x, c.y, c.width, c.height, c.border_width, c.above, c.detail};
          XConfigureWindow(myPeer, c.window, static_cast<unsigned>(c.value_mask), &to);
        }
        XFlush(myPeer);
      }
    });
    myReady = true;
  }
  // A bare server: no manager at all.
  struct sBare {};
  cManagedDesktop(int width, int height, sBare) { myReady = start(width, height, nullptr); }
  ~cManagedDesktop() {
    myStop = true;
    if (myManager.joinable()) myManager.join();
    if (myPeer) XCloseDisplay(myPeer);
  }

  bool ready() const { return myReady; }
  const std::string& why() const { return myWhy; }

  // The root window's _NET_WORKAREA: x, y, width, height.
  std::vector<long> workArea() {
    std::vector<long> out;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(myPeer, DefaultRootWindow(myPeer), XInternAtom(myPeer, "_NET_WORKAREA", False), 0, 4,
                           False, XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
        data && format == 32 && count >= 4)
      out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + 4);
    if (data) XFree(data);
    return out;
  }

 private:
  Display* myPeer = nullptr;
  bool myReady = false;
  std::string myWhy;
  std::thread myManager;
  std::atomic<bool> myStop{false};

  // Starts the server, makes it the window layer's and opens the peer.
  bool start(int width, int height, const char* manager) {
    for (const char* tool : {"Xvfb", manager})
      if (tool && !onPath(tool)) {
        myWhy = std::string(tool) + " is not installed (./test installs it from tools/packages/platform-x11.txt)";
        return false;
      }
    const std::string display = startServer(width, height);
    if (display.empty()) return false;
    setenv("DISPLAY", display.c_str(), 1);
    // The window layer opens its display once per process: another test
    // of this process may have opened the shared one already.
    if (!nsapp() || DisplayString(nsapp()->display) != display) {
      myWhy = "the window layer speaks to another display: run this test in a process of its own";
      return false;
    }
    myPeer = XOpenDisplay(display.c_str());
    if (!myPeer) myWhy = "cannot open " + display;
    return myPeer != nullptr;
  }

  static bool onPath(const char* tool) {
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "/usr/bin:/bin";
    while (!rest.empty()) {
      const size_t colon = rest.find(':');
      const std::string dir = rest.substr(0, colon);
      if (!dir.empty() && access((dir + "/" + tool).c_str(), X_OK) == 0) return true;
      rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    return false;
  }

  static bool waitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  // A child that ends when this process does, its output dropped; `keep`
  // is a descriptor it inherits.
  static pid_t spawn(const std::vector<std::string>& argv, int keep = -1) {
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid < 0 ? 0 : pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int null = open("/dev/null", O_RDWR);
    for (int fd : {0, 1, 2}) dup2(null, fd);
    for (int fd = 3; fd < 1024; ++fd)
      if (fd != keep) close(fd);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }

  // Starts Xvfb on a free display and answers its name (":N"), or "".
  std::string startServer(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) {
      myWhy = "no pipe";
      return "";
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const pid_t pid =
        spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp"}, fds[1]);
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (pid && poll(&p, 1, 30000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) myWhy = "Xvfb did not start";
    return number.empty() ? "" : ":" + number;
  }

  // A dock along the top edge that asks the manager to keep its band free.
  void showPanel(int width, int panel) {
    Display* d = myPeer;
    XSetWindowAttributes attrs{};
    attrs.background_pixel = 0x303840;
    Window w = XCreateWindow(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(width),
                             static_cast<unsigned>(panel), 0, CopyFromParent, InputOutput, CopyFromParent, CWBackPixel,
                             &attrs);
    Atom dock = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&dock), 1);
    long strut[12] = {0, 0, panel, 0, 0, 0, 0, 0, 0, width - 1, 0, 0};
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(strut), 12);
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_STRUT", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(strut), 4);
    XMapWindow(d, w);
    XSync(d, False);
  }
};
