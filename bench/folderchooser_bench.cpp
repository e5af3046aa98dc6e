// The folder chooser in a real window opening a folder of 150,000
// subfolders: the time to show them all, and the time from Escape to the
// chooser's end when Escape is sent from another display connection once
// the window has painted while the folder is still read or filled, early
// and half way into the fill; and the time from a key typed in the
// path field during the fill to the paint that follows its handling;
// against `ls -l` of the same folder in this run. Needs an X display
// (xvfb-run works).
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ciom/ciomlangs.h"
#include "ciom/customform.h"
#include "ciom/folderchoosedialog.h"
#include "ciplatform/nswmaker.h"
#include "ls_peer.h"

namespace {

constexpr int kFolders = 150000, kRuns = 3;
constexpr const char* kCaption = "folder chooser bench: chooser";
using tClock = std::chrono::steady_clock;

bool makeFolders(const std::string& dir, int count) {
  std::filesystem::create_directories(dir);
  for (int i = 0; i < count; ++i) {
    const unsigned int h = static_cast<unsigned int>(i) * 2654435761u;
    if (::mkdir((dir + "/d" + std::to_string(h % 1000003) + "_" + std::to_string(i)).c_str(), 0755) != 0)
      return false;
  }
  return true;
}

// What the chooser, the host and the thread that presses Escape share.
struct sShared {
  enum eMode { kFill, kEarly, kLate, kKeys };
  std::atomic<int> mode{kFill};
  std::atomic<bool> busyPainted{false}, filledPainted{false};
  std::atomic<long long> startedAt{0}, sentAt{0};  // steady clock ticks
  double fillMs = 1e300, escapeMs[4] = {1e300, 1e300, 1e300, 1e300};
  int endedDuringWalk = 0;
  // A key typed during the fill: when it was sent and when it was handled.
  std::atomic<long long> keySentAt{0}, keyHandledAt{0}, keyPaintedAt{0};
  std::vector<double> keyMs;  // key to the paint after it, main thread only
};

long long ticks() { return tClock::now().time_since_epoch().count(); }
double msSince(long long t) {
  return std::chrono::duration<double, std::milli>(tClock::now().time_since_epoch() - tClock::duration(t)).count();
}

// The chooser opens the big folder as the wizard's would, and says when it
// has painted while its walk is under way.
class cChooser : public cFolderChooseDialog {
 public:
  cChooser(std::string big, sShared& shared) : myBig(std::move(big)), myShared(shared) {}
  void onConstruct() override {
    cFolderChooseDialog::onConstruct();
    myShared.startedAt = ticks();
    navigate(myBig.c_str());
  }
  bool processChar(unsigned short ch, bool f1, bool f2, bool f3) override {
    if (myShared.keySentAt && !myShared.keyHandledAt) myShared.keyHandledAt = ticks();
    return cFolderChooseDialog::processChar(ch, f1, f2, f3);
  }
  void onPaint(cCanvas* c) override {
    cFolderChooseDialog::onPaint(c);
    if (myShared.keyHandledAt) {
      myShared.keyMs.push_back(msSince(myShared.keySentAt));
      myShared.keyHandledAt = 0;
      myShared.keyPaintedAt = ticks();
      myShared.keySentAt = 0;
    }
    if (walking()) {
      myShared.busyPainted = true;
    } else if ((myShared.mode == sShared::kFill || myShared.mode == sShared::kKeys) && !myShared.filledPainted) {
      if (myShared.mode == sShared::kFill) myShared.fillMs = std::min(myShared.fillMs, msSince(myShared.startedAt));
      myShared.filledPainted = true;
    }
  }
  // The chooser has answered once it takes Escape and ends; freeing its
  // rows afterwards is not timed.
  bool onFormCancel() override {
    const long long sent = myShared.sentAt.exchange(0);
    double& escape = myShared.escapeMs[myShared.mode];
    if (sent) escape = std::min(escape, msSince(sent));
    myShared.busyPainted = myShared.filledPainted = false;
    if (walking()) ++myShared.endedDuringWalk;
    return cFolderChooseDialog::onFormCancel();
  }

 private:
  std::string myBig;
  sShared& myShared;
};

// Runs the chooser kRuns times, each ended by the Escape sender.
class cHost : public cCustomForm {
 public:
  cHost(std::string big, sShared& shared) : myBig(std::move(big)), myShared(shared) {}
  bool onAfterConstruct() override {
    postAction(new cChildAction(kStep));
    return true;
  }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (sender != this || !a || a->code != kStep) return cCustomForm::onAction(sender, a);
    // Each kind of run kRuns times: left to fill, then Escape early, then
    // late, then left to fill with keys typed meanwhile.
    if (myRuns == 4 * kRuns) {
      end_modal(1);
      return true;
    }
    myShared.mode = myRuns++ / kRuns;
    modal(kCaption, 350, 450, new cChooser(myBig, myShared), true);
    myShared.sentAt = myShared.keySentAt = myShared.keyHandledAt = 0;
    myShared.busyPainted = myShared.filledPainted = false;
    postAction(new cChildAction(kStep));
    return true;
  }

 private:
  enum { kStep = 1000 };
  std::string myBig;
  sShared& myShared;
  int myRuns = 0;
};

