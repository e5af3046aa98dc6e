// Reading the clipboard from another owner: the selection is converted into
// a property of the layer's window and waited for. Large values come in
// pieces (INCR): each deletion of the property asks for the next, and an
// empty piece ends the transfer. The window's thread is blocked meanwhile,
// so the whole paste has a deadline of its own besides the silence allowed
// between pieces, and the sizes an owner states are never believed.
//
// Each paste reads into a property no owner still writes to: an owner may
// go on with a transfer a paste gave up, and its pieces, empty end
// included, must never be taken for those of a later paste. Such a property
// is drained until the transfer ends or its owner's window goes, and only
// then serves again; but a paste never fails for want of one: past a bound
// the longest given up is emptied and serves.
#include <X11/Xatom.h>
#include <poll.h>

#include <algorithm>
#include <string>
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

// Waits for an event of the type on the layer's window that `accept` takes.
// Other changes of its properties may be those of transfers given up.
template <typename Accept>
bool waitFor(int type, XEvent* ev, tClock::time_point deadline, Accept accept) {
  Display* d = gLayer->app.display;
  for (;;) {
    while (XCheckTypedWindowEvent(d, gLayer->clipWindow, type, ev)) {
      if (accept(*ev)) return true;
      if (type == PropertyNotify) nswnd_clip_drain(ev->xproperty);
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - tClock::now());
    if (left.count() <= 0) return false;
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
  }
}

// The soonest of the paste's deadline and the owner's allowed silence.
tClock::time_point replyBy(tClock::time_point paste) {
  return std::min(paste, tClock::now() + nswnd_clip_limits().reply);
}

// Owners that never end a transfer we gave up would keep its property for
// good; past this many names the longest given up is drained and serves.
constexpr unsigned kMostProperties = 256;

// Drops what earlier pastes left on the properties: their values, and the
// notices of them that have come, late answers included.
void drainProperties(std::vector<Atom> props) {
  if (props.empty()) return;
  Display* d = gLayer->app.display;
  for (Atom a : props) XDeleteProperty(d, gLayer->clipWindow, a);
  XSync(d, False);
  XEvent ev;
  while (XCheckIfEvent(
      d, &ev,
      [](Display*, XEvent* e, XPointer arg) -> Bool {
        const auto* props = reinterpret_cast<const std::vector<Atom>*>(arg);
        if (e->xany.window != gLayer->clipWindow) return False;
        const Atom a = e->type == PropertyNotify ? e->xproperty.atom
                       : e->type == SelectionNotify ? e->xselection.property
                                                    : None;
        return a != None && std::find(props->begin(), props->end(), a) != props->end();
      },
      reinterpret_cast<XPointer>(&props))) {
  }
}

// Properties of pastes given up whose owner's window is gone: nobody can
// write to them any more. Each owner is looked up once a paste.
void freeOrphans() {
  sNSPasteProperties& pool = gLayer->pasteProperties;
  std::vector<Window> alive, gone;
  std::vector<Atom> freed;
  for (size_t i = 0; i < pool.abandoned.size();) {
    const Window w = pool.abandoned[i].owner;
    if (std::find(alive.begin(), alive.end(), w) == alive.end() &&
        std::find(gone.begin(), gone.end(), w) == gone.end()) {
      Window root;
      int x, y;
      unsigned width, height, border, depth;
      const bool exists = XGetGeometry(gLayer->app.display, w, &root, &x, &y, &width, &height, &border, &depth);
      (exists ? alive : gone).push_back(w);
    }
    if (std::find(gone.begin(), gone.end(), w) == gone.end()) {
      ++i;
      continue;
    }
    freed.push_back(pool.abandoned[i].property);
    pool.abandoned.erase(pool.abandoned.begin() + static_cast<long>(i));
  }
  drainProperties(freed);
  pool.free.insert(pool.free.end(), freed.begin(), freed.end());
}

Atom leaseProperty() {
  sNSPasteProperties& pool = gLayer->pasteProperties;
  freeOrphans();
  if (!pool.free.empty()) {
    const Atom a = pool.free.back();
    pool.free.pop_back();
    return a;
  }
  if (pool.made < kMostProperties || pool.abandoned.empty()) {
    const std::string name = "_ZVK_CLIPBOARD_DATA_" + std::to_string(pool.made++);
    return XInternAtom(gLayer->app.display, name.c_str(), False);
  }
  const Atom a = pool.abandoned.front().property;
  pool.abandoned.erase(pool.abandoned.begin());
  drainProperties({a});
  return a;
}

