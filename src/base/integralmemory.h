// A bump allocator for many small pieces that all die together: pieces are
// never freed one by one, the whole arena is released at once.
#pragma once

#include "base/buffers.h"

// Plain heap allocation and release.
void* __OS_alloc(long long n);
void __OS_release(void* p);

struct sIntegralMemoryItem {
  char* base = nullptr;
  long long used = 0;
};

class cIntegralMemory {
 public:
  long long blockSize = 4096;
  _typebuf<sIntegralMemoryItem> blocks;

  cIntegralMemory() = default;
  cIntegralMemory(const cIntegralMemory&) = delete;
  cIntegralMemory& operator=(const cIntegralMemory&) = delete;
  ~cIntegralMemory() { destroy(); }

  // Empties the arena and sets a new block size; false for a size below 1,
  // which keeps the old one.
  bool create(long long n);
  // n bytes packed right after the previous piece, unaligned and
  // uninitialised; null when n exceeds the block size or is negative.
  void* alloc(long long n);
  void destroy();
};
