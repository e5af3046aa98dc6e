// Test-side Sigma files: the header, image sections holding the sensor data
// (formats 5 and 30) or JPEG previews, and the section directory the last
// four bytes point at.
#pragma once

#include "picts/tests/camera_support.h"

namespace x3ftest {

using cameratest::Bytes;

struct Rgb {
  uint16_t r, g, b;
};

struct X3fSpec {
  int w = 16, h = 12;
  unsigned format = 30;
  // Forgeries: the directory offset, one Huffman pair, the first plane size.
  int64_t directory = -1;
  int pairIndex = -1, pairLength = 0, pairStart = 0;
  int64_t firstPlaneSize = -1;
};

inline void put(Bytes& b, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

inline Bytes sectionHeader(unsigned type, unsigned format, unsigned columns, unsigned rows) {
  Bytes b = {'S', 'E', 'C', 'i'};
  for (unsigned v : {0x20000u, type, format, columns, rows, 0u}) put(b, v, 4);
  return b;
}

// Code lengths of the difference categories 0 to 12.
inline const std::vector<int> kLengths = {2, 3, 3, 3, 3, 4, 4, 5, 6, 7, 8, 8, 8};

inline Bytes rawSection(const X3fSpec& s, const std::vector<Rgb>& px) {
  Bytes b = sectionHeader(3, s.format, unsigned(s.w), unsigned(s.h));
  if (s.format == 5) {
    // Differences -512..511 by index, one 10-bit index a colour in each word.
    for (int i = 0; i < 1024; ++i) put(b, uint16_t(i - 512), 2);
    for (int y = 0; y < s.h; ++y) {
      Rgb prev{0, 0, 0};
      for (int x = 0; x < s.w; ++x) {
        const Rgb& p = px[size_t(y * s.w + x)];
        const uint32_t word = uint32_t(p.b - prev.b + 512) | uint32_t(p.g - prev.g + 512) << 10 |
                              uint32_t(p.r - prev.r + 512) << 20;
        put(b, word, 4);
        prev = p;
      }
    }
    return b;
  }
  b.resize(36, 0);
  const auto codes = cameratest::canonicalCodes(kLengths);
  for (size_t i = 0; i < codes.size(); ++i) {
    const bool forged = int(i) == s.pairIndex;
    b.push_back(uint8_t(forged ? s.pairLength : codes[i].second));
    b.push_back(uint8_t(forged ? s.pairStart : codes[i].first << (8 - codes[i].second)));
  }
  b.insert(b.end(), {0, 0});
  Bytes planes[3];
  for (int c = 0; c < 3; ++c) {
    cameratest::BitWriter bw;
    int vpred[2][2] = {{512, 512}, {512, 512}};
    for (int y = 0; y < s.h; ++y) {
      int hpred[2] = {};
      for (int x = 0; x < s.w; ++x) {
        const Rgb& p = px[size_t(y * s.w + x)];
        const int v = c == 0 ? p.r : c == 1 ? p.g : p.b;
        int& pred = x < 2 ? vpred[y & 1][x] : hpred[x & 1];
        cameratest::putDiff(bw, v - pred, codes);
        pred = hpred[x & 1] = v;
      }
    }
    planes[c] = bw.finish();
    planes[c].resize((planes[c].size() + 15) / 16 * 16, 0);
  }
  put(b, s.firstPlaneSize >= 0 ? uint64_t(s.firstPlaneSize) : planes[0].size(), 4);
  put(b, planes[1].size(), 4);
  put(b, planes[2].size(), 4);
  for (const Bytes& p : planes) b.insert(b.end(), p.begin(), p.end());
  return b;
}

struct Preview {
  unsigned width, height;
  Bytes jpeg;
};

inline Bytes writeX3f(const X3fSpec& s, const std::vector<Rgb>& px, const std::vector<Preview>& previews = {}) {
  Bytes file(40, 0);
  const char magic[] = "FOVb";
  std::copy(magic, magic + 4, file.begin());
  file[6] = 2;
  std::vector<std::pair<uint64_t, uint64_t>> at;
  std::vector<Bytes> sections;
  for (const Preview& p : previews) {
    Bytes b = sectionHeader(2, 18, p.width, p.height);
    b.insert(b.end(), p.jpeg.begin(), p.jpeg.end());
    sections.push_back(b);
  }
  sections.push_back(rawSection(s, px));
  for (const Bytes& b : sections) {
    at.push_back({file.size(), b.size()});
    file.insert(file.end(), b.begin(), b.end());
  }
  const uint64_t dir = file.size();
  file.insert(file.end(), {'S', 'E', 'C', 'd'});
  put(file, 0x20000, 4);
  put(file, at.size() + 1, 4);
  put(file, 0, 4), put(file, 0, 4), file.insert(file.end(), {'P', 'R', 'O', 'P'});  // skipped
  for (const auto& a : at) put(file, a.first, 4), put(file, a.second, 4), file.insert(file.end(), {'I', 'M', 'A', '2'});
  put(file, s.directory >= 0 ? uint64_t(s.directory) : dir, 4);
  return file;
}

// A smooth picture whose steps, from 0 at each row's start, fit every body's
// differences.
inline std::vector<Rgb> picture(const X3fSpec& s) {
  std::vector<Rgb> px;
  for (int y = 0; y < s.h; ++y)
    for (int x = 0; x < s.w; ++x)
      px.push_back({uint16_t(100 + 37 * x + 11 * y), uint16_t(200 + 19 * y + (x * x) % 97), uint16_t(480 + 90 * x - 5 * y)});
  return px;
}

}  // namespace x3ftest
