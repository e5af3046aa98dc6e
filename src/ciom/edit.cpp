#include "ciom/edit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/textconv.h"
#include "base/utils.h"
#include "ciom/canvas.h"
#include "ciom/fontobject.h"
#include "ciom/themeuse.h"

namespace {

constexpr unsigned short kBullet = 0x2022;

// Theme colours of each colour set: background, text, border.
constexpr int kThemeColors[5][3] = {{27, 4, 32}, {29, 4, 34}, {28, 4, 33}, {30, 5, 35}, {31, 4, 36}};

}  // namespace

cEditChild::cEditChild() {
  myDoubleBuffer = true;
  for (int t = 0; t < 5; ++t)
    myColors[t] = {themeColor(kThemeColors[t][0]), themeColor(kThemeColors[t][1]), themeColor(kThemeColors[t][2])};
  mySelection = themeColor(17);
  mySelectionInactive = themeColor(18);
  setMaxLen(256);
}

void cEditChild::onInitData() {
  cChildElement::onInitData();
  myBuffer.clearSelection();
}

void cEditChild::onConstruct() {
  setPointer(mptIBeam);
  myFont = createFont(5, 13, _glbalStdFont(), false, false, false);
  myBannerFont = createFont(5, 13, _glbalStdFont(), false, false, true);
}

void cEditChild::setStdFont(int w, int h, const char* face, bool bold, bool underline, bool italic) {
  myFont = createFont(w, h, face, bold, underline, italic);
}

void cEditChild::setBanFont(int w, int h, const char* face, bool bold, bool underline, bool italic) {
  myBannerFont = createFont(w, h, face, bold, underline, italic);
}

bool cEditChild::setMaxLen(long long n) {
  if (!myBuffer.setMaxLen(n)) return false;
  try {
    myMask.set(n + 1);
  } catch (const std::bad_alloc&) {
    myBuffer.setMaxLen(0);
    return false;
  }
  std::fill(myMask.ptr, myMask.ptr + n, kBullet);
  myMask.ptr[n] = 0;
  myScroll = 0;
  return true;
}

void cEditChild::setText(const char* utf8, long long n) {
  _typebuf<unsigned short> units;
  if (utf8) _pc2w(utf8, n, units);
  myBuffer.setUnits(units.ptr, units.count);
  myScroll = 0;
  repaint(nullptr);
}

const char* cEditChild::text() {
  _w2pc(myBuffer.units(), myBuffer.length(), myResult);
  return myResult.ptr;
}

void cEditChild::text(char* buf, long long size) {
  if (!buf || size < 1) return;
  _w2pc(myBuffer.units(), myBuffer.length(), buf, size);
}

void cEditChild::wipeText() { myBuffer.wipe(); }

void cEditChild::setU64(unsigned long long value, bool hex, char separator) {
  // Unsigned, so values of 2^63 and above read back as they were set.
  char plain[32];
  std::snprintf(plain, sizeof(plain), hex ? "0x%llX" : "%llu", value);
  if (!separator) {
    setText(plain, -1);
    return;
  }
  char grouped[64];
  const int n = static_cast<int>(std::strlen(plain));
  int o = 0;
  for (int i = 0; i < n; ++i) {
    if (i && (n - i) % 3 == 0) grouped[o++] = separator;
    grouped[o++] = plain[i];
  }
  grouped[o] = 0;
  setText(grouped, -1);
}

unsigned long long cEditChild::asU64() {
  if (!myBuffer.length()) return ~0ull;
  const char* t = text();
  // The core's parser reads decimals as signed; plain digits are read here
  // so that what setU64 showed reads back, 2^63 and above included.
  unsigned long long v = 0;
  const char* d = t;
  for (; *d >= '0' && *d <= '9'; ++d) {
    const unsigned digit = static_cast<unsigned>(*d - '0');
    if (v > (~0ull - digit) / 10) return ~0ull;
    v = v * 10 + digit;
  }
  return d != t && !*d ? v : strToU64(t);
}

