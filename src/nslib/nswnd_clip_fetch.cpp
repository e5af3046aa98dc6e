// Reading the clipboard from another owner: the selection is converted into
// a property of a window made for the one request and waited for. Large
// values come in pieces (INCR): each deletion of the property asks for the
// next, and an empty piece ends the transfer. The window's thread is blocked
// meanwhile, so the whole paste has one deadline, however the owner paces
// its answer and its pieces, and the sizes an owner states are never
// believed.
#include <X11/Xatom.h>
#include <poll.h>

#include <algorithm>
#include <vector>

#include "base/textconv.h"
#include "nslib/nswnd_clip.h"
#include "nslib/nswnd_internal.h"

namespace {

// What a read keeps, never more than the limit; `cut` when more was offered.
struct sIncoming {
  Atom type = None;  // of the value, not of the notice of its pieces
  std::vector<unsigned char> bytes;
  bool cut = false;
};

// The window one request is answered on, made for it alone. Once the
// request ends the window goes, and with it whatever its owner still sends:
// a late piece or answer finds no window, and a later request, on a window
// of its own, never sees it.
class cRequestor {
 public:
  cRequestor() {
    XSetWindowAttributes attrs{};
    attrs.event_mask = PropertyChangeMask;
    window = XCreateWindow(gLayer->app.display, gLayer->clipWindow, 0, 0, 1, 1, 0, CopyFromParent, InputOnly,
                           CopyFromParent, CWEventMask, &attrs);
  }
  cRequestor(const cRequestor&) = delete;
  cRequestor& operator=(const cRequestor&) = delete;
  ~cRequestor() {
    Display* d = gLayer->app.display;
    XDestroyWindow(d, window);
    // What came for it before it went is dropped, never left to the loops.
    XSync(d, False);
    XEvent ev;
    while (XCheckTypedWindowEvent(d, window, PropertyNotify, &ev) ||
           XCheckTypedWindowEvent(d, window, SelectionNotify, &ev)) {
    }
  }
  Window window;
};

// Waits for an event of the type on the requestor's window that `accept`
// takes; the others are dropped.
template <typename Accept>
bool waitFor(Window w, int type, XEvent* ev, tClock::time_point deadline, Accept accept) {
  Display* d = gLayer->app.display;
  for (;;) {
    while (XCheckTypedWindowEvent(d, w, type, ev))
      if (accept(*ev)) return true;
    nswnd_serve_exposures();
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - tClock::now());
    if (left.count() <= 0) return false;
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
  }
}

// Appends what fits of the property and deletes it, so that an owner
// sending in pieces goes on even once nothing more is kept. Answers the
// bytes the property held (0 for an empty piece); -1 when it is missing.
long long takeProperty(Window w, Atom* type, sIncoming& in) {
  Display* d = gLayer->app.display;
  const Atom prop = gLayer->atoms.pasteData;
  const long long room = std::max(nswnd_clip_limits().maxBytes - static_cast<long long>(in.bytes.size()), 0ll);
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  *type = None;
  // Read and deleted in one request: a hasty owner may put its next piece
  // right after the deletion, which a deletion of our own would then lose.
  const int rc = XGetWindowProperty(d, w, prop, 0, (room + 3) / 4, True, AnyPropertyType, type, &format, &count,
                                    &after, &data);
  // The server keeps a property that was not read to its end.
  if (rc == Success && after > 0) XDeleteProperty(d, w, prop);
  if (rc != Success || *type == None) {
    if (data) XFree(data);
    *type = None;
    return -1;
  }
  // 32-bit items arrive as longs, but stand for 4 bytes each.
  const unsigned long long unit = format == 32 ? 4 : format == 16 ? 2 : 1;
  const unsigned long long held = static_cast<unsigned long long>(count) * unit + after;
  unsigned long long take = std::min(static_cast<unsigned long long>(count) * unit, static_cast<unsigned long long>(room));
  in.cut |= take < held;
  if (data && format == 32) {
    const long* v = reinterpret_cast<const long*>(data);
    for (unsigned long i = 0; i < count && take >= 4; ++i, take -= 4) {
      const uint32_t u = static_cast<uint32_t>(v[i]);
      const auto* b = reinterpret_cast<const unsigned char*>(&u);
      in.bytes.insert(in.bytes.end(), b, b + 4);
    }
  } else if (data) {
    in.bytes.insert(in.bytes.end(), data, data + take);
  }
  if (data) XFree(data);
  return static_cast<long long>(std::min<unsigned long long>(held, 1ull << 62));
}

