#include "tamsivar/scenariodoc.h"

bool sScenarioDoc::load(const unsigned char* data, long long size) {
  clear();
  if (!data || size <= 0) return false;
  bytes.set(size);
  std::memcpy(bytes.ptr, data, static_cast<size_t>(size));
  return true;
}
