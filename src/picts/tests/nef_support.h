// Test-side NEF tools: encoders for every sensor-body kind, the
// colour-balance scrambling, and a writer that lays out the maker-note forms
// and SubIFD arrangements a camera makes.
#pragma once

#include "picts/nef_tables.h"
#include "picts/tests/camera_ifd_support.h"

namespace neftest {

using tifftest::Bytes;
using tifftest::Entry;

enum Body { kPlain, kInterlaced, kChunked, k12in16, k12in24, kHuffman };
enum NoteForm { kV1, kV2, kBare };

using rawtest::WordWriter;

struct Plane {
  int width = 0, height = 0, bits = 12;
  std::vector<uint16_t> v;
  uint16_t at(int x, int y) const { return v[static_cast<size_t>(y * width + x)]; }
};

inline Bytes packRows(const Plane& p, bool big, bool interlaced) {
  Bytes out;
  for (int k = 0; k < p.height; ++k) {
    const int y = interlaced ? (k < p.height / 2 ? 2 * k : 2 * (k - p.height / 2) + 1) : k;
    WordWriter w;
    w.big = big;
    for (int x = 0; x < p.width; ++x) w.put(p.at(x, y), p.bits);
    w.flush();
    out.insert(out.end(), w.out.begin(), w.out.end());
  }
  return out;
}

inline Bytes packChunks(const Plane& p) {
  const int per = 120 / p.bits;
  Bytes out;
  for (int y = 0; y < p.height; ++y)
    for (int x0 = 0; x0 < p.width; x0 += per) {
      WordWriter w;
      for (int x = x0; x < x0 + per && x < p.width; ++x) w.put(p.at(x, y), p.bits);
      w.flush();
      w.out.resize(16, 0);
      out.insert(out.end(), w.out.begin(), w.out.end());
    }
  return out;
}

inline Bytes pack12in16(const Plane& p) {
  Bytes out;
  for (uint16_t s : p.v) {
    out.push_back(static_cast<uint8_t>(s >> 4));
    out.push_back(static_cast<uint8_t>(s << 4));
  }
  return out;
}

inline Bytes pack12in24(const Plane& p) {
  Bytes out;
  for (size_t i = 0; i + 1 < p.v.size(); i += 2) rawtest::putPair12(out, p.v[i], p.v[i + 1], true);
  return out;
}

// Huffman codes of one tree, canonical as the counts lay them out.
struct Codes {
  unsigned code[256] = {};
  int length[256] = {};
  explicit Codes(const unsigned char* tree) {
    const unsigned char* sym = tree + 16;
    unsigned c = 0;
    for (int len = 1; len <= 16; ++len, c <<= 1)
      for (int k = 0; k < tree[len - 1]; ++k, ++c) {
        code[*sym] = c;
        length[*sym++] = len;
      }
  }
};

// The Nikon coding with the identity curve: each sample is its predicted
// value plus a difference coded by bit count. After `split` (0 none) the
// next tree codes the rows; callers keep differences there below 32.
inline Bytes huffman(const Plane& p, int tree, int split, const uint16_t vpred0[4]) {
  WordWriter w;
  w.big = true;
  int vpred[2][2] = {{vpred0[0], vpred0[1]}, {vpred0[2], vpred0[3]}}, hpred[2] = {};
  Codes codes(kNikonTrees[tree]);
  for (int y = 0; y < p.height; ++y) {
    if (split && y == split) codes = Codes(kNikonTrees[tree + 1]);
    for (int x = 0; x < p.width; ++x) {
      int& pred = x < 2 ? vpred[y & 1][x] : hpred[x & 1];
      const int diff = p.at(x, y) - pred;
      pred = p.at(x, y);
      if (x < 2) hpred[x] = pred;
      int len = 0;
      while ((diff < 0 ? -diff : diff) >> len) ++len;
      w.put(codes.code[len], codes.length[len]);
      if (len) w.put(static_cast<unsigned>(diff < 0 ? diff + (1 << len) - 1 : diff), len);
    }
  }
  w.flush();
  return w.out;
}

// The four 16-bit values `wb` at their place in a block of `version`,
// scrambled with `serial` and `shutter` for the versions from 200.
inline Bytes balanceBlock(int version, const uint16_t wb[4], unsigned serial, unsigned shutter, bool big) {
  Bytes b(version >= 200 ? (version == 205 ? 4 : 284) + 324 : 100, 0);
  const std::string v = std::to_string(10000 + version).substr(1);
  for (int i = 0; i < 4; ++i) b[static_cast<size_t>(i)] = static_cast<uint8_t>(v[static_cast<size_t>(i)]);
  size_t at = 0;
  int order[4] = {0, 1, 2, 3};
  const size_t start = version == 205 ? 4 : 284;
  int o = 0;
  if (version == 100) at = 72, order[1] = 2, order[2] = 1;
  if (version == 102) at = 10, order[2] = 3, order[3] = 2;
  if (version == 103) at = 20;
  if (version >= 200) {
    o = kNikonWbOffsets[version - 200];
    at = start + static_cast<size_t>(o & 0xFE);
    for (int i = 0; i < 4; ++i) order[i] = i ^ (o & 1) ^ (i >> 1);
  }
  for (int i = 0; i < 4; ++i) {
    const uint16_t val = wb[order[i]];
    b[at + 2 * static_cast<size_t>(i)] = static_cast<uint8_t>(big ? val >> 8 : val);
    b[at + 2 * static_cast<size_t>(i) + 1] = static_cast<uint8_t>(big ? val : val >> 8);
  }
  if (version >= 200) {
    unsigned ci = kNikonXlat[0][serial & 255];
    unsigned cj = kNikonXlat[1][(shutter ^ shutter >> 8 ^ shutter >> 16 ^ shutter >> 24) & 255];
    for (size_t k = 0; k < 324; ++k) {
      cj = (cj + ((0x60 + k) & 255) * ci) & 255;
      b[start + k] ^= static_cast<uint8_t>(cj);
    }
  }
  return b;
}

struct Spec {
  Plane plane;
  Body body = kHuffman;
  int kind = 3;  // maker-note compression kind
  NoteForm form = kV2;
  int subIfds = 1;
  bool big = false;
  std::string model = "NIKON D9X";
  Bytes linearization;
  Bytes balance;
  unsigned serial = 0, shutter = 0;
  Bytes previewJpeg;  // in the preview directory when there is one
  Bytes noteJpeg;     // tag 0x100 of a version-1 note
  int noteBytes = 0;  // a cut maker note when set
};

inline std::vector<Entry> noteEntries(tifftest::Writer& w, const Spec& s) {
  std::vector<Entry> e;
  const std::string serial = std::to_string(s.serial);
  e.push_back({0x1D, 2, serial.size() + 1, Bytes(serial.begin(), serial.end() + 1)});
  e.push_back(w.shortEntry(0x93, {static_cast<uint64_t>(s.kind)}));
  if (!s.linearization.empty()) e.push_back({0x96, 7, s.linearization.size(), s.linearization});
  if (!s.balance.empty()) e.push_back({0x97, 7, s.balance.size(), s.balance});
  e.push_back({0xA7, 4, 1, w.values(s.shutter, 4)});
  if (!s.noteJpeg.empty()) e.push_back({0x100, 7, s.noteJpeg.size(), s.noteJpeg});
  return e;
}

inline Bytes encodeBody(const Spec& s) {
  switch (s.body) {
    case kPlain:
      return packRows(s.plane, s.big, false);
    case kInterlaced:
      return packRows(s.plane, true, true);
    case kChunked:
      return packChunks(s.plane);
    case k12in16:
      return pack12in16(s.plane);
    case k12in24:
      return pack12in24(s.plane);
    default: {
      const int tree = (s.linearization[0] == 'F' ? 2 : 0) + (s.plane.bits == 14 ? 3 : 0);
      const uint16_t vp[4] = {0, 0, 0, 0};
      int split = 0;
      if (s.linearization.size() >= 564)
        split = s.big ? s.linearization[562] << 8 | s.linearization[563]
                      : s.linearization[563] << 8 | s.linearization[562];
      return huffman(s.plane, tree, s.kind == 4 ? split : 0, vp);
    }
  }
}

inline Bytes writeNef(const Spec& s) {
  tifftest::Writer w;
  w.bigEndian = s.big;
  const Plane& p = s.plane;
  const Bytes body = encodeBody(s);
  const uint64_t bodyAt = w.addBlob(body);
  const bool packed = s.body == kPlain || s.body == kInterlaced;
  std::vector<Entry> raw = {w.longEntry(254, {0}),
                            w.longEntry(256, {static_cast<uint64_t>(p.width)}),
                            w.longEntry(257, {static_cast<uint64_t>(p.height)}),
                            w.shortEntry(258, {static_cast<uint64_t>(p.bits)}),
                            w.shortEntry(259, {packed ? 1u : 34713u}),
                            w.shortEntry(262, {32803}),
                            w.longEntry(273, {bodyAt}),
                            w.shortEntry(277, {1}),
                            w.longEntry(278, {static_cast<uint64_t>(p.height)}),
                            w.longEntry(279, {body.size()}),
                            w.shortEntry(33421, {2, 2}),
                            {33422, 1, 4, Bytes{0, 1, 1, 2}}};
  // The maker note, in the chosen form.
  Bytes note;
  uint64_t noteAt = 0;
  if (s.form == kV2) {
    tifftest::Writer inner;
    inner.bigEndian = s.big;
    inner.ifds.push_back(noteEntries(inner, s));
    std::sort(inner.ifds[0].begin(), inner.ifds[0].end(), [](auto& a, auto& b) { return a.tag < b.tag; });
    note = {'N', 'i', 'k', 'o', 'n', 0, 2, 0x10, 0, 0};
    const Bytes t = inner.build();
    note.insert(note.end(), t.begin(), t.end());
    noteAt = w.addBlob(note);
  } else {
    Bytes prefix = {'N', 'i', 'k', 'o', 'n', 0, 1, 0};
    if (s.form == kV1) noteAt = w.addBlob(prefix);
    const uint64_t ifd = camtest::addIfd(w, noteEntries(w, s));
    if (s.form == kBare) noteAt = ifd;
    note.resize(w.headerSize() + w.blobs.size() - noteAt);
  }
  const uint64_t noteLen = s.noteBytes ? static_cast<uint64_t>(s.noteBytes) : note.size();
  const uint64_t exif = camtest::addIfd(w, {{37500, 7, noteLen, Bytes{}, static_cast<int64_t>(noteAt)}});
  // SubIFDs: the raw one where the count puts it, a preview where it has one.
  const int n = s.subIfds;
  const int rawIndex = n == 1 ? 0 : n == 4 ? 3 : 1;
  const int previewIndex = n <= 1 ? -1 : (n == 3 || n == 4) ? 2 : 0;
  std::vector<uint64_t> subs;
  for (int i = 0; i < n; ++i) {
    if (i == rawIndex) {
      subs.push_back(camtest::addIfd(w, raw));
    } else if (i == previewIndex && !s.previewJpeg.empty()) {
      const uint64_t j = w.addBlob(s.previewJpeg);
      subs.push_back(camtest::addIfd(w, {w.longEntry(513, {j}), w.longEntry(514, {s.previewJpeg.size()})}));
    } else {
      subs.push_back(camtest::addIfd(w, {w.longEntry(254, {1})}));
    }
  }
  Bytes thumb(4 * 4 * 3, 0x80);
  auto main = s.form == kV1 ? raw : tifftest::pictureIfd(w, 4, 4, 8, 3, 2, thumb);
  main.push_back(
      {271, 2, 18,
       Bytes{'N', 'I', 'K', 'O', 'N', ' ', 'C', 'O', 'R', 'P', 'O', 'R', 'A', 'T', 'I', 'O', 'N', 0}});
  main.push_back({272, 2, s.model.size() + 1, Bytes(s.model.begin(), s.model.end() + 1)});
  if (s.form != kV1) main.push_back(w.longEntry(330, subs));
  main.push_back(w.longEntry(34665, {exif}));
  std::sort(main.begin(), main.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  w.ifds.push_back(main);
  return w.build();
}

// A block of version "D " whose curve is the identity, with `split`.
inline Bytes splitBlock(int bits, int split, bool big) {
  const int n = 257, max = 1 << bits, step = max / (n - 1);
  Bytes b(564, 0);
  b[0] = 'D';
  b[1] = ' ';
  auto put16 = [&](size_t at, unsigned v) {
    b[at] = static_cast<uint8_t>(big ? v >> 8 : v);
    b[at + 1] = static_cast<uint8_t>(big ? v : v >> 8);
  };
  put16(10, n);
  b.resize(std::max<size_t>(564, 12 + 2 * n));
  for (int i = 0; i < n; ++i) put16(12 + 2 * static_cast<size_t>(i), static_cast<unsigned>(i * step));
  put16(562, static_cast<unsigned>(split));
  return b;
}

}  // namespace neftest
