// Test-side camera-RAW tools: synthetic mosaics, a DNG writer over the TIFF
// test writer, and dcraw as the oracle, read back from its 16-bit PPM.
#pragma once

#include <fcntl.h>

#include <algorithm>
#include <random>

#include "picts/tests/tiff_support.h"

namespace rawtest {

using tifftest::Bytes;

// A w x h mosaic: random samples, or a smooth ramp so that every direction
// test of the demosaicing has something to decide.
inline std::vector<uint16_t> mosaic(int w, int h, bool smooth, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint16_t> m(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      m[static_cast<size_t>(y * w + x)] =
          smooth ? static_cast<uint16_t>((x * 523 + y * 311 + (x * y) % 97) % 60000 + (rng() % 64))
                 : static_cast<uint16_t>(rng() % 65536);
  return m;
}

struct DngSpec {
  int width = 0, height = 0;
  std::vector<uint16_t> samples;
  uint8_t cfa[4] = {0, 1, 1, 2};
};

// An uncompressed 16-bit CFA DNG with raw data in the main IFD.
inline Bytes writeDng(const DngSpec& s) {
  tifftest::Writer w;
  Bytes pix;
  for (uint16_t v : s.samples) {
    pix.push_back(static_cast<uint8_t>(v));
    pix.push_back(static_cast<uint8_t>(v >> 8));
  }
  auto ifd = tifftest::pictureIfd(w, static_cast<uint32_t>(s.width), static_cast<uint32_t>(s.height), 16, 1,
                                  32803, pix);
  ifd.push_back(w.longEntry(254, {0}));
  ifd.push_back({271, 2, 5, Bytes{'T', 'e', 's', 't', 0}});
  ifd.push_back({272, 2, 6, Bytes{'S', 'y', 'n', 't', 'h', 0}});
  ifd.push_back(w.shortEntry(33421, {2, 2}));
  ifd.push_back({33422, 1, 4, Bytes(s.cfa, s.cfa + 4)});
  ifd.push_back({50706, 1, 4, Bytes{1, 4, 0, 0}});
  ifd.push_back({50708, 2, 6, Bytes{'S', 'y', 'n', 't', 'h', 0}});
  std::sort(ifd.begin(), ifd.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
  w.ifds.push_back(ifd);
  return w.build();
}

// Runs dcraw with `options` on `path`, its standard output into `out`.
inline bool dcrawTo(std::vector<std::string> options, const std::string& path, const std::string& out) {
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, 1) < 0 || !freopen("/dev/null", "w", stderr)) _exit(127);
    std::vector<char*> argv;
    std::string prog = "dcraw";
    argv.push_back(prog.data());
    for (auto& o : options) argv.push_back(o.data());
    std::string p = path;
    argv.push_back(p.data());
    argv.push_back(nullptr);
    execvp("dcraw", argv.data());
    _exit(127);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A binary PPM or PGM of 16-bit samples: width, height, channels, samples.
struct Pnm {
  int width = 0, height = 0, channels = 0;
  std::vector<uint16_t> v;
};

inline bool readPnm16(const Bytes& b, Pnm& p) {
  size_t i = 0;
  auto token = [&]() -> long {
    while (i < b.size() && (isspace(b[i]) || b[i] == '#')) {
      if (b[i] == '#')
        while (i < b.size() && b[i] != '\n') ++i;
      else
        ++i;
    }
    long v = 0;
    while (i < b.size() && isdigit(b[i])) v = v * 10 + (b[i++] - '0');
    return v;
  };
  if (b.size() < 2 || b[0] != 'P' || (b[1] != '5' && b[1] != '6')) return false;
  p.channels = b[1] == '6' ? 3 : 1;
  i = 2;
  p.width = static_cast<int>(token());
  p.height = static_cast<int>(token());
  if (token() != 65535) return false;
  ++i;
  const size_t n =
      static_cast<size_t>(p.width) * static_cast<size_t>(p.height) * static_cast<size_t>(p.channels);
  if (b.size() < i + 2 * n) return false;
  p.v.resize(n);
  for (size_t k = 0; k < n; ++k) p.v[k] = static_cast<uint16_t>(b[i + 2 * k] << 8 | b[i + 2 * k + 1]);
  return true;
}

// Raw positions (row, column) in the order a sliced stream fills them:
// `count` column blocks of `width`, then one of `last`, each top to bottom.
inline std::vector<std::pair<int, int>> sliceWalk(int rows, int count, int width, int last) {
  std::vector<std::pair<int, int>> at;
  for (int s = 0; s <= count; ++s)
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < (s < count ? width : last); ++x) at.emplace_back(y, s * width + x);
  return at;
}

// A w-wide raw plane's samples in sliced stream order.
inline std::vector<uint16_t> sliced(const std::vector<uint16_t>& plane, int w, int h, int count, int width,
                                    int last) {
  std::vector<uint16_t> out;
  for (auto [y, x] : sliceWalk(h, count, width, last)) out.push_back(plane[static_cast<size_t>(y * w + x)]);
  return out;
}

// The stream samples of a reduced-size YCbCr picture (planes w x h, chroma
// as stored in the stream) whose luma is sampled 2 x `v`: each MCU is two
// walked pixel columns of one block row (v rows), its luma row by row, then
// the Cb and Cr of its top-left pixel. Slice widths count pixel columns.
inline std::vector<uint16_t> srawSamples(const std::vector<uint16_t>& luma, const std::vector<uint16_t>& cb,
                                         const std::vector<uint16_t>& cr, int w, int h, int v, int count,
                                         int width, int last) {
  auto walk = sliceWalk((h + v - 1) / v, count, width, last);
  auto at = [&](const std::vector<uint16_t>& p, int y, int x) {
    return y < h ? p[static_cast<size_t>(y * w + x)] : uint16_t{0};
  };
  std::vector<uint16_t> out;
  for (size_t m = 0; m + 1 < walk.size(); m += 2) {
    for (int r = 0; r < v; ++r)
      for (int k = 0; k < 2; ++k) out.push_back(at(luma, walk[m + k].first * v + r, walk[m + k].second));
    int y = walk[m].first * v, x = walk[m].second;
    out.push_back(at(cb, y, x));
    out.push_back(at(cr, y, x));
  }
  return out;
}

}  // namespace rawtest
