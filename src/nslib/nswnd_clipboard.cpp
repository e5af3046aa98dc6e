// The clipboard is the CLIPBOARD selection. While this program owns it, the
// layer's own window answers the requests of other programs: text as
// UTF8_STRING, raw bytes under a target of our own. Reading from another
// owner converts the selection into a property and waits for it, always
// against a deadline, and never believes the sizes it is told.
//
// Large values travel in pieces (INCR) both ways: the receiver deletes each
// piece to ask for the next, and an empty piece ends the transfer. The
// deadline counts from the last piece, so a slow large transfer completes
// while a silent peer is given up.
#include <X11/Xatom.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "base/textconv.h"
#include "nslib/nswnd_internal.h"

namespace {

using tClock = std::chrono::steady_clock;

// The most a reply may bring; more is taken for a broken or hostile owner.
constexpr long long kMaxClipboardBytes = 64ll << 20;
constexpr auto kReplyDeadline = std::chrono::seconds(2);
// Values above this go out in pieces of this size, below the server's
// request limit; a requestor that takes no piece for this long is dropped.
constexpr long kPieceBytes = 256 << 10;
constexpr auto kPieceDeadline = std::chrono::seconds(10);

struct sClipStore {
  std::vector<unsigned short> text;
  std::vector<unsigned char> raw;
};
sClipStore gClip;

// A value going out in pieces to one requestor's property. It keeps its own
// copy of the data: the clipboard may change while the transfer runs.
struct sOutgoing {
  Window requestor;
  Atom property, type;
  std::shared_ptr<const std::vector<unsigned char>> data;
  size_t sent;
  tClock::time_point last;
};
std::vector<sOutgoing> gOutgoing;

bool ownsClipboard() {
  return XGetSelectionOwner(gLayer->app.display, gLayer->atoms.clipboard) == gLayer->clipWindow;
}

// Waits for an event of the type on the layer's window that `accept` takes.
template <typename Accept>
bool waitFor(int type, XEvent* ev, tClock::time_point deadline, Accept accept) {
  Display* d = gLayer->app.display;
  for (;;) {
    while (XCheckTypedWindowEvent(d, gLayer->clipWindow, type, ev))
      if (accept(*ev)) return true;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - tClock::now());
    if (left.count() <= 0) return false;
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
  }
}

// Reads and deletes the property; false when it is missing (its type is
// then None) or too large.
bool takeProperty(Atom* type, std::vector<unsigned char>& out, bool append) {
  Display* d = gLayer->app.display;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  *type = None;
  if (XGetWindowProperty(d, gLayer->clipWindow, gLayer->atoms.clipProperty, 0, kMaxClipboardBytes / 4, True,
                         AnyPropertyType, type, &format, &count, &after, &data) != Success)
    return false;
  bool ok = data != nullptr && after == 0;
  if (ok) {
    unsigned long long bytes = static_cast<unsigned long long>(count) * static_cast<unsigned>(format / 8);
    if (format == 32) bytes = static_cast<unsigned long long>(count) * 4;  // held as longs, sent as 32 bits
    ok = bytes + (append ? out.size() : 0) <= static_cast<unsigned long long>(kMaxClipboardBytes);
    if (ok) {
      if (!append) out.clear();
      if (format == 32) {
        const long* v = reinterpret_cast<const long*>(data);
        for (unsigned long i = 0; i < count; ++i) {
          uint32_t u = static_cast<uint32_t>(v[i]);
          const auto* b = reinterpret_cast<const unsigned char*>(&u);
          out.insert(out.end(), b, b + 4);
        }
      } else {
        out.insert(out.end(), data, data + bytes);
      }
    }
  }
  if (data) XFree(data);
  return ok;
}

// Takes the pieces of a transfer until the empty one. A notice may find the
// property already taken (the owner set it before the transfer began, or a
// notice arrived late); it is passed over.
bool takePieces(std::vector<unsigned char>& out) {
  out.clear();
  const Atom prop = gLayer->atoms.clipProperty;
  auto deadline = tClock::now() + kReplyDeadline;
  for (;;) {
    XEvent ev;
    if (!waitFor(PropertyNotify, &ev, deadline, [&](const XEvent& e) {
          return e.xproperty.atom == prop && e.xproperty.state == PropertyNewValue;
        }))
      return false;
    size_t before = out.size();
    Atom type;
    if (!takeProperty(&type, out, true)) {
      if (type == None) continue;
      return false;
    }
    if (out.size() == before) return true;
    deadline = tClock::now() + kReplyDeadline;
  }
}

