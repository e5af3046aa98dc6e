// The zvk executable: everything lives in the library, so that the tests
// reach every piece of it.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <vector>

#include "ciom/ciappconfig.h"
#include "tamsivarapp/main.h"

int main(int argc, char** argv) {
  Dl_info self{};
  dladdr(reinterpret_cast<void*>(&main), &self);

  // Started by bare name through PATH, argv[0] says nothing about where the
  // program lies; the kernel's link does, and the installer maker and the
  // bundle probe both need the real place.
  std::vector<char*> args(argv, argv + argc);
  args.push_back(nullptr);
  char resolved[PATH_MAX];
  if (argc > 0 && argv[0] && !std::strchr(argv[0], '/')) {
    ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (n > 0) {
      resolved[n] = 0;
      args[0] = resolved;
    }
  }
  return cCIApplication::runApp(new cTamsivarApp, self.dli_fbase, nullptr, 0, argc, args.data(),
                                new cCIAppFullConfig, "zvk");
}
