// Large clipboard texts against other programs: xclip and xsel fill the
// clipboard and read ours, in sizes that pass the size above which X
// clients hand text over in pieces (INCR). While a tool reads, the main
// thread keeps answering, as the program's event loop would.
#include <algorithm>

#include "base/textconv.h"
#include "clip_tools.h"
// After gtest, which clip_tools.h brings in first.
#include "nslib/nswnd_clip.h"

using namespace nstest;

namespace {

// About `bytes` of UTF-8 text, with multi-byte characters and numbered
// lines so that a lost or repeated piece shows.
std::string sample(size_t bytes) {
  std::string s;
  for (int i = 0; s.size() < bytes; ++i) s += "Grüße 世界 " + std::to_string(i) + "\n";
  s.resize(bytes);
  while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80) s.pop_back();
  if (!s.empty() && static_cast<unsigned char>(s.back()) >= 0xC0) s.pop_back();
  return s;
}

std::vector<unsigned short> utf16(const std::string& s) {
  _typebuf<unsigned short> units;
  _pc2w(s.data(), static_cast<long long>(s.size()), units);
  return {units.ptr, units.ptr + units.count};
}

// How each tool fills the clipboard and prints it. xsel's server opens its
// log in the home folder and gives up when it cannot, as for a user whose
// home cannot be written: it logs nowhere.
struct sToolCall {
  const char* name;
  std::vector<const char*> fill, print;
};
const sToolCall kTools[] = {
    {"xclip",
     {"xclip", "-selection", "clipboard", "-t", "UTF8_STRING", "-i"},
     {"xclip", "-selection", "clipboard", "-t", "UTF8_STRING", "-o"}},
    {"xsel",
     {"xsel", "--logfile", "/dev/null", "--clipboard", "--input"},
     {"xsel", "--logfile", "/dev/null", "--clipboard", "--output"}},
};
const size_t kSizes[] = {4 << 10, 100 << 10, 10 << 20};

}  // namespace

TEST(ClipboardLarge, TextsOfEverySizeCrossToAndFromOtherPrograms) {
  requireDisplay();
  cLimits limits;
  limits->paste = std::chrono::minutes(2);  // not a test of time: a loaded machine reads 10 MiB slowly
  for (const sToolCall& tool : kTools) {
    for (size_t size : kSizes) {
      SCOPED_TRACE(std::string(tool.name) + " " + std::to_string(size));
      const std::string text = sample(size);
      const std::vector<unsigned short> units = utf16(text);

      nswnd_clip_put(nullptr, 0, nullptr, 0);
      cTool fill(tool.fill, text);
      ASSERT_TRUE(runTools({&fill}));
      _typebuf<unsigned short> in;
      // The tool's server may not own the clipboard yet when its first
      // process ends.
      pumpUntil([&] { return nswnd_clip_text(in) && in.count > 0; }, std::chrono::seconds(20));
      ASSERT_EQ(in.count, static_cast<long long>(units.size()));
      EXPECT_TRUE(std::equal(units.begin(), units.end(), in.ptr));

      ASSERT_TRUE(nswnd_clip_put(units.data(), static_cast<long long>(units.size()), nullptr, 0));
      cTool print(tool.print, "");
      EXPECT_TRUE(runTools({&print}));
      EXPECT_EQ(print.output.size(), text.size());
      EXPECT_TRUE(print.output == text);
    }
  }
  nswnd_clip_put(nullptr, 0, nullptr, 0);
}

// Two programs read a large clipboard at the same time; each gets all of it.
TEST(ClipboardLarge, TwoReadersAtOnceGetTheWholeText) {
  requireDisplay();
  const std::string text = sample(10 << 20);
  const std::vector<unsigned short> units = utf16(text);
  ASSERT_TRUE(nswnd_clip_put(units.data(), static_cast<long long>(units.size()), nullptr, 0));
  cTool a(kTools[0].print, ""), b(kTools[1].print, "");
  EXPECT_TRUE(runTools({&a, &b}));
  EXPECT_TRUE(a.output == text);
  EXPECT_TRUE(b.output == text);
  nswnd_clip_put(nullptr, 0, nullptr, 0);
}

