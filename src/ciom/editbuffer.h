// The model of a single-line text field: a fixed-capacity line of UTF-16
// units, a caret and an inclusive selection, and the edits the field makes.
// No edit splits a surrogate pair: positions snap to whole characters, and
// every cut at the capacity keeps or drops a pair as one. The glyph ruler
// hears of every change, so only what an edit touched is measured again.
#pragma once

#include <algorithm>

#include "base/buffers.h"
#include "ciom/glyphruler.h"

class cEditBuffer {
 public:
  // Far beyond any field, and small enough that its units and glyph ends
  // fit comfortably in memory.
  static constexpr long long kMaxCapacity = 1LL << 26;

  cEditBuffer() { setMaxLen(256); }

  // Clears the text; false when n is out of range or memory is short.
  bool setMaxLen(long long n);
  long long maxLen() const { return myText.count - 1; }
  long long length() const { return myLength; }
  const unsigned short* units() const { return myText.ptr; }
  // Takes the units up to the first terminator, cut at the capacity.
  void setUnits(const unsigned short* u, long long n);
  void wipe();

  long long caret() const { return myCaret; }
  void setCaret(long long p) { myCaret = snap(std::clamp(p, 0LL, myLength)); }
  long long selStart() const { return mySelStart; }
  long long selEnd() const { return mySelEnd; }
  bool hasSelection() const { return mySelStart >= 0 && mySelEnd >= 0 && mySelStart <= mySelEnd && mySelEnd < myLength; }
  void select(long long start, long long end) {
    mySelStart = start;
    mySelEnd = end;
  }
  void clearSelection() { mySelStart = mySelEnd = -1; }
  // The selection follows a caret move from `from` to `to`.
  void selectKbd(long long from, long long to);
  bool deleteSelection();

  // One typed unit; false when it was dropped.
  bool type(unsigned short unit);
  // Pasted units at the caret, the old tail cut where the buffer is full.
  void paste(const unsigned short* u, long long n);
  bool backspace();
  bool deleteForward();

  // Whole-character steps and white-space runs.
  long long next(long long p) const;
  long long prev(long long p) const;
  long long runLeft(long long p) const;
  long long runRight(long long p) const;
  // The run around p as [start, end); empty for an empty text.
  void runAround(long long p, long long& start, long long& end) const;
  // p moved off the middle of a surrogate pair, to the pair's start.
  long long snap(long long p) const;

  cGlyphRuler ruler;

 private:
  bool pairAt(long long p) const;
  // Removes [at, at + n); the caret and the selection are the caller's.
  void erase(long long at, long long n);
  // Where a text of n units must be cut to fit `room`, without halving a pair.
  static long long fit(const unsigned short* u, long long n, long long room);

  _typebuf<unsigned short> myText;
  long long myLength = 0;
  long long myCaret = 0;
  long long mySelStart = -1, mySelEnd = -1;
  // A high surrogate that found no room for its pair: its low half follows
  // and is dropped with it.
  bool myDropLow = false;
};
