#include "base/compactstr.h"

#include <cstring>

#include "base/str.h"
#include "base/textconv.h"

namespace {

constexpr long long kLongest = 32767;

// A measured length too long for the 16-bit field counts as none, rather
// than wrapping into some other, shorter length.
long long measured(const char* s) { return s ? static_cast<long long>(strnlen(s, kLongest + 1)) : 0; }

long long measured(const unsigned short* s) {
  long long n = 0;
  while (s && n <= kLongest && s[n]) ++n;
  return n;
}

}  // namespace

void cCompactStr::destroy() {
  delete[] text;
  text = nullptr;
  length = 0;
}

void cCompactStr::set(const char* s, short n) {
  destroy();
  long long len = n == -1 ? measured(s) : n;
  if (!s || len < 1 || len > kLongest) return;
  text = new char[static_cast<size_t>(len) + 1];
  std::memcpy(text, s, static_cast<size_t>(len));
  text[len] = 0;
  length = static_cast<unsigned short>(len);
}

void cCompactStr::set(const unsigned short* s, short n) {
  destroy();
  long long units = n == -1 ? measured(s) : n;
  if (!s || units < 1 || units > kLongest) return;
  long long bytes = __w2a_require(s, units, 65001);
  if (bytes < 1) return;
  text = new char[static_cast<size_t>(bytes) + 1];
  text[__w2a(s, units, text, bytes, 65001)] = 0;
  length = static_cast<unsigned short>(units);
}

void cCompactStr::str(char* out, unsigned cap) const {
  if (cap == 0) return;
  if (!text || cap == 1) {
    out[0] = 0;
    return;
  }
  _strcpy_s(out, cap - 1, text);
  out[cap - 1] = 0;
}

// The last place is kept for the terminator, so a text cut at the capacity
// is still a terminated string.
void cCompactStr::str(unsigned short* out, unsigned cap) const {
  if (cap == 0) return;
  long long n = text && cap > 1 ? __a2w(text, -1, out, cap - 1, 65001) : 0;
  out[n] = 0;
}