// Asks the owner for the target; false when it refuses or does not answer.
bool fetch(Atom target, std::vector<unsigned char>& out) {
  out.clear();
  Display* d = gLayer->app.display;
  Atom prop = gLayer->atoms.clipProperty;
  XDeleteProperty(d, gLayer->clipWindow, prop);
  XConvertSelection(d, gLayer->atoms.clipboard, target, prop, gLayer->clipWindow, CurrentTime);
  XFlush(d);
  XEvent ev;
  if (!waitFor(SelectionNotify, &ev, tClock::now() + kReplyDeadline,
               [&](const XEvent& e) { return e.xselection.selection == gLayer->atoms.clipboard; }))
    return false;
  if (ev.xselection.property == None) return false;
  Atom type;
  if (!takeProperty(&type, out, false)) return false;
  // The INCR value is only a lower bound of the size; nothing is reserved for it.
  if (type == gLayer->atoms.incr) return takePieces(out);
  return type == target;
}

void endOutgoing(size_t i) {
  const Window w = gOutgoing[i].requestor;
  gOutgoing.erase(gOutgoing.begin() + static_cast<long>(i));
  if (std::none_of(gOutgoing.begin(), gOutgoing.end(), [&](const sOutgoing& o) { return o.requestor == w; }))
    XSelectInput(gLayer->app.display, w, NoEventMask);
}

// Requestors that stopped taking pieces (gone, or stuck) are given up.
void dropStalled() {
  const auto now = tClock::now();
  for (size_t i = gOutgoing.size(); i-- > 0;)
    if (now - gOutgoing[i].last > kPieceDeadline) endOutgoing(i);
}

// The requestor took the last piece: the next one, or the empty end.
void sendPiece(size_t i) {
  sOutgoing& o = gOutgoing[i];
  const size_t n = std::min(o.data->size() - o.sent, static_cast<size_t>(kPieceBytes));
  XChangeProperty(gLayer->app.display, o.requestor, o.property, o.type, 8, PropModeReplace,
                  o.data->data() + o.sent, static_cast<int>(n));
  XFlush(gLayer->app.display);
  if (n == 0) {
    endOutgoing(i);
    return;
  }
  o.sent += n;
  o.last = tClock::now();
}

// Puts the value on the requestor's property, whole or as the start of a
// transfer in pieces.
void sendValue(const XSelectionRequestEvent& req, Atom prop, Atom type,
               std::shared_ptr<const std::vector<unsigned char>> data) {
  Display* d = gLayer->app.display;
  long maxBytes = XExtendedMaxRequestSize(d) ? XExtendedMaxRequestSize(d) * 4 : XMaxRequestSize(d) * 4;
  const long piece = std::min(kPieceBytes, maxBytes - 1024);
  if (static_cast<long long>(data->size()) <= piece) {
    XChangeProperty(d, req.requestor, prop, type, 8, PropModeReplace, data->data(),
                    static_cast<int>(data->size()));
    return;
  }
  for (size_t i = 0; i < gOutgoing.size(); ++i)
    if (gOutgoing[i].requestor == req.requestor && gOutgoing[i].property == prop) {
      endOutgoing(i);
      break;
    }
  // The requestor's deletions of the property ask for the pieces.
  XSelectInput(d, req.requestor, PropertyChangeMask);
  long size = static_cast<long>(std::min<size_t>(data->size(), 0x7FFFFFFF));
  XChangeProperty(d, req.requestor, prop, gLayer->atoms.incr, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&size), 1);
  gOutgoing.push_back({req.requestor, prop, type, std::move(data), 0, tClock::now()});
}

