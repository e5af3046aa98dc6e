// Test-side helpers shared by the camera-file tests: IFDs laid out among a
// TIFF writer's blobs, and what dcraw reads from a file: its raw plane
// (`-D -4`) and its camera multipliers (`-i -v`).
#pragma once

#include <cstdio>

#include "picts/tests/camera_support.h"

namespace camtest {

using tifftest::Bytes;
using tifftest::Entry;

// An IFD laid out in the writer's blobs, its entries in tag order and its
// out-of-line values after it; its offset.
inline uint64_t addIfd(tifftest::Writer& w, std::vector<Entry> entries) {
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  return cameratest::addIfdBlob(w, entries);
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
  plane = cameratest::dcrawPlane(file, name).v;
  return !plane.empty();
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
