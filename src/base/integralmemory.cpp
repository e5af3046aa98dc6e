#include "base/integralmemory.h"

#include <cstdlib>

void* __OS_alloc(long long n) { return n < 0 ? nullptr : std::malloc(static_cast<size_t>(n)); }

void __OS_release(void* p) { std::free(p); }

bool cIntegralMemory::create(long long n) {
  destroy();
  if (n < 1) return false;
  blockSize = n;
  return true;
}

void* cIntegralMemory::alloc(long long n) {
  // A negative request would move the fill point back over pieces already
  // handed out.
  if (n < 0 || n > blockSize) return nullptr;
  if (blocks.count > 0) {
    sIntegralMemoryItem& last = blocks.ptr[blocks.count - 1];
    if (last.used <= blockSize - n) {
      if (!last.base) return nullptr;
      char* piece = last.base + last.used;
      last.used += n;
      return piece;
    }
  }
  // Only the last block is filled; the room left in earlier ones is given up.
  blocks.reset(blocks.count + 1);
  sIntegralMemoryItem& fresh = blocks.ptr[blocks.count - 1];
  fresh.base = static_cast<char*>(__OS_alloc(blockSize));
  if (!fresh.base) return nullptr;
  fresh.used = n;
  return fresh.base;
}

void cIntegralMemory::destroy() {
  for (long long i = 0; i < blocks.count; ++i) __OS_release(blocks.ptr[i].base);
  blocks.set(0);
}