void cEditChild::setBanner(const char* utf8) { myBanner.set(utf8); }

void cEditChild::setCursorForRO(bool on) {
  if (on == myCursorForRO) return;
  myCursorForRO = on;
  repaint(nullptr);
}

void cEditChild::setColors(eColorTypes t, unsigned int background, unsigned int text) {
  if (t < 0 || t > 4) return;
  if (myColors[t].background == background && myColors[t].text == text) return;
  myColors[t].background = background;
  myColors[t].text = text;
  repaint(nullptr);
}

void cEditChild::setBorderColor(eColorTypes t, unsigned int c) {
  if (t < 0 || t > 4 || myColors[t].border == c) return;
  myColors[t].border = c;
  if (myBorder) repaint(nullptr);
}

void cEditChild::resetColors(unsigned int background, unsigned int text, unsigned int border) {
  for (int t = 0; t < 4; ++t) myColors[t] = {background, text, border};
}

void cEditChild::cancelSelection() {
  myBuffer.clearSelection();
  repaint(nullptr);
}

bool cEditChild::deleteSelection() {
  if (myReadOnly || !myBuffer.hasSelection()) return false;
  myBuffer.deleteSelection();
  repaint(nullptr);
  return true;
}

void cEditChild::processSelectKbd(long long from, long long to) {
  if (myReadOnly && !myCursorForRO) return;
  const bool had = myBuffer.selStart() != -1;
  myBuffer.selectKbd(from, to);
  if (had && myBuffer.selStart() == -1) repaint(nullptr);
}

long long cEditChild::symbolPos(int x) {
  const long long n = myBuffer.length();
  if (!n) return 0;
  const long long px = static_cast<long long>(x) - myScroll;
  const long long i = myBuffer.ruler.firstEndingAfter(static_cast<int>(std::clamp<long long>(px, -(1LL << 30), 1LL << 30)));
  if (i >= n) return n;
  // Judged on the whole character, so a click never lands inside a pair.
  const long long first = myBuffer.snap(i), after = myBuffer.next(first);
  const long long start = myBuffer.ruler.widthOf(first), end = myBuffer.ruler.widthOf(after);
  return px - start > end - px ? after : first;
}

void cEditChild::cb_copy() {
  if (myPassword || !myBuffer.hasSelection()) return;
  const long long start = myBuffer.snap(myBuffer.selStart());
  const long long end = myBuffer.next(myBuffer.snap(myBuffer.selEnd()));
  _typebuf<char> utf8;
  _w2pc(myBuffer.units() + start, end - start, utf8);
  // Counted with its terminator; the platform hands other programs the
  // text alone.
  _typebuf<char> whole;
  whole.set(utf8.count + 1);
  if (utf8.count) std::memcpy(whole.ptr, utf8.ptr, static_cast<size_t>(utf8.count));
  whole.ptr[utf8.count] = 0;
  clipboardCopyText(whole.ptr, whole.count);
}

void cEditChild::cb_cut() {
  cb_copy();
  deleteSelection();
}

// A paste that brings nothing (an empty clipboard, an owner given up)
// leaves the field as it was, its selection included.
void cEditChild::cb_paste() {
  if (myReadOnly) return;
  _typebuf<char> utf8;
  if (clipboardRequestText(utf8) && utf8.count > 1) pasteText(utf8.ptr, utf8.count - 1);
}

void cEditChild::pasteText(const char* utf8, long long n) {
  if (myReadOnly) return;
  myBuffer.deleteSelection();
  _typebuf<unsigned short> units;
  if (utf8 && n > 0) _pc2w(utf8, n, units);
  myBuffer.paste(units.ptr, units.count);
  repaint(nullptr);
}

void cEditChild::selectAll() {
  const long long n = myBuffer.length();
  myBuffer.select(n ? 0 : -1, n ? n - 1 : -1);
  myBuffer.setCaret(n);
}

