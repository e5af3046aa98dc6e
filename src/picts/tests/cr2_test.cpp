#include "picts/cr2.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "base/memio.h"
#include "picts/tests/camera_ifd_support.h"
#include "picts/tests/jpeg_support.h"

namespace {

using tifftest::Bytes;
using tifftest::Entry;

struct Cr2Spec {
  bool big = false;
  int width = 48, height = 32, bits = 12;
  std::vector<uint16_t> plane;  // Bayer samples, or per pixel Y Cb Cr for sRAW
  int slices[3] = {2, 16, 16};
  int colorData = 582;                        // values of tag 0x4001; 0 none
  bool wbTable = false;                       // tag 0x29
  uint16_t wb[4] = {2000, 1024, 1024, 1500};  // red, green, green2, blue as the camera lists them
  unsigned model = 0x80000999;
  std::string modelText = "Canon EOS TEST";
  uint16_t mask[4] = {0, 0, 4, 32};  // left, top, right, bottom
  int sraw = 0;                      // 1 for 2x1, 2 for 2x2
  bool old = false;                  // the tag 0x81 layout
  bool shortStrip2 = false;          // IFD 2's strip offset as a SHORT, as the raw directory may not
};

uint64_t makerNote(tifftest::Writer& w, const Cr2Spec& s, uint64_t rawAt) {
  std::vector<Entry> e;
  std::vector<uint64_t> sensor = {26, uint64_t(s.width), uint64_t(s.height), 0,         0,        0, 0, 0,
                                  0,  s.mask[0],         s.mask[1],          s.mask[2], s.mask[3]};
  e.push_back(w.shortEntry(0xE0, sensor));
  std::vector<uint64_t> shot(21, 0);
  shot[7] = 1;
  e.push_back(w.shortEntry(4, shot));
  e.push_back(w.longEntry(0x10, {s.model}));
  if (s.old) e.push_back(w.longEntry(0x81, {rawAt}));
  if (s.colorData) {
    std::vector<uint64_t> v(static_cast<size_t>(s.colorData), 0);
    const size_t at = (s.colorData == 582    ? 50
                       : s.colorData == 653  ? 68
                       : s.colorData == 5120 ? 142
                                             : 126) /
                      2;
    for (int i = 0; i < 4; ++i) v[at + static_cast<size_t>(i)] = s.wb[i];
    Entry cd = w.shortEntry(0x4001, v);
    // The colour values are little-endian whatever the file says.
    for (size_t i = 0; i < v.size(); ++i) {
      cd.value[2 * i] = uint8_t(v[i]);
      cd.value[2 * i + 1] = uint8_t(v[i] >> 8);
    }
    e.push_back(cd);
  }
  if (s.wbTable) {
    // Index 1 picks entry 1: values at 8 + 32, green and red swapped.
    Bytes t(8 + 32 * 2, 0);
    const uint32_t v[4] = {s.wb[1], s.wb[0], s.wb[3], s.wb[2]};
    for (int i = 0; i < 4; ++i) {
      Bytes b = w.values(v[i], 4);
      std::copy(b.begin(), b.end(), t.begin() + 40 + 4 * i);
    }
    e.push_back({0x29, 1, t.size(), t});
  }
  if (s.old) e.push_back(w.shortEntry(0xA4, {s.wb[0], s.wb[1], s.wb[2], s.wb[3]}));
  return camtest::addIfd(w, e);
}

Bytes rawStream(const Cr2Spec& s) {
  jpegtest::Lossless im;
  im.precision = unsigned(s.sraw ? 15 : s.bits);
  if (s.sraw) {
    const int v = s.sraw == 1 ? 1 : 2, n = s.width * s.height;
    std::vector<uint16_t> y(static_cast<size_t>(n)), cb(static_cast<size_t>(n)), cr(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      y[size_t(i)] = s.plane[size_t(3 * i)];
      cb[size_t(i)] = s.plane[size_t(3 * i + 1)];
      cr[size_t(i)] = s.plane[size_t(3 * i + 2)];
    }
    im.comps = 3;
    im.sampling = uint8_t(0x20 | v);
    im.width = unsigned(s.width / 2);
    im.height = unsigned(s.height / v);
    const int div = s.sraw == 1 ? 2 : 3;
    im.samples = rawtest::srawSamples(y, cb, cr, s.width, s.height, v, s.slices[0], s.slices[1] / div,
                                      s.slices[2] / div);
    return jpegtest::writeLossless(im);
  }
  im.comps = 2;
  // The old layout keeps two sensor rows in one frame row.
  im.width = unsigned(s.old ? s.width : s.width / 2);
  im.height = unsigned(s.old ? s.height / 2 : s.height);
  im.samples = s.slices[0]
                   ? rawtest::sliced(s.plane, s.width, s.height, s.slices[0], s.slices[1], s.slices[2])
                   : s.plane;
  return jpegtest::writeLossless(im);
}

// IFD 0 (a small RGB picture with the EXIF and maker note), IFD 1, IFD 2,
// then the raw directory (the old layout: IFD 0, then the raw directory).
Bytes writeCr2(const Cr2Spec& s) {
  tifftest::Writer w;
  w.bigEndian = s.big;
  const Bytes stream = rawStream(s);
  const uint64_t rawAt = w.addBlob(stream);
  const uint64_t noteAt = makerNote(w, s, rawAt);
  const uint64_t exif = camtest::addIfd(w, {w.longEntry(40962, {uint64_t(s.width)}),
                                            w.longEntry(40963, {uint64_t(s.height)}),
                                            {37500, 7, 64, Bytes{}, int64_t(noteAt)}});
  auto main = tifftest::pictureIfd(w, 4, 4, 8, 3, 2, Bytes(48, 0x40));
  main.push_back({271, 2, 6, Bytes{'C', 'a', 'n', 'o', 'n', 0}});
  main.push_back({272, 2, s.modelText.size() + 1, Bytes(s.modelText.begin(), s.modelText.end() + 1)});
  main.push_back(w.longEntry(34665, {exif}));
  std::sort(main.begin(), main.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  w.ifds.push_back(main);
  // The old layout's raw directory follows IFD 0 at once.
  if (!s.old) {
    w.ifds.push_back({w.longEntry(254, {1}), w.longEntry(513, {8}), w.longEntry(514, {16})});
    w.ifds.push_back({w.longEntry(254, {1}), s.shortStrip2 ? w.shortEntry(273, {8}) : w.longEntry(273, {8})});
  }
  std::vector<Entry> raw = {w.longEntry(256, {uint64_t(s.width)}), w.longEntry(257, {uint64_t(s.height)}),
                            w.shortEntry(259, {6}), w.longEntry(273, {rawAt}),
                            w.longEntry(279, {stream.size()})};
  if (s.slices[0])
    raw.push_back(w.shortEntry(50752, {uint64_t(s.slices[0]), uint64_t(s.slices[1]), uint64_t(s.slices[2])}));
  w.ifds.push_back(raw);
  return w.build();
}

class cCr2Capture : public cPictCR2 {
 public:
  std::vector<uint16_t> plane;
  bool convertOnly = false;  // sRAW colours before their tone curve

 protected:
  bool decodeColors16bpp(unsigned row, sDecomress& record) override {
    const auto* p = reinterpret_cast<const uint16_t*>(record.data.ptr);
    plane.assign(p, p + record.data.count / 2);
    if (convertOnly) return decodeColors16bppSraw(row, record, true);
    return cPictCR2::decodeColors16bpp(row, record);
  }
};

bool decodes(const Bytes& file, cCr2Capture& cr2) {
  cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
  return cr2.decode(&io);
}

// A mosaic whose first four columns are a black border of 256.
std::vector<uint16_t> bayer(int w, int h, int bits, unsigned seed) {
  std::vector<uint16_t> p = rawtest::mosaic(w, h, false, seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint16_t& v = p[size_t(y * w + x)];
      v = x < 4 ? 256 : uint16_t(300 + v % ((1 << bits) - 300));
    }
  return p;
}

// Slices and byte orders, the three colour-data sizes and the balance table,
// the old layout: planes equal to the source and to dcraw's, the balance to
// dcraw's camera multipliers, the black from the mask.
TEST(Cr2Decode, BayerLayouts) {
  struct Case {
    const char* name;
    bool big;
    int slices[3], bits, colorData;
    bool wbTable, old, oracle;
  } cases[] = {
      {"cd582", false, {2, 16, 16}, 12, 582, false, false, true},
      {"cd653be", true, {1, 24, 24}, 14, 653, false, false, true},
      {"cd5120", false, {0, 0, 0}, 12, 5120, false, false, true},
      {"table29", false, {2, 16, 16}, 12, 0, true, false, true},
      // dcraw does not read this layout: it rests on the round trip.
      {"old", false, {0, 0, 0}, 12, 0, false, true, false},
  };
  unsigned seed = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Cr2Spec s;
    s.big = c.big;
    std::copy(c.slices, c.slices + 3, s.slices);
    s.bits = c.bits;
    s.colorData = c.colorData;
    s.wbTable = c.wbTable;
    s.old = c.old;
    if (c.old) s.model = 0x80000001;
    s.plane = bayer(s.width, s.height, s.bits, seed++);
    const Bytes file = writeCr2(s);
    cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictCR2::validFor(&io, &info));
    EXPECT_EQ(info.width, s.width);
    cCr2Capture cr2;
    ASSERT_TRUE(decodes(file, cr2));
    EXPECT_EQ(cr2.plane, s.plane);
    EXPECT_EQ(cr2.blackLevel(cr2.plane.data()), 256u);
    const double* b = cr2.makerNote().balance;
    if (!c.old) {
      EXPECT_EQ(b[0], s.wb[0]);
      EXPECT_EQ(b[2], s.wb[3]);
    }
    if (!c.oracle) continue;
    std::vector<uint16_t> plane;
    ASSERT_TRUE(camtest::dcrawPlane(file, c.name, plane));
    EXPECT_EQ(plane, s.plane);
    // dcraw reads the colour data in the file's order, we (as cameras write
    // them) little-endian; and it takes the table's index from another shot
    // value. Little-endian files with colour data can agree.
    if (c.big || !c.colorData) continue;
    double d[4] = {};
    ASSERT_TRUE(camtest::dcrawMultipliers(file, c.name, d));
    for (int k = 0; k < 4; ++k) EXPECT_EQ(b[k], d[k]) << k;
  }
}

}  // namespace

