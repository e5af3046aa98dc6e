#include "ciom/glyphruler.h"

#include <algorithm>

#include "base/casemap.h"
#include "ciom/canvas.h"

namespace {

bool isHigh(unsigned short u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(unsigned short u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

void cGlyphRuler::reset(long long length) {
  myEnds.assign(static_cast<size_t>(std::max(length, 0LL)), 0);
  myPieces.clear();
  for (long long at = 0; at < length; at += kPiece)
    myPieces.push_back({static_cast<int>(std::min<long long>(kPiece, length - at)), 0, true});
  myPlaced = false;
}

void cGlyphRuler::replaced(long long at, long long removed, long long inserted) {
  const long long n = length();
  at = std::clamp(at, 0LL, n);
  removed = std::clamp(removed, 0LL, n - at);
  inserted = std::max(inserted, 0LL);
  myPlaced = false;
  const long long stop = at + removed;
  long long s = 0;
  for (size_t k = 0; k < myPieces.size() && s < stop;) {
    const long long e = s + myPieces[k].length;
    const long long overlap = std::max(0LL, std::min(e, stop) - std::max(s, at));
    if (overlap) {
      myPieces[k].length -= static_cast<int>(overlap);
      myPieces[k].dirty = true;
    }
    s = e;
    if (!myPieces[k].length)
      myPieces.erase(myPieces.begin() + static_cast<long long>(k));
    else
      ++k;
  }
  myEnds.erase(myEnds.begin() + at, myEnds.begin() + stop);
  if (!inserted) return;
  // The units join the piece they follow, or the first piece at the start;
  // pieces grow without bound here and are cut when measured.
  s = 0;
  size_t k = 0;
  while (k < myPieces.size() && s + myPieces[k].length < at) s += myPieces[k++].length;
  if (k == myPieces.size()) myPieces.push_back({0, 0, true});
  myPieces[k].length = static_cast<int>(std::min<long long>(myPieces[k].length + inserted, 0x7FFFFFFF));
  myPieces[k].dirty = true;
  myEnds.insert(myEnds.begin() + at, static_cast<size_t>(inserted), 0);
}

int cGlyphRuler::cut(const unsigned short* text, int length) {
  int at = std::min(length, kPiece);
  if (at >= length) return length;
  // A break after white space within the last quarter keeps words whole.
  for (int i = at; i > at - kPiece / 4; --i)
    if (__acp_isspace(text[i - 1])) return i;
  if (isLow(text[at]) && isHigh(text[at - 1])) --at;
  return at;
}

void cGlyphRuler::place() {
  myStarts.resize(myPieces.size());
  myX.resize(myPieces.size());
  long long s = 0;
  int x = 0;
  for (size_t k = 0; k < myPieces.size(); ++k) {
    myStarts[k] = s;
    myX[k] = x;
    s += myPieces[k].length;
    x += myPieces[k].width;
  }
  myPlaced = true;
}

bool cGlyphRuler::update(cCanvas* c, const unsigned short* text, long long length) {
  if (!c || length != this->length() || (length && !text)) return false;
  long long start = 0;
  for (size_t k = 0; k < myPieces.size(); ++k) {
    sStored& p = myPieces[k];
    // A pair the pieces' edges split joins the earlier piece.
    if (k + 1 < myPieces.size() && p.length && myPieces[k + 1].length &&
        isHigh(text[start + p.length - 1]) && isLow(text[start + p.length])) {
      ++p.length;
      p.dirty = true;
      myPieces[k + 1].dirty = true;
      if (!--myPieces[k + 1].length) myPieces.erase(myPieces.begin() + static_cast<long long>(k) + 1);
    }
    if (p.dirty) {
      if (p.length > kPiece) {
        const int first = cut(text + start, p.length);
        myPieces.insert(myPieces.begin() + static_cast<long long>(k) + 1, {p.length - first, 0, true});
        myPieces[k].length = first;
      }
      sStored& q = myPieces[k];
      // Pieces left small by deletions join their neighbour.
      while (k + 1 < myPieces.size() && q.length + myPieces[k + 1].length <= kPiece / 2) {
        q.length += myPieces[k + 1].length;
        myPieces.erase(myPieces.begin() + static_cast<long long>(k) + 1);
      }
      if (q.length > 0 && !c->textRuler(text + start, q.length, myEnds.data() + start)) {
        std::fill(myEnds.begin() + start, myEnds.begin() + start + q.length, 0);
      }
      // Ends never fall back, so searching them stays sound.
      for (int i = 1; i < q.length; ++i) myEnds[start + i] = std::max(myEnds[start + i], myEnds[start + i - 1]);
      q.width = q.length > 0 ? std::max(myEnds[start + q.length - 1], 0) : 0;
      q.dirty = false;
    }
    start += myPieces[k].length;
  }
  place();
  return true;
}

int cGlyphRuler::end(long long i) const {
  if (i < 0 || i >= length() || !myPlaced || myStarts.empty()) return 0;
  const auto it = std::upper_bound(myStarts.begin(), myStarts.end(), i);
  const size_t k = static_cast<size_t>(it - myStarts.begin()) - 1;
  return myX[k] + myEnds[static_cast<size_t>(i)];
}

long long cGlyphRuler::firstEndingAfter(int x) const {
  long long lo = 0, hi = length();
  while (lo < hi) {
    const long long mid = lo + (hi - lo) / 2;
    if (end(mid) > x)
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

void cGlyphRuler::piecesMeeting(int left, int right, std::vector<sPiece>& out) const {
  out.clear();
  if (!myPlaced) return;
  for (size_t k = 0; k < myPieces.size(); ++k) {
    const int x = myX[k], w = myPieces[k].width;
    if (x >= right) break;
    if (x + w >= left && myPieces[k].length) out.push_back({myStarts[k], myPieces[k].length, x});
  }
}
