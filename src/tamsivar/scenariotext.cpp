#include "tamsivar/scenariotext.h"

#include <cctype>
#include <cstring>
#include <string>

#include "base/utils.h"
#include "ciom/langids.h"

namespace {

constexpr size_t kLongestValue = 0xFFFF;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

void skipSpace(char*& p) {
  while (isBlank(*p)) ++p;
}

bool atEntryEnd(char*& p) {
  skipSpace(p);
  return !*p || *p == '#';
}

bool parseStrVal(char*& p, _guardchar<char>& out) {
  skipSpace(p);
  if (*p != '"') return false;
  std::string text;
  for (char* q = p + 1;; ++q) {
    if (!*q) return false;
    if (*q == '"') {
      if (text.size() > kLongestValue) return false;
      out.set(text.c_str(), static_cast<long long>(text.size()));
      p = q + 1;
      skipSpace(p);
      return true;
    }
    if (*q == '\\' && !*++q) return false;
    text += *q;
  }
}

bool findSkipEq(char*& p) {
  skipSpace(p);
  if (*p != '=') return false;
  ++p;
  skipSpace(p);
  return true;
}

int langCodeAt(const char* p) {
  for (int id = 0; id < kCIOMStdLangCount; ++id)
    if (std::strncmp(p, ciLangID(id), 3) == 0) return id;
  return -1;
}

bool readNumber(const char* text, unsigned long long& value) {
  const char* p = text;
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool reads;
  if (!*p)
    reads = true;
  else if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
    reads = std::isxdigit(static_cast<unsigned char>(p[2])) != 0;
  else
    reads = std::isdigit(static_cast<unsigned char>(*p)) != 0;
  if (!reads) return false;
  value = strToU64(text);
  return true;
}