namespace {

// sRAW of both samplings and the three conversions, before the tone curve.
TEST(Cr2Decode, SrawConversions) {
  struct Case {
    int sraw;
    unsigned model;
    unsigned r, g, b;
  } cases[] = {{1, 0x80000999, 5700, 6074, 6400},
               {2, 0x80000218, 4324, 6308, 8842},
               {2, 0x80000170, 4676, 5050, 5376}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    Cr2Spec s;
    s.sraw = c.sraw;
    s.model = c.model;
    s.width = 24;
    s.height = 12;
    const int div = c.sraw == 1 ? 2 : 3;
    s.slices[0] = 1, s.slices[1] = 12 * div, s.slices[2] = 12 * div;
    for (int i = 0; i < s.width * s.height; ++i)
      s.plane.insert(s.plane.end(), {3000, 16384 + 200, 16384 - 150});
    const Bytes file = writeCr2(s);
    cCr2Capture cr2;
    cr2.convertOnly = true;
    ASSERT_TRUE(decodes(file, cr2));
    ASSERT_TRUE(cr2.is16Bpp());
    ASSERT_EQ(cr2.width(), 24);
    const unsigned long long p = cr2.raw16Bpp()[0];
    EXPECT_EQ(p >> 48, 65535u);
    EXPECT_EQ(p >> 32 & 0xFFFF, c.r);
    EXPECT_EQ(p >> 16 & 0xFFFF, c.g);
    EXPECT_EQ(p & 0xFFFF, c.b);
  }
}

// Model names, maker-note refusals, the mask rules and the model tables.
TEST(Cr2Decode, NamesNotesAndTables) {
  Cr2Spec base;
  base.plane = bayer(base.width, base.height, 12, 9);
  struct {
    const char* name;
    void (*change)(Cr2Spec&);
    bool ok;
  } cases[] = {
      {"maker name and blanks skipped", [](Cr2Spec& s) { s.modelText = "cAnOn   EOS X"; }, true},
      {"only the maker's name", [](Cr2Spec& s) { s.modelText = "CANON  "; }, false},
      {"balance from the table", [](Cr2Spec& s) { s.colorData = 0, s.wbTable = true; }, true},
      {"derived mask from a narrow border", [](Cr2Spec& s) { s.mask[2] = s.mask[3] = 0; }, true},
      {"mask past the sensor", [](Cr2Spec& s) { s.mask[2] = 500, s.mask[3] = 900; }, true},
      {"IFD 2 with a short strip offset", [](Cr2Spec& s) { s.shortStrip2 = true; }, true},
      {"flat: no tone curve", [](Cr2Spec& s) { s.plane.assign(s.plane.size(), 1000); }, true},
  };
  for (auto& c : cases) {
    Cr2Spec s = base;
    c.change(s);
    cCr2Capture cr2;
    EXPECT_EQ(decodes(writeCr2(s), cr2), c.ok) << c.name;
  }
  const Bytes whole = writeCr2(base);
  cameratest::survivesEveryTruncation<cPictCR2>(whole);
  // A sensor record whose first value is not its length, and a balance
  // table cut before its entry, refuse the maker note.
  for (uint8_t cut : {0, 1}) {
    Cr2Spec s = base;
    s.wbTable = cut;
    s.colorData = cut ? 0 : s.colorData;
    Bytes file = writeCr2(s);
    const Bytes needle = cut ? Bytes{0x29, 0, 1, 0, 72, 0} : Bytes{0xE0, 0, 3, 0, 13, 0};
    auto at = std::search(file.begin(), file.end(), needle.begin(), needle.end());
    ASSERT_NE(at, file.end());
    at[4] = cut ? 40 : 12;  // the 0x29 table now ends before entry 1; or 12 values
    cCr2Capture cr2;
    EXPECT_FALSE(decodes(file, cr2)) << int(cut);
  }
  cPictCR2 probe;
  unsigned short black, white;
  double m[3][3];
  struct {
    unsigned id;
    bool row, margins;
    unsigned short white;
    double m00;
  } models[] = {{0x03740000, false, true, 0, 1.0},
                {0x80000001, true, false, 3616, 1.917578},
                {0x80000400, false, false, 3616, 1.917578},
                {0x01560000, false, false, 0, -2.268888},
                {0x80000218, true, true, 15600, 2.06819}};
  for (auto& k : models) {
    Bytes file = writeCr2([&] {
      Cr2Spec s = base;
      s.model = k.id;
      return s;
    }());
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cCr2Capture cr2;
    cr2.isPicture(&io, nullptr);
    EXPECT_EQ(cr2.getColors(black, white, m), k.row) << k.id;
    EXPECT_EQ(white, k.white);
    EXPECT_EQ(m[0][0], k.m00);
    EXPECT_EQ(cr2.getMargins(), k.margins);
  }
  // The model tables are filled once, whichever thread asks first.
  std::thread other([] { cPictCR2 again; });
  other.join();
}

}  // namespace

