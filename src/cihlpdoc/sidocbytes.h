// Little-endian fields of the binary document, read through a cursor that
// refuses to pass the end of its bytes.
#pragma once

#include "cihlpdoc/sidocloader.h"

namespace sidoc {

inline unsigned int le16(const unsigned char* p) { return p[0] | p[1] << 8; }
inline unsigned int le32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<unsigned int>(p[3]) << 24;
}

// The next n bytes, or null (the cursor unmoved) when fewer remain.
inline const unsigned char* take(cSiDocLoader::sLangDecodePtr& c, long long n) {
  if (n < 0 || c.left < n) return nullptr;
  const unsigned char* p = c.data;
  c.data += n;
  c.left -= n;
  return p;
}

}  // namespace sidoc
