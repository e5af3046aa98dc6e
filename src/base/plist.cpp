#include "base/plist.h"

#include <cstring>
#include <string_view>

#include "base/targets.h"

namespace {

// A property list of a bundle is a few kilobytes; anything far larger is
// not one.
constexpr unsigned long long kMaxPlist = 1 << 20;

bool decodeEntity(std::string_view& in, std::string& out) {
  size_t end = in.find(';');
  if (end == std::string_view::npos || end > 10) return false;
  std::string_view name = in.substr(1, end - 1);
  in.remove_prefix(end + 1);
  static constexpr struct {
    std::string_view name;
    char c;
  } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& n : kNamed)
    if (name == n.name) {
      out += n.c;
      return true;
    }
  if (name.size() < 2 || name[0] != '#') return false;
  unsigned long code = 0;
  bool hex = name[1] == 'x';
  std::string_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty()) return false;
  for (char d : digits) {
    int v = (d >= '0' && d <= '9') ? d - '0'
            : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
            : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                           : -1;
    if (v < 0) return false;
    code = code * (hex ? 16 : 10) + static_cast<unsigned long>(v);
    if (code > 0x10FFFF) return false;
  }
  if (code == 0 || (code >= 0xD800 && code <= 0xDFFF)) return false;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return true;
}

}  // namespace

bool plistString(const char* xml, size_t size, const char* key, std::string& value) {
  if (!xml || !key) return false;
  const std::string_view text(xml, size);
  const std::string wanted = std::string("<key>") + key + "</key>";
  size_t at = text.find(wanted);
  if (at == std::string_view::npos) return false;
  at += wanted.size();
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
    ++at;
  constexpr std::string_view kOpen = "<string>";
  if (text.substr(at, kOpen.size()) != kOpen) return false;
  at += kOpen.size();
  size_t end = text.find("</string>", at);
  if (end == std::string_view::npos) return false;
  std::string_view raw = text.substr(at, end - at);
  std::string out;
  while (!raw.empty()) {
    if (raw[0] == '&') {
      if (!decodeEntity(raw, out)) return false;
    } else {
      if (raw[0] == '\0') return false;
      out += raw[0];
      raw.remove_prefix(1);
    }
  }
  value = std::move(out);
  return true;
}

bool bundleExecutable(const char* bundle, std::string& program) {
  if (!bundle) return false;
  const std::string contents = std::string(bundle) + "/Contents";
  cFileIO in;
  if (!in.open((contents + "/Info.plist").c_str(), fmRead)) return false;
  const unsigned long long size = in.size();
  if (size == 0 || size > kMaxPlist) return false;
  std::string xml(static_cast<size_t>(size), '\0');
  if (!in.readf(xml.data(), static_cast<unsigned int>(size))) return false;
  std::string name;
  if (!plistString(xml.data(), xml.size(), "CFBundleExecutable", name)) return false;
  // The list is the bundle's own text: it names a file in Contents/MacOS
  // and nothing else.
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return false;
  program = contents + "/MacOS/" + name;
  return true;
}
