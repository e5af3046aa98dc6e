// The clipboard is the CLIPBOARD selection. While this program owns it, the
// layer's own window answers the requests of other programs: text as
// UTF8_STRING or as ISO 8859-1 (STRING), raw bytes under a target of our own.
//
// Large values go out in pieces (INCR): the requestor deletes each piece to
// ask for the next, and an empty piece ends the transfer. A requestor that
// stops asking, or whose window goes, is given up, so that neither our
// event mask on its window nor our copy of the value outlives it.
#include <X11/Xatom.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "base/textconv.h"
#include "nslib/nswnd_clip.h"
#include "nslib/nswnd_internal.h"

namespace {

using tValue = std::shared_ptr<const std::vector<unsigned char>>;

// Values above this go out in pieces of at most this size.
constexpr long kPieceBytes = 256 << 10;
// What a request needs besides the piece itself.
constexpr long kRequestHeader = 1024;

sNSClipLimits gLimits;

// The text is kept as put and as it goes out, converted once per copy; to
// ISO 8859-1 only when somebody asks for it.
struct sClipStore {
  std::vector<unsigned short> text;
  tValue utf8, latin1, raw;
};
sClipStore gClip;

// A value going out in pieces to one requestor's property. It shares the
// value it was asked for: the clipboard may change while the transfer runs.
struct sOutgoing {
  Window requestor;
  Atom property, type;
  tValue data;
  size_t sent;
  size_t piece;  // below the server's request limit when the transfer began
  tClock::time_point last;
};
std::vector<sOutgoing> gOutgoing;
std::atomic<size_t> gOutgoingCount{0};

// A character outside ISO 8859-1, a surrogate pair included, becomes one '?'.
tValue latin1Of(const std::vector<unsigned short>& text) {
  auto out = std::make_shared<std::vector<unsigned char>>();
  out->reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned short u = text[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) ++i;
    out->push_back(u < 0x100 ? static_cast<unsigned char>(u) : '?');
  }
  return out;
}

bool ownsClipboard() {
  return XGetSelectionOwner(gLayer->app.display, gLayer->atoms.clipboard) == gLayer->clipWindow;
}

// `gone`: the requestor's window no longer exists, so it has no mask to clear.
void endOutgoing(size_t i, bool gone = false) {
  const Window w = gOutgoing[i].requestor;
  gOutgoing.erase(gOutgoing.begin() + static_cast<long>(i));
  gOutgoingCount = gOutgoing.size();
  if (!gone && std::none_of(gOutgoing.begin(), gOutgoing.end(), [&](const sOutgoing& o) { return o.requestor == w; }))
    XSelectInput(gLayer->app.display, w, nswnd_workarea_mask(w));
}

tClock::time_point stallTime(const sOutgoing& o) { return o.last + gLimits.stall; }

// Requestors that stopped taking pieces (stuck, or gone unseen) are given up.
void dropStalled() {
  const auto now = tClock::now();
  for (size_t i = gOutgoing.size(); i-- > 0;)
    if (now >= stallTime(gOutgoing[i])) endOutgoing(i);
}

