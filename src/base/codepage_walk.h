// What the code-page decoders share: where their units go, and how far a
// multi-byte sequence may look ahead.
#pragma once

#include <climits>

// The units of a decoding, into a destination that is never overrun.
struct sUnitWriter {
  unsigned short* dst;
  long long cap;
  long long n = 0;

  bool full() const { return n >= cap; }
  void put(unsigned short u) { dst[n++] = u; }
  // A zero in the source ends the text; it is written when room is left.
  void terminate() {
    if (n < cap) dst[n] = 0;
  }
};

// The same walk without a destination, for the _require operations.
struct sUnitCounter {
  long long n = 0;

  static constexpr bool full() { return false; }
  void put(unsigned short) { ++n; }
  static void terminate() {}
};

// The end of a source range: a terminated source (negative length) is bounded
// by its zero, which every decoder stops at.
inline long long sourceEnd(long long srcLen) { return srcLen < 0 ? LLONG_MAX : srcLen; }

// How many of the `want` bytes from `i` on a sequence may use: those inside
// the range and before any zero, so a terminated source is never read past
// its terminator.
inline int sequenceBytes(const unsigned char* s, long long i, long long end, int want) {
  int k = 0;
  while (k < want && i + k < end && s[i + k]) ++k;
  return k;
}

// What a _require operation answers: the units, one more for a terminator.
inline long long requiredUnits(const sUnitCounter& count, long long srcLen) {
  return count.n + (srcLen < 0 ? 1 : 0);
}
