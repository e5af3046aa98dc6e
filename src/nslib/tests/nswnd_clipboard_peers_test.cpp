// Programs on the other end of the clipboard that do not behave: an owner
// that trickles its value, readers that stop asking or die, a server that
// takes small requests. Limits about time are made short here; no test
// depends on the machine being fast.
#include "clip_tools.h"
// After gtest, which clip_tools.h brings in first.
#include <poll.h>

#include <memory>
#include <utility>

#include "nslib/nswnd_clip.h"

using namespace nstest;
using namespace std::chrono_literals;

namespace {

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

// An owner that sends its value in pieces (INCR) and keeps each transfer
// until it ends, as long-lived toolkit owners do: a deletion of a property
// asks the first unfinished transfer to that window and property for its
// next piece. Request n is served `paces[n]` apart (the last pace repeats).
class cKeepAliveOwner {
 public:
  // `beforePieces` runs on the owner's thread before its first piece.
  cKeepAliveOwner(std::string value, size_t piece, std::vector<std::chrono::milliseconds> paces,
                  std::function<void()> beforePieces = {})
      : value_(std::move(value)),
        piece_(piece),
        paces_(std::move(paces)),
        beforePieces_(std::move(beforePieces)),
        thread_([this] { serve(); }) {
    while (!owning_) std::this_thread::sleep_for(1ms);
  }
  ~cKeepAliveOwner() {
    stop_ = true;
    thread_.join();
  }
  // Bytes the first transfer sent.
  size_t firstSent() const { return firstSent_; }

 private:
  struct sTransfer {
    sTransfer(Window w, Atom prop, Atom target, std::chrono::milliseconds pace)
        : w(w), prop(prop), target(target), pace(pace) {}
    Window w;
    Atom prop, target;
    std::chrono::milliseconds pace;
    size_t sent = 0;
    bool done = false, asked = false;
    std::chrono::steady_clock::time_point due;
  };

