#include "ciom/editbuffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "base/casemap.h"

namespace {

bool isHigh(unsigned short u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(unsigned short u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

bool cEditBuffer::setMaxLen(long long n) {
  if (n < 0 || n > kMaxCapacity) return false;
  _typebuf<unsigned short> fresh;
  try {
    fresh.set(n + 1);
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::memset(fresh.ptr, 0, static_cast<size_t>(fresh.count) * sizeof(unsigned short));
  std::swap(myText.ptr, fresh.ptr);
  std::swap(myText.count, fresh.count);
  myLength = myCaret = 0;
  myDropLow = false;
  clearSelection();
  ruler.reset(0);
  return true;
}

long long cEditBuffer::fit(const unsigned short* u, long long n, long long room) {
  if (n <= room) return n;
  if (room > 0 && isHigh(u[room - 1]) && isLow(u[room])) return room - 1;
  return std::max(room, 0LL);
}

void cEditBuffer::setUnits(const unsigned short* u, long long n) {
  long long len = 0;
  if (u)
    while (len < n && u[len]) ++len;
  len = fit(u, len, maxLen());
  std::memset(myText.ptr, 0, static_cast<size_t>(myText.count) * sizeof(unsigned short));
  if (len) std::memcpy(myText.ptr, u, static_cast<size_t>(len) * sizeof(unsigned short));
  myLength = len;
  myCaret = 0;
  myDropLow = false;
  clearSelection();
  ruler.reset(len);
}

void cEditBuffer::wipe() {
  std::memset(myText.ptr, 0, static_cast<size_t>(myText.count) * sizeof(unsigned short));
  // A caret or selection left past the end would have later edits move
  // units that are not there.
  myLength = myCaret = 0;
  clearSelection();
  ruler.reset(0);
}

bool cEditBuffer::pairAt(long long p) const {
  return p >= 0 && p + 1 < myLength && isHigh(myText.ptr[p]) && isLow(myText.ptr[p + 1]);
}

long long cEditBuffer::snap(long long p) const { return pairAt(p - 1) ? p - 1 : p; }

long long cEditBuffer::next(long long p) const { return std::min(pairAt(p) ? p + 2 : p + 1, myLength); }

long long cEditBuffer::prev(long long p) const { return std::max(pairAt(p - 2) ? p - 2 : p - 1, 0LL); }

long long cEditBuffer::runLeft(long long p) const {
  if (p <= 0) return 0;
  const bool white = __acp_isspace(myText.ptr[p - 1]);
  while (p > 0 && __acp_isspace(myText.ptr[p - 1]) == white) --p;
  return p;
}

long long cEditBuffer::runRight(long long p) const {
  if (p >= myLength) return myLength;
  const bool white = __acp_isspace(myText.ptr[p]);
  while (p < myLength && __acp_isspace(myText.ptr[p]) == white) ++p;
  return p;
}

void cEditBuffer::runAround(long long p, long long& start, long long& end) const {
  start = end = 0;
  if (!myLength) return;
  p = std::clamp(p, 0LL, myLength);
  const bool white = __acp_isspace(myText.ptr[p < myLength ? p : myLength - 1]);
  start = end = p;
  while (end < myLength && __acp_isspace(myText.ptr[end]) == white) ++end;
  while (start > 0 && __acp_isspace(myText.ptr[start - 1]) == white) --start;
}

void cEditBuffer::erase(long long at, long long n) {
  unsigned short* t = myText.ptr;
  std::memmove(t + at, t + at + n, static_cast<size_t>(myLength - at - n) * sizeof(unsigned short));
  std::memset(t + myLength - n, 0, static_cast<size_t>(n) * sizeof(unsigned short));
  myLength -= n;
  ruler.replaced(at, n, 0);
}

void cEditBuffer::selectKbd(long long from, long long to) {
  if (from == to) return;
  const bool has = mySelStart != -1 && mySelEnd != -1;
  if (to > from) {
    if (to > myLength) return;
    if (!has)
      select(from, to - 1);
    else if (mySelEnd + 1 == from)
      mySelEnd = to - 1;
    else if (mySelStart == from) {
      if (to - 1 == mySelEnd)
        clearSelection();
      else if (mySelEnd < to)
        select(mySelEnd + 1, to - 1);
      else
        mySelStart = to;
    } else {
      clearSelection();
    }
    return;
  }
  if (from < 1) return;
  if (!has)
    select(to, from - 1);
  else if (mySelStart == from)
    mySelStart = to;
  else if (mySelEnd + 1 == from) {
    if (to - 1 >= mySelStart)
      mySelEnd = to - 1;
    else
      select(to, mySelStart - 1);
  } else {
    clearSelection();
  }
}

bool cEditBuffer::deleteSelection() {
  if (!hasSelection()) return false;
  // Whole characters only, whatever the ends were set to.
  const long long start = snap(mySelStart), end = pairAt(mySelEnd) ? mySelEnd + 2 : mySelEnd + 1;
  clearSelection();
  erase(start, end - start);
  myCaret = snap(start);
  return true;
}

bool cEditBuffer::type(unsigned short unit) {
  deleteSelection();
  // The terminator cannot be part of the text.
  if (!unit) return false;
  if (isLow(unit) && std::exchange(myDropLow, false)) return false;
  myDropLow = false;
  const long long room = maxLen() - myLength;
  // A high surrogate needs room for its pair, or both halves are dropped.
  if (room < (isHigh(unit) ? 2 : 1)) {
    myDropLow = isHigh(unit);
    return false;
  }
  unsigned short* t = myText.ptr;
  std::memmove(t + myCaret + 1, t + myCaret, static_cast<size_t>(myLength - myCaret) * sizeof(unsigned short));
  t[myCaret] = unit;
  ++myLength;
  ruler.replaced(myCaret, 0, 1);
  ++myCaret;
  // A high half typed before a lone low one makes a pair with it.
  if (pairAt(myCaret - 1)) ++myCaret;
  return true;
}

void cEditBuffer::paste(const unsigned short* u, long long n) {
  deleteSelection();
  myDropLow = false;
  long long len = 0;
  if (u)
    while (len < n && u[len]) ++len;
  len = fit(u, len, maxLen() - myCaret);
  const long long keptTail = fit(myText.ptr + myCaret, myLength - myCaret, maxLen() - myCaret - len);
  unsigned short* t = myText.ptr;
  const long long oldLength = myLength;
  std::memmove(t + myCaret + len, t + myCaret, static_cast<size_t>(keptTail) * sizeof(unsigned short));
  if (len) std::memcpy(t + myCaret, u, static_cast<size_t>(len) * sizeof(unsigned short));
  myLength = myCaret + len + keptTail;
  if (myLength < oldLength)
    std::memset(t + myLength, 0, static_cast<size_t>(oldLength - myLength) * sizeof(unsigned short));
  ruler.replaced(myCaret, oldLength - myCaret, len + keptTail);
  myCaret += len;
  if (pairAt(myCaret - 1)) ++myCaret;
}

bool cEditBuffer::backspace() {
  if (deleteSelection()) return true;
  if (myCaret <= 0) return false;
  const long long p = prev(myCaret);
  erase(p, myCaret - p);
  // Deleting what stood between two lone halves makes them a pair.
  myCaret = snap(p);
  return true;
}

bool cEditBuffer::deleteForward() {
  if (deleteSelection()) return true;
  if (myCaret >= myLength) return false;
  erase(myCaret, next(myCaret) - myCaret);
  myCaret = snap(myCaret);
  return true;
}
