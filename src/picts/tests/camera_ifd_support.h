// Test-side helpers shared by the camera-file tests: IFDs laid out among a
// TIFF writer's blobs, and what dcraw reads from a file: its raw plane
// (`-D -4`) and its camera multipliers (`-i -v`).
#pragma once

#include <cstdio>

#include "picts/tests/raw_support.h"

namespace camtest {

using tifftest::Bytes;
using tifftest::Entry;

// An IFD laid out in the writer's blobs, its out-of-line values after it;
// its offset.
inline uint64_t addIfd(tifftest::Writer& w, std::vector<Entry> entries) {
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  const uint64_t at = w.headerSize() + w.blobs.size();
  Bytes ifd, values;
  w.put(ifd, entries.size(), 2);
  const uint64_t valuesAt = at + 2 + 12 * entries.size() + 4;
  for (const Entry& e : entries) {
    w.put(ifd, e.tag, 2);
    w.put(ifd, e.type, 2);
    w.put(ifd, e.count, 4);
    if (e.forcedOffset >= 0) {
      w.put(ifd, static_cast<uint64_t>(e.forcedOffset), 4);
    } else if (e.value.size() > 4) {
      w.put(ifd, valuesAt + values.size(), 4);
      values.insert(values.end(), e.value.begin(), e.value.end());
      if (values.size() & 1) values.push_back(0);
    } else {
      Bytes v = e.value;
      v.resize(4, 0);
      ifd.insert(ifd.end(), v.begin(), v.end());
    }
  }
  w.put(ifd, 0, 4);
  ifd.insert(ifd.end(), values.begin(), values.end());
  w.addBlob(ifd);
  return at;
}

// Writes `file` as `name` in the scratch folder and runs dcraw on it.
inline bool dcraw(const Bytes& file, const std::string& name, std::vector<std::string> options, Bytes& out) {
  const std::string path = tifftest::scratchDir() + "/" + name, to = path + ".out";
  tifftest::writeFile(path, file);
  if (!rawtest::dcrawTo(std::move(options), path, to)) return false;
  out = tifftest::readFile(to);
  return true;
}

inline bool dcrawPlane(const Bytes& file, const std::string& name, std::vector<uint16_t>& plane) {
  Bytes out;
  rawtest::Pnm p;
  if (!dcraw(file, name, {"-D", "-4", "-c"}, out) || !rawtest::readPnm16(out, p)) return false;
  plane = p.v;
  return true;
}

// Red, green, blue, second green.
inline bool dcrawMultipliers(const Bytes& file, const std::string& name, double (&d)[4]) {
  Bytes out;
  if (!dcraw(file, name, {"-i", "-v"}, out)) return false;
  const std::string text(out.begin(), out.end());
  const size_t at = text.find("Camera multipliers:");
  return at != std::string::npos && std::sscanf(text.c_str() + at, "Camera multipliers: %lf %lf %lf %lf",
                                                &d[0], &d[1], &d[2], &d[3]) == 4;
}

}  // namespace camtest
