#include "base/webaddress.h"

#include <strings.h>

bool isWebAddress(const char* url) {
  if (!url) return false;
  const char* rest = nullptr;
  if (!strncasecmp(url, "http://", 7))
    rest = url + 7;
  else if (!strncasecmp(url, "https://", 8))
    rest = url + 8;
  if (!rest || !*rest) return false;
  for (const char* c = url; *c; ++c)
    if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F) return false;
  return true;
}
