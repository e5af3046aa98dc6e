// Programs on the other end of the clipboard that do not behave: an owner
// that trickles its value, readers that stop asking or die, a server that
// takes small requests. Limits about time are made short here; no test
// depends on the machine being fast.
#include "x11_driver.h"
// After gtest, which x11_driver.h brings in first.
#include "nslib/nswnd_clip.h"

using namespace nstest;
using namespace std::chrono_literals;

namespace {

// The clipboard's limits for one test, put back after it.
struct cLimits {
  sNSClipLimits saved = nswnd_clip_limits();
  cLimits() = default;
  cLimits(const cLimits&) = delete;
  ~cLimits() { nswnd_clip_limits() = saved; }
  sNSClipLimits* operator->() { return &nswnd_clip_limits(); }
};

std::vector<unsigned short> asciiUnits(size_t n) {
  std::vector<unsigned short> u(n);
  for (size_t i = 0; i < n; ++i) u[i] = static_cast<unsigned short>('a' + i % 26);
  return u;
}

// Another program reading our clipboard's text into its property.
struct cReader {
  cPeer p;
  Window w = XCreateSimpleWindow(p.d, p.root(), 0, 0, 1, 1, 0, 0, 0);
  Atom prop = XInternAtom(p.d, "PEER_DATA", False);
  std::vector<size_t> pieces;  // sizes of the pieces taken, the notice's excluded
  std::string data;

  cReader() { XSelectInput(p.d, w, PropertyChangeMask); }

  void ask() {
    XConvertSelection(p.d, XInternAtom(p.d, "CLIPBOARD", False), XInternAtom(p.d, "UTF8_STRING", False), prop, w,
                      CurrentTime);
    XSync(p.d, False);
  }
  template <typename Pred>
  bool waitEvent(int type, XEvent* ev, Pred pred) {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < end) {
      while (XCheckTypedWindowEvent(p.d, w, type, ev))
        if (pred(*ev)) return true;
      std::this_thread::sleep_for(2ms);
    }
    return false;
  }
  // The property's type and bytes, deleted when `take`; None when missing.
  Atom read(std::string* out, bool take) {
    Atom type = None;
    int format;
    unsigned long count, after;
    unsigned char* bytes = nullptr;
    XGetWindowProperty(p.d, w, prop, 0, 1 << 24, take, AnyPropertyType, &type, &format, &count, &after, &bytes);
    if (bytes && format == 8) out->assign(reinterpret_cast<char*>(bytes), count);
    if (bytes) XFree(bytes);
    XSync(p.d, False);
    return type;
  }
  // Takes the answer and at most `most` pieces (all when negative); the
  // last piece taken is left on the property when the reader stops early.
  bool take(int most) {
    XEvent ev;
    if (!waitEvent(SelectionNotify, &ev, [](const XEvent&) { return true; }) || ev.xselection.property == None)
      return false;
    std::string piece;
    if (read(&piece, true) != XInternAtom(p.d, "INCR", False)) {
      data = piece;
      return true;
    }
    for (int n = 0; most < 0 || n < most;) {
      if (!waitEvent(PropertyNotify, &ev,
                     [&](const XEvent& e) { return e.xproperty.state == PropertyNewValue && e.xproperty.atom == prop; }))
        return false;
      const bool last = most >= 0 && n + 1 == most;
      if (read(&piece, !last) == None) continue;  // a notice of a piece already taken
      if (piece.empty()) return true;
      pieces.push_back(piece.size());
      data += piece;
      ++n;
    }
    return true;
  }
};

// An owner with an INCR value that sends one byte per piece, `pace` apart.
class cTrickleOwner {
 public:
  explicit cTrickleOwner(std::chrono::milliseconds pace, int pieces)
      : thread_([this, pace, pieces] {
          Atom clip = XInternAtom(p_.d, "CLIPBOARD", False);
          Window w = XCreateSimpleWindow(p_.d, p_.root(), 0, 0, 1, 1, 0, 0, 0);
          XSetSelectionOwner(p_.d, clip, w, CurrentTime);
          XSync(p_.d, False);
          owning_ = true;
          XEvent ev;
          while (!stop_ && !XCheckTypedWindowEvent(p_.d, w, SelectionRequest, &ev))
            std::this_thread::sleep_for(2ms);
          if (stop_) return;
          XSelectionRequestEvent rq = ev.xselectionrequest;
          XSelectInput(p_.d, rq.requestor, PropertyChangeMask);
          long size = pieces;
          XChangeProperty(p_.d, rq.requestor, rq.property, XInternAtom(p_.d, "INCR", False), 32, PropModeReplace,
                          reinterpret_cast<unsigned char*>(&size), 1);
          XEvent reply{};
          reply.xselection = {SelectionNotify, 0, True, p_.d, rq.requestor, rq.selection, rq.target, rq.property, rq.time};
          XSendEvent(p_.d, rq.requestor, False, NoEventMask, &reply);
          XFlush(p_.d);
          for (int n = 0; n <= pieces && !stop_;) {
            if (!XCheckTypedWindowEvent(p_.d, rq.requestor, PropertyNotify, &ev)) {
              std::this_thread::sleep_for(2ms);
              continue;
            }
            if (ev.xproperty.state != PropertyDelete || ev.xproperty.atom != rq.property) continue;
            std::this_thread::sleep_for(pace);
            const unsigned char byte = 'x';
            XChangeProperty(p_.d, rq.requestor, rq.property, rq.target, 8, PropModeReplace, &byte, n < pieces ? 1 : 0);
            XFlush(p_.d);
            sent_ = ++n;
          }
        }) {
    while (!owning_) std::this_thread::sleep_for(1ms);
  }
  ~cTrickleOwner() {
    stop_ = true;
    thread_.join();
  }
  int sent() const { return sent_; }