Window captioned(Display* d, const char* caption) {
  Window root = 0, parent = 0, *children = nullptr, found = 0;
  unsigned int n = 0;
  if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) return 0;
  // The name is UTF-8, which XFetchName does not hand out.
  for (unsigned int i = 0; i < n && !found; ++i) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* name = nullptr;
    if (XGetWindowProperty(d, children[i], XA_WM_NAME, 0, 256, False, AnyPropertyType, &type, &format, &count,
                           &after, &name) == Success &&
        name) {
      if (format == 8 && std::string(reinterpret_cast<char*>(name), count) == caption) found = children[i];
      XFree(name);
    }
  }
  if (children) XFree(children);
  return found;
}

// Presses Escape in the chooser: once it has shown every row, once it has
// painted busy, or once it has painted busy and half the time a fill takes
// has gone: rows are laid in the fill's last part alone, which a later
// Escape could miss.
bool escapeDue(const sShared& shared) {
  if (shared.sentAt) return false;
  switch (shared.mode) {
    case sShared::kFill:
    case sShared::kKeys:
      return shared.filledPainted;
    case sShared::kEarly:
      return shared.busyPainted;
    case sShared::kLate:
      return shared.busyPainted && msSince(shared.startedAt) >= 0.5 * shared.fillMs;
  }
  return false;
}

void sendKey(Display* d, Window w, KeySym key) {
  for (int type : {KeyPress, KeyRelease}) {
    XEvent ev{};
    ev.xkey.type = type;
    ev.xkey.display = d;
    ev.xkey.window = w;
    ev.xkey.root = DefaultRootWindow(d);
    ev.xkey.keycode = XKeysymToKeycode(d, key);
    ev.xkey.same_screen = True;
    XSendEvent(d, w, True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &ev);
  }
  XFlush(d);
}

// Types a letter in the path field a while after the last one was painted,
// as a typist would, so that keys land at any moment of a slice.
bool keyDue(const sShared& shared) {
  constexpr double kTypingMs = 23;
  return shared.mode == sShared::kKeys && shared.busyPainted && !shared.filledPainted && !shared.keySentAt &&
         !shared.sentAt && msSince(shared.keyPaintedAt) >= kTypingMs;
}

void pressEscapes(sShared& shared, const std::atomic<bool>& done) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return;
  while (!done) {
    if (keyDue(shared)) {
      if (Window w = captioned(d, kCaption)) {
        shared.keySentAt = ticks();
        sendKey(d, w, XK_x);
      }
    }
    Window w = escapeDue(shared) ? captioned(d, kCaption) : 0;
    if (!w) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    shared.sentAt = ticks();
    sendKey(d, w, XK_Escape);
    while (!done && shared.sentAt) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  XCloseDisplay(d);
}

}  // namespace

int main() {
  char pattern[] = "/tmp/folderchooser_bench.XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string root = pattern;
  const std::string big = root + "/big";
  if (!makeFolders(big, kFolders)) {
    std::fprintf(stderr, "cannot fill %s\n", root.c_str());
    std::filesystem::remove_all(root);
    return 1;
  }
  double ls = 1e300;
  for (int i = 0; i < kRuns; ++i) ls = std::min(ls, bench::lsMs(big));

  cCIOMLang* texts = new cCIOMLang;
  cLibLang::ref(texts);
  cLibLang::applyLang(eLangENG);
  cNSWMaker maker;
  sShared shared;
  std::atomic<bool> done{false};
  std::thread escapes;
  bool shown = maker.create(nullptr, nullptr, 0);
  if (shown) {
    maker.langStore = &cLibLang::gCiomLang;
    escapes = std::thread(pressEscapes, std::ref(shared), std::cref(done));
    shown = maker.modal("folder chooser bench", 600, 500, new cHost(big, shared), nullptr, false) == 1;
  }
  done = true;
  if (escapes.joinable()) escapes.join();
  std::filesystem::remove_all(root);
  const double early = shared.escapeMs[sShared::kEarly], late = shared.escapeMs[sShared::kLate];
  std::vector<double>& keys = shared.keyMs;
  std::sort(keys.begin(), keys.end());
  if (!shown || ls <= 0 || shared.fillMs > 1e299 || early > 1e299 || late > 1e299 || keys.empty() ||
      shared.endedDuringWalk != 2 * kRuns) {
    std::fprintf(stderr, shown ? "Escape did not end every fill (%d of %d)\n" : "no X display\n",
                 shared.endedDuringWalk, 2 * kRuns);
    return 1;
  }
  std::printf("ls -l of %d folders: %.1f ms\n", kFolders, ls);
  std::printf("folder chooser: every row shown: %.1f ms, ratio to ls -l: %.3f\n", shared.fillMs, shared.fillMs / ls);
  std::printf("folder chooser: Escape early in the fill to the chooser's end: %.1f ms, ratio to ls -l: %.3f\n",
              early, early / ls);
  std::printf("folder chooser: Escape half way into the fill: %.1f ms, ratio to ls -l: %.3f\n", late,
              late / ls);
  const double median = keys[keys.size() / 2], tenth = keys[keys.size() * 9 / 10];
  std::printf("folder chooser: a key typed during the fill to its paint, %zu keys: worst %.1f ms, "
              "one in ten over %.1f ms, median %.1f ms\n",
              keys.size(), keys.back(), tenth, median);
  std::printf("folder chooser: ratio of the median key to paint to ls -l: %.3f\n", median / ls);
  return 0;
}
