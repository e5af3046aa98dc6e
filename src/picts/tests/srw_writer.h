// Test-side Samsung files: the sensor body in either SubIFD, as 16-bit,
// 12-bit, row-table, difference and grouped bodies.
#pragma once

#include <algorithm>

#include "picts/tests/camera_support.h"

namespace srwtest {

using cameratest::Bytes;

enum Body { kPlain16, kPacked12, kRowTable, kDifferences, kGroups };

struct SrwSpec {
  Body body = kPlain16;
  int w = 64, h = 24, bits = 12;
  std::string make = "SAMSUNG", model = "EX9";
  bool big12 = false;   // 12-bit pairs written big-endian
  bool cfaFirst = false;  // the body in the first SubIFD
  int subIfds = 2;
  // Row-table body: the direction bit from row 2 on (1) or on every row (2),
  // where it reaches above the picture.
  int dir = 0;
  // Grouped body: opt byte, the mag of each row's first 64 columns (-1: only
  // relative codes) and whether later blocks step it, the pmode cycle start.
  unsigned opt = 0;
  int mag = -1;
  bool magSteps = false;
  unsigned pmode = 0;
  int dryAt = 0;  // difference body cut to this many bytes, at the file's end
  // Forgeries: a compression value, a row offset at the strip's end.
  unsigned compression = 0;
  bool rowPastStrip = false;
};

// Bits as the little-endian 32-bit words a word reader takes them from.
using WordBits = rawtest::WordWriter;

// Bits a signed field needs, at least one.
inline int fieldBits(long long d) {
  int n = 1;
  while (d < -(1LL << (n - 1)) || d > (1LL << (n - 1)) - 1) ++n;
  return n;
}

inline int sampleAt(const std::vector<uint16_t>& v, int w, long long row, long long col) {
  return row >= 0 && col >= 0 && col < w ? v[size_t(row * w + col)] : 0;
}

// Each row from its row offset; the plane is written with each 2 x 2 cell's
// greens exchanged, as the decoder exchanges them back.
inline Bytes rowTableBody(const SrwSpec& s, const std::vector<uint16_t>& src, Bytes& rowOffsets) {
  std::vector<uint16_t> v = src;
  for (int y = 0; y + 1 < s.h; y += 2)
    for (int x = 0; x + 1 < s.w; x += 2) std::swap(v[size_t(y * s.w + x + 1)], v[size_t((y + 1) * s.w + x)]);
  Bytes body;
  for (int row = 0; row < s.h; ++row) {
    for (int k = 0; k < 4; ++k) rowOffsets.push_back(uint8_t(body.size() >> (8 * k)));
    WordBits wb;
    int len[4] = {7, 7, 7, 7};
    if (row >= 2) std::fill(len, len + 4, 4);
    for (int col = 0; col < s.w; col += 16) {
      const bool dir = s.dir > 1 || (s.dir && row >= 2);
      long long d[16];
      int need[4] = {1, 1, 1, 1};
      for (int c = 0; c < 16; ++c) {
        const int ref = dir ? sampleAt(v, s.w, row - ((c & 1) ? 2 : 1), col + c)
                        : col ? sampleAt(v, s.w, row, col - ((c & 1) ? 1 : 2)) : 128;
        d[c] = (col + c < s.w ? v[size_t(row * s.w + col + c)] : 0) - ref;
        int& n = need[(c >> 3) | (c & 1) << 1];
        n = std::max(n, fieldBits(d[c]));
      }
      wb.put(dir, 1);
      int op[4];
      for (int k = 0; k < 4; ++k) op[k] = need[k] == len[k] ? 0 : need[k] == len[k] + 1 ? 1 : need[k] == len[k] - 1 ? 2 : 3;
      for (int k = 0; k < 4; ++k) wb.put(uint32_t(op[k]), 2);
      for (int k = 0; k < 4; ++k) {
        if (op[k] == 3) wb.put(uint32_t(need[k]), 4);
        len[k] = need[k];
      }
      for (int c : {0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15}) {
        const int n = len[(c >> 3) | (c & 1) << 1];
        wb.put(uint32_t(d[c]) & ((1u << n) - 1), n);
      }
    }
    const Bytes bytes = wb.words();
    body.insert(body.end(), bytes.begin(), bytes.end());
  }
  return body;
}

// Codes of the difference categories 0 to 13 in the decoder's table order.
inline std::vector<std::pair<uint32_t, int>> differenceCodes() {
  static const int kCategory[14] = {4, 7, 6, 5, 3, 0, 9, 10, 11, 12, 13, 1, 8, 2};
  static const int kLength[14] = {3, 3, 2, 2, 4, 6, 7, 8, 9, 10, 10, 5, 4, 4};
  std::vector<std::pair<uint32_t, int>> codes(14);
  uint32_t pos = 0;
  for (int i = 0; i < 14; ++i) {
    codes[size_t(kCategory[i])] = {pos >> (10 - kLength[i]), kLength[i]};
    pos += 1024u >> kLength[i];
  }
  return codes;
}

inline Bytes differenceBody(const SrwSpec& s, const std::vector<uint16_t>& v) {
  const auto codes = differenceCodes();
  cameratest::BitWriter bw;
  int vpred[2][2] = {};
  for (int row = 0; row < s.h; ++row) {
    int hpred[2] = {};
    for (int col = 0; col < s.w; ++col) {
      const int x = v[size_t(row * s.w + col)];
      int& pred = col < 2 ? vpred[row & 1][col] : hpred[col & 1];
      cameratest::putDiff(bw, x - pred, codes);
      pred = hpred[col & 1] = x;
    }
  }
  Bytes b = bw.finish();
  if (s.dryAt) b.resize(size_t(s.dryAt));
  return b;
}

// The grouped body. Its steps of mag make some values unreachable, so the
// samples it actually carries are written back into `v`.
inline Bytes groupedBody(const SrwSpec& s, std::vector<uint16_t>& v) {
  const int init = 2048;
  Bytes body(16, 0);
  body[9] = uint8_t(s.opt);
  body[12] = uint8_t(init);
  body[13] = uint8_t(init >> 8);
  for (int row = 0; row < s.h; ++row) {
    WordBits wb;
    const int odd = row & 1;
    long long mag = 0;
    unsigned pmode = 7;
    int slots[3][2], len[4] = {};
    for (auto& slot : slots) slot[0] = slot[1] = row < 2 ? 7 : 4;
    for (int tab = 0; tab + 15 < s.w; tab += 16) {
      if (!(s.opt & 4) && !(tab & 63)) {
        if (tab == 0 && s.mag >= 0) {
          wb.put(3, 2);
          wb.put(uint32_t(s.mag), 12);
          mag = s.mag;
        } else {
          const int code = s.magSteps ? (tab & 64 ? 2 : 1) : 0;  // +2 then -2
          wb.put(uint32_t(code), 2);
          mag += code == 2 ? 2 : code == 1 ? -2 : 0;
        }
      }
      const unsigned wanted = s.pmode > 7 ? 7 : (s.pmode + unsigned(tab / 16 + row)) & 7;
      if (s.opt & 2) {
        pmode = wanted & 4 ? 3 : 7;
        wb.put(pmode == 3, 1);
      } else if (wanted == pmode && tab) {
        wb.put(1, 1);
      } else {
        pmode = wanted;
        wb.put(0, 1);
        wb.put(pmode, 3);
      }
      // The fields of this group, found by decoding it ahead.
      long long field[16];
      int need[4] = {1, 1, 1, 1};
      for (int c = 0; c < 16; ++c) {
        const int col = tab + (((c & 7) << 1) ^ (c >> 3) ^ odd);
        long long pred;
        if (pmode == 7 || row < 2) {
          pred = tab ? v[size_t(row * s.w + tab - 2 + (col & 1))] : init;
        } else {
          const bool near = (col & 1) == odd;
          const int ref = near ? row - 1 : row - 2;
          const int base = col + (near ? (odd ? -1 : 1) : 0) - '4';
          pred = (sampleAt(v, s.w, ref, base + "0224468"[pmode]) + sampleAt(v, s.w, ref, base + "0244668"[pmode]) + 1) >> 1;
        }
        uint16_t& x = v[size_t(row * s.w + col)];
        const long long q = 2 * mag + 1, r = x - pred - mag;
        field[c] = r >= 0 ? (r + q / 2) / q : -((-r + q / 2) / q);
        x = uint16_t(pred + field[c] * q + mag);
        need[c >> 2] = std::max(need[c >> 2], fieldBits(field[c]));
      }
      const bool keep = !(s.opt & 1) && tab && std::equal(need, need + 4, len, [](int a, int b) { return a <= b; });
      if (!(s.opt & 1)) wb.put(keep, 1);
      if (!keep) {
        int code[4];
        for (int c = 0; c < 4; ++c) {
          int* slot = slots[((odd << 1) | (c & 1)) % 3];
          code[c] = need[c] == slot[0] ? 0 : need[c] == slot[0] + 1 ? 1 : need[c] == slot[0] - 1 ? 2 : 3;
          len[c] = need[c];
          slot[0] = slot[1];
          slot[1] = len[c];
        }
        for (int c : code) wb.put(uint32_t(c), 2);
        for (int c = 0; c < 4; ++c)
          if (code[c] == 3) wb.put(uint32_t(need[c]), 4);
      }
      for (int c = 0; c < 16; ++c) wb.put(uint32_t(field[c]) & ((1u << len[c >> 2]) - 1), len[c >> 2]);
    }
    Bytes b = wb.words();
    b.resize((b.size() + 15) / 16 * 16, 0);
    body.insert(body.end(), b.begin(), b.end());
  }
  return body;
}

inline Bytes writeSrw(const SrwSpec& s, std::vector<uint16_t>& v, const Bytes& preview = {}) {
  tifftest::Writer w;
  Bytes body, rowOffsets;
  unsigned comp = 32769;
  switch (s.body) {
    case kPlain16:
      for (uint16_t x : v) body.insert(body.end(), {uint8_t(x), uint8_t(x >> 8)});
      break;
    case kPacked12:
      for (size_t i = 0; i + 1 < v.size(); i += 2) {
        const unsigned a = v[i], b = v[i + 1];
        rawtest::putPair12(body, a, b, s.big12);
      }
      break;
    case kRowTable: comp = 32770, body = rowTableBody(s, v, rowOffsets); break;
    case kDifferences: comp = 32772, body = differenceBody(s, v); break;
    case kGroups: comp = 32773, body = groupedBody(s, v); break;
  }
  if (s.compression) comp = s.compression;
  if (s.rowPastStrip)
    for (int k = 0; k < 4; ++k) rowOffsets[rowOffsets.size() - 4 + size_t(k)] = uint8_t(body.size() >> (8 * k));
  // A body cut short ends the file, so that its reader runs dry.
  const uint64_t bodyAt = s.dryAt ? 0 : w.addBlob(body);
  std::vector<tifftest::Entry> raw = {
      w.longEntry(256, {uint64_t(s.w)}),
      w.longEntry(257, {uint64_t(s.h)}),
      w.shortEntry(258, {uint64_t(s.bits)}),
      w.shortEntry(259, {comp}),
      w.shortEntry(262, {32803}),
      w.longEntry(273, {bodyAt}),
      w.shortEntry(277, {1}),
      w.longEntry(278, {uint64_t(s.h)}),
      w.longEntry(279, {body.size()}),
      w.shortEntry(33421, {2, 2}),
      {33422, 1, 4, Bytes{0, 1, 1, 2}},
  };
  // A row-table offset also tells dcraw which compressed body it holds.
  if (s.body >= kRowTable) raw.push_back(w.longEntry(40976, {rowOffsets.empty() ? 0 : w.addBlob(rowOffsets)}));
  const uint64_t rawAt = cameratest::addIfdBlob(w, raw);
  const uint64_t thumbAt = w.addBlob(Bytes(8 * 8, 0x80));
  const uint64_t otherAt = cameratest::addIfdBlob(
      w, {w.longEntry(256, {8}), w.longEntry(257, {8}), w.shortEntry(258, {8}), w.shortEntry(259, {1}),
          w.shortEntry(262, {1}), w.longEntry(273, {thumbAt}), w.shortEntry(277, {1}), w.longEntry(279, {64})});
  std::vector<uint64_t> subs = s.cfaFirst ? std::vector<uint64_t>{rawAt, otherAt} : std::vector<uint64_t>{otherAt, rawAt};
  subs.resize(size_t(s.subIfds), otherAt);
  std::vector<tifftest::Entry> ifd = {
      {271, 2, s.make.size() + 1, Bytes(s.make.c_str(), s.make.c_str() + s.make.size() + 1)},
      {272, 2, s.model.size() + 1, Bytes(s.model.c_str(), s.model.c_str() + s.model.size() + 1)},
      w.longEntry(330, subs),
  };
  if (!preview.empty()) {
    ifd.push_back(w.longEntry(513, {w.addBlob(preview)}));
    ifd.push_back(w.longEntry(514, {preview.size()}));
  }
  w.ifds.push_back(ifd);
  Bytes file = w.build();
  if (!s.dryAt) return file;
  // 273 is the raw IFD's sixth entry.
  const Bytes at = w.values(file.size(), 4);
  std::copy(at.begin(), at.end(), file.begin() + long(rawAt + 2 + 12 * 5 + 8));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

inline std::vector<uint16_t> samples(const SrwSpec& s, unsigned seed) {
  auto v = rawtest::mosaic(s.w, s.h, true, seed);
  for (auto& x : v) x = uint16_t(x >> (16 - s.bits));
  return v;
}

}  // namespace srwtest
