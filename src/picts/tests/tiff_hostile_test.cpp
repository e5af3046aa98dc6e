// Forged and cut TIFF files answer false without a crash, and the colour
// stage's corner cases against libtiff or the formulas they follow.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picts/picttiff.h"
#include "picts/pixelalloc.h"
#include "picts/tests/tiff_support.h"
#include "picts/tifffax.h"

using namespace tifftest;

namespace {

bool decodes(const Bytes& file, cPictTIFF& pict) {
  cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
  return pict.decode(&io);
}

Entry& entryOf(std::vector<Entry>& ifd, uint16_t tag) {
  for (Entry& e : ifd)
    if (e.tag == tag) return e;
  ifd.push_back({tag, 3, 0, {}});
  return ifd.back();
}

// A 4 x 2 grey picture of one strip, and a mutation of its IFD.
Bytes forged(void (*mutate)(Writer&), bool bigTiff = false) {
  Writer w;
  w.bigTiff = bigTiff;
  w.ifds.push_back(pictureIfd(w, 4, 2, 8, 1, 1, {1, 2, 3, 4, 5, 6, 7, 8}));
  mutate(w);
  return w.build();
}

TEST(TiffHostile, ForgedFilesAnswerFalse) {
  struct sCase {
    const char* name;
    Bytes file;
    bool decodes;
  };
  const std::vector<sCase> cases = {
      {"sound", forged([](Writer&) {}), true},
      {"sound BigTIFF", forged([](Writer&) {}, true), true},
      {"no compression tag",
       forged([](Writer& w) { std::erase_if(w.ifds[0], [](const Entry& e) { return e.tag == 259; }); }),
       false},
      {"compression 2", forged([](Writer& w) { entryOf(w.ifds[0], 259) = w.shortEntry(259, {2}); }), false},
      {"floating-point predictor", forged([](Writer& w) { w.ifds[0].push_back(w.shortEntry(317, {3})); }),
       false},
      // Its decoder reads only the rows, which the file holds.
      {"strip byte count beyond the file",
       forged([](Writer& w) { entryOf(w.ifds[0], 279) = w.longEntry(279, {0x7FFFFFF0}); }), true},
      {"strip offset beyond the file",
       forged([](Writer& w) { entryOf(w.ifds[0], 273) = w.longEntry(273, {0xFFFFFF00}); }), false},
      {"more strips than rows need", forged([](Writer& w) {
         entryOf(w.ifds[0], 273) = w.longEntry(273, {16, 16, 16});
         entryOf(w.ifds[0], 279) = w.longEntry(279, {8, 8, 8});
       }),
       false},
      {"2^31 x 2^31 picture", forged([](Writer& w) {
         entryOf(w.ifds[0], 256) = w.longEntry(256, {0x7FFFFFFF});
         entryOf(w.ifds[0], 257) = w.longEntry(257, {0x7FFFFFFF});
       }),
       false},
      {"16000 x 16000 from eight bytes", forged([](Writer& w) {
         entryOf(w.ifds[0], 256) = w.longEntry(256, {16000});
         entryOf(w.ifds[0], 257) = w.longEntry(257, {16000});
         entryOf(w.ifds[0], 278) = w.longEntry(278, {16000});
         entryOf(w.ifds[0], 259) = w.shortEntry(259, {8});
       }),
       false},
      {"width past 31 bits",
       forged([](Writer& w) { entryOf(w.ifds[0], 256) = w.longEntry(256, {0x80000000u}); }), false},
      {"tiles without offsets for every tile", forged([](Writer& w) {
         std::erase_if(w.ifds[0],
                       [](const Entry& e) { return e.tag == 273 || e.tag == 279 || e.tag == 278; });
         w.ifds[0].push_back(w.longEntry(322, {16}));
         w.ifds[0].push_back(w.longEntry(323, {16}));
         w.ifds[0].push_back(w.longEntry(324, {16}));
         w.ifds[0].push_back(w.longEntry(325, {8}));
         entryOf(w.ifds[0], 256) = w.longEntry(256, {40});
       }),
       false},
      {"zero tile width", forged([](Writer& w) { w.ifds[0].push_back(w.longEntry(322, {0})); }), false},
      {"palette index past the map", forged([](Writer& w) {
         entryOf(w.ifds[0], 262) = w.shortEntry(262, {3});
         w.ifds[0].push_back(w.shortEntry(320, std::vector<uint64_t>(3 * 8, 0x8000)));
       }),
       false},
      {"signed samples", forged([](Writer& w) { w.ifds[0].push_back(w.shortEntry(339, {2})); }), false},
      {"YCbCr without JPEG", forged([](Writer& w) { entryOf(w.ifds[0], 262) = w.shortEntry(262, {6}); }),
       true},
      {"LONG8 strip offset from 2^32",
       forged(
           [](Writer& w) {
             entryOf(w.ifds[0], 273) = {273, 16, 1, w.values(1ULL << 32 | 16, 8)};
           },
           true),
       false},
  };
  for (const auto& tc : cases) {
    cPictTIFF pict;
    EXPECT_EQ(decodes(tc.file, pict), tc.decodes) << tc.name;
  }
}

TEST(TiffHostile, CyclesEndPagingAndEveryCutFails) {
  Writer w;
  for (int i = 0; i < 3; ++i) w.ifds.push_back(pictureIfd(w, 2, 1, 8, 1, 1, {9, 9}));
  w.nextIfd = {1, 2, 0};
  Bytes cycle = w.build();
  cBufWrapperIO io(cycle.data(), static_cast<long long>(cycle.size()), false);
  cPictTIFF pict;
  EXPECT_EQ(pict.getNumPages(&io), 3);
  EXPECT_TRUE(pict.decodePage(&io, 2));
  EXPECT_FALSE(pict.decodePage(&io, 3));
  w.nextIfd = {0};
  Bytes self = w.build();
  cBufWrapperIO selfIo(self.data(), static_cast<long long>(self.size()), false);
  EXPECT_EQ(pict.getNumPages(&selfIo), 1);

  Bytes file = forged([](Writer&) {});
  for (size_t cut = 0; cut < file.size(); ++cut) {
    Bytes part(file.begin(), file.begin() + static_cast<long>(cut));
    cPictTIFF p;
    EXPECT_FALSE(decodes(part, p)) << cut;
  }
}

// libtiff's RGBA picture of a file, as 0xAARRGGBB words top row first.
std::vector<uint32_t> libtiffRgba(const Bytes& file) {
  std::string path = scratchDir() + "/corner.tif";
  writeFile(path, file);
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  uint32_t w = 0, h = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  std::vector<uint32_t> out(static_cast<size_t>(w) * h);
  TIFFReadRGBAImageOriented(tif, w, h, out.data(), ORIENTATION_TOPLEFT, 0);
  TIFFClose(tif);
  for (uint32_t& p : out) p = (p & 0xFF00FF00) | (p & 0xFF) << 16 | (p >> 16 & 0xFF);
  return out;
}

TEST(TiffColours, WhiteIsZeroAndSmallDepthsEqualLibtiffAtEveryDepth) {
  struct sCase {
    int bits, photometric;
    Bytes row;  // one row of 8 pixels
  };
  const std::vector<sCase> cases = {
      {1, 0, {0xA5}},
      {1, 1, {0xA5}},
      {2, 0, {0x1B, 0xE4}},
      {2, 1, {0x1B, 0xE4}},
      {4, 0, {0x01, 0x23, 0xCD, 0xEF}},
      {4, 1, {0x01, 0x23, 0xCD, 0xEF}},
      {8, 0, {0, 1, 2, 127, 128, 200, 254, 255}},
  };
  for (const auto& tc : cases) {
    Writer w;
    w.ifds.push_back(pictureIfd(w, 8, 1, tc.bits, 1, tc.photometric, tc.row));
    Bytes file = w.build();
    cPictTIFF pict;
    ASSERT_TRUE(decodes(file, pict)) << tc.bits;
    std::vector<uint32_t> expected = libtiffRgba(file);
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(pict.raw8Bpp()[x], expected[x]) << tc.bits << "/" << tc.photometric << " x " << x;
  }
}

TEST(TiffColours, ComposedPixelsFollowTheirFormulas) {
  struct sCase {
    const char* name;
    std::vector<unsigned int> samples;
    int photometric;
    unsigned int pixel;
  };
  const std::vector<sCase> cases = {
      {"grey", {77}, 1, 0xFF4D4D4D},
      {"white is zero", {77}, 0, 0xFFB2B2B2},
      {"grey with alpha", {200, 100}, 1, 0x64C8C8C8},
      {"rgb", {1, 2, 3}, 2, 0xFF010203},
      {"rgba", {1, 2, 3, 4}, 2, 0x04010203},
      {"cmyk", {255, 0, 51, 51}, 5, 0xFF00CCA3},
      {"cmyk with alpha", {0, 0, 0, 0, 9}, 5, 0x09FFFFFF},
      {"lab white", {255, 0, 0}, 8, 0xFFF0FFF2},
      {"lab black", {0, 0, 0}, 8, 0xFF000000},
      {"raw order", {1, 2, 3, 4}, 65534, 0x04030201},
  };
  for (const auto& tc : cases) {
    unsigned int got = 0;
    ASSERT_TRUE(
        cPictTIFF::getColor32(tc.samples.data(), static_cast<int>(tc.samples.size()), tc.photometric, got))
        << tc.name;
    EXPECT_EQ(got, tc.pixel) << tc.name;
  }
  unsigned int s[3] = {1, 2, 3}, p;
  EXPECT_FALSE(cPictTIFF::getColor32(s, 3, 6, p));
  struct sFloat {
    unsigned long long bits;
    int width;
    float value;
  };
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<sFloat> floats = {{0x3C00, 16, 1.0f},
                                      {0xB400, 16, -0.25f},
                                      {0x0001, 16, std::ldexp(1.0f, -24)},
                                      {0xFC00, 16, -inf},
                                      {0xBF0000, 24, -1.0f},
                                      {0x000001, 24, std::ldexp(1.0f, -78)},
                                      {0x3F800000, 32, 1.0f},
                                      {0x3FE0000000000000, 64, 0.5f},
                                      {0xBFF8000000000000, 64, -1.5f},
                                      {0x7E37E43C8800759C, 64, inf},
                                      {0xFE37E43C8800759C, 64, -inf}};
  for (const auto& tc : floats) {
    float f = 0;
    EXPECT_TRUE(cPictTIFF::getFloatVal(tc.bits, tc.width, f) && f == tc.value) << std::hex << tc.bits;
  }
  float f = 0;
  EXPECT_FALSE(cPictTIFF::getFloatVal(0, 8, f));
}

TEST(TiffColours, PackBitsAndPredictor) {
  struct sPack {
    Bytes in;
    long long limit, held;
    bool ok;
    Bytes out;
  };
  const std::vector<sPack> packs = {
      {{0xFE, 0xAA}, 100, 100, true, {0xAA, 0xAA, 0xAA}},
      {{0xFE, 0xAA, 0x80, 0x01, 1, 2}, 100, 100, true, {0xAA, 0xAA, 0xAA, 1, 2}},
      {{0x03, 1, 2}, 100, 100, false, {}},
      {{0xFE, 0xAA, 0xFE, 0xBB}, 4, 4, false, {0xAA, 0xAA, 0xAA}},
      {{0x81, 0xCC}, 5, 5, false, {}},
      // Runs reaching past `limit` into the unit's padding are cut there.
      {{0xFE, 0xAA, 0xFE, 0xBB}, 4, 6, true, {0xAA, 0xAA, 0xAA, 0xBB}},
      {{0x03, 1, 2, 3, 4}, 2, 4, true, {1, 2}},
      {{0x03, 1, 2, 3, 4}, 2, 3, false, {}},
  };
  for (const auto& tc : packs) {
    _typebuf<unsigned char> in, out;
    in.set(static_cast<long long>(tc.in.size()));
    std::memcpy(in.ptr, tc.in.data(), tc.in.size());
    out.set(tc.limit);
    cPullInput whole(in.ptr, tc.in.size());
    EXPECT_EQ(cPictTIFF::makePackBitsDecompressing(whole, out, tc.limit, tc.held), tc.ok);
    EXPECT_EQ(Bytes(out.ptr, out.ptr + out.count), tc.out);
  }
  struct sPredict {
    int bits, samples, width;
    bool bigEndian;
    Bytes in, out;
  };
  auto words = [](const std::vector<uint64_t>& values, bool bigEndian) {
    Writer w;
    w.bigEndian = bigEndian;
    return w.values(values, 8);
  };
  const std::vector<sPredict> predicts = {
      {8, 3, 2, false, {10, 20, 30, 1, 2, 3}, {10, 20, 30, 11, 22, 33}},
      {16, 1, 2, false, {0xFF, 0x00, 0x02, 0x01}, {0xFF, 0x00, 0x01, 0x02}},
      {16, 1, 2, true, {0x00, 0xFF, 0x01, 0x02}, {0x00, 0xFF, 0x02, 0x01}},
      {4, 1, 4, false, {0x1F, 0x21}, {0x10, 0x23}},
      {2, 1, 4, false, {0x55}, {0x6C}},
      // 64 bits: the sum carries across bytes, and past the top it wraps.
      {64, 1, 2, false, words({0xFF, 1}, false), words({0xFF, 0x100}, false)},
      {64, 1, 2, true, words({~0ULL, 2}, true), words({~0ULL, 1}, true)},
  };
  for (const auto& tc : predicts) {
    Bytes data = tc.in;
    cPictTIFF::makeHorzUndifferencing(data.data(), static_cast<long long>(data.size()), tc.width, tc.samples,
                                      tc.bits, tc.bigEndian);
    EXPECT_EQ(data, tc.out) << tc.bits;
  }
}

TEST(TiffFax, RowsThatDoNotAddUpFailWithoutWritingOutside) {
  struct sCase {
    const char* name;
    Bytes bits;
    bool group4, twoD;
    long long width, rows;
    bool ok;
    Bytes out;
    long long columns = 0;  // kept of each row: all when 0
  };
  const std::vector<sCase> cases = {
      {"V0 rows of white", {0xFF}, true, false, 8, 8, true, Bytes(8, 0)},
      {"VL3 then black to the end", {0x05}, true, false, 8, 1, true, {0x07}},
      {"VL3 then black, six columns kept", {0x05}, true, false, 8, 1, true, {0x04}, 6},
      {"two rows of 20, black from 4, nine columns kept",
       {0xB0, 0x5E, 0xC1, 0x70},
       false,
       false,
       20,
       2,
       true,
       {0x0F, 0x80, 0x0F, 0x80},
       9},
      {"VR3 past the row", {0x04, 0x0C}, true, false, 8, 1, false, {}},
      {"pass before any change", {0x10}, true, false, 8, 1, true, {0x00}},
      {"white run longer than the row", {0xA0}, false, false, 8, 1, false, {}},
      {"white 3, black 2, white 3", {0x8E, 0x00}, false, false, 8, 1, true, {0x18}},
      {"no data", {}, false, false, 8, 1, false, {}},
      {"uncompressed: white 2, black 2, white 4", {0x03, 0xCC, 0x00, 0x80}, true, false, 8, 1, true, {0x30}},
      {"uncompressed row, then a coded row on its changes",
       {0x03, 0xCC, 0x00, 0xB8},
       true,
       false,
       8,
       2,
       true,
       {0x30, 0x30}},
      {"uncompressed: white 5, black, white 2", {0x03, 0xC1, 0x80, 0x40}, true, false, 8, 1, true, {0x04}},
      {"uncompressed, then coded black to the end", {0x03, 0xD0, 0x38}, true, false, 8, 1, true, {0x7F}},
      {"uncompressed past the row", {0x03, 0xC1, 0x04}, true, false, 8, 1, false, {}},
      {"an extension other than uncompressed", {0x03, 0x80}, true, false, 8, 1, false, {}},
  };
  for (const auto& tc : cases) {
    const long long columns = tc.columns ? tc.columns : tc.width;
    Bytes out(static_cast<size_t>((columns + 7) / 8 * tc.rows) + 4, 0xEE);
    sFax3DecodeCtx ctx{tc.bits.data(), static_cast<long long>(tc.bits.size()), false, tc.twoD, tc.group4,
                       tc.width,       tc.rows,                                columns};
    EXPECT_EQ(decodeFax(ctx, out.data()), tc.ok) << tc.name;
    if (tc.ok) {
      EXPECT_EQ(Bytes(out.begin(), out.end() - 4), tc.out) << tc.name;
    }
    EXPECT_EQ(Bytes(out.end() - 4, out.end()), Bytes(4, 0xEE)) << tc.name;
  }
}

// zlib data of `pixels`: one stream, or the rows sync-flushed and then
// finished, so that the last 6 bytes are the final block and the checksum.
Bytes zlibOf(const Bytes& pixels, bool flushed) {
  z_stream z{};
  deflateInit(&z, 9);
  Bytes out(compressBound(pixels.size()) + 64);
  z.next_in = const_cast<Bytef*>(pixels.data());
  z.avail_in = static_cast<uInt>(pixels.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (flushed) deflate(&z, Z_SYNC_FLUSH);
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// A Deflate file whose unit `damaged` carries `data` instead of its own:
// 64 x 8 grey in one strip, or 100 x 70 RGB in 32 x 32 tiles (units 8 to 11
// hang below the picture's last row). `pixels` gets each unit's rows.
Bytes deflateFile(bool tiled, int damaged, const Bytes* data, std::vector<Bytes>& pixels) {
  const int units = tiled ? 12 : 1;
  const size_t unitBytes = tiled ? 32 * 32 * 3 : 64 * 8;
  pixels.assign(size_t(units), Bytes(unitBytes));
  Writer w;
  std::vector<uint64_t> offsets, counts;
  for (int u = 0; u < units; ++u) {
    for (size_t i = 0; i < unitBytes; ++i)
      pixels[size_t(u)][i] = static_cast<uint8_t>(i * 7 + i / 64 + u * 31);
    const Bytes packed = u == damaged && data ? *data : zlibOf(pixels[size_t(u)], false);
    offsets.push_back(w.addBlob(packed));
    counts.push_back(packed.size());
  }
  if (!tiled) {
    w.ifds.push_back(pictureIfd(w, 64, 8, 8, 1, 1, {}));
    entryOf(w.ifds[0], 273) = w.longEntry(273, offsets);
    entryOf(w.ifds[0], 279) = w.longEntry(279, counts);
  } else {
    w.ifds.push_back(pictureIfd(w, 100, 70, 8, 3, 2, {}));
    std::erase_if(w.ifds[0], [](const Entry& e) { return e.tag == 273 || e.tag == 279 || e.tag == 278; });
    for (Entry e : {w.longEntry(322, {32}), w.longEntry(323, {32}), w.longEntry(324, offsets),
                    w.longEntry(325, counts)})
      w.ifds[0].push_back(e);
  }
  entryOf(w.ifds[0], 259) = w.shortEntry(259, {8});
  std::sort(w.ifds[0].begin(), w.ifds[0].end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  return w.build();
}

// Whether libtiff reads unit `unit` of the file whole.
bool libtiffReads(const Bytes& file, bool tiled, int unit, size_t bytes) {
  std::string path = scratchDir() + "/checksum.tif";
  writeFile(path, file);
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return false;
  Bytes to(bytes);
  const tmsize_t n = static_cast<tmsize_t>(bytes);
  const bool read = (tiled ? TIFFReadEncodedTile(tif, uint32_t(unit), to.data(), n)
                           : TIFFReadEncodedStrip(tif, uint32_t(unit), to.data(), n)) == n;
  TIFFClose(tif);
  return read;
}

// A Deflate unit's trailing Adler-32 is checked as libtiff checks it: a
// flipped, cut or missing checksum is damage though every row could be
// made, in tiles below the picture's last row too, and so is a stream cut
// before its final block. Unlike libtiff, a bottom tile's stream whole and
// checked need not hold the rows below the picture.
TEST(TiffHostile, DeflateChecksumsAgreeWithLibtiff) {
  struct sCase {
    const char* name;
    bool tiled;
    int unit;
    bool flushed;
    size_t flip, cut;  // the byte flipped counted from the end (0: none), bytes taken off the end
    bool decodes;
    size_t shortBy = 0;  // bytes of the unit's pixels left out of its stream
    bool libtiff = decodes;
  };
  const sCase cases[] = {
      {"sound strip", false, 0, false, 0, 0, true},
      {"last checksum byte flipped", false, 0, false, 1, 0, false},
      {"first checksum byte flipped", false, 0, false, 4, 0, false},
      {"checksum cut to one byte", false, 0, false, 0, 3, false},
      {"no checksum", false, 0, false, 0, 4, false},
      {"flushed strip", false, 0, true, 0, 0, true},
      {"flushed strip without its final block", false, 0, true, 0, 6, false},
      {"sound tiles", true, 9, false, 0, 0, true},
      {"top tile's checksum flipped", true, 1, false, 1, 0, false},
      {"bottom tile's checksum flipped", true, 9, false, 1, 0, false},
      {"bottom tile without checksum", true, 11, false, 0, 4, false},
      {"bottom tile without its final block", true, 8, true, 0, 6, false},
      {"bottom tile's stream ending in its padding rows", true, 9, false, 0, 0, true, 3, false},
      {"bottom tile's stream ending at the picture's last row", true, 10, false, 0, 0, true, 26 * 32 * 3, false},
      {"bottom tile's stream ending above the picture's last row", true, 10, false, 0, 0, false, 27 * 32 * 3, false},
  };
  for (const sCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Bytes> pixels;
    deflateFile(c.tiled, -1, nullptr, pixels);
    Bytes unit = pixels[size_t(c.unit)];
    unit.resize(unit.size() - c.shortBy);
    Bytes data = zlibOf(unit, c.flushed);
    if (c.flip) data[data.size() - c.flip] ^= 0x20;
    data.resize(data.size() - c.cut);
    Bytes file = deflateFile(c.tiled, c.unit, &data, pixels);
    cPictTIFF pict;
    EXPECT_EQ(decodes(file, pict), c.decodes);
    EXPECT_EQ(libtiffReads(file, c.tiled, c.unit, pixels[0].size()), c.libtiff);
  }
}

// One bit flipped anywhere in a bottom tile's stream either fails the
// decode or changes nothing: never wrong pixels reported as a picture.
TEST(TiffHostile, FlippedBitsInBottomTilesNeverShow) {
  std::vector<Bytes> pixels;
  Bytes sound = deflateFile(true, -1, nullptr, pixels);
  cPictTIFF reference;
  ASSERT_TRUE(decodes(sound, reference));
  const std::vector<unsigned> want(reference.raw8Bpp(), reference.raw8Bpp() + 100 * 70);
  const Bytes stream = zlibOf(pixels[10], false);
  for (size_t at = 2; at < stream.size(); ++at) {
    Bytes data = stream;
    data[at] ^= static_cast<uint8_t>(1 << (at % 8));
    cPictTIFF pict;
    if (decodes(deflateFile(true, 10, &data, pixels), pict)) {
      EXPECT_TRUE(std::equal(want.begin(), want.end(), pict.raw8Bpp())) << at;
    }
  }
}

// Counts the bytes each unit's decompression makes.
struct cCountingTIFF : cPictTIFF {
  unsigned long long made = 0;
  bool decodeStripe(_typebuf<unsigned char>& in, int compression, sDecomress& out) override {
    const bool done = cPictTIFF::decodeStripe(in, compression, out);
    made += static_cast<unsigned long long>(out.data.count);
    return done;
  }
};

// 64 x 16 grey in tiles of `width` x `length` that all point at one Deflate
// stream of `bytes`, its first 256 counting up, the rest zeros.
Bytes tilesSharingOneStream(uint64_t width, uint64_t length, size_t bytes) {
  Bytes pixels(bytes, 0);
  for (size_t i = 0; i < 256; ++i) pixels[i] = static_cast<uint8_t>(i * 3 + 7);
  Writer w;
  w.ifds.push_back(pictureIfd(w, 64, 16, 8, 1, 1, {}));
  std::erase_if(w.ifds[0], [](const Entry& e) { return e.tag == 273 || e.tag == 279 || e.tag == 278; });
  const Bytes stream = zlibOf(pixels, false);
  const uint64_t at = w.addBlob(stream);
  for (Entry e : {w.shortEntry(259, {8}), w.longEntry(322, {width}), w.longEntry(323, {length}),
                  w.longEntry(324, std::vector<uint64_t>(4, at)),
                  w.longEntry(325, std::vector<uint64_t>(4, stream.size()))})
    entryOf(w.ifds[0], e.tag) = e;
  std::sort(w.ifds[0].begin(), w.ifds[0].end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  return w.build();
}

// Tiles declared far taller than the picture, sharing one long stream,
// keep no more than the picture's rows, whatever the stream makes past
// them, and show what their rows in the picture hold, as 16 x 16 tiles of that stream's
// first rows do; tiles so wide that a row of them passes any picture are
// refused, without their size wrapping.
TEST(TiffHostile, TilesPastThePictureCostAFewTimesItsRows) {
  cPictTIFF twin;
  ASSERT_TRUE(decodes(tilesSharingOneStream(16, 16, 256), twin));
  const std::vector<unsigned> want(twin.raw8Bpp(), twin.raw8Bpp() + 64 * 16);
  for (uint64_t length : {uint64_t{1} << 24, uint64_t{0xFFFFFFFF}}) {
    SCOPED_TRACE(length);
    cCountingTIFF pict;
    ASSERT_TRUE(decodes(tilesSharingOneStream(16, length, 4 << 20), pict));
    EXPECT_LE(pict.made, 3u * 64 * 16);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), pict.raw8Bpp()));
  }
  cPictTIFF pict;
  EXPECT_FALSE(decodes(tilesSharingOneStream(0xFFFFFFFF, 0xFFFFFFFF, 256), pict));
}

// Tiled files of some 43 KB claiming 203 x 1,000,000 (and fewer rows) of
// 12-bit JPEG: refused for the tiles they lack before any pixel is made.
TEST(TiffHostile, SmallTiledFilesClaimingHugePicturesAreRefusedUnder64MB) {
  for (uint64_t rows : {1000000u, 300000u, 50000u}) {
    SCOPED_TRACE(rows);
    Writer w;
    w.ifds.push_back(pictureIfd(w, 203, 1, 12, 1, 1, {}));
    std::erase_if(w.ifds[0], [](const Entry& e) { return e.tag == 273 || e.tag == 279 || e.tag == 278; });
    std::vector<uint64_t> offsets, counts;
    for (int t = 0; t < 10; ++t) {
      offsets.push_back(w.addBlob(Bytes(4200, static_cast<uint8_t>(t))));
      counts.push_back(4200);
    }
    for (Entry e : {w.longEntry(322, {208}), w.longEntry(323, {1024}), w.longEntry(324, offsets),
                    w.longEntry(325, counts)})
      w.ifds[0].push_back(e);
    entryOf(w.ifds[0], 257) = w.longEntry(257, {rows});
    entryOf(w.ifds[0], 259) = w.shortEntry(259, {7});
    std::sort(w.ifds[0].begin(), w.ifds[0].end(),
              [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    Bytes file = w.build();
    EXPECT_LT(file.size(), 44000u);
    const unsigned long long before = pictBytesRequested();
    cPictTIFF pict;
    EXPECT_FALSE(decodes(file, pict));
    EXPECT_LT(pictBytesRequested() - before, 64ULL << 20);
  }
}

}  // namespace
