// Test-side Phase One files: a little-endian TIFF whose picture is the
// preview, the private directory at offset 8, the body with its row table
// and black tables, alone or as a stored ZIP member.
#pragma once

#include <cmath>

#include "picts/tests/camera_support.h"
#include "picts/tests/srw_writer.h"

namespace iiqtest {

using cameratest::Bytes;

struct IiqSpec {
  int w = 32, h = 24, format = 5, black = 0;
  bool blackTables = false;
  unsigned splitColumn = 0, splitRow = 0;
  unsigned left = 0, top = 0, activeWidth = 0, activeHeight = 0;  // 0: no tag
  bool zip = false, deflated = false, noEntries = false;
  bool preview = true;  // without one dcraw takes the TIFF's picture for the sensor
  // Forgeries: the row table moved past the end, the directory offset.
  bool rowTablePastEnd = false;
  int64_t directory = -1;
};

constexpr int kLengths[10] = {8, 7, 6, 9, 11, 10, 5, 12, 14, 13};

// The stored values (before curve and black) as the body's rows; answers the
// row offsets.
inline Bytes body(const IiqSpec& s, const std::vector<uint16_t>& v, std::vector<uint32_t>& rowAt) {
  Bytes out;
  int len[2] = {14, 14};
  const int full = s.w & ~7;
  for (int y = 0; y < s.h; ++y) {
    rowAt.push_back(uint32_t(out.size()));
    srwtest::WordBits wb;
    long long pred[2] = {};
    for (int x = 0; x < s.w; ++x) {
      const int p = x & 1;
      if (x >= full) {
        len[0] = len[1] = 14;
      } else if ((x & 7) == 0) {
        for (int i = 0; i < 2; ++i) {
          // The shortest length that carries this group's four differences.
          int chosen = 14;
          for (int l : {5, 6, 7, 8, 9, 10, 11, 12, 13}) {
            long long q = pred[i];
            bool fits = true;
            for (int k = x + i; k < x + 8; k += 2) {
              const long long d = v[size_t(y * s.w + k)] - q;
              fits = fits && d >= 1 - (1LL << (l - 1)) && d <= (1LL << (l - 1));
              q = v[size_t(y * s.w + k)];
            }
            if (fits) {
              chosen = l;
              break;
            }
          }
          if (chosen == len[i]) {
            wb.put(1, 1);
            continue;
          }
          const int k = int(std::find(kLengths, kLengths + 10, chosen) - kLengths), j = k / 2 + 1;
          wb.put(0, j);
          if (j < 5) wb.put(1, 1);
          wb.put(uint32_t(k & 1), 1);
          len[i] = chosen;
        }
      }
      const long long value = v[size_t(y * s.w + x)];
      if (len[p] == 14)
        wb.put(uint32_t(value), 16);
      else
        wb.put(uint32_t(value - pred[p] - 1 + (1LL << (len[p] - 1))), len[p]);
      pred[p] = value;
    }
    const Bytes row = wb.words();
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// The black tables: columns (2H) then rows (2W).
inline std::vector<int16_t> blackColumns(const IiqSpec& s) {
  std::vector<int16_t> t(size_t(2 * s.h));
  for (size_t i = 0; i < t.size(); ++i) t[i] = int16_t(int(i * 7 % 41) - 20);
  return t;
}
inline std::vector<int16_t> blackRows(const IiqSpec& s) {
  std::vector<int16_t> t(size_t(2 * s.w));
  for (size_t i = 0; i < t.size(); ++i) t[i] = int16_t(int(i * 5 % 33) - 16);
  return t;
}

// What the decoder should make of stored value `v` at (x, y).
inline uint16_t expected(const IiqSpec& s, uint16_t v, int x, int y) {
  long long value = v;
  if (s.format == 5 && v < 256) value = (long long)std::trunc(v * v / 3.969 + 0.5);
  long long r = value * 4 - s.black;
  if (s.blackTables) {
    r += blackRows(s)[size_t(x + (unsigned(y) >= s.splitRow ? s.w : 0))];
    r += blackColumns(s)[size_t(unsigned(x) < s.splitColumn ? y : s.h + y)];
  }
  return uint16_t(r < 0 ? 0 : r > 65535 ? 65535 : r);
}

inline Bytes writeIiq(const IiqSpec& s, const std::vector<uint16_t>& v) {
  tifftest::Writer w;
  w.addBlob(Bytes(12, 0));  // the private header, filled in below
  std::vector<uint32_t> rowAt;
  const uint64_t dataAt = w.addBlob(body(s, v, rowAt));
  Bytes rows;
  for (uint32_t r : rowAt) w.put(rows, r, 4);
  const uint64_t rowsAt = w.addBlob(rows);
  Bytes cb, rb, balance;
  for (int16_t c : blackColumns(s)) w.put(cb, uint16_t(c), 2);
  for (int16_t r : blackRows(s)) w.put(rb, uint16_t(r), 2);
  for (float f : {1.5f, 1.0f, 2.0f}) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    w.put(balance, bits, 4);
  }
  const uint64_t cbAt = w.addBlob(cb), rbAt = w.addBlob(rb), balanceAt = w.addBlob(balance);
  std::vector<std::pair<uint32_t, std::pair<uint64_t, uint64_t>>> entries = {
      {0x107, {12, balanceAt - 8}},
      {0x108, {4, uint64_t(s.w)}},
      {0x109, {4, uint64_t(s.h)}},
      {0x10E, {4, uint64_t(s.format)}},
      {0x10F, {rowAt.size(), dataAt - 8}},
      {0x21C, {rows.size(), s.rowTablePastEnd ? 1u << 30 : rowsAt - 8}},
      {0x21D, {4, uint64_t(s.black)}},
  };
  if (s.left) entries.push_back({0x10A, {4, s.left}});
  if (s.top) entries.push_back({0x10B, {4, s.top}});
  if (s.activeWidth) entries.push_back({0x10C, {4, s.activeWidth}});
  if (s.activeHeight) entries.push_back({0x10D, {4, s.activeHeight}});
  if (s.blackTables) {
    entries.push_back({0x222, {4, s.splitColumn}});
    entries.push_back({0x223, {cb.size(), cbAt - 8}});
    entries.push_back({0x224, {4, s.splitRow}});
    entries.push_back({0x225, {rb.size(), rbAt - 8}});
  }
  if (s.noEntries) entries.clear();
  Bytes dir;
  w.put(dir, entries.size(), 4);
  w.put(dir, 0, 4);
  for (const auto& e : entries) {
    w.put(dir, e.first, 4);
    w.put(dir, 4, 4);
    w.put(dir, e.second.first, 4);
    w.put(dir, e.second.second, 4);
  }
  const uint64_t dirAt = w.addBlob(dir);
  const Bytes head = {'I', 'I', 'I', 'I', 0x43, 0x77, 0x61, 0x52};
  std::copy(head.begin(), head.end(), w.blobs.begin());
  Bytes d = w.values(s.directory >= 0 ? uint64_t(s.directory) : dirAt - 8, 4);
  std::copy(d.begin(), d.end(), w.blobs.begin() + 8);
  if (s.preview) {  // 40 x 30 red
    Bytes red;
    for (int i = 0; i < 40 * 30; ++i) red.insert(red.end(), {200, 0, 0});
    const uint64_t redAt = w.addBlob(red);
    w.ifds.push_back({w.longEntry(256, {40}), w.longEntry(257, {30}), w.shortEntry(258, {8, 8, 8}),
                    w.shortEntry(259, {1}), w.shortEntry(262, {2}), w.longEntry(273, {redAt}),
                    w.shortEntry(277, {3}), w.longEntry(278, {30}), w.longEntry(279, {red.size()})});
  }
  Bytes file = w.build();
  if (!s.zip) return file;
  Bytes zip;
  w.put(zip, 0x04034B50, 4);
  w.put(zip, 20, 2);
  w.put(zip, 0, 2);
  w.put(zip, s.deflated ? 8 : 0, 2);
  w.put(zip, 0, 4);
  w.put(zip, 0, 4);  // the checksum is not looked at
  w.put(zip, file.size(), 4);
  w.put(zip, file.size(), 4);
  w.put(zip, 5, 2);
  w.put(zip, 4, 2);
  zip.insert(zip.end(), {'0', '.', 'I', 'I', 'Q', 0, 0, 0, 0});
  zip.insert(zip.end(), file.begin(), file.end());
  return zip;
}

}  // namespace iiqtest
