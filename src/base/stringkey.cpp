#include "base/stringkey.h"

#include <cstring>

#include "base/textconv.h"

namespace {

unsigned int loadBigEndian(const unsigned char* b) {
  return (static_cast<unsigned int>(b[0]) << 24) | (static_cast<unsigned int>(b[1]) << 16) |
         (static_cast<unsigned int>(b[2]) << 8) | b[3];
}

}  // namespace

cStringKey::cStringKey(const cStringKey& other) { *this = other; }

cStringKey::cStringKey(const char* text, long long len) {
  if (!text) return;
  pack(text, len < 0 ? static_cast<long long>(std::strlen(text)) : len);
}

cStringKey::cStringKey(const unsigned short* text, long long len) {
  if (!text) return;
  long long bytes = __w2a_require(text, len, 65001);
  long long count = (bytes + 3) / 4;
  if (count <= 0) return;
  words.set(count);
  words.ptr[count - 1] = 0;
  __w2a(text, len, reinterpret_cast<char*>(words.ptr), 4 * count, 65001);
  wordsToBigEndian();
  // A terminated text brings its terminator along; a word of nothing but
  // padding would make the key differ from the one packed from UTF-8.
  if (words.ptr[count - 1] == 0) words.reset(count - 1);
}

cStringKey& cStringKey::operator=(const cStringKey& other) {
  if (this == &other) return *this;
  words.set(other.words.count);
  if (words.count > 0)
    std::memcpy(words.ptr, other.words.ptr, static_cast<size_t>(words.count) * sizeof(unsigned int));
  return *this;
}

cStringKey& cStringKey::operator=(const char* text) {
  if (text && *text) pack(text, static_cast<long long>(std::strlen(text)));
  return *this;
}

cStringKey& cStringKey::operator=(const unsigned short* text) {
  if (text && *text) *this = cStringKey(text, -1);
  return *this;
}

// The word count is worked out in 64 bits, so no length can wrap it into a
// buffer smaller than the bytes copied.
void cStringKey::pack(const char* bytes, long long len) {
  long long count = len > 0 ? (len + 3) / 4 : 0;
  words.set(count);
  if (count == 0) return;
  words.ptr[count - 1] = 0;
  std::memcpy(words.ptr, bytes, static_cast<size_t>(len));
  wordsToBigEndian();
}

void cStringKey::wordsToBigEndian() {
  auto* b = reinterpret_cast<unsigned char*>(words.ptr);
  for (long long i = 0; i < words.count; ++i) words.ptr[i] = loadBigEndian(b + 4 * i);
}

int cStringKey::cmp(const _typebuf<unsigned int>& a, const _typebuf<unsigned int>& b) {
  long long n = a.count < b.count ? a.count : b.count;
  for (long long i = 0; i < n; ++i) {
    if (a.ptr[i] != b.ptr[i]) return a.ptr[i] < b.ptr[i] ? -1 : 1;
  }
  if (a.count == b.count) return 0;
  return a.count < b.count ? -1 : 1;
}

void cStringKey::utf8(_typebuf<char>& out) const {
  out.set(4 * words.count);
  for (long long i = 0; i < words.count; ++i) {
    unsigned int w = words.ptr[i];
    out.ptr[4 * i] = static_cast<char>(w >> 24);
    out.ptr[4 * i + 1] = static_cast<char>(w >> 16);
    out.ptr[4 * i + 2] = static_cast<char>(w >> 8);
    out.ptr[4 * i + 3] = static_cast<char>(w);
  }
}
