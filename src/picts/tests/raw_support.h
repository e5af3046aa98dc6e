// Test-side camera-RAW tools: synthetic mosaics, a DNG writer over the TIFF
// test writer, and dcraw as the oracle, read back from its 16-bit PPM.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "picts/tests/jpeg_support.h"
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

// How a 3FR strip is written: as the cameras write it (one byte more after
// the frame header, the bits in little-endian 32-bit words) or as a plain
// byte stream.
struct H3frForm {
  int extra = -1;         // the byte after the frame header; -1: the byte stream
  bool oddFrame = false;  // frame sides of 65535 and quantisation table 9, which dcraw ignores
  int predictor = 1;      // 11 adds half the step of the row two above, as dcraw reads it
};

struct DngSpec {
  int width = 0, height = 0;
  std::vector<uint16_t> samples;
  std::vector<uint8_t> cfa = {0, 1, 1, 2};  // CFAPattern; empty: neither pattern tag is written
  uint16_t cfaRows = 2, cfaCols = 2;         // CFARepeatPatternDim
  enum eLayout { kStrip, kStripNoCounts, kLJpegTiles, kLJpegStrips, kPacked12 } layout = kStrip;
  // kSubIFDUnderBare: in SubIFD 0 under a main IFD that names no strips.
  enum ePlace { kMain, kMainWithPreview, kSubIFD, kSubIFDUnderBare } place = kMain;
  int bits = 16;                     // the samples' depth; strips of another than 8 or 16 are packed
  int tile = 16;                     // lossless tiles are tile x tile, two components per line
  int predictor = 1;                 // the lossless units' selection value
  int stripRows = 4;                 // rows per lossless strip
  int rowsPerStrip = -1;             // RowsPerStrip as written: -1 the strips' rows, -2 none
  int frameRows = 0, frameCols = 0;  // lossless frames cut to these sides (0: the unit's)
  bool framesToLastRow = false;      // the bottom tiles' frames end at the raw's last row
  bool ep = false;                   // a TIFF/EP file (raw in SubIFD 0) instead of a DNG
  bool h3fr = false;         // a 3FR: Hasselblad make, no DNGVersion, no CFA tags, 3FR lossless strips
  bool h3frVersion = false;  // ... yet with a DNGVersion, as a genuine DNG
  bool h3frCut = false;      // the last row of the last strip ends half-way
  H3frForm h3frForm;
  bool linear = false;  // LinearRaw: three samples a pixel (samples w x h x 3), 16-bit strip
  uint8_t version[4] = {1, 4, 0, 0};
  std::vector<uint32_t> crop;  // origin x, y (may be left out), size w, h
  uint32_t black = 0;
  bool blackRational = false;
  std::vector<uint32_t> blacks;         // BlackLevel by position of a 2 x 2 BlackLevelRepeatDim tile
  std::vector<uint16_t> linearization;  // LinearizationTable
  std::vector<uint32_t> activeArea;     // top, left, bottom, right
  std::vector<int32_t> deltaH, deltaV;  // BlackLevelDeltaH and V, numerators over `halves` + 1
  bool halves = false;                  // a rational BlackLevel and the deltas count halves
  std::vector<uint32_t> neutral;        // AsShotNeutral as numerator, denominator pairs
  uint16_t compression = 1;             // of kStrip: 1, 8 (Deflate) or 32773 (PackBits)
  size_t cut = 0;                       // bytes taken off the end of the kStrip or kPacked12 data
};

// Literal runs only: every decoder must read them, and they stay as long as the data.
inline Bytes packBits(const Bytes& in) {
  Bytes out;
  for (size_t at = 0; at < in.size(); at += 128) {
    size_t n = std::min<size_t>(128, in.size() - at);
    out.push_back(uint8_t(n - 1));
    out.insert(out.end(), in.begin() + long(at), in.begin() + long(at + n));
  }
  return out;
}

inline Bytes deflated(const Bytes& in) {
  uLongf size = compressBound(in.size());
  Bytes out(size);
  if (compress2(out.data(), &size, in.data(), in.size(), 9) != Z_OK) return {};
  out.resize(size);
  return out;
}

