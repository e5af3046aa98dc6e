// Test-side tools for the camera decoders on the tag walker: a decoder that
// keeps the sensor plane it finished, file truncation, and dcraw's raw plane.
#pragma once

#include "base/memio.h"
#include "picts/raw_common.h"
#include "picts/tests/raw_support.h"

namespace cameratest {

using tifftest::Bytes;

template <typename Decoder>
class Captured : public Decoder {
 public:
  std::vector<uint16_t> plane;
  long long rawWidth = 0, rawHeight = 0;
  sMarginInfo margins;
  unsigned black = 0;
  double multipliers[4] = {};

 protected:
  void onRawPlane(const sRawFinish& f) override {
    rawWidth = f.rawWidth;
    rawHeight = f.rawHeight;
    plane.assign(f.raw, f.raw + rawWidth * rawHeight);
    margins = f.margins;
    black = f.black;
    for (int i = 0; i < 4; ++i) multipliers[i] = f.multipliers[i];
  }
};

using Memory = pngtest::MemStream;

// Decodes `file` keeping the plane; false when the decode refused it.
template <typename Decoder>
bool decodePlane(const Bytes& file, Captured<Decoder>& d) {
  Memory m(file);
  return d.decode(&m.io);
}

// Every prefix of `file` is probed and decoded: none may crash or take
// memory the sanitizers refuse.
template <typename Decoder>
void survivesEveryTruncation(const Bytes& file) {
  for (size_t n = 0; n < file.size(); ++n) {
    Memory m(Bytes(file.begin(), file.begin() + (long)n));
    Decoder d;
    cPictBase::sPictInfo info;
    d.isPicture(&m.io, &info);
    m.io.set_fp(0);
    d.decode(&m.io);
  }
}

// A JPEG of `size` ("40x30") drawn by ImageMagick from `source` ("xc:red",
// "gradient:red-blue"); empty when the tool fails.
inline Bytes toolJpeg(const std::string& size, const std::string& source) {
  const std::string path = tifftest::scratchDir() + "/" + size + source.substr(source.find(':') + 1) + ".jpg";
  return tifftest::run({"convert", "-size", size, source, path}) ? tifftest::readFile(path) : Bytes{};
}

// An IFD, its out-of-line values after it, as one blob behind `prefix`;
// answers where the blob starts (the IFD follows the prefix). Offsets are
// written less `base`; an entry's forced offset is written as given.
inline uint64_t addIfdBlob(tifftest::Writer& w, const std::vector<tifftest::Entry>& entries,
                           const Bytes& prefix = {}, uint64_t base = 0) {
  const uint64_t at = w.headerSize() + w.blobs.size();
  const uint64_t valuesAt = at + prefix.size() + 2 + 12 * entries.size() + 4;
  Bytes dir = prefix, values;
  w.put(dir, entries.size(), 2);
  for (const auto& e : entries) {
    w.put(dir, e.tag, 2);
    w.put(dir, e.type, 2);
    w.put(dir, e.count, 4);
    if (e.forcedOffset >= 0) {
      w.put(dir, uint64_t(e.forcedOffset), 4);
    } else if (e.value.size() > 4) {
      w.put(dir, valuesAt + values.size() - base, 4);
      values.insert(values.end(), e.value.begin(), e.value.end());
      if (values.size() & 1) values.push_back(0);
    } else {
      Bytes inl = e.value;
      inl.resize(4, 0);
      dir.insert(dir.end(), inl.begin(), inl.end());
    }
  }
  w.put(dir, 0, 4);
  dir.insert(dir.end(), values.begin(), values.end());
  w.addBlob(dir);
  return at;
}

// Most significant bit first, no stuffing; a few zero bytes end the body so
// that a reader looking ahead of its last code finds them.
struct BitWriter {
  Bytes out;
  uint64_t acc = 0;
  int held = 0;
  void put(uint32_t v, int n) {
    for (int k = n - 1; k >= 0; --k) {
      acc = acc << 1 | (v >> k & 1);
      if (++held == 8) out.push_back(uint8_t(acc)), held = 0, acc = 0;
    }
  }
  Bytes finish() {
    if (held) put(0, 8 - held);
    out.insert(out.end(), 4, 0);
    return out;
  }
};

// A difference of a lossless body: its length category and extra bits.
inline void putDiff(BitWriter& bw, int d, const std::vector<std::pair<uint32_t, int>>& codes) {
  int n = 0;
  while ((d < 0 ? -d : d) >> n) ++n;
  bw.put(codes[size_t(n)].first, codes[size_t(n)].second);
  if (n) bw.put(uint32_t(d < 0 ? d + (1 << n) - 1 : d), n);
}

// Canonical codes for category lengths.
inline std::vector<std::pair<uint32_t, int>> canonicalCodes(const std::vector<int>& lengths) {
  std::vector<std::pair<uint32_t, int>> codes(lengths.size());
  uint32_t code = 0;
  for (int len = 1; len <= 16; ++len, code <<= 1)
    for (size_t c = 0; c < lengths.size(); ++c)
      if (lengths[c] == len) codes[c] = {code++, len};
  return codes;
}

// dcraw's undemosaiced plane of `file`; empty when dcraw does not know it.
inline rawtest::Pnm dcrawPlane(const Bytes& file, const std::string& name) {
  const std::string path = tifftest::scratchDir() + "/" + name, out = path + ".pgm";
  tifftest::writeFile(path, file);
  rawtest::Pnm p;
  if (!rawtest::dcrawTo({"-D", "-4", "-c"}, path, out) || !rawtest::readPnm16(tifftest::readFile(out), p))
    return {};
  return p;
}

}  // namespace cameratest
