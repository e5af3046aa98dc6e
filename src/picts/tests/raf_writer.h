// Test-side Fujifilm files: the header, the property block, and the sensor
// section as bare samples or as a small TIFF with the maker's tags.
#pragma once

#include "picts/tests/camera_support.h"

namespace raftest {

using cameratest::Bytes;

struct RafSpec {
  int w = 32, h = 24, bits = 16;
  int imageWidth = 0, imageHeight = 0;  // 0: the raw size
  std::string model = "FinePix TEST";
  bool layout = false, order = false, secondFrame = false;
  bool wordSwapped = false;  // 12-bit rows as word-swapped groups
  bool tiffSection = false;
  // Forgeries: the JPEG offset, a section directory pointing at itself,
  // bytes cut from the file's end, the section offset.
  unsigned jpegOffset = 0;
  bool selfLoop = false;
  size_t cut = 0;
  uint32_t sectionOffset = 0;
};

inline void put(Bytes& b, uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}

inline Bytes body(const RafSpec& s, const std::vector<uint16_t>& v) {
  Bytes out;
  for (int y = 0; y < s.h; ++y) {
    const uint16_t* r = v.data() + size_t(y * s.w);
    Bytes row;
    if (s.bits != 12) {
      for (int x = 0; x < s.w; ++x) row.insert(row.end(), {uint8_t(r[x]), uint8_t(r[x] >> 8)});
    } else if (!s.wordSwapped) {
      for (int x = 0; x + 1 < s.w; x += 2)
        rawtest::putPair12(row, r[x], r[x + 1], false);
    } else {
      for (int x = 0; x < s.w; x += 8) {
        unsigned q[8] = {};
        for (int k = 0; k < 8 && x + k < s.w; ++k) q[k] = r[x + k];
        const unsigned b[12] = {q[2] >> 4, q[1] & 255, (q[0] & 15) << 4 | q[1] >> 8, q[0] >> 4,
                                (q[4] & 15) << 4 | q[5] >> 8, q[4] >> 4, q[3] & 255, (q[2] & 15) << 4 | q[3] >> 8,
                                q[7] & 255, (q[6] & 15) << 4 | q[7] >> 8, q[6] >> 4, q[5] & 255};
        for (unsigned c : b) row.push_back(uint8_t(c));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// The section as a big-endian TIFF whose first IFD hops to the maker's
// directory through 0xF000; the samples end the section.
inline Bytes tiffSection(const RafSpec& s, const Bytes& samples, uint64_t dataAt = 0) {
  tifftest::Writer w;
  w.bigEndian = true;
  const uint64_t inner = w.headerSize();
  std::vector<tifftest::Entry> maker = {
      w.longEntry(0xF001, {uint64_t(s.w)}),  w.longEntry(0xF002, {uint64_t(s.h)}),
      w.longEntry(0xF003, {uint64_t(s.bits)}), w.longEntry(0xF007, {dataAt}),
      w.longEntry(0xF008, {samples.size()}),   w.longEntry(0xF00E, {300, 600, 400}),
  };
  if (s.selfLoop) maker.insert(maker.begin(), w.longEntry(0xF000, {inner}));
  cameratest::addIfdBlob(w, maker);
  w.ifds.push_back({w.longEntry(0xF000, {inner})});
  Bytes b = w.build();
  if (!dataAt) return tiffSection(s, samples, b.size());
  b.insert(b.end(), samples.begin(), samples.end());
  return b;
}

inline Bytes writeRaf(const RafSpec& s, const std::vector<uint16_t>& v, const Bytes& jpeg = {}) {
  Bytes props;
  put(props, 4, 4);
  const int iw = s.imageWidth ? s.imageWidth : s.w, ih = s.imageHeight ? s.imageHeight : s.h;
  put(props, 0x100, 2), put(props, 4, 2), put(props, uint64_t(s.h), 2), put(props, uint64_t(s.w), 2);
  put(props, 0x121, 2), put(props, 4, 2), put(props, uint64_t(ih), 2), put(props, uint64_t(iw), 2);
  put(props, 0x130, 2), put(props, 2, 2), props.push_back(s.order ? 0x80 : 0), props.push_back(s.layout ? 0 : 8);
  put(props, 0x2FF0, 2), put(props, 8, 2), put(props, 256, 2), put(props, 512, 2), put(props, 256, 2), put(props, 768, 2);
  const Bytes samples = body(s, v);
  const Bytes section = s.tiffSection ? tiffSection(s, samples) : samples;
  Bytes file(124, 0);
  std::copy(std::begin("FUJIFILMCCD-RAW "), std::end("FUJIFILMCCD-RAW ") - 1, file.begin());
  std::copy(s.model.begin(), s.model.end(), file.begin() + 28);
  const uint64_t propsAt = 124, jpegAt = propsAt + props.size(), sectionAt = jpegAt + jpeg.size();
  Bytes fields;
  put(fields, jpeg.empty() ? 0 : s.jpegOffset ? s.jpegOffset : jpegAt, 4), put(fields, jpeg.size(), 4);
  put(fields, propsAt, 4), put(fields, props.size(), 4);
  put(fields, s.sectionOffset ? s.sectionOffset : sectionAt, 4), put(fields, section.size(), 4);
  std::copy(fields.begin(), fields.end(), file.begin() + 84);
  if (s.secondFrame) file[123] = 1;
  file.insert(file.end(), props.begin(), props.end());
  file.insert(file.end(), jpeg.begin(), jpeg.end());
  file.insert(file.end(), section.begin(), section.end());
  if (s.secondFrame && s.layout) file.insert(file.end(), samples.begin(), samples.end());  // the second frame
  file.resize(file.size() - s.cut);
  return file;
}

inline std::vector<uint16_t> samples(const RafSpec& s, unsigned seed) {
  auto v = rawtest::mosaic(s.w, s.h, true, seed);
  for (auto& x : v) x = uint16_t(std::max(240, x >> (16 - s.bits)));
  return v;
}

}  // namespace raftest
