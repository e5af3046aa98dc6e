// The zvk executable: everything lives in the library, so that the tests
// reach every piece of it.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "ciom/ciappconfig.h"
#include "tamsivarapp/installrecord.h"
#include "tamsivarapp/main.h"

int main(int argc, char** argv) {
  Dl_info self{};
  dladdr(reinterpret_cast<void*>(&main), &self);

  // argv[0] may be a bare name found through PATH or a link lying anywhere;
  // the installer maker and the bundle probe need the place of the program
  // itself, which the kernel's link gives.
  std::vector<char*> args(argv, argv + argc);
  args.push_back(nullptr);
  char resolved[PATH_MAX];
  if (argc > 0) {
    ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (n > 0 && n < static_cast<ssize_t>(sizeof resolved) - 1) {
      resolved[n] = 0;
      args[0] = resolved;
    }
  }
  return cCIApplication::runApp(new cTamsivarApp, self.dli_fbase, nullptr, 0, argc, args.data(),
                                new cCIAppFullConfig, kRecordStore);
}
