#include <gtest/gtest.h>

#include "picts/pictorf.h"
#include "picts/tests/camera_support.h"

namespace {

using cameratest::Bytes;
using cameratest::Captured;

enum Layout { kLittle12, kBig12, kSwapped12, kSixteen, kPaddedLittle, kPaddedBig, kCompressed };

struct OrfSpec {
  int w = 48, h = 24;
  Layout layout = kBig12;
  bool big = false, rs = false, newNote = true, interlaced = false, balanceTags = false;
  unsigned rowsPerStrip = 0;  // 0: one strip, no RowsPerStrip
  size_t cut = 0;             // bytes dropped from the last strip
  Bytes preview = {};
  bool makerCycle = false;
  std::string model = "E-M5";  // empty: no Model tag, so little-endian 12-bit samples
};

// Runs the compressed body's predictor and carries forward, choosing the
// codes that make the decoder land on each source sample.
Bytes orfCompress(const uint16_t* v, int w, int rows) {
  cameratest::BitWriter bw;
  for (int i = 0; i < 7; ++i) bw.put(0, 8);  // the decoder starts 7 bytes in
  for (int row = 0; row < rows; ++row) {
    int carries[2][3] = {};
    const uint16_t* line = v + row * w;
    for (int col = 0; col < w; ++col) {
      int* carry = carries[col & 1];
      const int i = carry[2] < 3 ? 2 : 0;
      int nbits = 2 + i;
      while (nbits < 16 && ((carry[0] & 0xFFFF) >> (nbits + i))) ++nbits;
      int pred;
      if (row < 2 && col < 2) pred = 0;
      else if (row < 2) pred = line[col - 2];
      else if (col < 2) pred = line[col - 2 * w];
      else {
        const int wv = line[col - 2], n = line[col - 2 * w], nw = line[col - 2 * w - 2];
        if ((wv < nw && nw < n) || (n < nw && nw < wv))
          pred = std::abs(wv - nw) > 32 || std::abs(n - nw) > 32 ? wv + n - nw : (wv + n) >> 1;
        else
          pred = std::abs(wv - nw) > std::abs(n - nw) ? wv : n;
      }
      const int delta = line[col] - pred, diff = delta >> 2, low = delta & 3, t = diff - carry[1];
      const int c0 = t < 0 ? ~t : t, high = c0 >> nbits;
      bw.put(uint32_t((t < 0 ? 4 : 0) | low), 3);
      if (high < 12) {
        bw.put(1, high + 1);
      } else {
        bw.put(0, 12);
        bw.put(uint32_t(high << 1), 16 - nbits);
      }
      bw.put(uint32_t(c0 & ((1 << nbits) - 1)), nbits);
      carry[0] = c0;
      carry[1] = (diff * 3 + carry[1]) >> 5;
      carry[2] = c0 > 16 ? 0 : carry[2] + 1;
    }
  }
  return bw.finish();
}

Bytes orfBody(const OrfSpec& s, const uint16_t* v, int rows) {
  Bytes out;
  const size_t n = size_t(s.w) * size_t(rows);
  switch (s.layout) {
    case kCompressed: return orfCompress(v, s.w, rows);
    case kSixteen:
      for (size_t i = 0; i < n; ++i)
        s.big ? out.insert(out.end(), {uint8_t(v[i] >> 8), uint8_t(v[i])}) : out.insert(out.end(), {uint8_t(v[i]), uint8_t(v[i] >> 8)});
      return out;
    case kSwapped12:
      for (size_t i = 0; i < n; i += 8) {
        const uint16_t* x = v + i;
        uint8_t b[12];
        b[3] = uint8_t(x[0] >> 4), b[2] = uint8_t((x[0] & 15) << 4 | x[1] >> 8), b[1] = uint8_t(x[1]);
        b[0] = uint8_t(x[2] >> 4), b[7] = uint8_t((x[2] & 15) << 4 | x[3] >> 8), b[6] = uint8_t(x[3]);
        b[5] = uint8_t(x[4] >> 4), b[4] = uint8_t((x[4] & 15) << 4 | x[5] >> 8), b[11] = uint8_t(x[5]);
        b[10] = uint8_t(x[6] >> 4), b[9] = uint8_t((x[6] & 15) << 4 | x[7] >> 8), b[8] = uint8_t(x[7]);
        out.insert(out.end(), b, b + 12);
      }
      return out;
    default:
      for (size_t i = 0; i < n; i += 2) {
        rawtest::putPair12(out, v[i], v[i + 1], s.layout == kBig12 || s.layout == kPaddedBig);
        if ((s.layout == kPaddedLittle || s.layout == kPaddedBig) && i % 10 == 8) out.push_back(0xEE);
      }
      return out;
  }
}

Bytes writeOrf(const OrfSpec& s, const std::vector<uint16_t>& v) {
  tifftest::Writer w;
  w.bigEndian = s.big;
  const int h = s.h, per = s.rowsPerStrip ? int(s.rowsPerStrip) : h;
  // Interlaced files store the even rows first.
  std::vector<uint16_t> stored;
  for (int k = 0; k < h; ++k) {
    const int evens = (h + 1) / 2, row = !s.interlaced ? k : k < evens ? 2 * k : 2 * (k - evens) + 1;
    stored.insert(stored.end(), v.begin() + long(row * s.w), v.begin() + long((row + 1) * s.w));
  }
  std::vector<uint64_t> offsets, counts;
  for (int row = 0; row < h; row += per) {
    Bytes body = orfBody(s, stored.data() + size_t(row * s.w), std::min(per, h - row));
    if (row + per >= h) body.resize(body.size() - s.cut);
    offsets.push_back(w.addBlob(body));
    counts.push_back(body.size());
  }
  // The maker note: its IFD, the image-processing directory, the preview.
  const Bytes prefix = s.newNote ? Bytes{'O', 'L', 'Y', 'M', 'P', 'U', 'S', 0, 'I', 'I', 3, 0}
                                 : Bytes{'O', 'L', 'Y', 'M', 'P', 0, 1, 0};
  const uint64_t start = w.headerSize() + w.blobs.size(), base = s.newNote ? start : 0;
  const size_t makerEntries = s.balanceTags ? 3 : 2;
  const uint64_t subAt = start + prefix.size() + 2 + 12 * makerEntries + 4, jpgAt = subAt + 2 + 24 + 4 + 16;
  std::vector<tifftest::Entry> maker = {{0x0100, 7, s.preview.size(), {}, int64_t(jpgAt - base)},
                                        w.longEntry(0x2040, {s.makerCycle ? 8 : subAt - base})};
  if (s.balanceTags) maker = {w.shortEntry(0x1017, {640}), w.shortEntry(0x1018, {448}), maker[0]};
  cameratest::addIfdBlob(w, maker, prefix, base);
  cameratest::addIfdBlob(w, {w.shortEntry(0x0100, {512, 384, 0, 0}), w.shortEntry(0x0600, {60, 64, 63, 61})}, {},
                         base);
  w.addBlob(s.preview);
  const uint64_t makerLength = w.headerSize() + w.blobs.size() - start;
  const uint64_t exifAt = cameratest::addIfdBlob(w, {{37500, 7, makerLength, {}, int64_t(start)}});
  const bool twelve = s.layout != kSixteen;
  const std::string& model = s.model;
  std::vector<tifftest::Entry> ifd = {
      w.longEntry(256, {uint64_t(s.w)}),
      w.longEntry(257, {uint64_t(h)}),
      w.shortEntry(258, {twelve && s.layout != kCompressed ? 12u : 16u}),
      w.shortEntry(259, {1}),
      w.shortEntry(262, {s.interlaced ? 2u : 1u}),
      {271, 2, 22, Bytes{'O', 'L', 'Y', 'M', 'P', 'U', 'S', ' ', 'I', 'M', 'A', 'G', 'I', 'N', 'G', ' ', 'C', 'O', 'R', 'P', '.', 0}},
      {272, 2, model.size() + 1, Bytes(model.c_str(), model.c_str() + model.size() + 1)},
      w.longEntry(273, offsets),
      w.longEntry(279, counts),
      w.longEntry(34665, {exifAt}),
  };
  if (model.empty()) ifd.erase(ifd.begin() + 6);
  if (s.rowsPerStrip) ifd.insert(ifd.end() - 2, w.longEntry(278, {s.rowsPerStrip}));
  w.ifds.push_back(ifd);
  Bytes file = w.build();
  const char* magic = s.rs ? "RS" : "RO";
  file[2] = uint8_t(s.big ? magic[1] : magic[0]);
  file[3] = uint8_t(s.big ? magic[0] : magic[1]);
  return file;
}

std::vector<uint16_t> samples(const OrfSpec& s, unsigned seed) {
  auto v = rawtest::mosaic(s.w, s.h, true, seed);
  if (s.layout != kSixteen)
    for (auto& x : v) x >>= 4;
  return v;
}

TEST(OrfDecode, EveryLayoutComesBackAsItsSourcePlane) {
  // dcraw reads the 12-bit pairs, 16-bit samples, interlacing and strips of
  // these files its own way; it agrees on the padded and compressed bodies.
  struct Case {
    const char* name;
    OrfSpec spec;
    bool dcraw = false;
  } cases[] = {
      {"II RO 12-bit little", {48, 24, kLittle12, false, false, true, false, false, 0, 0, {}, false, ""}},
      {"II RS 12-bit big, old note", {48, 24, kBig12, false, true, false}},
      {"MM OR 12-bit word-swapped", {48, 24, kSwapped12, true, false, true, false, false, 0, 0, {}, false, "XZ-2"}},
      {"MM SR 16-bit", {48, 24, kSixteen, true, true}},
      {"II 16-bit, strips", {48, 24, kSixteen, false, false, true, false, false, 5}},
      {"padded little", {40, 24, kPaddedLittle, false, false, true, false, false, 0, 0, {}, false, ""}, true},
      {"padded big, interlaced", {40, 23, kPaddedBig, false, false, true, true}},
      {"compressed", {48, 24, kCompressed}, true},
      {"compressed MM, strips, balance tags", {48, 24, kCompressed, true, false, false, false, true, 10}},
      {"compressed, short last row", {48, 24, kCompressed, false, false, true, false, false, 0, 6}, true},
  };
  for (const Case& c : cases) {
    auto v = samples(c.spec, 21);
    const Bytes file = writeOrf(c.spec, v);
    Captured<cPictORF> d;
    ASSERT_TRUE(cameratest::decodePlane(file, d)) << c.name;
    const size_t checked = c.spec.cut ? v.size() - size_t(c.spec.w) : v.size();
    EXPECT_TRUE(std::equal(v.begin(), v.begin() + long(checked), d.plane.begin())) << c.name;
    EXPECT_EQ(d.black, c.spec.balanceTags ? 0u : 64u) << c.name;
    EXPECT_DOUBLE_EQ(d.multipliers[2], c.spec.balanceTags ? 0.7 : 0.75) << c.name;
    if (!c.dcraw) continue;
    rawtest::Pnm p = cameratest::dcrawPlane(file, "orf.orf");
    ASSERT_EQ(p.v.size(), v.size()) << c.name;
    EXPECT_TRUE(std::equal(v.begin(), v.begin() + long(checked), p.v.begin())) << c.name;
  }
}

TEST(OrfDecode, ModelRowsPreviewAndRefusals) {
  for (int i = 0; i < cPictORF::kModelCount; ++i) {
    const cPictORF::sModel& m = cPictORF::kModels[i];
    OrfSpec s;
    s.model = std::string(m.key, m.key + m.bytes);
    cameratest::Memory mem(writeOrf(s, samples(s, 2)));
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictORF::validFor(&mem.io, &info)) << m.key;
    EXPECT_EQ(info.width, 48 - m.left - m.right) << m.key;
    EXPECT_EQ(info.height, 24 - m.top) << m.key;
  }
  cPictBase::sPictInfo info;
  for (const char* model : {"E-P1", "XE-P1 "}) {  // no space after, or a prefix before
    OrfSpec s;
    s.model = model;
    cameratest::Memory mem(writeOrf(s, samples(s, 2)));
    ASSERT_TRUE(cPictORF::validFor(&mem.io, &info));
    EXPECT_EQ(info.width, 48) << model;
  }
  OrfSpec narrow;
  narrow.w = 30;
  narrow.model = "E-330 ";
  cameratest::Memory refused(writeOrf(narrow, samples(narrow, 2)));
  EXPECT_FALSE(cPictORF::validFor(&refused.io, nullptr));