// The requestor took the last piece: the next one, or the empty end.
void sendPiece(size_t i) {
  sOutgoing& o = gOutgoing[i];
  const size_t n = std::min(o.data->size() - o.sent, o.piece);
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

// The largest piece that one request of ours carries to the server.
size_t pieceBytes() {
  Display* d = gLayer->app.display;
  long maxBytes = gLimits.maxRequest;
  if (maxBytes <= 0) maxBytes = XExtendedMaxRequestSize(d) ? XExtendedMaxRequestSize(d) * 4 : XMaxRequestSize(d) * 4;
  return static_cast<size_t>(std::clamp(maxBytes - kRequestHeader, kRequestHeader, kPieceBytes));
}

// Puts the value, as the type asked for, on the requestor's property, whole
// or as the start of a transfer in pieces.
void sendValue(const XSelectionRequestEvent& req, Atom prop, tValue data) {
  Display* d = gLayer->app.display;
  const size_t piece = pieceBytes();
  if (data->size() <= piece) {
    XChangeProperty(d, req.requestor, prop, req.target, 8, PropModeReplace, data->data(),
                    static_cast<int>(data->size()));
    return;
  }
  for (size_t i = 0; i < gOutgoing.size(); ++i)
    if (gOutgoing[i].requestor == req.requestor && gOutgoing[i].property == prop) {
      endOutgoing(i);
      break;
    }
  // The requestor's deletions of the property ask for the pieces; its
  // window's end ends the transfer.
  XSelectInput(d, req.requestor, PropertyChangeMask | StructureNotifyMask);
  long size = static_cast<long>(std::min<size_t>(data->size(), 0x7FFFFFFF));
  XChangeProperty(d, req.requestor, prop, gLayer->atoms.incr, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&size), 1);
  gOutgoing.push_back({req.requestor, prop, req.target, std::move(data), 0, piece, tClock::now()});
  gOutgoingCount = gOutgoing.size();
}

// A later request for the same property of the same window is already
// queued: the earlier one came from a program that has gone, and the
// window id now belongs to the one that asks again. Answering the dead one
// would start a second transfer on the living one's property.
bool superseded(const XSelectionRequestEvent& req) {
  struct sMatch {
    const XSelectionRequestEvent* req;
    bool found;
  } match{&req, false};
  XEvent ev;
  XCheckIfEvent(
      gLayer->app.display, &ev,
      [](Display*, XEvent* e, XPointer arg) -> Bool {
        auto* m = reinterpret_cast<sMatch*>(arg);
        const XSelectionRequestEvent& r = e->xselectionrequest;
        if (e->type == SelectionRequest && r.owner == m->req->owner && r.selection == m->req->selection &&
            r.requestor == m->req->requestor && r.property == m->req->property)
          m->found = true;
        return False;  // only looked at, never taken
      },
      reinterpret_cast<XPointer>(&match));
  return match.found;
}

void answer(const XSelectionRequestEvent& req) {
  Display* d = gLayer->app.display;
  const sNSAtoms& a = gLayer->atoms;
  dropStalled();
  // Old clients name no property; the target then stands for it.
  Atom prop = req.property != None ? req.property : req.target;
  if (req.property != None && superseded(req)) return;
  tValue value;
  if (req.target == a.targets) {
    Atom list[4] = {a.targets};
    int n = 1;
    if (gClip.utf8) list[n++] = a.utf8String;
    if (gClip.utf8) list[n++] = XA_STRING;
    if (gClip.raw) list[n++] = a.raw;
    XChangeProperty(d, req.requestor, prop, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(list),
                    n);
  } else if (req.target == a.utf8String) {
    value = gClip.utf8;
  } else if (req.target == XA_STRING && gClip.utf8) {
    if (!gClip.latin1) gClip.latin1 = latin1Of(gClip.text);
    value = gClip.latin1;
  } else if (req.target == a.raw) {
    value = gClip.raw;
  }
  if (value) sendValue(req, prop, value);
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = req.requestor;
  reply.xselection.selection = req.selection;
  reply.xselection.target = req.target;
  reply.xselection.property = value || req.target == a.targets ? prop : None;
  reply.xselection.time = req.time;
  XSendEvent(d, req.requestor, False, NoEventMask, &reply);
  XFlush(d);
}

// A requestor's window went: its transfers end with it.
bool requestorGone(Window w) {
  bool any = false;
  for (size_t i = gOutgoing.size(); i-- > 0;)
    if (gOutgoing[i].requestor == w) {
      endOutgoing(i, true);
      any = true;
    }
  return any;
}

// Our own text, or another owner's.
bool clipText(_typebuf<unsigned short>& text, tClock::time_point paste) {
  if (!ownsClipboard()) return nswnd_clip_fetch_text(text, paste);
  text.set(static_cast<long long>(gClip.text.size()));
  if (text.count) std::memcpy(text.ptr, gClip.text.data(), gClip.text.size() * 2);
  return text.count > 0;
}

}  // namespace

