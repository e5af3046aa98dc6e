#include "tamsivarapp/textfill.h"

namespace {

std::string replaceFirst(const char* text, const char* directive, const std::string& value) {
  std::string out = text ? text : "";
  size_t at = out.find(directive);
  if (at != std::string::npos) out.replace(at, std::char_traits<char>::length(directive), value);
  return out;
}

}  // namespace

std::string fillText(const char* text, const char* value) { return replaceFirst(text, "%s", value ? value : ""); }

std::string fillNumber(const char* text, long long value) {
  return replaceFirst(text, "%lld", std::to_string(value));
}
