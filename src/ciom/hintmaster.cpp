#include "ciom/hintmaster.h"

#include <algorithm>
#include <cstring>

#include "ciom/canvas.h"
#include "ciom/fontobject.h"
#include "ciom/themeuse.h"

namespace {
constexpr unsigned int kThemeDefault = 0xFF000000;
}

cHintMaster::~cHintMaster() { set(nullptr); }

const char* cHintMaster::line(const char* text, _guardchar<char>& out) {
  if (!text) {
    out.set(nullptr);
    return nullptr;
  }
  const char* end = std::strchr(text, '\n');
  if (!end) {
    out.set(text);
    return nullptr;
  }
  out.set(text, end - text);
  return end + 1;
}

void cHintMaster::set(cWindowHolder* window) {
  if (myWindow && myWindow != window) myWindow->dispose(true);
  myWindow = window;
  // The window reference follows the held window, so nothing reaches a
  // window that is gone.
  myTarget = window ? window->target() : nullptr;
}

bool cHintMaster::hide() {
  set(nullptr);
  return true;
}

bool cHintMaster::show(cChildElement* owner, const char* text, sPoint* at, unsigned int background,
                       unsigned int textColour) {
  if (!owner || !text) return false;
  cFontObject* font = owner->stdFont();
  if (!font) return false;
  int w = 0, h = 0, lines = 0;
  _guardchar<char> one;
  const char* p = text;
  do {
    p = line(p, one);
    sSize s;
    if (owner->sizeOf(one.ptr ? one.ptr : "", s, font)) {
      w = std::max(w, s.cx);
      h = std::max(h, s.cy);
    }
    ++lines;
  } while (p);
  if (w == 0) return false;
  sPoint place;
  if (at) {
    place = *at;
  } else {
    if (!owner->absPos(place)) return false;
    place.x += 2;
    place.y += owner->height() + 2;
  }
  myBackground = background == kThemeDefault ? themeColor(11) : background;
  myTextColour = textColour == kThemeDefault ? themeColor(13) : textColour;
  setText(text, -1, false);
  myLineHeight = h;
  // Lines times height stays far from overflow: a text long enough to matter
  // is refused by the window system first.
  long long height = static_cast<long long>(lines) * h + 4;
  if (height > 0x7FFFFFFF) return false;
  void* made = owner->popup(place.x, place.y, w + 8, static_cast<int>(height), this, false);
  set(static_cast<cWindowHolder*>(made));
  return made != nullptr;
}

void cHintMaster::onPaint(cCanvas* c) {
  if (!c) return;
  if (cFontObject* f = stdFont()) f->apply(c);
  sRect all{0, 0, width(), height()};
  c->drawRect(&all, myBackground, themeColor(12));
  if (!text()) return;
  c->setTextColors(myTextColour, myBackground);
  _guardchar<char> one;
  int y = 2;
  for (const char* p = text(); p; y += myLineHeight) {
    p = line(p, one);
    if (one.ptr && *one.ptr) c->drawText(4, y, true, one.ptr, -1);
  }
}

void cChildElement::displayHint() {
  auto* shown = new cHintMaster;
  if (!shown->show(this, hint(), nullptr, kThemeDefault, kThemeDefault)) {
    delete shown;
    return;
  }
  delete myShownHint;
  myShownHint = shown;
}

void cChildElement::onMouseMoving(int, int) {
  if (!myShownHint && hasHintText()) displayHint();
}

void cChildElement::onMouseOver() {
  if (hasHintText()) displayHint();
}
