// Feeds a body to the update server's reply reader and checks that what it
// hands back lies inside the body and that success means three lines.
#include <cstdint>
#include <cstring>

#include "tamsivarapp/checkupdates.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  unsigned long long newest = ~0ull;
  _guardchar<char> url, site, notes;
  const bool ok = parseUpdateReply(data, size, newest, url, site, notes);
  const size_t used = (url.ptr ? std::strlen(url.ptr) : 0) + (site.ptr ? std::strlen(site.ptr) : 0) +
                      (notes.ptr ? std::strlen(notes.ptr) : 0);
  if (used > size) __builtin_trap();
  if (ok && (newest == ~0ull || !url.ptr || !site.ptr)) __builtin_trap();
  if (newest != ~0ull && ((newest >> 48) > 65535)) __builtin_trap();
  return 0;
}
