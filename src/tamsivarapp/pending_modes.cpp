#include <cstdio>

#include "tamsivarapp/modes.h"

namespace {

int notYet(const char* what) {
  std::fprintf(stderr, "zvk: %s is not available in this build yet\n", what);
  return 1;
}

}  // namespace

int run_tamsivar() { return notYet("the manager window"); }