// Two 12-bit samples in three bytes: the first one's high bits first when
// `big`, else its low byte first.
inline void putPair12(Bytes& out, unsigned a, unsigned b, bool big) {
  if (big)
    out.insert(out.end(), {uint8_t(a >> 4), uint8_t((a & 15) << 4 | b >> 8), uint8_t(b)});
  else
    out.insert(out.end(), {uint8_t(a), uint8_t((a >> 8) | (b & 15) << 4), uint8_t(b >> 4)});
}

// Bits most significant first (only the low `bits` of each value), in
// 32-bit words stored little- or big-endian; `flush` pads the last word.
struct WordWriter {
  Bytes out;
  unsigned long long acc = 0;
  int n = 0;
  bool big = false;
  void put(unsigned v, int bits) {
    acc = acc << bits | (v & ((1ULL << bits) - 1));
    n += bits;
    while (n >= 32) word(static_cast<uint32_t>(acc >> (n - 32)), 32);
  }
  void word(uint32_t w, int used) {
    n -= used;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (big ? 8 * (3 - i) : 8 * i)));
  }
  void flush() {
    if (n) {
      acc <<= 32 - n;
      word(static_cast<uint32_t>(acc), n);
    }
  }
  Bytes words() {
    flush();
    return out;
  }
};

