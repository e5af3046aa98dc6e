// Test-side tools for the medical-image readers: samples written by the
// tests, files made from them by dcmtk (and gdcm for JPEG 2000) in a scratch
// folder, the pixels those samples must become, and the fragments of
// encapsulated data as dcmtk itself cuts them out.
#pragma once

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "picts/dicompages.h"
#include "picts/littleendian.h"
#include "raster_support.h"

namespace dicomtest {

using rastertest::Bytes;
using rastertest::path;
using rastertest::readFile;
using rastertest::run;
using rastertest::writeFile;

struct Layout {
  const char* name;
  unsigned w, h, bitsAllocated, bitsStored, samples, planar, pixelRepresentation, frames;
  // Grey shown with its lowest sample white.
  bool monochrome1 = false;
};

// Random samples that use every stored bit and, above them, garbage that a
// reader must mask away.
inline Bytes samplesFor(const Layout& l, uint32_t seed) {
  std::mt19937 rng(seed);
  size_t count = static_cast<size_t>(l.w) * l.h * l.samples * l.frames;
  Bytes out;
  for (size_t i = 0; i < count; ++i) {
    unsigned v = rng() & ((1u << l.bitsAllocated) - 1);
    out.push_back(static_cast<uint8_t>(v));
    if (l.bitsAllocated == 16) out.push_back(static_cast<uint8_t>(v >> 8));
  }
  return out;
}

// The image attributes and pixel data of one data set, in dcmtk's dump
// format, pixel data read from `raw`.
inline std::string imageLines(const Layout& l, const std::string& raw) {
  auto us = [](const char* tag, unsigned v) { return std::string(tag) + " US " + std::to_string(v) + "\n"; };
  std::string d = us("(0028,0002)", l.samples) + "(0028,0004) CS [" +
                  (l.samples == 3 ? "RGB" : l.monochrome1 ? "MONOCHROME1" : "MONOCHROME2") + "]\n";
  if (l.samples == 3) d += us("(0028,0006)", l.planar);
  if (l.frames > 1) d += "(0028,0008) IS [" + std::to_string(l.frames) + "]\n";
  d += us("(0028,0010)", l.h) + us("(0028,0011)", l.w) + us("(0028,0100)", l.bitsAllocated) +
       us("(0028,0101)", l.bitsStored) + us("(0028,0102)", l.bitsStored - 1) +
       us("(0028,0103)", l.pixelRepresentation);
  return d + "(7fe0,0010) " + (l.bitsAllocated == 16 ? "OW" : "OB") + " =" + raw + "\n";
}

// A whole data set; `extra` adds lines (dump2dcm sorts them).
inline std::string dumpOf(const Layout& l, const std::string& raw, const std::string& extra = "") {
  return "(0008,0016) UI =SecondaryCaptureImageStorage\n(0008,0018) UI [1.2.3.4]\n" + extra + imageLines(l, raw);
}

// Writes the samples and makes `name`.dcm from them; `options` go to dump2dcm.
inline std::string makeFile(const Layout& l, const Bytes& samples, const std::string& name,
                            const std::string& options = "--write-xfer-little", const std::string& extra = "") {
  writeFile(path(name + ".raw"), samples);
  std::string dump = path(name + ".dump");
  std::string text = dumpOf(l, path(name + ".raw"), extra);
  writeFile(dump, Bytes(text.begin(), text.end()));
  std::string out = path(name + ".dcm");
  return run("dump2dcm -q " + options + " " + dump + " " + out) ? out : "";
}

// What frame `frame` of the samples must become, top-down, as 16-bit
// channel words or 8-bit words by the bits allocated: samples masked to the
// bits stored, signed grey widened, grey stretched from its own range.
inline std::vector<unsigned long long> expectedPixels(const Layout& l, const Bytes& s, unsigned frame) {
  const long long stored = (1LL << l.bitsStored) - 1, full = (1LL << l.bitsAllocated) - 1;
  const size_t perFrame = static_cast<size_t>(l.w) * l.h * l.samples;
  const int bytes = l.bitsAllocated / 8;
  auto value = [&](size_t pixel, unsigned c) {
    size_t i = frame * perFrame + (l.planar ? c * l.w * l.h + pixel : pixel * l.samples + c);
    long long v = (bytes == 2 ? s[2 * i] | s[2 * i + 1] << 8 : s[i]) & stored;
    if (l.samples == 1 && l.pixelRepresentation == 1 && v > stored / 2) v -= stored + 1;
    return v;
  };
  size_t n = static_cast<size_t>(l.w) * l.h;
  long long lo = 0;
  double scale = static_cast<double>(full) / static_cast<double>(stored);
  if (l.samples == 1) {
    long long m = value(0, 0), M = m;
    for (size_t p = 0; p < n; ++p) m = std::min(m, value(p, 0)), M = std::max(M, value(p, 0));
    if (m < M) lo = m, scale = static_cast<double>(full) / static_cast<double>(M - m);
  }
  bool stretch = l.bitsStored != l.bitsAllocated || l.bitsAllocated == 16;
  auto level = [&](long long v) {
    return static_cast<unsigned long long>(stretch ? std::trunc(static_cast<double>(v - lo) * scale) : v - lo);
  };
  std::vector<unsigned long long> out(n);
  int shift = l.bitsAllocated;
  for (size_t p = 0; p < n; ++p) {
    unsigned long long r = level(value(p, 0));
    if (l.monochrome1) r = static_cast<unsigned long long>(full) - r;
    unsigned long long g = l.samples == 3 ? level(value(p, 1)) : r, b = l.samples == 3 ? level(value(p, 2)) : r;
    out[p] = static_cast<unsigned long long>(full) << (3 * shift) | r << (2 * shift) | g << shift | b;
  }
  return out;
}

// The decoded pixels top-down, in the words of the picture's mode.
inline std::vector<unsigned long long> decodedPixels(cPictBase& p) {
  std::vector<unsigned long long> out;
  long long w = p.width(), h = p.height();
  if (p.is16Bpp() ? !p.raw16Bpp() : !p.raw8Bpp()) return out;
  for (long long y = 0; y < h; ++y)
    for (long long x = 0; x < w; ++x) {
      long long i = (h - 1 - y) * w + x;
      out.push_back(p.is16Bpp() ? p.raw16Bpp()[i] : p.raw8Bpp()[i]);
    }
  return out;
}

// The first fragment of a file's encapsulated pixel data, as dcmtk cuts it.
inline Bytes firstFragment(const std::string& file) {
  std::string dir = file + ".px";
  if (!run("mkdir -p " + dir + " && dcmdump -q +W " + dir + " " + file + " >/dev/null")) return {};
  std::string base = dir + "/" + file.substr(file.rfind('/') + 1);
  return readFile(base + ".1.raw");
}

// One implicit little-endian element; `length` other than -1 overrides the
// value's own.
inline void putElement(Bytes& out, unsigned group, unsigned element, const Bytes& value, long long length = -1) {
  Bytes h(8);
  putLe16(h.data(), group);
  putLe16(h.data() + 2, element);
  putLe32(h.data() + 4, static_cast<unsigned>(length < 0 ? static_cast<long long>(value.size()) : length));
  out.insert(out.end(), h.begin(), h.end());
  out.insert(out.end(), value.begin(), value.end());
}

inline Bytes u16(unsigned v) { return Bytes{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }

// One explicit little-endian element, long length form where the VR has it.
inline void putExplicit(Bytes& out, unsigned group, unsigned element, const char* vr, const Bytes& value,
                        long long length = -1) {
  unsigned n = static_cast<unsigned>(length < 0 ? static_cast<long long>(value.size()) : length);
  bool longForm = std::string("OBODOFOWSQUNUT").find(vr) % 2 == 0;
  Bytes h(longForm ? 12 : 8);
  putLe16(h.data(), group);
  putLe16(h.data() + 2, element);
  h[4] = static_cast<uint8_t>(vr[0]);
  h[5] = static_cast<uint8_t>(vr[1]);
  if (longForm)
    putLe32(h.data() + 8, n);
  else
    putLe16(h.data() + 6, n);
  out.insert(out.end(), h.begin(), h.end());
  out.insert(out.end(), value.begin(), value.end());
}

// The preamble and magic of the file format.
inline Bytes preamble() {
  Bytes out(128);
  for (char c : std::string("DICM")) out.push_back(static_cast<uint8_t>(c));
  return out;
}

}  // namespace dicomtest
