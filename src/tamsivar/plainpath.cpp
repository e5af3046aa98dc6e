#include "tamsivar/plainpath.h"

#include <limits.h>
#include <stdlib.h>

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

std::string settledPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string out;
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string step = path.substr(start, end - start);
    start = end + 1;
    if (step.empty() || step == ".") continue;
    if (step != "..") {
      out += '/' + step;
      continue;
    }
    // Up from where the steps so far lead; a folder not made yet holds no
    // link, so its parent is the text before it.
    char real[PATH_MAX];
    if (!out.empty() && ::realpath(out.c_str(), real)) out = real;
    const size_t slash = out.rfind('/');
    out.resize(slash == std::string::npos ? 0 : slash);
  }
  return out.empty() ? std::string("/") : out;
}
