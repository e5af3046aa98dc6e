// Hive files of any content: whatever the reader takes must be written back
// by the writer and read again to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/memio.h"
#include "ciom/ciappconfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO in(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cCIAppConfig::sDataContainer root;
  if (!cCIAppConfig::loadRecursive(root, in, 1)) return 0;

  cMemIOTarget first;
  if (!cCIAppConfig::saveRecursive(root, first, 1)) std::abort();
  _typebuf<unsigned char> written;
  first.toBuffer(written);
  cBufWrapperIO again(written.ptr, written.count, false);
  cCIAppConfig::sDataContainer reread;
  if (!cCIAppConfig::loadRecursive(reread, again, 1)) std::abort();
  cMemIOTarget second;
  _typebuf<unsigned char> rewritten;
  if (!cCIAppConfig::saveRecursive(reread, second, 1) || !second.toBuffer(rewritten) ||
      rewritten.count != written.count || std::memcmp(rewritten.ptr, written.ptr, written.count) != 0)
    std::abort();
  return 0;
}