void cEditChild::onChar(unsigned short unit, bool, bool, bool) {
  if (myReadOnly) return;
  myBuffer.type(unit);
  repaint(nullptr);
}

bool cEditChild::caretKey(int key, bool mod2) {
  const long long c = myBuffer.caret(), n = myBuffer.length();
  switch (key) {
    case kcHome:
    case kcUp: myBuffer.setCaret(0); return true;
    case kcEnd:
    case kcDown: myBuffer.setCaret(n); return true;
    case kcLeft:
      if (c > 0) myBuffer.setCaret(mod2 ? myBuffer.runLeft(c) : myBuffer.prev(c));
      return true;
    case kcRight:
      if (c < n) myBuffer.setCaret(mod2 ? myBuffer.runRight(c) : myBuffer.next(c));
      return true;
    default: return false;
  }
}

void cEditChild::onKey(int key, bool shift, bool mod2, bool) {
  switch (key) {
    case kcDelete:
      if (myReadOnly) return;
      if (shift) {
        cb_cut();
      } else {
        myBuffer.deleteForward();
        repaint(nullptr);
      }
      return;
    case kcBackspace:
      if (myReadOnly) return;
      myBuffer.backspace();
      repaint(nullptr);
      return;
    case kcEnter: notifyAction(new cChildAction(acChange)); return;
    case kcEscape:
      if (myBuffer.hasSelection())
        cancelSelection();
      else
        notifyAction(new cChildAction(acActivate));
      return;
    case kcInsert:
      if (mod2)
        cb_copy();
      else if (shift)
        cb_paste();
      return;
    case 'A':
      if (!mod2) return;
      selectAll();
      repaint(nullptr);
      return;
    case 'C':
      if (mod2) cb_copy();
      return;
    case 'V':
      if (mod2) cb_paste();
      return;
    case 'X':
      if (mod2) cb_cut();
      return;
    default: break;
  }
  const long long from = myBuffer.caret();
  if (!caretKey(key, mod2)) return;
  if (shift)
    processSelectKbd(from, myBuffer.caret());
  else
    myBuffer.clearSelection();
  repaint(nullptr);
}

void cEditChild::onMouseButton(int x, int, int button, bool down) {
  if (button != mbLeft) return;
  if (down) {
    myBuffer.clearSelection();
    repaint(nullptr);
    capturePointer(false);
    mySelecting = true;
    myBuffer.setCaret(symbolPos(x));
  } else {
    releasePointer();
    mySelecting = false;
  }
  repaint(nullptr);
}

void cEditChild::onMouseMoving(int x, int y) {
  cChildElement::onMouseMoving(x, y);
  if (!mySelecting) return;
  const long long p = symbolPos(x);
  if (p == myBuffer.caret()) return;
  processSelectKbd(myBuffer.caret(), p);
  repaint(nullptr);
  myBuffer.setCaret(p);
}

void cEditChild::onMouseOver() {
  cChildElement::onMouseOver();
  myPointerOver = true;
  repaint(nullptr);
}

void cEditChild::onMouseLeft() {
  cChildElement::onMouseLeft();
  myPointerOver = false;
  repaint(nullptr);
}

void cEditChild::onMouseDoubleClick(int x, int) {
  long long start, end;
  myBuffer.runAround(symbolPos(x), start, end);
  if (start >= end) return;
  myBuffer.select(start, end - 1);
  myBuffer.setCaret(end);
  repaint(nullptr);
}

void cEditChild::onSetFocusEvent(eEventOrigin origin, bool f1, bool f2) {
  cChildElement::onSetFocusEvent(origin, f1, f2);
  if (!mySelectOnFocus || myReadOnly) return;
  selectAll();
  repaint(nullptr);
}

void cEditChild::onLooseFocus(bool f1, bool f2) {
  cChildElement::onLooseFocus(f1, f2);
  myBuffer.clearSelection();
  repaint(nullptr);
  notifyAction(new cChildAction(acEditFocusLost));
}

