// Test-side PEF files: Huffman, packed and 16-bit bodies with the maker
// note's balance, crop and code table, for the tests and the benchmark.
#pragma once

#include "picts/tests/camera_support.h"

namespace peftest {

using cameratest::Bytes;

// Code lengths of the difference categories 0 to 14, enough for 14-bit samples.
inline const std::vector<int> kLengths = {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

struct PefSpec {
  int w = 64, h = 24, bits = 12, comp = 65535;
  bool big = false, ricoh = false, crop = false;
  unsigned rowsPerStrip = 24;
  unsigned tableLength = 0;  // a forged bit length for code 0
  bool dng = false, cfaMismatch = false, exifCycle = false;
};

// The maker-note table: its category count less 12 first, then 12-bit
// left-aligned codes and their lengths.
inline Bytes pefTable(const tifftest::Writer& w, const PefSpec& s) {
  const auto codes = cameratest::canonicalCodes(kLengths);
  Bytes t(14, 0);
  t[s.big ? 1 : 0] = uint8_t(kLengths.size() - 12);
  for (const auto& c : codes) w.put(t, c.first << (12 - c.second), 2);
  for (size_t c = 0; c < codes.size(); ++c) t.push_back(uint8_t(c == 0 && s.tableLength ? s.tableLength & 0xFF : codes[c].second));
  return t;
}

inline Bytes pefBody(const PefSpec& s, const std::vector<uint16_t>& v, unsigned firstRow, unsigned rows) {
  Bytes out;
  const size_t w = size_t(s.w);
  if (s.comp == 1) {
    for (size_t i = firstRow * w; i < (firstRow + rows) * w; ++i)
      s.big ? out.insert(out.end(), {uint8_t(v[i] >> 8), uint8_t(v[i])}) : out.insert(out.end(), {uint8_t(v[i]), uint8_t(v[i] >> 8)});
    return out;
  }
  if (s.comp == 32773) {
    for (size_t i = firstRow * w; i < (firstRow + rows) * w; i += 2) {
      const unsigned a = v[i], b = v[i + 1];
      rawtest::putPair12(out, a, b, s.big);
    }
    return out;
  }
  static int vpred[2][2];  // one prediction for the whole picture, across strips
  if (firstRow == 0) vpred[0][0] = vpred[0][1] = vpred[1][0] = vpred[1][1] = 0;
  const auto codes = cameratest::canonicalCodes(kLengths);
  cameratest::BitWriter bw;
  for (unsigned r = 0; r < rows; ++r) {
    int hpred[2] = {};
    for (size_t c = 0; c < w; ++c) {
      const int x = v[(firstRow + r) * w + c];
      int& pred = c < 2 ? vpred[r & 1][c] : hpred[c & 1];
      cameratest::putDiff(bw, x - pred, codes);
      pred = x;
      hpred[c & 1] = x;
    }
  }
  return bw.finish();
}

inline Bytes writePef(const PefSpec& s, const std::vector<uint16_t>& v, const Bytes& preview = {}) {
  tifftest::Writer w;
  w.bigEndian = s.big;
  std::vector<uint64_t> offsets, counts;
  for (unsigned row = 0; row < unsigned(s.h); row += s.rowsPerStrip) {
    Bytes body = pefBody(s, v, row, std::min(s.rowsPerStrip, unsigned(s.h) - row));
    offsets.push_back(w.addBlob(body));
    counts.push_back(body.size());
  }
  std::vector<tifftest::Entry> maker = {w.shortEntry(0x201, {512, 256, 256, 384})};
  if (s.crop) {
    maker.push_back(w.longEntry(0x38, {3, 3}));
    maker.push_back(w.longEntry(0x39, {uint64_t(s.w - 10), uint64_t(s.h - 6)}));
  }
  Bytes table = pefTable(w, s);
  if (s.ricoh) {
    maker.push_back({0x220, 7, 4, Bytes{0xFF, 0xFF, 0xFF, 0xFF}});  // ignored for Ricoh
    Bytes t(226, 0);
    t.insert(t.end(), table.begin(), table.end());
    t.resize(std::max<size_t>(t.size(), 241), 0);
    maker.push_back({0x22A, 7, t.size(), t});
  } else {
    maker.push_back({0x220, 7, table.size(), table});
  }
  Bytes prefix = s.ricoh ? Bytes{'P', 'E', 'N', 'T', 'A', 'X', ' ', 0, 'M', 'M'} : Bytes{'A', 'O', 'C', 0, 'M', 'M'};
  if (!s.big) prefix[prefix.size() - 1] = prefix[prefix.size() - 2] = 'I';
  const uint64_t makerAt = cameratest::addIfdBlob(w, maker, prefix);
  const uint64_t makerLength = w.headerSize() + w.blobs.size() - makerAt;
  Bytes cfa = w.values(std::vector<uint64_t>{2, 2}, 2);
  cfa.insert(cfa.end(), {0, 1, 1, 2});
  if (s.cfaMismatch) cfa.push_back(1);
  std::vector<tifftest::Entry> exif = {{37500, 7, makerLength, {}, int64_t(makerAt)},
                                       {41730, 7, cfa.size(), cfa}};
  if (s.exifCycle) exif.push_back(w.longEntry(34665, {8}));
  const uint64_t exifAt = cameratest::addIfdBlob(w, exif);
  const std::string make = s.ricoh ? "RICOH IMAGING" : "PENTAX Corporation";
  std::vector<tifftest::Entry> ifd = {
      w.longEntry(256, {uint64_t(s.w)}),
      w.longEntry(257, {uint64_t(s.h)}),
      w.shortEntry(258, {uint64_t(s.bits)}),
      w.shortEntry(259, {uint64_t(s.comp)}),
      w.shortEntry(262, {32803}),
      {271, 2, make.size() + 1, Bytes(make.c_str(), make.c_str() + make.size() + 1)},
      {272, 2, 7, Bytes{'K', '-', '5', ' ', 'I', 'I', 0}},
      w.longEntry(273, offsets),
      w.shortEntry(277, {1}),
      w.longEntry(278, {s.rowsPerStrip}),
      w.longEntry(279, counts),
      w.longEntry(34665, {exifAt}),
  };
  if (s.dng) ifd.push_back({50706, 1, 4, Bytes{1, 4, 0, 0}});
  w.ifds.push_back(ifd);
  if (!preview.empty()) {
    const uint64_t at = w.addBlob(preview);
    w.ifds.push_back({w.longEntry(513, {at}), w.longEntry(514, {preview.size()})});
  }
  Bytes file = w.build();
  if (s.exifCycle) {
    // The EXIF IFD's own 34665 points back at the first IFD.
    const uint32_t first = s.big ? uint32_t(file[4] << 24 | file[5] << 16 | file[6] << 8 | file[7])
                                 : uint32_t(file[7] << 24 | file[6] << 16 | file[5] << 8 | file[4]);
    for (size_t i = exifAt + 2; i + 12 <= file.size(); i += 12)
      if (file[i] == (s.big ? 0x87 : 0x69) && file[i + 1] == (s.big ? 0x69 : 0x87)) {
        Bytes b = w.values(first, 4);
        std::copy(b.begin(), b.end(), file.begin() + long(i + 8));
        break;
      }
  }
  return file;
}

inline std::vector<uint16_t> samples(const PefSpec& s, unsigned seed) {
  auto v = rawtest::mosaic(s.w, s.h, true, seed);
  for (auto& x : v) x = uint16_t(x >> (16 - s.bits));
  return v;
}

}  // namespace peftest