namespace {

// A sample of the colour rows against dcraw, whose colour table they were
// converted from: a flat mosaic lifted in one camera colour shows, through
// dcraw's linear sRGB output with unit multipliers, one column of the
// model's matrix.
TEST(Cr2Decode, ColorRowsMatchTheirOrigin) {
  const struct {
    unsigned id;
    const char* model;
  } rows[] = {{0x01668000, "Canon EOS D60"},
              {0x80000285, "Canon EOS 5D Mark III"},
              {0x80000170, "Canon EOS 300D"},
              {0x80000401, "Canon EOS 5DS R"},
              {0x80000331, "Canon EOS M"},
              {0x80000215, "Canon EOS-1Ds Mark III"},
              {0x02490000, "Canon PowerShot G10"},
              {0x03110000, "Canon PowerShot S100"},
              {0x03070000, "Canon PowerShot SX220 HS"}};
  constexpr int kBase = 6000, kLift = 2000, kWhite = 16383;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.model);
    Cr2Spec s;
    s.model = r.id;
    s.modelText = r.model;
    s.bits = 14;
    // Room for the widest margins of a model.
    s.width = 256, s.height = 128;
    s.slices[0] = 0;
    s.plane.assign(size_t(s.width * s.height), kBase);
    Bytes flat = writeCr2(s);
    cBufWrapperIO io(flat.data(), static_cast<long long>(flat.size()), false);
    cPictCR2 cr2;
    ASSERT_TRUE(cr2.isPicture(&io, nullptr));
    unsigned short black, white;
    double m[3][3];
    EXPECT_TRUE(cr2.getColors(black, white, m));
    for (int j = 0; j < 3; ++j) {
      s.plane.clear();
      for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
          s.plane.push_back(uint16_t(kBase + ((y & 1) + (x & 1) == j ? kLift : 0)));
      Bytes out;
      ASSERT_TRUE(camtest::dcraw(
          writeCr2(s), "matrix",
          {"-r", "1", "1", "1", "1", "-k", "0", "-S", "16383", "-o", "1", "-4", "-q", "0", "-c"}, out));
      rawtest::Pnm p;
      ASSERT_TRUE(rawtest::readPnm16(out, p));
      ASSERT_EQ(p.channels, 3);
      const size_t centre = size_t((p.height / 2 * p.width + p.width / 2) * 3);
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(m[c][j], (p.v[centre + size_t(c)] * double(kWhite) / 65535 - kBase) / kLift, 1e-3)
            << c << ' ' << j;
    }
  }
}

}  // namespace
