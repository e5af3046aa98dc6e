#include "tamsivarapp/textfill.h"

#include <cstdio>

namespace {

std::string replaceFirst(const char* text, const char* directive, const std::string& value) {
  std::string out = text ? text : "";
  size_t at = out.find(directive);
  if (at != std::string::npos) out.replace(at, std::char_traits<char>::length(directive), value);
  return out;
}

}  // namespace

std::string fillText(const char* text, const char* value) { return fillTexts(text, {value}); }

std::string fillTexts(const char* text, std::initializer_list<const char*> values) {
  std::string out = text ? text : "";
  size_t from = 0;
  for (const char* value : values) {
    const size_t at = out.find("%s", from);
    if (at == std::string::npos) break;
    const std::string put = value ? value : "";
    out.replace(at, 2, put);
    from = at + put.size();
  }
  return out;
}

std::string fillNumber(const char* text, long long value) {
  return replaceFirst(text, "%lld", std::to_string(value));
}

std::string visibleText(const std::string& value) {
  std::string out;
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) {
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    }
  }
  return out;
}