// A 3FR strip of w x h samples: the lossless JPEG header of one component,
// then per row pairs of Huffman-coded lengths and two differences from two
// running values that start at 32768 (0xFF bytes are plain data). `cut`
// ends the stream half-way through the last row.
inline Bytes write3FRStream(const std::vector<uint16_t>& samples, int w, int h, int precision,
                            bool cut = false, H3frForm form = {}) {
  jpegtest::Lossless head;
  head.precision = unsigned(precision);
  Bytes out = jpegtest::writeLossless(head);
  size_t sos = 0;
  while (!(out[sos] == 0xFF && out[sos + 1] == 0xDA)) ++sos;
  out.resize(sos + 2 + size_t(out[sos + 2] << 8 | out[sos + 3]));
  size_t sof = 0;
  while (!(out[sof] == 0xFF && out[sof + 1] == 0xC3)) ++sof;
  if (form.oddFrame) {
    for (size_t at : {sof + 5, sof + 6, sof + 7, sof + 8}) out[at] = 0xFF;
    out[sof + 12] = 9;
  }
  if (form.extra >= 0) out.insert(out.begin() + long(sof + 13), uint8_t(form.extra));
  if (form.predictor != 1) out[out.size() - 3] = uint8_t(form.predictor);
  WordWriter words;
  words.big = form.extra < 0;
  auto put = [&](uint32_t v, int n) { words.put(v, n); };
  // The values before they are cut to 16 bits, three rows of them.
  std::vector<long long> kept(size_t(3 * w));
  for (int y = 0; y < h; ++y) {
    long long running[2] = {32768, 32768};
    long long* row = kept.data() + (y % 3) * w;
    const long long* twoUp = kept.data() + ((y + 1) % 3) * w;
    for (int x = 0; x < w; x += 2) {
      if (cut && y == h - 1 && x >= w / 2) break;
      int diff[2], length[2];
      for (int c = 0; c < 2; ++c) {
        const int at = x + c;
        if (form.predictor == 11 && x && y > 1 && at < w) running[c] += twoUp[at] / 2 - twoUp[at - 2] / 2;
        long long s = at < w ? samples[size_t(y * w + at)] : running[c];
        diff[c] = int(((s - running[c]) % 65536 + 65536 + 32768) % 65536) - 32768;
        running[c] += diff[c];
        if (at < w) row[at] = running[c];
        int mag = diff[c] < 0 ? -diff[c] : diff[c];
        length[c] = 0;
        while (mag >> length[c]) ++length[c];
        length[c] < 14 ? put(uint32_t(length[c]), 4) : put(uint32_t(0x1C + length[c] - 14), 5);
      }
      for (int c = 0; c < 2; ++c) {
        int n = length[c];
        put(uint32_t(diff[c] == -32768 ? 65535 : diff[c] < 0 ? diff[c] + (1 << n) - 1 : diff[c]), n);
      }
    }
  }
  const Bytes body = words.words();
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// The raw IFD's data entries for `s`'s layout.
inline std::vector<tifftest::Entry> rawData(tifftest::Writer& w, const DngSpec& s) {
  using V = std::vector<uint64_t>;
  std::vector<tifftest::Entry> e;
  auto put16 = [](Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  };
  auto lossless = [&](int x0, int y0, int tw, int th) {
    if (s.frameRows) th = std::min(th, s.frameRows);
    if (s.framesToLastRow) th = std::min(th, s.height - y0);
    if (s.frameCols) tw = std::min(tw, s.frameCols);
    jpegtest::Lossless im;
    im.comps = tw % 2 ? 1 : 2;
    im.width = unsigned(tw) / im.comps;
    im.height = unsigned(th);
    im.precision = unsigned(s.bits);
    im.predictor = s.predictor;
    for (int y = y0; y < y0 + th; ++y)
      for (int x = x0; x < x0 + tw; ++x)  // edge tiles repeat the last sample
        im.samples.push_back(
            s.samples[size_t(std::min(y, s.height - 1) * s.width + std::min(x, s.width - 1))]);
    return jpegtest::writeLossless(im);
  };
  V offsets, counts;
  uint16_t compression = 1, bits = uint16_t(s.bits);
  if (s.layout == DngSpec::kLJpegTiles) {
    compression = 7;
    for (int y = 0; y < s.height; y += s.tile)
      for (int x = 0; x < s.width; x += s.tile) {
        Bytes t = lossless(x, y, s.tile, s.tile);
        offsets.push_back(w.addBlob(t));
        counts.push_back(t.size());
      }
    e = {w.longEntry(322, {uint64_t(s.tile)}), w.longEntry(323, {uint64_t(s.tile)}),
         w.longEntry(324, offsets), w.longEntry(325, counts)};
  } else {
    const int rowsPerStrip = s.layout == DngSpec::kLJpegStrips ? std::min(s.stripRows, s.height) : s.height;
    for (int y = 0; y < s.height; y += rowsPerStrip) {
      const int rows = std::min(rowsPerStrip, s.height - y);
      Bytes data;
      if (s.layout == DngSpec::kLJpegStrips) {
        compression = 7;
        std::vector<uint16_t> part(s.samples.begin() + y * s.width, s.samples.begin() + (y + rows) * s.width);
        data = s.h3fr ? write3FRStream(part, s.width, rows, s.bits, s.h3frCut && y + rows == s.height,
                                       s.h3frForm)
                      : lossless(0, y, s.width, rows);
      } else if (s.layout == DngSpec::kPacked12) {
        compression = 32769;
        bits = 12;
        for (size_t i = 0; i < s.samples.size(); i += 2) {
          uint16_t a = s.samples[i], b = i + 1 < s.samples.size() ? s.samples[i + 1] : 0;
          putPair12(data, a, b, true);
          if (i / 2 % 5 == 4) data.push_back(0);
        }
        data.resize(data.size() - s.cut);
      } else {
        if (s.bits == 8 || s.bits == 16)
          for (uint16_t v : s.samples) s.bits == 8 ? data.push_back(uint8_t(v)) : put16(data, v);
        else  // each row from a byte, its samples packed from the high bit
          for (int y = 0; y < s.height; ++y) {
            unsigned long long acc = 0;
            int n = 0;
            for (int x = 0; x < s.width; ++x)
              for (acc = acc << s.bits | s.samples[size_t(y * s.width + x)], n += s.bits; n >= 8; n -= 8)
                data.push_back(uint8_t(acc >> (n - 8)));
            if (n) data.push_back(uint8_t(acc << (8 - n)));
          }
        compression = s.compression;
        if (compression == 8) data = deflated(data);
        if (compression == 32773) data = packBits(data);
        data.resize(data.size() - s.cut);
      }
      offsets.push_back(w.addBlob(data));
      counts.push_back(data.size());
    }
    e = {w.longEntry(273, offsets)};
    if (s.rowsPerStrip != -2)
      e.push_back(w.longEntry(278, {uint64_t(s.rowsPerStrip < 0 ? rowsPerStrip : s.rowsPerStrip)}));
    if (s.layout != DngSpec::kStripNoCounts) e.push_back(w.longEntry(279, counts));
  }
  V size{uint64_t(s.width)}, height{uint64_t(s.height)};
  e.insert(e.end(), {w.longEntry(256, size), w.longEntry(257, height), w.shortEntry(258, {bits}),
                     w.shortEntry(259, {compression}), w.shortEntry(262, {s.linear ? 34892u : 32803u}),
                     w.shortEntry(277, {s.linear ? 3u : 1u})});
  if (!s.h3fr && !s.linear && !s.cfa.empty())
    e.insert(e.end(), {w.shortEntry(33421, {s.cfaRows, s.cfaCols}), tifftest::Entry{33422, 1, s.cfa.size(), s.cfa}});
  if (!s.blacks.empty()) {
    e.push_back(w.shortEntry(50713, {2, 2}));
    e.push_back(w.longEntry(50714, std::vector<uint64_t>(s.blacks.begin(), s.blacks.end())));
  }
  if (!s.linearization.empty())
    e.push_back(w.shortEntry(50712, std::vector<uint64_t>(s.linearization.begin(), s.linearization.end())));
  for (auto [tag, deltas] : {std::pair{50715, &s.deltaH}, {50716, &s.deltaV}}) {
    std::vector<uint64_t> v;
    for (int32_t d : *deltas) v.insert(v.end(), {uint32_t(d), s.halves ? 2u : 1u});
    if (!v.empty()) e.push_back({uint16_t(tag), 10, v.size() / 2, w.values(v, 4)});
  }
  if (s.activeArea.size() == 4)
    e.push_back(w.longEntry(50829, std::vector<uint64_t>(s.activeArea.begin(), s.activeArea.end())));
  if (s.blackRational)
    e.push_back({50714, 5, 1, w.values({s.halves ? s.black : s.black * 2ULL, 2}, 4)});
  else if (s.black)
    e.push_back(w.longEntry(50714, {s.black}));
  if (s.crop.size() == 4) e.push_back(w.longEntry(50719, {s.crop[0], s.crop[1]}));
  if (s.crop.size() >= 2) e.push_back(w.longEntry(50720, {s.crop[s.crop.size() - 2], s.crop.back()}));
  return e;
}

// A CFA DNG (or TIFF/EP file) of `s`: the raw in the main IFD, optionally
// beside an 8 x 6 RGB preview SubIFD, or in SubIFD 0 under an RGB main IFD.
inline Bytes writeDng(const DngSpec& s) {
  tifftest::Writer w;
  auto byTag = [](std::vector<tifftest::Entry>& ifd) {
    std::sort(ifd.begin(), ifd.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
  };
  Bytes rgb;
  for (int i = 0; i < 8 * 6 * 3; ++i) rgb.push_back(uint8_t(i * 5));
  const bool rawInMain = !s.ep && s.place != DngSpec::kSubIFD && s.place != DngSpec::kSubIFDUnderBare;
  auto main = rawInMain ? rawData(w, s) : tifftest::pictureIfd(w, 8, 6, 8, 3, 2, rgb);
  if (s.place == DngSpec::kSubIFDUnderBare)
    std::erase_if(main, [](const tifftest::Entry& e) { return e.tag == 273 || e.tag == 279; });
  main.push_back(w.longEntry(254, {rawInMain ? 0u : 1u}));
  const char* make = s.h3fr ? "Hasselblad" : "Test";
  main.push_back({271, 2, strlen(make) + 1, Bytes(make, make + strlen(make) + 1)});
  main.push_back({272, 2, 6, Bytes{'S', 'y', 'n', 't', 'h', 0}});
  if (s.ep) main.push_back({37398, 1, 4, Bytes{1, 0, 0, 0}});
  if (!s.ep && (!s.h3fr || s.h3frVersion)) main.push_back({50706, 1, 4, Bytes(s.version, s.version + 4)});
  if (!s.ep) main.push_back({50708, 2, 6, Bytes{'S', 'y', 'n', 't', 'h', 0}});
  if (!s.neutral.empty()) {
    std::vector<uint64_t> v(s.neutral.begin(), s.neutral.end());
    main.push_back({50728, 5, v.size() / 2, w.values(v, 4)});
  }
  const bool sub = !rawInMain || s.place == DngSpec::kMainWithPreview;
  if (sub) {
    auto other = rawInMain ? tifftest::pictureIfd(w, 8, 6, 8, 3, 2, rgb) : rawData(w, s);
    other.push_back(w.longEntry(254, {rawInMain ? 1u : 0u}));
    byTag(other);
    w.ifds.push_back(other);
    main.push_back(w.longEntry(330, {0}));
  }
  byTag(main);
  w.ifds.insert(w.ifds.begin(), main);
  if (!sub) return w.build();
  // The SubIFD's offset is known once built: it is where the chain went.
  Bytes first = w.build();
  uint32_t mainAt = first[4] | first[5] << 8 | first[6] << 16 | uint32_t(first[7]) << 24;
  uint16_t n = uint16_t(first[mainAt] | first[mainAt + 1] << 8);
  Bytes next(first.begin() + mainAt + 2 + 12 * n, first.begin() + mainAt + 6 + 12 * n);
  for (auto& e : w.ifds[0])
    if (e.tag == 330) e.value = next;
  w.nextIfd = {-1, -1};
  return w.build();
}

// One Leaf PKTS record: the magic, a 40-byte name, the size and the data,
// the numbers in the TIFF's byte order (little-endian here).
inline Bytes pktsRecord(const std::string& name, const Bytes& data) {
  Bytes r{'S', 'T', 'K', 'P', 0, 0, 0, 0};
  Bytes field(40, 0);
  std::copy(name.begin(), name.begin() + long(std::min<size_t>(name.size(), 39)), field.begin());
  r.insert(r.end(), field.begin(), field.end());
  for (int k = 0; k < 4; ++k) r.push_back(uint8_t(data.size() >> 8 * k));
  r.insert(r.end(), data.begin(), data.end());
  return r;
}

inline Bytes text(const std::string& t) { return Bytes(t.begin(), t.end()); }

// A ZIP local member (`method` as told; the data are written as given)
// with 4 bytes of extra field, as the cameras write them.
inline Bytes zipMember(const std::string& name, const Bytes& data, uint16_t method) {
  Bytes z{0x50, 0x4B, 3, 4, 20, 0, 0, 0, uint8_t(method), uint8_t(method >> 8), 0, 0, 0, 0, 0, 0, 0, 0};
  for (int twice = 0; twice < 2; ++twice)
    for (int k = 0; k < 4; ++k) z.push_back(uint8_t(data.size() >> 8 * k));
  z.insert(z.end(), {uint8_t(name.size()), 0, 4, 0});
  z.insert(z.end(), name.begin(), name.end());
  z.insert(z.end(), {0, 0, 0, 0});
  z.insert(z.end(), data.begin(), data.end());
  return z;
}

struct MosSpec {
  int width = 0, height = 0;
  std::vector<uint16_t> samples;
  int compression = 1;      // 1, or lossless JPEG under 7 or 99
  bool interlaced = false;  // lossless rows in the order 0, H-1, 1, H-2, ...
  bool relative = false;    // the scan names its component by index
  uint16_t planar = 0;      // tag 284 when not 0
  Bytes leaf;               // the PKTS records of tag 34310
};

// A Leaf TIFF: the raw in the main IFD, the records in tag 34310.
inline Bytes writeMos(const MosSpec& s) {
  tifftest::Writer w;
  Bytes data;
  if (s.compression == 1) {
    for (uint16_t v : s.samples) data.insert(data.end(), {uint8_t(v), uint8_t(v >> 8)});
  } else {
    jpegtest::Lossless im;
    im.precision = 16;
    im.width = unsigned(s.width);
    im.height = unsigned(s.height);
    for (int y = 0; y < s.height; ++y) {
      int row = !s.interlaced ? y : y % 2 ? s.height - 1 - y / 2 : y / 2;
      im.samples.insert(im.samples.end(), s.samples.begin() + row * s.width,
                        s.samples.begin() + (row + 1) * s.width);
    }
    data = jpegtest::writeLossless(im);
    size_t sos = 0;
    while (!(data[sos] == 0xFF && data[sos + 1] == 0xDA)) ++sos;
    if (s.relative) data[sos + 5] = 0;
  }
  auto ifd = tifftest::pictureIfd(w, uint32_t(s.width), uint32_t(s.height), 16, 1, 32803, data);
  ifd[3] = w.shortEntry(259, {uint64_t(s.compression)});
  ifd.push_back({271, 2, 5, Bytes{'L', 'e', 'a', 'f', 0}});
  ifd.push_back({34310, 7, s.leaf.size(), s.leaf});
  if (s.planar) ifd.push_back(w.shortEntry(284, {s.planar}));
  std::sort(ifd.begin(), ifd.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
  w.ifds.push_back(ifd);
  return w.build();
}

// Runs dcraw with `options` on `path`, its standard output into `out`.
inline bool dcrawTo(std::vector<std::string> options, const std::string& path, const std::string& out) {
  options.insert(options.begin(), "dcraw");
  options.push_back(path);
  return scratchio::run(options, out);
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