 private:
  cPeer p_;
  std::atomic<bool> owning_{false}, stop_{false};
  std::atomic<int> sent_{0};
  std::thread thread_;
};

}  // namespace

// Thirty pieces 150 ms apart each come well within the silence allowed
// between pieces; the paste as a whole is given up and inserts nothing.
TEST(ClipboardPeers, AnOwnerThatTricklesIsGivenUpAtThePasteLimit) {
  requireDisplay();
  cLimits limits;
  limits->paste = 400ms;
  cTrickleOwner owner(150ms, 30);
  _typebuf<unsigned short> text;
  EXPECT_TRUE(nswnd_clip_text(text));
  EXPECT_EQ(text.count, 0);
  EXPECT_LT(owner.sent(), 30);
}

// Pieces never exceed what the server takes in one request, and the value
// still arrives whole.
TEST(ClipboardPeers, PiecesFitASmallRequestLimit) {
  requireDisplay();
  cLimits limits;
  limits->maxRequest = 16 << 10;
  const std::vector<unsigned short> units = asciiUnits(100 << 10);
  ASSERT_TRUE(nswnd_clip_put(units.data(), static_cast<long long>(units.size()), nullptr, 0));
  cReader reader;
  std::atomic<bool> done{false}, ok{false};
  std::thread t([&] {
    reader.ask();
    ok = reader.take(-1);
    done = true;
  });
  pumpUntil([&] { return done.load(); }, 30s);
  t.join();
  ASSERT_TRUE(ok);
  EXPECT_EQ(reader.data, std::string(units.begin(), units.end()));
  ASSERT_FALSE(reader.pieces.empty());
  EXPECT_LE(*std::max_element(reader.pieces.begin(), reader.pieces.end()), size_t{15 << 10});
  nswnd_clip_put(nullptr, 0, nullptr, 0);
}

// A reader takes the notice and one piece, then stops. Nothing else comes
// to the window, yet its loop gives the reader up on its own.
TEST(ClipboardPeers, AReaderThatStopsIsDroppedWithNothingElseAsking) {
  requireDisplay();
  cLimits limits;
  limits->stall = 300ms;
  const std::vector<unsigned short> units = asciiUnits(1 << 20);
  ASSERT_TRUE(nswnd_clip_put(units.data(), static_cast<long long>(units.size()), nullptr, 0));
  cRecorder r;
  r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Clipboard", 100, 50, false, -1, -1);
  r.hook = [&](const sEvent& e) {
    if (e.code == nsweWakeUp) nswnd_modal_result(r.wnd, 1);
    return 0;
  };
  cReader reader;
  std::thread t([&] {
    reader.ask();
    const bool took = reader.take(1);
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (took && nswnd_clip_transfers() > 0 && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(5ms);
    if (took && nswnd_clip_transfers() == 0) nswnd_notify_action(r.wnd);
  });
  cWatchdog dog(r);
  EXPECT_EQ(nswnd_modal(r.wnd, nullptr), 1);
  t.join();
  EXPECT_EQ(reader.pieces.size(), 1u);
  nswnd_destroy(r.wnd);
  nswnd_clip_put(nullptr, 0, nullptr, 0);
}

// A reader that dies in the middle of a transfer ends it at once, long
// before it would count as stalled.
TEST(ClipboardPeers, AReaderThatDiesIsDroppedAtOnce) {
  requireDisplay();
  const std::vector<unsigned short> units = asciiUnits(1 << 20);
  ASSERT_TRUE(nswnd_clip_put(units.data(), static_cast<long long>(units.size()), nullptr, 0));
  std::atomic<bool> done{false};
  std::thread t([&] {
    cReader reader;
    reader.ask();
    reader.take(1);
    done = true;
  });
  pumpUntil([&] { return done.load(); }, 30s);
  t.join();
  EXPECT_TRUE(pumpUntil([] { return nswnd_clip_transfers() == 0; }));
  nswnd_clip_put(nullptr, 0, nullptr, 0);
}
