#include <cpuid.h>

#include <atomic>

#include "hash/sha_blocks.h"

namespace {

bool cpuHasShaExtensions() {
  unsigned int a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  // The fast paths shuffle with SSSE3 and blend with SSE4.1 besides the SHA instructions.
  bool sse = (c & bit_SSSE3) && (c & bit_SSE4_1);
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return sse && (b & bit_SHA);
}

std::atomic<bool> gAllowed{true};

const sShaBlockFunctions kPortable{sha1_blocks_portable, sha256_blocks_portable};
const sShaBlockFunctions kShaNi{sha1_blocks_shani, sha256_blocks_shani};

}  // namespace

bool shaUsesCpuExtensions() {
  static const bool present = cpuHasShaExtensions();
  return present && gAllowed.load(std::memory_order_relaxed);
}

void shaAllowCpuExtensions(bool allow) { gAllowed.store(allow, std::memory_order_relaxed); }

const sShaBlockFunctions& shaBlockFunctions() { return shaUsesCpuExtensions() ? kShaNi : kPortable; }
