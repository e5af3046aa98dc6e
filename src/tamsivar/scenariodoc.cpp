#include "tamsivar/scenariodoc.h"

bool sScenarioDoc::load(const unsigned char* data, long long size) {
  clear();
  if (!data || size <= 0) return false;
  bytes.set(size);
  std::memcpy(bytes.ptr, data, static_cast<size_t>(size));
  if (loader.load(bytes.ptr, bytes.count)) return true;
  clear();
  return false;
}
