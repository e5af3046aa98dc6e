// A package item stream of arbitrary bytes: loading it, reading every item
// back through its stream (inflating the deflated ones), digesting it, and
// writing the package again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/memio.h"
#include "tamsivar/pkg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  cBufWrapperIO in(bytes.data(), static_cast<long long>(bytes.size()), false);
  cSoftPkg pkg;
  bool loaded = pkg.loadPackage(&in);
  for (int i = 0; i < static_cast<int>(pkg.count); ++i) {
    if (cFileIOTarget* item = pkg.item(i)) {
      unsigned char digest[32];
      cSoftPkg::mkDigest(item, digest);
      delete item;
    }
  }
  if (loaded) {
    cMemIOTarget out;
    pkg.savePackage(&out);
  }
  return 0;
}
