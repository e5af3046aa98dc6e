#include "ciom/messageform_wrap.h"

#include <string_view>

#include "ciom/child.h"

namespace {

bool continuation(std::string_view s, size_t p) {
  return p < s.size() && (static_cast<unsigned char>(s[p]) & 0xC0) == 0x80;
}

// The start of the character that holds byte p.
size_t charStart(std::string_view s, size_t p) {
  while (p > 0 && continuation(s, p)) --p;
  return p;
}

size_t nextChar(std::string_view s, size_t p) {
  ++p;
  while (continuation(s, p)) ++p;
  return p;
}

}  // namespace

std::vector<std::string> wrapToWidth(cChildElement* measurer, cFontObject* font, const std::string& line,
                                     int limit) {
  std::vector<std::string> pieces;
  size_t at = 0;
  // Whether the n bytes from `at` fit; a line that cannot be measured fits.
  const auto fits = [&](size_t n) {
    sSize s{0, 0};
    return !measurer->sizeOf(line.substr(at, n).c_str(), s, font) || s.cx <= limit;
  };
  for (;;) {
    const std::string_view rest = std::string_view(line).substr(at);
    // The longest fitting head: grown by doubling, then halved down. Only
    // about twice the fitting length is ever measured, so a long line costs
    // little more than its pieces.
    size_t lo = 0, hi = rest.size();
    bool over = false;
    for (size_t probe = 64;; probe *= 2) {
      const size_t p = probe >= rest.size() ? rest.size() : charStart(rest, probe);
      if (p > lo) {
        if (!fits(p)) {
          hi = p;
          over = true;
          break;
        }
        lo = p;
      }
      if (p == rest.size()) break;
    }
    if (!over) {
      if (!rest.empty() || pieces.empty()) pieces.emplace_back(rest);
      return pieces;
    }
    for (;;) {
      size_t mid = charStart(rest, lo + (hi - lo) / 2);
      if (mid <= lo) mid = nextChar(rest, lo);
      if (mid >= hi) break;
      (fits(mid) ? lo : hi) = mid;
    }
    if (lo == 0) lo = nextChar(rest, 0);
    size_t cut = lo, skip = lo;
    const size_t brk = rest.find_last_of(" /", lo);
    if (brk != std::string_view::npos && brk > 0) {
      if (rest[brk] == ' ') {
        cut = brk;
        skip = brk + 1;
      } else if (brk < lo) {
        cut = skip = brk + 1;
      }
    }
    pieces.emplace_back(rest.substr(0, cut));
    at += skip;
  }
}