void answer(const XSelectionRequestEvent& req) {
  Display* d = gLayer->app.display;
  const sNSAtoms& a = gLayer->atoms;
  dropStalled();
  // Old clients name no property; the target then stands for it.
  Atom prop = req.property != None ? req.property : req.target;
  bool done = false;
  if (req.target == a.targets) {
    Atom list[3] = {a.targets};
    int n = 1;
    if (!gClip.text.empty()) list[n++] = a.utf8String;
    if (!gClip.raw.empty()) list[n++] = a.raw;
    XChangeProperty(d, req.requestor, prop, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(list), n);
    done = true;
  } else if (req.target == a.utf8String && !gClip.text.empty()) {
    _typebuf<char> utf8;
    _w2pc(gClip.text.data(), static_cast<long long>(gClip.text.size()), utf8);
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.ptr);
    sendValue(req, prop, a.utf8String,
              std::make_shared<std::vector<unsigned char>>(bytes, bytes + utf8.count));
    done = true;
  } else if (req.target == a.raw && !gClip.raw.empty()) {
    sendValue(req, prop, a.raw, std::make_shared<std::vector<unsigned char>>(gClip.raw));
    done = true;
  }
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = req.requestor;
  reply.xselection.selection = req.selection;
  reply.xselection.target = req.target;
  reply.xselection.property = done ? prop : None;
  reply.xselection.time = req.time;
  XSendEvent(d, req.requestor, False, NoEventMask, &reply);
  XFlush(d);
}

}  // namespace

bool nswnd_clip_event(XEvent* ev) {
  if (!gLayer) return false;
  if (ev->type == PropertyNotify && ev->xproperty.state == PropertyDelete) {
    for (size_t i = 0; i < gOutgoing.size(); ++i)
      if (gOutgoing[i].requestor == ev->xproperty.window && gOutgoing[i].property == ev->xproperty.atom) {
        sendPiece(i);
        return true;
      }
  }
  if (ev->xany.window != gLayer->clipWindow) return false;
  if (ev->type == SelectionRequest && ev->xselectionrequest.selection == gLayer->atoms.clipboard)
    answer(ev->xselectionrequest);
  else if (ev->type == SelectionClear && ev->xselectionclear.selection == gLayer->atoms.clipboard &&
           !ownsClipboard())
    gClip = sClipStore{};  // a notice older than our latest put must not empty it
  return true;
}

bool nswnd_clip_put(const unsigned short* text, long long units, const unsigned char* raw, long long bytes) {
  nswnd_init();
  if (!gLayer) return false;
  gClip = sClipStore{};
  if (text && units > 0) gClip.text.assign(text, text + units);
  if (raw && bytes > 0) gClip.raw.assign(raw, raw + bytes);
  XSetSelectionOwner(gLayer->app.display, gLayer->atoms.clipboard, gLayer->clipWindow, CurrentTime);
  XFlush(gLayer->app.display);
  return true;
}

bool nswnd_clip_text(_typebuf<unsigned short>& text) {
  text.set(0);
  nswnd_init();
  if (!gLayer) return false;
  if (ownsClipboard()) {
    text.set(static_cast<long long>(gClip.text.size()));
    if (text.count) std::memcpy(text.ptr, gClip.text.data(), gClip.text.size() * 2);
    return true;
  }
  std::vector<unsigned char> utf8;
  if (fetch(gLayer->atoms.utf8String, utf8) && !utf8.empty())
    _pc2w(reinterpret_cast<const char*>(utf8.data()), static_cast<long long>(utf8.size()), text);
  return true;
}

bool nswnd_clip_raw(_typebuf<unsigned char>& bytes) {
  bytes.set(0);
  nswnd_init();
  if (!gLayer) return false;
  std::vector<unsigned char> raw;
  _typebuf<unsigned short> text;
  if (ownsClipboard()) {
    raw = gClip.raw;
    if (raw.empty()) text.set(static_cast<long long>(gClip.text.size()));
    if (text.count) std::memcpy(text.ptr, gClip.text.data(), gClip.text.size() * 2);
  } else if (!fetch(gLayer->atoms.raw, raw) || raw.empty()) {
    raw.clear();
    nswnd_clip_text(text);
  }
  if (!raw.empty()) {
    bytes.set(static_cast<long long>(raw.size()));
    std::memcpy(bytes.ptr, raw.data(), raw.size());
  } else if (text.count) {
    bytes.set(text.count * 2);
    std::memcpy(bytes.ptr, text.ptr, static_cast<size_t>(text.count) * 2);
  }
  return true;
}
