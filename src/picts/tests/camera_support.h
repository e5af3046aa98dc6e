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

struct Memory {
  Bytes bytes;
  cBufWrapperIO io;
  explicit Memory(Bytes b) : bytes(std::move(b)) { io.wrap(bytes.data(), (long long)bytes.size(), false); }
};

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
