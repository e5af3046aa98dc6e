// The bytes of one strip or tile, read from the file as its decoder pulls
// them: a byte count running past the unit's data, into other units' or to
// the file's end, costs only what the decoder uses, and each byte read is
// charged once to what the picture's units may read together.
#pragma once

#include "base/buffers.h"
#include "base/pullinput.h"
#include "base/targets.h"

class cUnitWindow : public cPullInput {
 public:
  cUnitWindow() : cPullInput(nullptr, 0) {}

  // Opens the window on the `limit` bytes at `offset`, reading the first
  // `first` now and making room for `room` (a guess, not a bound); every
  // read is taken from `budget`. False when reading or memory fails.
  bool open(cFileIOTarget* io, unsigned long long offset, long long limit, long long first, long long room,
            unsigned long long& budget);
  // Bytes read from now on are stored with their bits reversed.
  void reverseFromHere() { myReversing = true; }
  // Grows by half again at least, so a decoder pulling a byte at a time
  // costs few reads; never past the limit or the budget.
  bool pull(size_t want) override;
  void close() { myIo = nullptr; }
  // A new picture's units, whose bytes end by `unitsEnd`: nothing read
  // ahead for earlier ones is held, and nothing past their end is read.
  void forget(unsigned long long unitsEnd) {
    mySpanIo = nullptr;
    myAheadTo = 0;
    myAheadEnd = unitsEnd;
    myUnitsEnd = ~0ULL;
  }

  // The decoder's view of the bytes held; its count is `size`.
  _typebuf<unsigned char>& bytes() { return myBytes; }
  bool serves(const _typebuf<unsigned char>& in) const { return myIo && &in == &myBytes; }
  long long limit() const { return myLimit; }
  // A buffer the window lent a decoder (one that handed its input on as its
  // output) comes back.
  void takeBack(_typebuf<unsigned char>& lent) {
    if (lent.ptr == myAllocation) swapBack(lent);
  }

 private:
  // Checked inline, grown out of line: most units fit what earlier ones
  // left, and a unit of a few bytes should not pay a call for that.
  bool reserve(long long n) { return (n <= myCapacity && myBytes.ptr == myAllocation) || grow(n); }
  bool grow(long long n);
  // `room` (at least `target`) lets a unit's first read size the buffer
  // for the whole unit, so it is not copied as the decoder pulls more.
  bool readMore(long long target, long long room);
  void swapBack(_typebuf<unsigned char>& lent);
  // The `n` bytes at `at` into `to`, from what was read ahead where that
  // holds them: checked inline, as a strip of a few bytes takes them.
  bool fetch(unsigned char* to, unsigned long long at, unsigned long long n) {
    if (!aheadHolds(at, n)) return fetchMissed(to, at, n);
    const unsigned char* from = mySpan.ptr + (at - mySpanAt);
    for (unsigned long long i = 0; i < n; ++i) to[i] = from[i];
    return true;
  }
  bool aheadHolds(unsigned long long at, unsigned long long n) const {
    return mySpanIo == myIo && at >= mySpanAt && n <= mySpanHeld && at - mySpanAt <= mySpanHeld - n;
  }
  bool fetchMissed(unsigned char* to, unsigned long long at, unsigned long long n);
  bool readAhead(unsigned long long at);

  _typebuf<unsigned char> myBytes;
  long long myCapacity = 0;
  const unsigned char* myAllocation = nullptr;
  cFileIOTarget* myIo = nullptr;
  unsigned long long myOffset = 0;
  long long myLimit = 0;
  unsigned long long* myBudget = nullptr;
  bool myReversing = false;
  // Units laid back to back in small pieces are read ahead together, so a
  // strip of a few bytes costs no read of its own. What is read ahead only
  // moves on through the file, so it comes to the file's size at most; each
  // unit is charged for what it takes as if it read it itself.
  _typebuf<unsigned char> mySpan;
  cFileIOTarget* mySpanIo = nullptr;
  unsigned long long mySpanAt = 0;
  unsigned long long mySpanHeld = 0;
  unsigned long long myAheadTo = 0;
  unsigned long long myAheadEnd = 0;
  // Where the last unit opened ends, and whether this one starts there.
  unsigned long long myUnitsEnd = ~0ULL;
  bool myFollows = false;
};