void cEditChild::paintText(cCanvas* c, const sColors& set, int y) {
  const int w = width();
  const unsigned short* units = shown();
  const bool selected = myBuffer.hasSelection();
  const long long s = selected ? myBuffer.snap(myBuffer.selStart()) : -1;
  const long long e = selected ? myBuffer.next(myBuffer.snap(myBuffer.selEnd())) : -1;
  const unsigned int selBack = focused() ? mySelection : mySelectionInactive;
  // Line pixels in view: the text starts at scroll + 2 on the field.
  const long long left = -myScroll - 2, right = left + w;
  myBuffer.ruler.piecesMeeting(static_cast<int>(std::max<long long>(left, -(1LL << 30))),
                               static_cast<int>(std::min<long long>(right, 1LL << 30)), myVisible);
  for (const cGlyphRuler::sPiece& p : myVisible) {
    const long long bounds[4] = {p.start, std::clamp(s, p.start, p.start + p.length),
                                 std::clamp(e, p.start, p.start + p.length), p.start + p.length};
    for (int k = 0; k < 3; ++k) {
      const long long from = bounds[k], to = bounds[k + 1];
      if (from >= to) continue;
      const bool inSelection = selected && k == 1;
      c->setTextColors(inSelection ? themeColor(10) : set.text, inSelection ? selBack : set.background);
      const long long x = myScroll + 2 + myBuffer.ruler.widthOf(from);
      c->drawText(static_cast<int>(x), y, false, units + from, to - from);
    }
  }
}

void cEditChild::onPaint(cCanvas* c) {
  if (!c) return;
  const int w = width(), h = height();
  const bool on = enabled();
  const int type = !on ? ctDisabled : focused() ? ctFocused : myPointerOver ? ctHovered : ctNormal;
  const int borderType = !on ? ctDisabled : myPointerOver ? ctHovered : focused() ? ctFocused : ctNormal;
  const sColors& set = myColors[type];
  sRect all{0, 0, w, h}, inner{1, 1, w - 2, h - 2};
  c->drawRect(&all, set.background, myBorder ? myColors[borderType].border : set.background);
  c->clip(&all);
  c->unclip(&inner);
  c->select();

  sSize m{0, 0};
  if (!focused() && !myBuffer.length()) {
    if (!myBanner.ptr || !*myBanner.ptr || myReadOnly || !myBannerFont) return;
    myBannerFont->apply(c);
    c->textSize("W", 1, m);
    c->setTextColors(themeColor(8), set.background);
    c->drawText(2, (h - m.cy) / 2, false, myBanner.ptr, -1);
    return;
  }
  if (myFont) myFont->apply(c);
  c->textSize("W", 1, m);
  const int y = (h - m.cy) / 2;

  const long long n = myBuffer.length();
  if (myMeasuredFont != myFont || myMeasuredMask != myPassword || myBuffer.ruler.length() != n) {
    myBuffer.ruler.reset(n);
    myMeasuredFont = myFont;
    myMeasuredMask = myPassword;
  }
  myBuffer.ruler.update(c, shown(), n);

  const long long caret = myBuffer.caret();
  long long cx;
  if (caret == 0) {
    myScroll = 0;
    cx = 1;
  } else {
    cx = 1 + myBuffer.ruler.widthOf(caret) + myScroll;
  }
  if (cx > w - 2) {
    myScroll -= cx - (w - 2);
    cx = w - 2;
  } else if (cx < w / 8) {
    const long long back = std::max<long long>(1 - cx, w / 4);
    const long long scroll = std::min<long long>(myScroll + back, 0);
    cx += scroll - myScroll;
    myScroll = scroll;
  }
  paintText(c, set, y);

  if (focused() && on && (!myReadOnly || myCursorForRO)) {
    c->setLineMode(set.text, 1);
    sPoint a{static_cast<int>(cx), y}, b{static_cast<int>(cx), y + m.cy};
    c->drawLine(&a, &b);
  }
}
