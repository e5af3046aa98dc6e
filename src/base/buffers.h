// Owning containers without spare capacity: every count change is explicit.
#pragma once

#include <cstring>
#include <new>
#include <type_traits>

#include "base/exception.h"
#include "base/guardchar.h"

template <typename T>
struct _typebuf {
  T* ptr = nullptr;
  long long count = 0;

  T& operator[](long long i) {
    if (i < 0 || i >= count) throw cException(__FILE__, __LINE__, 0, "_typebuf::Out of bounds");
    return ptr[i];
  }
  const T& operator[](long long i) const { return const_cast<_typebuf&>(*this)[i]; }

  _typebuf() = default;
  _typebuf(const _typebuf&) = delete;
  _typebuf& operator=(const _typebuf&) = delete;
  ~_typebuf() { release(); }

  // The old contents are dropped before allocating, so a failed allocation
  // leaves the buffer empty rather than half-changed.
  void set(long long n) {
    release();
    if (n > 0) {
      ptr = allocate(n);
      count = n;
    }
  }

  void reset(long long n) {
    if (n == count) return;
    if (n <= 0) {
      release();
      return;
    }
    T* fresh = allocate(n);
    long long keep = count < n ? count : n;
    if (keep > 0) std::memcpy(static_cast<void*>(fresh), ptr, static_cast<size_t>(keep) * sizeof(T));
    release();
    ptr = fresh;
    count = n;
  }

 private:
  static T* allocate(long long n) {
    // A byte size that does not fit asks for the impossible and fails the
    // same way as any other allocation.
    if (static_cast<unsigned long long>(n) > static_cast<size_t>(-1) / sizeof(T))
      throw std::bad_array_new_length();
    if constexpr (std::is_trivially_default_constructible_v<T>)
      return static_cast<T*>(::operator new[](static_cast<size_t>(n) * sizeof(T)));
    else
      return new T[static_cast<size_t>(n)];
  }
  void release() {
    if constexpr (std::is_trivially_default_constructible_v<T>)
      ::operator delete[](ptr);
    else
      delete[] ptr;
    ptr = nullptr;
    count = 0;
  }
  static_assert(std::is_trivially_copyable_v<T>, "_typebuf holds plain data; use _classbuf");
};

template <typename T>
struct cPtr {
  T* ptr = nullptr;

  cPtr() = default;
  explicit cPtr(T* p) : ptr(p) {}
  cPtr(const cPtr&) = delete;
  cPtr& operator=(const cPtr&) = delete;
  ~cPtr() { delete ptr; }

  T* operator=(T* p) {
    if (p != ptr) delete ptr;  // holding the same object again must not free it
    ptr = p;
    return p;
  }
  T* operator->() const { return ptr; }
  T& operator*() const { return *ptr; }
  explicit operator bool() const { return ptr != nullptr; }
};

// _classbuf is the twin of _typebuf for objects that need their constructors
// and destructors run. The differences matter to callers:
//
// - There is no reset(): growing an array of constructed objects would need
//   copy or move semantics that the element types of this system do not all
//   have, so a caller that needs a different count builds a new array.
// - set(n) value-initialises, so element types without a constructor of their
//   own (plain records used as table rows) start zeroed rather than holding
//   whatever the allocator returned; _typebuf leaves plain data uninitialised
//   because its callers fill it straight away from a stream or a copy.
// - Like _typebuf, set() drops the old objects before allocating, so a failed
//   allocation leaves the array empty instead of half-built.
// - dispose() destroys from the last object to the first, as an array
//   delete does, so objects that refer to earlier neighbours stay valid
//   while they are destroyed.
//
// The index operators of both buffers are the only places in the containers
// that throw: an index outside the count is a programming error, and the
// exception names the operator's own file and line so the report points at
// the buffer kind that was misused. Container code elsewhere reports failure
// through its answers.
//
// Neither buffer locks; each instance belongs to one thread at a time, and
// the owner decides when other threads may look at its contents (for example
// after a job has ended, or under the lock of the structure that holds the
// buffer).
template <typename T>
struct _classbuf {
  T* ptr = nullptr;
  long long count = 0;

  T& operator[](long long i) {
    if (i < 0 || i >= count) throw cException(__FILE__, __LINE__, 0, "_classbuf::Out of bounds");
    return ptr[i];
  }
  const T& operator[](long long i) const { return const_cast<_classbuf&>(*this)[i]; }

  _classbuf() = default;
  _classbuf(const _classbuf&) = delete;
  _classbuf& operator=(const _classbuf&) = delete;
  ~_classbuf() { dispose(); }

  void set(long long n) {
    dispose();
    if (n > 0) {
      ptr = new T[static_cast<size_t>(n)]();
      count = n;
    }
  }

  void dispose() {
    delete[] ptr;  // destroys from the last object to the first
    ptr = nullptr;
    count = 0;
  }
};
