#include "base/textconv.h"
#include "x11_driver.h"

using namespace nstest;

namespace {

const char kText[] = "Grüße, Привет, 世界 😀";

std::vector<unsigned short> utf16(const char* s) {
  _typebuf<unsigned short> units;
  _pc2w(s, -1, units);
  return {units.ptr, units.ptr + units.count};
}

// Another program asks for the clipboard as `target`; the main thread
// keeps answering until the reply is in.
std::string askAsPeer(const char* target) {
  std::string reply = "(none)";
  std::atomic<bool> done{false};
  std::thread other([&] {
    cPeer p;
    Window w = XCreateSimpleWindow(p.d, p.root(), 0, 0, 1, 1, 0, 0, 0);
    Atom prop = XInternAtom(p.d, "PEER_DATA", False);
    XConvertSelection(p.d, XInternAtom(p.d, "CLIPBOARD", False), XInternAtom(p.d, target, False), prop, w,
                      CurrentTime);
    XFlush(p.d);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    XEvent ev;
    while (std::chrono::steady_clock::now() < end) {
      if (XCheckTypedWindowEvent(p.d, w, SelectionNotify, &ev)) {
        reply = ev.xselection.property == None ? "(refused)" : p.property(w, "PEER_DATA");
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    done = true;
  });
  pumpUntil([&] { return done.load(); });
  other.join();
  return reply;
}

// Another program owns the clipboard with text of one target and answers
// its requests, refusing every other target.
class cPeerOwner {
 public:
  explicit cPeerOwner(std::string text, const char* target = "UTF8_STRING")
      : text_(std::move(text)), target_(target), thread_([this] {
          Atom clip = XInternAtom(p_.d, "CLIPBOARD", False);
          Window w = XCreateSimpleWindow(p_.d, p_.root(), 0, 0, 1, 1, 0, 0, 0);
          XSetSelectionOwner(p_.d, clip, w, CurrentTime);
          XSync(p_.d, False);
          owning_ = true;
          auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
          XEvent ev;
          while (!stop_ && std::chrono::steady_clock::now() < end) {
            if (!XCheckTypedWindowEvent(p_.d, w, SelectionRequest, &ev)) {
              std::this_thread::sleep_for(std::chrono::milliseconds(2));
              continue;
            }
            XSelectionRequestEvent& rq = ev.xselectionrequest;
            XEvent reply{};
            reply.xselection = {SelectionNotify, 0,         True, p_.d,   rq.requestor,
                                rq.selection,    rq.target, None, rq.time};
            if (rq.target == XInternAtom(p_.d, target_, False)) {
              XChangeProperty(p_.d, rq.requestor, rq.property, rq.target, 8, PropModeReplace,
                              reinterpret_cast<const unsigned char*>(text_.data()),
                              static_cast<int>(text_.size()));
              reply.xselection.property = rq.property;
            }
            XSendEvent(p_.d, rq.requestor, False, NoEventMask, &reply);
            XFlush(p_.d);
          }
        }) {
    while (!owning_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~cPeerOwner() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::string text_;
  const char* target_;
  cPeer p_;
  std::atomic<bool> owning_{false}, stop_{false};
  std::thread thread_;
};

}  // namespace

TEST(Clipboard, TextGoesOutAndComesInAsUtf8) {
  requireDisplay();
  std::vector<unsigned short> units = utf16(kText);
  ASSERT_TRUE(nswnd_clip_put(units.data(), static_cast<long long>(units.size()), nullptr, 0));
  EXPECT_EQ(askAsPeer("UTF8_STRING"), kText);
  EXPECT_EQ(askAsPeer("application/x-zvk-raw-bytes"), "(refused)");
  EXPECT_EQ(askAsPeer("TARGETS").size(), 3 * sizeof(long));

  _typebuf<unsigned short> back;
  ASSERT_TRUE(nswnd_clip_text(back));
  EXPECT_EQ(std::vector<unsigned short>(back.ptr, back.ptr + back.count), units);
  // Without raw bytes the raw request yields the text's UTF-16 bytes.
  _typebuf<unsigned char> raw;
  ASSERT_TRUE(nswnd_clip_raw(raw));
  ASSERT_EQ(raw.count, static_cast<long long>(units.size() * 2));
  EXPECT_EQ(std::memcmp(raw.ptr, units.data(), units.size() * 2), 0);

  const char other[] = "Ἀθῆναι — 東京";
  {
    cPeerOwner owner(other);
    ASSERT_TRUE(nswnd_clip_text(back));
    EXPECT_EQ(std::vector<unsigned short>(back.ptr, back.ptr + back.count), utf16(other));
  }
  // An owner that refuses UTF-8 is asked for ISO 8859-1.
  cPeerOwner latin("caf\xE9", "STRING");
  ASSERT_TRUE(nswnd_clip_text(back));
  EXPECT_EQ(std::vector<unsigned short>(back.ptr, back.ptr + back.count), utf16("café"));
}

// Raw bytes are offered only as raw bytes; putting nothing empties the clipboard for everybody.
TEST(Clipboard, RawBytesRoundTripAndNothingEmptiesIt) {
  requireDisplay();
  const unsigned char bytes[] = {0, 1, 2, 0xFF, 0, 0x80, 'z'};
  ASSERT_TRUE(nswnd_clip_put(nullptr, 0, bytes, sizeof bytes));
  EXPECT_EQ(askAsPeer("application/x-zvk-raw-bytes"),
            std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
  EXPECT_EQ(askAsPeer("UTF8_STRING"), "(refused)");
  _typebuf<unsigned char> raw;
  ASSERT_TRUE(nswnd_clip_raw(raw));
  ASSERT_EQ(raw.count, static_cast<long long>(sizeof bytes));
  EXPECT_EQ(std::memcmp(raw.ptr, bytes, sizeof bytes), 0);
  _typebuf<unsigned short> text;
  EXPECT_FALSE(nswnd_clip_text(text));
  EXPECT_EQ(text.count, 0);

  nswnd_clip_put(nullptr, 0, nullptr, 0);
  EXPECT_EQ(askAsPeer("application/x-zvk-raw-bytes"), "(refused)");
  EXPECT_FALSE(nswnd_clip_raw(raw));
  EXPECT_EQ(raw.count, 0);
  // A clipboard nobody owns reads as nothing, without waiting for an answer.
  cPeer p;
  XSetSelectionOwner(p.d, XInternAtom(p.d, "CLIPBOARD", False), None, CurrentTime);
  XSync(p.d, False);
  EXPECT_FALSE(nswnd_clip_text(text));
  EXPECT_EQ(text.count, 0);
}

// Readers that take only ISO 8859-1 get our text in it, each character
// outside it, a pair of surrogates included, as one '?'.
TEST(Clipboard, ReadersOfLatin1GetTheTextInIt) {
  requireDisplay();
  const struct {
    const char* utf8;
    std::string latin1;
  } kCases[] = {
      {"café", "caf\xE9"},
      {kText, "Gr\xFC\xDF" "e, ??????, ?? ?"},
      {"\xC2\xA0\xC3\xBF\xC4\x80", "\xA0\xFF?"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.utf8);
    const std::vector<unsigned short> units = utf16(c.utf8);
    ASSERT_TRUE(nswnd_clip_put(units.data(), static_cast<long long>(units.size()), nullptr, 0));
    EXPECT_EQ(askAsPeer("STRING"), c.latin1);
  }
  nswnd_clip_put(nullptr, 0, nullptr, 0);
}
