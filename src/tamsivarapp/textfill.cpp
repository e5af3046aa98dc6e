#include "tamsivarapp/textfill.h"

#include <cstdio>

namespace {

std::string replaceFirst(const char* text, const char* directive, const std::string& value) {
  std::string out = text ? text : "";
  size_t at = out.find(directive);
  if (at != std::string::npos) out.replace(at, std::char_traits<char>::length(directive), value);
  return out;
}

// The code point of a character at `at` that shows nothing yet changes how
// the text around it reads: a C1 control (U+0085 ends a line), the line and
// paragraph separators, and the marks that turn text right to left (a name
// ending "gpj.exe" then reads as a picture's); 0 for any other.
unsigned int unseenMark(const std::string& value, size_t at) {
  const auto byte = [&value](size_t i) { return i < value.size() ? static_cast<unsigned char>(value[i]) : 0u; };
  const unsigned int first = byte(at), second = byte(at + 1), third = byte(at + 2);
  if (first == 0xC2 && second >= 0x80 && second <= 0x9F) return second;
  if (first != 0xE2 || (third & 0xC0) != 0x80) return 0;
  const unsigned int point = 0x2000 | ((second & 0x3F) << 6) | (third & 0x3F);
  const bool marks = point == 0x200E || point == 0x200F || (point >= 0x2028 && point <= 0x202E);
  const bool unseen = (second == 0x80 && marks) || (second == 0x81 && point >= 0x2066 && point <= 0x2069);
  return unseen ? point : 0;
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
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    const auto u = static_cast<unsigned char>(c);
    char hex[12];
    if (const unsigned int point = unseenMark(value, i)) {
      std::snprintf(hex, sizeof hex, "\\u%04X", point);
      out += hex;
      i += point < 0x800 ? 1 : 2;
    } else if (u >= 0x20 && u != 0x7F) {
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    }
  }
  return out;
}
