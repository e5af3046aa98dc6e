#include "tamsivarapp/pathfit.h"

#include <cstddef>
#include <vector>

namespace {

constexpr char kEllipsis[] = "\xE2\x80\xA6";

// Byte offsets where a UTF-8 character starts, and the end: a cut never
// splits one.
std::vector<size_t> charStarts(const std::string& s, size_t from, size_t to) {
  std::vector<size_t> starts;
  for (size_t i = from; i < to; ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) starts.push_back(i);
  starts.push_back(to);
  return starts;
}

// The largest index in [0, n] for which `fits` holds, `fits` holding for
// 0 and failing from some index on; n when it holds throughout.
size_t largestFitting(size_t n, const std::function<bool(size_t)>& fits) {
  size_t lo = 0, hi = n;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo + 1) / 2;
    if (fits(mid)) lo = mid;
    else hi = mid - 1;
  }
  return lo;
}

}  // namespace

std::string fitPath(const std::string& path, int width, const std::function<int(const std::string&)>& widthOf) {
  if (widthOf(path) <= width) return path;
  const size_t slash = path.rfind('/');
  const size_t nameAt = slash == std::string::npos || slash + 1 == path.size() ? 0 : slash;
  const std::string name = path.substr(nameAt);
  const std::vector<size_t> head = charStarts(path, 0, nameAt);
  const auto withHead = [&](size_t chars) { return path.substr(0, head[chars]) + kEllipsis + name; };
  if (widthOf(withHead(0)) <= width) {
    const size_t chars = largestFitting(head.size() - 1, [&](size_t c) { return widthOf(withHead(c)) <= width; });
    return withHead(chars);
  }
  // Only the end of the name is left to show: the longest end that fits.
  const std::vector<size_t> starts = charStarts(name, 0, name.size());
  const size_t chars = starts.size() - 1;
  const auto lastChars = [&](size_t c) { return kEllipsis + name.substr(starts[chars - c]); };
  return lastChars(largestFitting(chars, [&](size_t c) { return widthOf(lastChars(c)) <= width; }));
}
