#include "picts/unitwindow.h"

#include <algorithm>
#include <new>
#include <utility>

#include "picts/tifffax.h"

bool cUnitWindow::open(cFileIOTarget* io, unsigned long long offset, long long limit, long long first,
                       long long room, unsigned long long& budget) {
  myIo = io;
  myOffset = offset;
  myLimit = std::max(limit, 0LL);
  myBudget = &budget;
  myReversing = false;
  myBytes.count = 0;
  size = 0;
  data = myBytes.ptr;
  complete = myLimit == 0;
  myFollows = offset == myUnitsEnd;
  myUnitsEnd = offset + static_cast<unsigned long long>(myLimit);
  // One size check and one read: a unit of a few bytes costs little more
  // than reading them.
  const long long start = std::min(std::max(first, 0LL), myLimit);
  const long long roomTo = std::max(start, std::min(room, myLimit));
  return start ? readMore(start, roomTo) : reserve(roomTo);
}

// Units differ in size, so the buffer only grows: its count says how much
// of it is held (the allocation is freed without its size). A buffer lent
// out and not taken back is replaced.
bool cUnitWindow::grow(long long n) {
  const long long held = myBytes.ptr == myAllocation ? myBytes.count : 0;
  try {
    _typebuf<unsigned char> grown;
    grown.set(std::max(n, std::min(myLimit, 2 * myCapacity)));
    if (held) std::copy(myBytes.ptr, myBytes.ptr + held, grown.ptr);
    myCapacity = grown.count;
    grown.count = held;
    if (myBytes.ptr != myAllocation) myBytes.count = 0;
    std::swap(myBytes.ptr, grown.ptr);
    std::swap(myBytes.count, grown.count);
    myAllocation = myBytes.ptr;
  } catch (const std::bad_alloc&) {
    return false;
  }
  data = myBytes.ptr;
  return true;
}

bool cUnitWindow::readMore(long long target, long long room) {
  const long long held = static_cast<long long>(size);
  const unsigned long long n = static_cast<unsigned long long>(target - held);
  if (n > *myBudget || !reserve(room)) return false;
  *myBudget -= n;
  if (!fetch(myBytes.ptr + held, myOffset + static_cast<unsigned long long>(held), n)) return false;
  if (myReversing)
    for (long long i = held; i < target; ++i) myBytes.ptr[i] = reversedBits(myBytes.ptr[i]);
  myBytes.count = target;
  data = myBytes.ptr;
  size = static_cast<size_t>(target);
  complete = target >= myLimit;
  return true;
}

bool cUnitWindow::pull(size_t want) {
  const long long held = static_cast<long long>(size);
  if (!myIo || held >= myLimit || want <= size) return false;
  const long long step = std::max(held / 2, 16LL);
  const long long target =
      std::min(myLimit, std::max(static_cast<long long>(std::min<size_t>(want, myLimit)), held + step));
  return readMore(target, target);
}

namespace {

// A unit's first read this small, when the unit starts where the last one
// ended, reads ahead this much. A large unit's last pull may be as small,
// but what follows it is the next unit's own first read: read ahead there,
// it would be read twice.
constexpr unsigned long long kSmallRead = 4 << 10;
constexpr unsigned long long kAhead = 64 << 10;
// From memory a read is a call and a copy, not a system call: reading
// ahead copies each byte twice, which only units of a few bytes repay.
constexpr unsigned long long kSmallMemoryRead = 64;

}  // namespace

bool cUnitWindow::fetchMissed(unsigned char* to, unsigned long long at, unsigned long long n) {
  const unsigned long long small = myIo->typeOf() == 2 ? kSmallMemoryRead : kSmallRead;
  if (myFollows && at == myOffset && n <= small && readAhead(at) && aheadHolds(at, n))
    return fetch(to, at, n);
  return myIo->set_fp(at) && myIo->readf(to, static_cast<unsigned int>(n));
}

bool cUnitWindow::readAhead(unsigned long long at) {
  if (at < myAheadTo) return false;
  const unsigned long long end = std::min(myIo->size(), myAheadEnd);
  if (at >= end) return false;
  const unsigned long long n = std::min(kAhead, end - at);
  mySpanIo = nullptr;
  try {
    if (!mySpan.ptr) mySpan.set(static_cast<long long>(kAhead));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!myIo->set_fp(at) || !myIo->readf(mySpan.ptr, static_cast<unsigned int>(n))) return false;
  mySpanHeld = n;
  mySpanIo = myIo;
  mySpanAt = at;
  myAheadTo = at + n;
  return true;
}

void cUnitWindow::swapBack(_typebuf<unsigned char>& lent) {
  std::swap(myBytes.ptr, lent.ptr);
  std::swap(myBytes.count, lent.count);
}