enum class eFetch { got, refused, failed };

// Asks the owner for the target on a window made for this one request and
// takes its answer, of whatever type, into an empty `in`.
eFetch fetch(Atom target, sIncoming& in, tClock::time_point paste) {
  Display* d = gLayer->app.display;
  const cRequestor requestor;
  const Window w = requestor.window;
  XConvertSelection(d, gLayer->atoms.clipboard, target, gLayer->atoms.pasteData, w, CurrentTime);
  XFlush(d);
  XEvent ev;
  if (!waitFor(w, SelectionNotify, &ev, paste,
               [](const XEvent& e) { return e.xselection.selection == gLayer->atoms.clipboard; }))
    return eFetch::failed;
  if (ev.xselection.property == None) return eFetch::refused;
  Atom type;
  if (takeProperty(w, &type, in) < 0) return eFetch::failed;
  if (type != gLayer->atoms.incr) {
    in.type = type;
    return eFetch::got;
  }
  // The notice's size is only a lower bound; nothing is reserved for it.
  in = sIncoming{};
  // Pieces until the empty one. A notice may find the property already
  // taken (the owner set it before the transfer began, or a notice arrived
  // late); it is passed over.
  for (;;) {
    if (!waitFor(w, PropertyNotify, &ev, paste, [](const XEvent& e) {
          return e.xproperty.atom == gLayer->atoms.pasteData && e.xproperty.state == PropertyNewValue;
        }))
      return eFetch::failed;
    const long long held = takeProperty(w, &type, in);
    if (held == 0) return eFetch::got;
    if (held > 0) in.type = type;
  }
}

// A cut may end inside a character; its start is dropped with it.
void dropBrokenTail(std::vector<unsigned char>& utf8) {
  size_t start = utf8.size();
  while (start > 0 && (utf8[start - 1] & 0xC0) == 0x80 && utf8.size() - start < 3) --start;
  if (start == 0) return;
  const unsigned char lead = utf8[start - 1];
  const size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (utf8.size() - (start - 1) < need) utf8.resize(start - 1);
}

}  // namespace

bool nswnd_clip_fetch_text(_typebuf<unsigned short>& text, tClock::time_point paste) {
  text.set(0);
  sIncoming in;
  eFetch got = fetch(gLayer->atoms.utf8String, in, paste);
  // A refusal takes nothing, so `in` is still empty for the second target.
  if (got == eFetch::refused) got = fetch(XA_STRING, in, paste);
  if (got != eFetch::got || in.bytes.empty()) return false;
  if (in.type == XA_STRING) {
    // ISO 8859-1: every byte is the code point of its character.
    text.set(static_cast<long long>(in.bytes.size()));
    std::copy(in.bytes.begin(), in.bytes.end(), text.ptr);
  } else if (in.type == gLayer->atoms.utf8String) {
    if (in.cut) dropBrokenTail(in.bytes);
    _pc2w(reinterpret_cast<const char*>(in.bytes.data()), static_cast<long long>(in.bytes.size()), text);
  }
  return text.count > 0;
}

bool nswnd_clip_fetch_raw(_typebuf<unsigned char>& bytes, tClock::time_point paste) {
  bytes.set(0);
  sIncoming in;
  // Part of a block of bytes is no use to anybody.
  if (fetch(gLayer->atoms.raw, in, paste) != eFetch::got || in.type != gLayer->atoms.raw || in.cut ||
      in.bytes.empty())
    return false;
  bytes.set(static_cast<long long>(in.bytes.size()));
  std::copy(in.bytes.begin(), in.bytes.end(), bytes.ptr);
  return true;
}