sNSClipLimits& nswnd_clip_limits() { return gLimits; }

size_t nswnd_clip_transfers() { return gOutgoingCount; }

bool nswnd_clip_event(XEvent* ev) {
  if (!gLayer) return false;
  if (ev->type == PropertyNotify && ev->xproperty.state == PropertyDelete) {
    for (size_t i = 0; i < gOutgoing.size(); ++i)
      if (gOutgoing[i].requestor == ev->xproperty.window && gOutgoing[i].property == ev->xproperty.atom) {
        sendPiece(i);
        return true;
      }
  }
  if (ev->type == DestroyNotify && requestorGone(ev->xdestroywindow.window)) return true;
  if (ev->xany.window != gLayer->clipWindow) return false;
  if (ev->type == SelectionRequest && ev->xselectionrequest.selection == gLayer->atoms.clipboard)
    answer(ev->xselectionrequest);
  else if (ev->type == SelectionClear && ev->xselectionclear.selection == gLayer->atoms.clipboard &&
           !ownsClipboard())
    gClip = sClipStore{};  // a notice older than our latest put must not empty it
  return true;
}

void nswnd_next_event(XEvent* ev) {
  Display* d = gLayer->app.display;
  // Nothing else may come to wake the loop when a reader stops asking.
  while (!gOutgoing.empty() && !XPending(d)) {
    auto next = stallTime(gOutgoing.front());
    for (const sOutgoing& o : gOutgoing) next = std::min(next, stallTime(o));
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - tClock::now()).count();
    // A wake-up read in by another thread's write leaves the socket quiet;
    // the wait is kept short so that it is seen soon anyway.
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    if (wait > 0) poll(&p, 1, static_cast<int>(std::min<long long>(wait, 100)));
    dropStalled();
  }
  XNextEvent(d, ev);
}

bool nswnd_clip_put(const unsigned short* text, long long units, const unsigned char* raw, long long bytes) {
  nswnd_init();
  if (!gLayer) return false;
  gClip = sClipStore{};
  if (text && units > 0) {
    gClip.text.assign(text, text + units);
    _typebuf<char> utf8;
    _w2pc(text, units, utf8);
    const auto* b = reinterpret_cast<const unsigned char*>(utf8.ptr);
    gClip.utf8 = std::make_shared<const std::vector<unsigned char>>(b, b + utf8.count);
  }
  if (raw && bytes > 0) gClip.raw = std::make_shared<const std::vector<unsigned char>>(raw, raw + bytes);
  XSetSelectionOwner(gLayer->app.display, gLayer->atoms.clipboard, gLayer->clipWindow, CurrentTime);
  XFlush(gLayer->app.display);
  return true;
}

bool nswnd_clip_text(_typebuf<unsigned short>& text) {
  text.set(0);
  nswnd_init();
  if (!gLayer) return false;
  return clipText(text, tClock::now() + gLimits.paste);
}

bool nswnd_clip_raw(_typebuf<unsigned char>& bytes) {
  bytes.set(0);
  nswnd_init();
  if (!gLayer) return false;
  if (ownsClipboard() && gClip.raw) {
    bytes.set(static_cast<long long>(gClip.raw->size()));
    std::memcpy(bytes.ptr, gClip.raw->data(), gClip.raw->size());
    return true;
  }
  // One paste, however many targets it asks for.
  const auto paste = tClock::now() + gLimits.paste;
  if (!ownsClipboard() && nswnd_clip_fetch_raw(bytes, paste)) return true;
  // Without raw bytes, the text's UTF-16 bytes.
  _typebuf<unsigned short> text;
  if (!clipText(text, paste)) return false;
  bytes.set(text.count * 2);
  std::memcpy(bytes.ptr, text.ptr, static_cast<size_t>(text.count) * 2);
  return true;
}