  void serve() {
    Display* d = p_.d;
    Window own = XCreateSimpleWindow(d, p_.root(), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(d, XInternAtom(d, "CLIPBOARD", False), own, CurrentTime);
    XSync(d, False);
    owning_ = true;
    std::vector<sTransfer> transfers;
    XEvent ev;
    while (!stop_) {
      // In the order the server sent them, as an owner's loop takes them: a
      // deletion before a request is never that request's.
      while (XPending(d)) {
        XNextEvent(d, &ev);
        if (ev.type == SelectionRequest && ev.xselectionrequest.owner == own) {
          const XSelectionRequestEvent rq = ev.xselectionrequest;
          sTransfer t{rq.requestor, rq.property, rq.target, paces_[std::min(transfers.size(), paces_.size() - 1)]};
          transfers.push_back(t);
          XSelectInput(d, rq.requestor, PropertyChangeMask);
          long size = static_cast<long>(value_.size());
          XChangeProperty(d, rq.requestor, rq.property, XInternAtom(d, "INCR", False), 32, PropModeReplace,
                          reinterpret_cast<unsigned char*>(&size), 1);
          XEvent reply{};
          reply.xselection = {SelectionNotify, 0,         True,        d,      rq.requestor,
                              rq.selection,    rq.target, rq.property, rq.time};
          XSendEvent(d, rq.requestor, False, NoEventMask, &reply);
          XFlush(d);
        } else if (ev.type == PropertyNotify && ev.xproperty.state == PropertyDelete) {
          for (sTransfer& t : transfers)
            if (!t.done && t.w == ev.xproperty.window && t.prop == ev.xproperty.atom) {
              if (!t.asked) t.due = std::chrono::steady_clock::now() + t.pace;
              t.asked = true;
              break;
            }
        }
      }
      for (size_t i = 0; i < transfers.size(); ++i) {
        sTransfer& t = transfers[i];
        if (!t.asked || std::chrono::steady_clock::now() < t.due) continue;
        if (beforePieces_) std::exchange(beforePieces_, nullptr)();
        const size_t n = std::min(piece_, value_.size() - t.sent);
        XChangeProperty(d, t.w, t.prop, t.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(value_.data() + t.sent), static_cast<int>(n));
        XFlush(d);
        t.sent += n;
        t.done = n == 0;
        t.asked = false;
        if (i == 0) firstSent_ = t.sent;
      }
      std::this_thread::sleep_for(1ms);
    }
  }

  cPeer p_;
  std::string value_;
  size_t piece_;
  std::vector<std::chrono::milliseconds> paces_;
  std::function<void()> beforePieces_;
  std::atomic<bool> owning_{false}, stop_{false};
  std::atomic<size_t> firstSent_{0};
  std::thread thread_;
};

// Numbered lines, so that a piece out of its place shows.
std::string numbered(size_t bytes) {
  std::string s;
  for (int i = 0; s.size() < bytes; ++i) s += "line " + std::to_string(i) + "\n";
  s.resize(bytes);
  return s;
}

// A paste's text; it answers true exactly when it brings something.
std::string pasted() {
  _typebuf<unsigned short> text;
  const bool ok = nswnd_clip_text(text);
  std::string out(text.ptr, text.ptr + text.count);
  EXPECT_EQ(ok, !out.empty());
  return out;
}

}  // namespace

// Thirty pieces 150 ms apart: the paste as a whole is given up and inserts
// nothing.
// The owner answers the next paste at once, and that one gets its value.
TEST(ClipboardPeers, AnOwnerThatTricklesIsGivenUpAtThePasteLimit) {
  requireDisplay();
  cLimits limits;
  limits->paste = 400ms;
  const std::string value(30, 'x');
  cKeepAliveOwner owner(value, 1, {150ms, 0ms});
  EXPECT_EQ(pasted(), "");
  EXPECT_LT(owner.firstSent(), value.size());
  limits->paste = 20s;  // not a test of time
  EXPECT_EQ(pasted(), value);
}

// Pastes in a row from an owner that goes on with each transfer a paste
// gave up: each gets the whole value or nothing, never pieces of another.
TEST(ClipboardPeers, TransfersAPasteGaveUpNeverEndInALaterOne) {
  requireDisplay();
  cLimits limits;
  const std::string value = numbered(1000000);
  // 20 pieces 100 ms apart pass a deadline of a second; the pastes that
  // are to be whole wait as long as their transfer takes, however loaded
  // the machine, while the one given up before them goes on.
  cKeepAliveOwner owner(value, 50000, {100ms, 0ms, 100ms, 0ms, 0ms});
  const bool whole[] = {false, true, false, true, true};
  for (size_t i = 0; i < std::size(whole); ++i) {
    SCOPED_TRACE(i);
    limits->paste = whole[i] ? 60s : 1s;
    const std::string got = pasted();
    EXPECT_EQ(got.size(), whole[i] ? value.size() : 0u);
    EXPECT_TRUE(got == (whole[i] ? value : ""));
  }
}

// Many pastes given up while their owner goes on with every transfer:
// none of their properties serves a later paste before its transfer ended,
// however many were given up.
TEST(ClipboardPeers, PropertiesOfTransfersGivenUpServeNoPasteWhileTheyRun) {
  requireDisplay();
  cLimits limits;
  limits->paste = 100ms;
  const std::string value = numbered(200000);
  // Each slow transfer's first piece comes after the paste has given up.
  std::vector<std::chrono::milliseconds> paces(40, 150ms);
  paces.push_back(0ms);
  cKeepAliveOwner owner(value, 50000, paces);
  for (size_t i = 0; i < 40; ++i) EXPECT_EQ(pasted(), "") << i;
  limits->paste = 20s;  // not a test of time
  for (int i = 0; i < 3; ++i) {
    const std::string got = pasted();
    EXPECT_EQ(got.size(), value.size()) << i;
    EXPECT_TRUE(got == value) << i;
  }
}

// Pieces never exceed what the server takes in one request, and the value
// still arrives whole. The reader's top-level window is still heard when it
// keeps a band along the screen's edge afterwards.
TEST(ClipboardPeers, PiecesFitASmallRequestLimit) {
  requireDisplay();
  cLimits limits;
  limits->maxRequest = 16 << 10;
  const std::vector<unsigned short> units = asciiUnits(100 << 10);
  ASSERT_TRUE(nswnd_clip_put(units.data(), static_cast<long long>(units.size()), nullptr, 0));
  cReader reader;
  XMapWindow(reader.p.d, reader.w);
  XSync(reader.p.d, False);
  int x, y, w, h;
  nswnd_work_area(&x, &y, &w, &h);
  ASSERT_EQ(x, 0);
  std::atomic<bool> done{false}, ok{false};
  std::thread t([&] {
    reader.ask();
    ok = reader.take(-1);
    done = true;
  });
  pumpUntil([&] { return done.load() && nswnd_clip_transfers() == 0; }, 30s);
  t.join();
  ASSERT_TRUE(ok);
  EXPECT_EQ(reader.data, std::string(units.begin(), units.end()));
  ASSERT_FALSE(reader.pieces.empty());
  EXPECT_LE(*std::max_element(reader.pieces.begin(), reader.pieces.end()), size_t{15 << 10});
  long band[4] = {40, 0, 0, 0};
  XChangeProperty(reader.p.d, reader.w, XInternAtom(reader.p.d, "_NET_WM_STRUT", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(band), 4);
  XSync(reader.p.d, False);
  nswnd_work_area(&x, &y, &w, &h);
  EXPECT_EQ(x, 40);
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

namespace {

// An owner that answers every request as `way` says, `after` the request
// came, on its own thread and connection; it is gone, window and all, once
// destroyed. Like an owner a paste gave up, it may write to the requests it
// had long after.
class cOwner {
 public:
  enum eWay { kAnswers, kSilent, kNamesNothing, kStopsAfterNotice };
  // `first`, when given, runs on the owner's connection as a request comes,
  // and the answer waits until `until` holds.
  cOwner(eWay way, std::string value, std::chrono::milliseconds after = 0ms,
         std::function<void(Display*)> first = nullptr, std::function<bool()> until = nullptr)
      : way_(way),
        value_(std::move(value)),
        after_(after),
        first_(std::move(first)),
        until_(std::move(until)),
        thread_([this] { serve(); }) {
    while (!owning_) std::this_thread::sleep_for(1ms);
  }
  ~cOwner() {
    stop_ = true;
    thread_.join();
  }
  // Its window goes; its connection stays.
  void dropWindow() {
    drop_ = true;
    while (drop_) std::this_thread::sleep_for(1ms);
  }
  // Writes its value `times` over to the property of every request it had.
  void writeLate(int times) {
    late_ = times;
    while (late_ > 0) std::this_thread::sleep_for(1ms);
  }

 private:
  void serve() {
    Display* d = p_.d;
    const Window own = XCreateSimpleWindow(d, p_.root(), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(d, XInternAtom(d, "CLIPBOARD", False), own, CurrentTime);
    XSync(d, False);
    owning_ = true;
    std::vector<XSelectionRequestEvent> asked;
    while (!stop_) {
      pollfd p{ConnectionNumber(d), POLLIN, 0};
      const bool drop = drop_;
      const int late = late_;
      if (!XPending(d) && !drop && !late) poll(&p, 1, 20);
      if (drop || late) XSync(d, False);  // every request made before is in
      while (XPending(d)) {
        XEvent ev;
        XNextEvent(d, &ev);
        if (ev.type == SelectionRequest) {
          asked.push_back(ev.xselectionrequest);
          answer(asked.back());
        }
      }
      if (!drop && !late) continue;
      if (drop) XDestroyWindow(d, own);
      for (int i = 0; i < late; ++i)
        for (const XSelectionRequestEvent& rq : asked)
          XChangeProperty(d, rq.requestor, rq.property, rq.target, 8, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(value_.data()), static_cast<int>(value_.size()));
      XSync(d, False);
      drop_ = false;
      late_ = 0;
    }
  }

  void answer(const XSelectionRequestEvent& rq) {
    Display* d = p_.d;
    if (way_ == kSilent) return;
    std::this_thread::sleep_for(after_);
    if (first_) first_(d);
    while (until_ && !until_() && !stop_) std::this_thread::sleep_for(1ms);
    if (way_ == kAnswers)
      XChangeProperty(d, rq.requestor, rq.property, rq.target, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(value_.data()), static_cast<int>(value_.size()));
    if (way_ == kStopsAfterNotice) {
      long size = 1 << 20;
      XChangeProperty(d, rq.requestor, rq.property, XInternAtom(d, "INCR", False), 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(&size), 1);
    }
    XEvent reply{};
    reply.xselection = {SelectionNotify, 0, True, d, rq.requestor, rq.selection, rq.target, rq.property, rq.time};
    XSendEvent(d, rq.requestor, False, NoEventMask, &reply);
    XFlush(d);
  }

  cPeer p_;
  eWay way_;
  std::string value_;
  std::chrono::milliseconds after_;
  std::function<void(Display*)> first_;
  std::function<bool()> until_;
  std::atomic<bool> owning_{false}, stop_{false}, drop_{false};
  std::atomic<int> late_{0};
  std::thread thread_;
};

// Pastes that answer `value`, of `count` in a row.
int pastesOf(const std::string& value, int count) {
  int n = 0;
  for (int i = 0; i < count; ++i) n += pasted() == value;
  return n;
}

}  // namespace

// However many pastes were given up, and however, the next one from an
// owner that answers gets its value: while the owner that failed them is
// still there, and once it has gone, which frees all they held.
TEST(ClipboardPeers, PastesGivenUpNeverKeepALaterOneFromWorking) {
  requireDisplay();
  cLimits limits;
  const std::string value = "after the owners that failed";
  const struct {
    const char* name;
    cOwner::eWay way;
  } cases[] = {
      {"an owner that never answers", cOwner::kSilent},
      {"an owner that names a property it never writes", cOwner::kNamesNothing},
      {"an owner that stops after its notice of pieces", cOwner::kStopsAfterNotice},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto failing = std::make_unique<cOwner>(c.way, "");
    limits->paste = 15ms;
    EXPECT_EQ(pastesOf("", 1000), 1000);
    limits->paste = 20s;  // not a test of time
    cOwner good(cOwner::kAnswers, value);
    EXPECT_EQ(pastesOf(value, 1), 1) << "while the failing owner is there";
    // Before any other program connects, which might get its window's id.
    failing.reset();
    EXPECT_EQ(pastesOf(value, 1), 1) << "once it has gone";
  }
  cOwner good(cOwner::kAnswers, value);
  EXPECT_EQ(pastesOf(value, 10000), 10000);
}

// Owners that pastes gave up write to those pastes' properties later, in
// the middle of a newer paste that takes its value in pieces from another
// owner: the newer paste gets that value exactly, however many were given
// up before it.
TEST(ClipboardPeers, OwnersGivenUpThatWriteLateNeverReachANewerPaste) {
  requireDisplay();
  cLimits limits;
  const struct {
    const char* name;
    cOwner::eWay way;
    bool dropsWindow;
    int writes;
  } kinds[] = {
      {"answers naming its property, writes it later", cOwner::kNamesNothing, false, 1},
      {"never answers, writes once its window is gone", cOwner::kSilent, true, 1},
      {"answers naming its property, writes it twelve times", cOwner::kNamesNothing, false, 12},
      {"sends its notice of pieces, resumes once its window is gone", cOwner::kStopsAfterNotice, true, 3},
  };
  const std::string value = numbered(401);
  for (const auto& k : kinds)
    for (int givenUp : {1, 1000}) {
      SCOPED_TRACE(std::string(k.name) + ", given up " + std::to_string(givenUp));
      cOwner late(k.way, "text of the owner given up\n");
      // One that answers at once is given up at once. The others: one
      // paste as users meet it; many at once, before they can even answer.
      limits->paste = givenUp == 1 || k.way == cOwner::kNamesNothing ? 300ms : 0ms;
      EXPECT_EQ(pastesOf("", givenUp), givenUp);
      if (k.dropsWindow) late.dropWindow();
      limits->paste = 20s;  // not a test of time
      // What the late owner wrote would be taken well before the first
      // piece replaced it, were it written where the paste reads.
      cKeepAliveOwner owner(value, 40, {0ms}, [&] {
        late.writeLate(k.writes);
        std::this_thread::sleep_for(200ms);
      });
      const std::string got = pasted();
      EXPECT_EQ(got, value);
    }
}

// Owners that take seconds to answer, or between pieces, within the paste's
// deadline: only that deadline gives a paste up.
TEST(ClipboardPeers, OnlyThePastesDeadlineGivesASlowOwnerUp) {
  requireDisplay();
  cLimits limits;
  limits->paste = 20s;  // far beyond the owners' pauses: not a test of time
  const std::string value = "answered late";
  {
    cOwner slow(cOwner::kAnswers, value, 4500ms);
    EXPECT_EQ(pasted(), value) << "an answer 4.5 s after the request";
  }
  cKeepAliveOwner slow(value, value.size(), {2500ms});
  EXPECT_EQ(pasted(), value) << "pieces 2.5 s apart";
}

// A paste waiting on an owner that answers only once the window repainted
// what the owner uncovered: the window paints while it waits.
TEST(ClipboardPeers, AWindowRepaintsWhileAPasteWaits) {
  requireDisplay();
  cLimits limits;
  limits->paste = 5s;  // the owner answers once painted: well within
  cRecorder r;
  std::atomic<int> paints{0};
  r.hook = [&](const sEvent& e) {
    paints += e.code == nswePaint;
    return 0;
  };
  r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Paste", 120, 80, false, 10, 10);
  ASSERT_TRUE(nswnd_show_floating(r.wnd));
  ASSERT_TRUE(pumpUntil([&] { return paints > 0; }));
  const Window xid = xidOf(r.wnd);
  int before = 0;
  const std::string value = "answered once painted";
  cOwner owner(cOwner::kAnswers, value, 0ms,
               [&](Display* d) {
                 before = paints;
                 XClearArea(d, xid, 0, 0, 0, 0, True);
                 XFlush(d);
               },
               [&] { return paints > before; });
  EXPECT_EQ(pasted(), value);
  EXPECT_GT(paints, before);
  nswnd_destroy(r.wnd);
}
