// Shared by the digest tests: the message pattern the expected digests were
// computed over, and hex formatting.
#pragma once

#include <string>
#include <vector>

inline std::vector<unsigned char> patternMessage(size_t n) {
  std::vector<unsigned char> m(n);
  for (size_t i = 0; i < n; ++i) m[i] = static_cast<unsigned char>(i * 31 + 7);
  return m;
}

inline std::string hex(const unsigned char* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}
