#include "compression/variablelengthaccess.h"

#include <algorithm>

void cVariableLengthAccess::changeBytesOrder(void* p, int n) {
  if (!p || n < 2) return;
  auto* b = static_cast<unsigned char*>(p);
  std::reverse(b, b + n);
}
