// Shared by the digest tests: the message pattern, hex formatting, and the
// system's own tools as the reference.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "base/tests/run_program.h"

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

// The first word the tool `args` prints for the message, given as a file.
inline std::string toolAnswer(std::vector<std::string> args, const std::vector<unsigned char>& m) {
  std::string path = std::string(ZVK_BINARY_DIR) + "/hash_oracle_" + std::to_string(getpid()) + ".bin";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return "";
  if (!m.empty()) std::fwrite(m.data(), 1, m.size(), f);
  std::fclose(f);
  args.push_back(path);
  std::string output, word;
  runProgram(args, &output);
  std::remove(path.c_str());
  std::istringstream(output) >> word;
  return word;
}
