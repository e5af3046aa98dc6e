// Shared by the digest tests: the message pattern, hex formatting, and the
// system's own tools as the reference.
#pragma once

#include <unistd.h>

#include <cstdio>
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

// The first word `command` prints with the message as its standard input.
inline std::string toolAnswer(const std::string& command, const std::vector<unsigned char>& m) {
  std::string path = std::string(ZVK_BINARY_DIR) + "/hash_oracle_" + std::to_string(getpid()) + ".bin";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return "";
  if (!m.empty()) std::fwrite(m.data(), 1, m.size(), f);
  std::fclose(f);
  std::string word;
  if (FILE* p = popen((command + " < '" + path + "'").c_str(), "r")) {
    char buf[256];
    if (std::fscanf(p, "%255s", buf) == 1) word = buf;
    pclose(p);
  }
  std::remove(path.c_str());
  return word;
}
