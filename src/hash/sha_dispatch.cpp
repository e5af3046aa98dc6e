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

// Unlike a bare cpuid bit, this also asks whether the system saves the wide
// registers, without which AVX2 instructions fault.
bool cpuHasAvx2() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2"); }

std::atomic<bool> gAllowed{true};

const sShaBlockFunctions kPortable{sha1_blocks_portable, sha256_blocks_portable, sha512_blocks_portable};

const sShaBlockFunctions& fastest() {
  static const bool sha = cpuHasShaExtensions(), avx2 = cpuHasAvx2();
  static const sShaBlockFunctions functions{sha ? sha1_blocks_shani : sha1_blocks_portable,
                                            sha ? sha256_blocks_shani : sha256_blocks_portable,
                                            avx2 ? sha512_blocks_avx2 : sha512_blocks_portable};
  return functions;
}

}  // namespace

bool shaUsesCpuExtensions() {
  static const bool present = cpuHasShaExtensions() || cpuHasAvx2();
  return present && gAllowed.load(std::memory_order_relaxed);
}

void shaAllowCpuExtensions(bool allow) { gAllowed.store(allow, std::memory_order_relaxed); }

const sShaBlockFunctions& shaBlockFunctions() { return shaUsesCpuExtensions() ? fastest() : kPortable; }
