#include "tamsivar/plainpath.h"

std::string plainPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string out;
  out.reserve(path.size());
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const size_t len = end - start;
    if (len && !(len == 1 && path[start] == '.')) {
      out += '/';
      out.append(path, start, len);
    }
    start = end + 1;
  }
  return out.empty() ? std::string("/") : out;
}
