#include "picts/cpufeatures.h"

bool cpuHasAvx2() {
#if defined(__x86_64__)
  __builtin_cpu_init();  // may run before the run-time's own constructors
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}