// Appends what fits of the property and deletes it, so that an owner
// sending in pieces goes on even once nothing more is kept. Answers the
// bytes the property held (0 for an empty piece); -1 when it is missing.
long long takeProperty(Atom prop, Atom* type, sIncoming& in) {
  Display* d = gLayer->app.display;
  const long long room = std::max(nswnd_clip_limits().maxBytes - static_cast<long long>(in.bytes.size()), 0ll);
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  *type = None;
  // Read and deleted in one request: a hasty owner may put its next piece
  // right after the deletion, which a deletion of our own would then lose.
  const int rc = XGetWindowProperty(d, gLayer->clipWindow, prop, 0, (room + 3) / 4, True, AnyPropertyType, type,
                                    &format, &count, &after, &data);
  // The server keeps a property that was not read to its end.
  if (rc == Success && after > 0) XDeleteProperty(d, gLayer->clipWindow, prop);
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

// Takes the pieces of a transfer until the empty one. A notice may find the
// property already taken (the owner set it before the transfer began, or a
// notice arrived late); it is passed over.
bool takePieces(Atom prop, sIncoming& in, tClock::time_point paste) {
  for (;;) {
    XEvent ev;
    if (!waitFor(PropertyNotify, &ev, replyBy(paste), [&](const XEvent& e) {
          return e.xproperty.atom == prop && e.xproperty.state == PropertyNewValue;
        }))
      return false;
    Atom type;
    const long long held = takeProperty(prop, &type, in);
    if (held == 0) return true;
    if (held > 0) in.type = type;
  }
}

// How far a paste came on its property: `unwritten` when the owner
// answered but put nothing there, which it never does later.
enum class eFetch { got, refused, unanswered, unwritten, inPieces };

// Asks the owner for the target and takes its answer, of whatever type,
// on the property given.
eFetch fetchInto(Atom prop, Atom target, sIncoming& in, tClock::time_point paste) {
  in = sIncoming{};
  Display* d = gLayer->app.display;
  XDeleteProperty(d, gLayer->clipWindow, prop);
  XConvertSelection(d, gLayer->atoms.clipboard, target, prop, gLayer->clipWindow, CurrentTime);
  XFlush(d);
  XEvent ev;
  // Late answers to pastes given up name their own property, or refuse.
  if (!waitFor(SelectionNotify, &ev, replyBy(paste), [&](const XEvent& e) {
        const XSelectionEvent& n = e.xselection;
        return n.selection == gLayer->atoms.clipboard &&
               (n.property == prop || (n.property == None && n.target == target));
      }))
    return eFetch::unanswered;
  if (ev.xselection.property == None) return eFetch::refused;
  Atom type;
  if (takeProperty(prop, &type, in) < 0) return eFetch::unwritten;
  if (type == gLayer->atoms.incr) {
    // The notice's size is only a lower bound; nothing is reserved for it.
    in = sIncoming{};
    return takePieces(prop, in, paste) ? eFetch::got : eFetch::inPieces;
  }
  in.type = type;
  return eFetch::got;
}

// Answers false when the owner gave nothing whole. A property the owner
// may still write to waits until it has ended or gone.
bool fetch(Atom target, sIncoming& in, tClock::time_point paste, bool* refused) {
  in = sIncoming{};
  const Window owner = XGetSelectionOwner(gLayer->app.display, gLayer->atoms.clipboard);
  const Atom prop = leaseProperty();
  const eFetch got = fetchInto(prop, target, in, paste);
  if (got != eFetch::got) in = sIncoming{};
  sNSPasteProperties& pool = gLayer->pasteProperties;
  if (got == eFetch::unanswered || got == eFetch::inPieces)
    pool.abandoned.push_back({prop, owner, got == eFetch::inPieces});
  else
    pool.free.push_back(prop);
  *refused = got == eFetch::refused;
  return got == eFetch::got;
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
  bool refused = false;
  bool got = fetch(gLayer->atoms.utf8String, in, paste, &refused);
  if (refused) got = fetch(XA_STRING, in, paste, &refused);
  if (!got || in.bytes.empty()) return false;
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
  bool refused = false;
  if (!fetch(gLayer->atoms.raw, in, paste, &refused) || in.type != gLayer->atoms.raw || in.cut || in.bytes.empty())
    return false;
  bytes.set(static_cast<long long>(in.bytes.size()));
  std::copy(in.bytes.begin(), in.bytes.end(), bytes.ptr);
  return true;
}

size_t nswnd_clip_given_up() { return gLayer ? gLayer->pasteProperties.abandoned.size() : 0; }

bool nswnd_clip_drain(const XPropertyEvent& e) {
  if (!gLayer || e.window != gLayer->clipWindow || e.state != PropertyNewValue) return false;
  std::vector<sNSAbandoned>& given = gLayer->pasteProperties.abandoned;
  auto it = std::find_if(given.begin(), given.end(), [&](const sNSAbandoned& a) { return a.property == e.atom; });
  if (it == given.end()) return false;
  Display* d = gLayer->app.display;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  // Only its size is read; the deletion asks the owner for its next piece.
  XGetWindowProperty(d, gLayer->clipWindow, e.atom, 0, 0, False, AnyPropertyType, &type, &format, &count, &after,
                     &data);
  if (data) XFree(data);
  if (type == None) return true;  // a notice of a value already deleted
  XDeleteProperty(d, gLayer->clipWindow, e.atom);
  XFlush(d);
  if (!it->pieces && type == gLayer->atoms.incr) {
    it->pieces = true;
  } else if (!it->pieces || after == 0) {
    gLayer->pasteProperties.free.push_back(it->property);
    given.erase(it);
  }
  return true;
}
