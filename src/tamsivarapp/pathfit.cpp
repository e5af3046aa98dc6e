#include "tamsivarapp/pathfit.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

constexpr char kEllipsis[] = "\xE2\x80\xA6";
// Folders a shortened path keeps at the least to say where it lies.
constexpr int kFirstFolders = 2;

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

// Where the last step begins, at its slash; 0 for a path of one step.
size_t lastStepAt(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos || slash + 1 == path.size() ? 0 : slash;
}

// The end of the path's first folders, short of the slash that follows
// them, within [0, nameAt].
size_t firstFoldersEnd(const std::string& path, size_t nameAt) {
  size_t at = path.starts_with('/') ? 1 : 0;
  for (int folder = 0; folder < kFirstFolders && at < nameAt; ++folder) {
    const size_t slash = path.find('/', at);
    at = slash == std::string::npos || slash >= nameAt ? nameAt : slash + 1;
  }
  return at < nameAt ? at - 1 : nameAt;
}

// The file name cut to its start and end around "…": the end gets half of
// what fits, the whole extension when there is room for it.
std::string cutName(const std::string& name, int width, const TextWidth& widthOf) {
  const std::vector<size_t> starts = charStarts(name, 0, name.size());
  const size_t chars = starts.size() - 1;
  const size_t dot = name.rfind('.');
  const size_t extension = dot == std::string::npos || dot == 0 ? 0 : charStarts(name, dot, name.size()).size() - 1;
  const auto kept = [&](size_t c) {
    const size_t end = std::min(c, std::max(c / 2, extension));
    return name.substr(0, starts[c - end]) + kEllipsis + name.substr(starts[chars - end]);
  };
  // Every character but one at most: the whole name did not fit.
  return kept(largestFitting(chars ? chars - 1 : 0, [&](size_t c) { return widthOf(kept(c)) <= width; }));
}

// Where the part kept after "…" begins: the file's own folder too when it
// fits beside the first folders, since files kept together often differ
// only there; else the file name's slash.
size_t tailStepsAt(const std::string& path, size_t nameAt, int width, const TextWidth& widthOf) {
  if (nameAt == 0) return 0;
  const size_t folderAt = path.rfind('/', nameAt - 1);
  if (folderAt == std::string::npos || folderAt == 0) return nameAt;
  const size_t start = firstFoldersEnd(path, folderAt);
  const bool fits = start < folderAt && widthOf(path.substr(0, start) + kEllipsis + path.substr(folderAt)) <= width;
  return fits ? folderAt : nameAt;
}

}  // namespace

std::string fitPath(const std::string& path, int width, const TextWidth& widthOf) {
  if (widthOf(path) <= width) return path;
  const size_t nameAt = lastStepAt(path);
  const size_t tailAt = tailStepsAt(path, nameAt, width, widthOf);
  const std::string tail = path.substr(tailAt);
  const std::vector<size_t> head = charStarts(path, 0, tailAt);
  const auto withHead = [&](size_t chars) { return path.substr(0, head[chars]) + kEllipsis + tail; };
  if (widthOf(withHead(0)) <= width) {
    const size_t chars = largestFitting(head.size() - 1, [&](size_t c) { return widthOf(withHead(c)) <= width; });
    return withHead(chars);
  }
  return cutName(path.substr(nameAt ? nameAt + 1 : 0), width, widthOf);
}

bool fitsWithStartAndName(const std::string& path, int width, const TextWidth& widthOf) {
  if (widthOf(path) <= width) return true;
  const size_t nameAt = lastStepAt(path);
  const size_t start = firstFoldersEnd(path, nameAt);
  return start < nameAt && widthOf(path.substr(0, start) + kEllipsis + path.substr(nameAt)) <= width;
}