// An owner that announces a transfer in pieces and then sends none: the
// paste gives up, empty, instead of hanging the window.
TEST(ClipboardLarge, AnOwnerThatFallsSilentYieldsNothing) {
  requireDisplay();
  std::atomic<bool> owning{false}, asked{false}, stop{false};
  std::thread owner([&] {
    cPeer p;
    Window w = XCreateSimpleWindow(p.d, p.root(), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(p.d, XInternAtom(p.d, "CLIPBOARD", False), w, CurrentTime);
    XSync(p.d, False);
    owning = true;
    XEvent ev;
    while (!stop) {
      if (!XCheckTypedWindowEvent(p.d, w, SelectionRequest, &ev)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      XSelectionRequestEvent& rq = ev.xselectionrequest;
      long size = 1 << 20;
      XChangeProperty(p.d, rq.requestor, rq.property, XInternAtom(p.d, "INCR", False), 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(&size), 1);
      XEvent reply{};
      reply.xselection = {SelectionNotify, 0,         True,        p.d,    rq.requestor,
                          rq.selection,    rq.target, rq.property, rq.time};
      XSendEvent(p.d, rq.requestor, False, NoEventMask, &reply);
      XFlush(p.d);
      asked = true;
    }
  });
  while (!owning) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  _typebuf<unsigned short> text;
  EXPECT_FALSE(nswnd_clip_text(text));
  EXPECT_TRUE(asked.load());
  EXPECT_EQ(text.count, 0);
  stop = true;
  owner.join();
}

// Text from an owner that offers only STRING is read as ISO 8859-1.
TEST(ClipboardLarge, AnOwnerOfferingOnlyLatin1IsPasted) {
  requireDisplay();
  nswnd_clip_put(nullptr, 0, nullptr, 0);
  cTool fill({"xclip", "-selection", "clipboard", "-t", "STRING", "-i"}, "latin1 caf\xE9 text");
  ASSERT_TRUE(runTools({&fill}));
  _typebuf<unsigned short> in;
  pumpUntil([&] { return nswnd_clip_text(in) && in.count > 0; }, std::chrono::seconds(20));
  EXPECT_EQ(std::vector<unsigned short>(in.ptr, in.ptr + in.count), utf16("latin1 café text"));
}

// A text above the limit pastes its start, and the owner, taken to the
// end of its transfer, answers the next reader with all of it.
TEST(ClipboardLarge, ATextAboveTheLimitKeepsItsStartAndFreesItsOwner) {
  requireDisplay();
  const size_t kept = static_cast<size_t>(nswnd_clip_limits().maxBytes);
  cLimits limits;
  limits->paste = std::chrono::minutes(2);  // not a test of time
  std::string text(70 << 20, 'a');
  for (size_t i = 0; i < text.size(); i += 4096) text[i] = static_cast<char>('b' + i / 4096 % 24);
  nswnd_clip_put(nullptr, 0, nullptr, 0);
  {
    cTool fill(kTools[0].fill, text);
    ASSERT_TRUE(runTools({&fill}));
  }
  _typebuf<unsigned short> in;
  pumpUntil([&] { return nswnd_clip_text(in) && in.count > 0; }, std::chrono::seconds(60));
  ASSERT_EQ(in.count, static_cast<long long>(kept));
  EXPECT_TRUE(std::equal(text.begin(), text.begin() + static_cast<long>(kept), in.ptr));
  in.set(0);
  cTool print(kTools[0].print, "");
  EXPECT_TRUE(runTools({&print}));
  EXPECT_TRUE(print.output == text);
}

// A reader asks and dies before the answer, naming a window that now
// belongs to a living reader, which then asks for the same property. Only
// the living one is answered: it hears one notice and gets the whole text.
TEST(ClipboardLarge, AReaderDeadBeforeItsAnswerLeavesTheNextOneWhole) {
  requireDisplay();
  const std::string text = sample(1 << 20);
  const std::vector<unsigned short> units = utf16(text);
  ASSERT_TRUE(nswnd_clip_put(units.data(), static_cast<long long>(units.size()), nullptr, 0));
  cPeer reader;
  const Window w = XCreateSimpleWindow(reader.d, reader.root(), 0, 0, 1, 1, 0, 0, 0);
  XSelectInput(reader.d, w, PropertyChangeMask);
  const Atom clip = XInternAtom(reader.d, "CLIPBOARD", False), utf8 = XInternAtom(reader.d, "UTF8_STRING", False),
             prop = XInternAtom(reader.d, "XCLIP_OUT", False), incr = XInternAtom(reader.d, "INCR", False);
  {
    cPeer dead;
    XConvertSelection(dead.d, clip, utf8, prop, w, CurrentTime);
    XSync(dead.d, False);
  }
  XConvertSelection(reader.d, clip, utf8, prop, w, CurrentTime);
  XSync(reader.d, False);
  // Both requests wait in our queue before either is answered.
  auto queued = [] {
    Display* d = nsapp()->display;
    XSync(d, False);
    int n = 0;
    XEvent ev;
    XCheckIfEvent(
        d, &ev,
        [](Display*, XEvent* e, XPointer count) -> Bool {
          if (e->type == SelectionRequest) ++*reinterpret_cast<int*>(count);
          return False;
        },
        reinterpret_cast<XPointer>(&n));
    return n;
  };
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (queued() < 2 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_EQ(queued(), 2);

  std::string got;
  int notices = 0;
  std::atomic<bool> done{false};
  std::thread t([&] {
    // The property's bytes, deleted; its type, None when missing.
    auto take = [&](std::string* out) {
      Atom type = None;
      int format;
      unsigned long count, after;
      unsigned char* bytes = nullptr;
      XGetWindowProperty(reader.d, w, prop, 0, 1 << 24, True, AnyPropertyType, &type, &format, &count, &after,
                         &bytes);
      if (bytes && format == 8) out->assign(reinterpret_cast<char*>(bytes), count);
      if (bytes) XFree(bytes);
      XSync(reader.d, False);
      return type;
    };
    XEvent ev;
    std::string piece;
    bool incrDone = false;
    while (!incrDone && std::chrono::steady_clock::now() < end) {
      if (XCheckTypedWindowEvent(reader.d, w, SelectionNotify, &ev)) {
        ++notices;
        if (notices == 1 && take(&piece) != incr) break;
      } else if (notices && XCheckTypedWindowEvent(reader.d, w, PropertyNotify, &ev)) {
        if (ev.xproperty.state != PropertyNewValue || take(&piece) == None) continue;
        incrDone = piece.empty();
        got += piece;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    // Both answers, if both were given, went out before the first piece.
    while (XCheckTypedWindowEvent(reader.d, w, SelectionNotify, &ev)) ++notices;
    done = true;
  });
  pumpUntil([&] { return done.load(); }, std::chrono::seconds(30));
  t.join();
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(got.size(), text.size());
  EXPECT_TRUE(got == text);
  nswnd_clip_put(nullptr, 0, nullptr, 0);
}