  for (bool newNote : {true, false}) {
    OrfSpec s;
    s.newNote = newNote;
    s.preview = cameratest::toolJpeg("64x48", "xc:blue");
    cameratest::Memory m(writeOrf(s, samples(s, 2)));
    ASSERT_TRUE(cPictORF::validFor(&m.io, &info));
    EXPECT_TRUE(info.hasPreview);
    cPictORF d;
    cPictDummy out;
    const long long side = 32;
    ASSERT_TRUE(d.getPreview(&m.io, out, &side, &side)) << newNote;
    EXPECT_EQ(out.width(), 32);
    EXPECT_EQ(out.height(), 24);
  }
  OrfSpec cycle;
  cycle.makerCycle = true;
  cameratest::Memory c(writeOrf(cycle, samples(cycle, 2)));
  EXPECT_TRUE(cPictORF::validFor(&c.io, nullptr));  // the directory's answer is not asked for
  Bytes wrong = writeOrf(OrfSpec{}, samples(OrfSpec{}, 2));
  std::swap(wrong[2], wrong[3]);  // "OR" in an "II" file
  cameratest::Memory m(wrong);
  EXPECT_FALSE(cPictORF::validFor(&m.io, nullptr));
  OrfSpec small{8, 4, kCompressed};
  cameratest::survivesEveryTruncation<cPictORF>(writeOrf(small, samples(small, 5)));
}

}  // namespace
