// The owned zero-terminated string: UTF-8 in char units, UTF-16 in unsigned short.
#pragma once

#include <cstring>

template <typename T>
struct _guardchar {
  T* ptr = nullptr;

  _guardchar() = default;
  explicit _guardchar(const T* s) { set(s); }
  _guardchar(const _guardchar&) = delete;
  _guardchar& operator=(const _guardchar&) = delete;
  ~_guardchar() { delete[] ptr; }

  void set(const T* s) {
    release();
    if (!s) return;
    size_t n = 0;
    while (s[n]) ++n;
    ptr = new T[n + 1];
    std::memcpy(ptr, s, (n + 1) * sizeof(T));
  }

  // Copies at most n units; the result is always terminated at position n.
  // A negative count has no position n to terminate at and leaves it null.
  void set(const T* s, long long n) {
    release();
    if (!s || n < 0) return;
    ptr = new T[static_cast<size_t>(n) + 1];
    long long i = 0;
    for (; i < n; ++i) {
      ptr[i] = s[i];
      if (!s[i]) break;
    }
    ptr[n] = 0;
  }

  // Exactly n zeroed units for the caller to fill; no extra terminator.
  void set(long long n) {
    release();
    if (n > 0) ptr = new T[static_cast<size_t>(n)]();
  }

 private:
  void release() {
    delete[] ptr;
    ptr = nullptr;
  }
};
