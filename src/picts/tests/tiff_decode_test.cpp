// Decoded pictures against libtiff over a matrix of tiffcp layouts made at
// test time from ImageMagick pictures.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picts/picttiff.h"
#include "picts/pixelalloc.h"
#include "picts/tests/jpeg_support.h"
#include "picts/tests/tiff_support.h"

using namespace tifftest;

namespace {

struct sSource {
  const char* name;
  std::vector<std::string> convert;  // arguments between "convert" and the output
  int samples;
  bool premultiplied;  // libtiff's RGBA image multiplies by alpha
};

const std::vector<sSource>& sources() {
  static const std::vector<sSource> list = {
      {"grey1", {"-size", "37x23", "pattern:checkerboard", "-monochrome", "-depth", "1"}, 1, false},
      {"grey2", {"-size", "37x23", "gradient:", "-colorspace", "gray", "-depth", "2"}, 1, false},
      {"grey4", {"-size", "37x23", "gradient:", "-colorspace", "gray", "-depth", "4"}, 1, false},
      {"grey8", {"-size", "37x23", "plasma:fractal", "-colorspace", "gray", "-depth", "8"}, 1, false},
      {"grey16", {"-size", "37x23", "gradient:", "-colorspace", "gray", "-depth", "16"}, 1, false},
      {"palette", {"-size", "37x23", "plasma:fractal", "-colors", "20", "-type", "palette"}, 1, false},
      {"rgb", {"-size", "37x23", "plasma:fractal", "-depth", "8"}, 3, false},
      {"rgb16", {"-size", "37x23", "gradient:red-blue", "-depth", "16"}, 3, false},
      {"rgba", {"-size", "37x23", "gradient:red-none", "-depth", "8"}, 4, true},
      // Stored premultiplied, which libtiff's reader passes on as it is.
      {"rgba_associated",
       {"-size", "37x23", "gradient:red-none", "-depth", "8", "-define", "tiff:alpha=associated"},
       4,
       true},
      {"cmyk", {"-size", "37x23", "plasma:fractal", "-colorspace", "cmyk", "-depth", "8"}, 4, false},
  };
  return list;
}

const std::vector<std::vector<std::string>>& layouts() {
  static const std::vector<std::vector<std::string>> list = {{"-r", "1"},
                                                             {"-r", "7"},
                                                             {"-r", "1000"},
                                                             {"-t", "-w", "16", "-l", "16"},
                                                             {"-p", "separate", "-r", "7"},
                                                             {"-t", "-w", "16", "-l", "16", "-p", "separate"},
                                                             {"-B", "-r", "7"},
                                                             {"-8", "-r", "7"}};
  return list;
}

const std::vector<std::string>& compressions() {
  static const std::vector<std::string> list = {"none", "lzw", "lzw:2", "zip", "zip:2", "packbits"};
  return list;
}

// libtiff's picture as 0xAARRGGBB words, top row first.
bool libtiffPixels(const std::string& path, std::vector<uint32_t>& out, uint32_t& w, uint32_t& h) {
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return false;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  out.assign(static_cast<size_t>(w) * h, 0);
  bool ok = TIFFReadRGBAImageOriented(tif, w, h, out.data(), ORIENTATION_TOPLEFT, 0);
  TIFFClose(tif);
  for (uint32_t& p : out) p = (p & 0xFF00FF00) | (p & 0xFF) << 16 | (p >> 16 & 0xFF);
  return ok;
}

uint32_t channel(uint32_t p, int c) { return p >> (8 * c) & 0xFF; }

// Our pixel as libtiff's RGBA reader gives it: 8 bits, alpha multiplied in when libtiff does.
uint32_t asLibtiff(cPictTIFF& pict, long long x, long long y, bool premultiplied) {
  long long at = (pict.height() - 1 - y) * pict.width() + x;
  uint32_t p;
  if (pict.is16Bpp()) {
    uint64_t q = pict.raw16Bpp()[at];
    p = 0;
    for (int c = 0; c < 4; ++c)
      p |= static_cast<uint32_t>(((q >> (16 * c) & 0xFFFF) * 255 + 32767) / 65535) << (8 * c);
  } else {
    p = pict.raw8Bpp()[at];
  }
  if (!premultiplied) return p;
  uint32_t a = channel(p, 3), out = a << 24;
  for (int c = 0; c < 3; ++c) out |= ((channel(p, c) * a + 127) / 255) << (8 * c);
  return out;
}

TEST(TiffDecode, TiffcpMatrixMatchesLibtiff) {
  std::string dir = scratchDir();
  int checked = 0;
  for (const sSource& src : sources()) {
    std::string base = dir + "/" + src.name + ".tif";
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), src.convert.begin(), src.convert.end());
    args.push_back(base);
    ASSERT_TRUE(run(args)) << src.name;
    // libtiff's RGBA reader misplaces the partial tiles at the right edge, so
    // the reference is libtiff's reading of the same pixels in one plain strip.
    std::string reference = dir + "/ref_" + src.name + ".tif";
    ASSERT_TRUE(run({"tiffcp", "-c", "none", "-r", "100000", base, reference}));
    std::vector<uint32_t> expected;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(libtiffPixels(reference, expected, w, h)) << reference;
    for (const std::string& comp : compressions())
      for (size_t l = 0; l < layouts().size(); ++l) {
        std::string name = src.name;
        // tiffcp separates 8-bit planes only, and predicts whole-byte samples only.
        if ((src.samples == 1 || name == "rgb16") && l >= 4 && l <= 5) continue;
        bool subByte = name == "grey1" || name == "grey2" || name == "grey4";
        if (subByte && comp.find(":2") != std::string::npos) continue;
        std::string path = dir + "/m_" + src.name + "_" + comp + "_" + std::to_string(l) + ".tif";
        std::vector<std::string> options = {"-c", comp};
        options.insert(options.end(), layouts()[l].begin(), layouts()[l].end());
        ASSERT_TRUE(tiffcp(options, base, path)) << path;
        Bytes file = readFile(path);
        cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
        cPictTIFF pict;
        ASSERT_TRUE(pict.decode(&io)) << path;
        ASSERT_EQ(pict.width(), w);
        ASSERT_EQ(pict.height(), h);
        int worst = 0;
        for (uint32_t y = 0; y < h; ++y)
          for (uint32_t x = 0; x < w; ++x) {
            uint32_t ours = asLibtiff(pict, x, y, src.premultiplied), theirs = expected[y * w + x];
            for (int c = 0; c < 4; ++c)
              worst = std::max(
                  worst, std::abs(static_cast<int>(channel(ours, c)) - static_cast<int>(channel(theirs, c))));
          }
        // 16-bit samples and the ink formula round where libtiff truncates.
        bool exact = !pict.is16Bpp() && std::string(src.name) != "cmyk" && !src.premultiplied;
        EXPECT_LE(worst, exact ? 0 : 1) << path;
        ++checked;
      }
  }
  EXPECT_EQ(checked, 408);
}

// Associated alpha comes out straight, as ImageMagick reads it: chunky and
// planar, 8 and 16 bits, and without colour where nothing shows.
TEST(TiffDecode, AssociatedAlphaIsDividedOut) {
  std::string dir = scratchDir(), base = dir + "/assoc_src.tif";
  const std::vector<std::vector<std::string>> cases = {
      {"-depth", "8"}, {"-depth", "8", "-interlace", "plane"}, {"-depth", "16"}};
  for (size_t i = 0; i < cases.size(); ++i) {
    std::string path = dir + "/assoc" + std::to_string(i) + ".tif", straight = path + ".rgba";
    std::vector<std::string> make = {"convert", "-size", "37x23", "plasma:fractal", "(", "-size", "37x23",
                                     "gradient:", ")", "-alpha", "off", "-compose", "CopyOpacity", "-composite"};
    make.insert(make.end(), cases[i].begin(), cases[i].end());
    make.insert(make.end(), {"-define", "tiff:alpha=associated", path});
    ASSERT_TRUE(run(make)) << path;
    ASSERT_TRUE(run({"convert", path, "-depth", "8", "rgba:" + straight}));
    Bytes expected = readFile(straight), file = readFile(path);
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cPictTIFF pict;
    ASSERT_TRUE(pict.decode(&io)) << path;
    ASSERT_EQ(expected.size(), static_cast<size_t>(pict.width() * pict.height() * 4)) << path;
    int worst = 0, clear = 0;
    for (uint32_t y = 0; y < pict.height(); ++y)
      for (uint32_t x = 0; x < pict.width(); ++x) {
        uint32_t ours = asLibtiff(pict, x, y, false);
        const uint8_t* theirs = &expected[(y * pict.width() + x) * 4];
        if (channel(ours, 3) == 0) {
          clear += 1;
          EXPECT_EQ(ours, 0u) << path << " at " << x << "," << y;
          continue;
        }
        for (int c = 0; c < 4; ++c)
          worst = std::max(worst, std::abs(static_cast<int>(channel(ours, c)) - theirs[c == 3 ? 3 : 2 - c]));
      }
    EXPECT_GT(clear, 0) << path;
    EXPECT_LE(worst, 1) << path;
  }
}

// Our decoding of `path` and tiff2rgba's, top row first; false when either
// fails or their sizes differ.
bool decodedWithTiff2rgba(const std::string& path, cPictTIFF& pict, std::vector<uint32_t>& expected) {
  std::string reference = path + ".rgba.tif";
  uint32_t w = 0, h = 0;
  if (!run({"tiff2rgba", "-c", "none", path, reference}) || !libtiffPixels(reference, expected, w, h))
    return false;
  Bytes file = readFile(path);
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  return pict.decode(&io) && pict.width() == w && pict.height() == h;
}

// The mean distance per channel (blue, green, red, alpha) of our decoding
// from tiff2rgba's; -1 in each when either fails.
std::vector<double> meanDistancesFromTiff2rgba(const std::string& path, bool premultiplied) {
  cPictTIFF pict;
  std::vector<uint32_t> expected;
  std::vector<double> mean(4, -1);
  if (!decodedWithTiff2rgba(path, pict, expected)) return mean;
  const long long w = pict.width(), h = pict.height();
  mean.assign(4, 0);
  for (long long y = 0; y < h; ++y)
    for (long long x = 0; x < w; ++x)
      for (int c = 0; c < 4; ++c)
        mean[c] += std::abs(static_cast<int>(channel(asLibtiff(pict, x, y, premultiplied), c)) -
                            static_cast<int>(channel(expected[y * w + x], c))) /
                   static_cast<double>(w * h);
  return mean;
}

// CMYK strips too come through the JPEG decoder's colour conversion.
TEST(TiffDecode, JpegStripsAndTilesAreCloseToLibtiff) {
  std::string dir = scratchDir(), base = dir + "/jpeg_src.tif", cmyk = dir + "/jpeg_cmyk_src.tif";
  ASSERT_TRUE(run({"convert", "rose:", "-depth", "8", base}));
  ASSERT_TRUE(run({"convert", "rose:", "-colorspace", "cmyk", "-depth", "8", cmyk}));
  const std::vector<std::vector<std::string>> options = {{"-c", "jpeg", "-r", "16"},
                                                         {"-c", "jpeg:r", "-r", "16"},
                                                         {"-c", "jpeg", "-t", "-w", "16", "-l", "16"},
                                                         {"-c", "jpeg", "-r", "16", "-B"},
                                                         {"-c", "jpeg", "-r", "16", "cmyk"}};
  for (size_t i = 0; i < options.size(); ++i) {
    std::string path = dir + "/jpeg" + std::to_string(i) + ".tif";
    std::vector<std::string> layout = options[i];
    bool inks = layout.back() == "cmyk";
    if (inks) layout.pop_back();
    ASSERT_TRUE(tiffcp(layout, inks ? cmyk : base, path));
    const std::vector<double> mean = meanDistancesFromTiff2rgba(path, false);
    ASSERT_GE(mean[0], 0) << path;
    // Our JPEG picture replicates subsampled chroma where libtiff's libjpeg
    // interpolates it, which costs up to 3 levels on average over a photograph
    // (RGB strips, without subsampling, stay below 1.5); a wrong colour
    // conversion or misplaced strip costs tens.
    EXPECT_LT((mean[0] + mean[1] + mean[2]) / 3, options[i][1] == "jpeg:r" ? 1.5 : 3.0) << path;
  }
}

// RGBA pictures in JPEG strips and tiles keep their alpha, unassociated or
// associated, as tiff2rgba shows them.
TEST(TiffDecode, JpegStripsWithAlphaMatchTiff2rgba) {
  const std::string dir = scratchDir();
  const std::vector<std::string> rgba = {
      "convert", "-size", "37x23",    "plasma:fractal", "(",          "-size",  "37x23", "gradient:", ")",
      "-alpha",  "off",   "-compose", "CopyOpacity",    "-composite", "-depth", "8",     "-compress", "jpeg"};
  const struct {
    const char* name;
    std::vector<std::string> define, layout;  // layout: tiffcp options, none to keep the strips
  } cases[] = {{"strips", {}, {}},
               {"associated", {"-define", "tiff:alpha=associated"}, {}},
               {"tiles", {}, {"-c", "jpeg:r", "-t", "-w", "16", "-l", "16"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir + "/jpeg_alpha_" + c.name + ".tif";
    std::vector<std::string> make = rgba;
    make.insert(make.end(), c.define.begin(), c.define.end());
    make.push_back(c.layout.empty() ? path : path + ".src.tif");
    ASSERT_TRUE(run(make));
    if (!c.layout.empty()) {
      ASSERT_TRUE(tiffcp(c.layout, path + ".src.tif", path));
    }
    const std::vector<double> mean = meanDistancesFromTiff2rgba(path, true);
    // Both read the same samples; the inverse transforms differ by a level here and there.
    for (int ch = 0; ch < 4; ++ch) EXPECT_LT(mean[ch], 1.0) << "channel " << ch;
  }
}

// Floating-point samples of 32 and 64 bits, grey and RGB, in every
// compression, with and without predictor 2, strips and tiles, either byte
// order, as ImageMagick reads them: 16-bit levels one apart at most, as we
// truncate where it rounds.
TEST(TiffDecode, FloatSamplesMatchImageMagick) {
  const std::string dir = scratchDir();
  const std::vector<std::vector<std::string>> layouts = {
      {"-c", "none"},        {"-c", "lzw:1"},     {"-c", "zip:1"},
      {"-c", "zip:2"},       {"-c", "packbits"},  {"-c", "lzw:2", "-t", "-w", "16", "-l", "16"},
      {"-c", "zip:2", "-B"}, {"-c", "none", "-B"}};
  int checked = 0;
  for (const char* depth : {"32", "64"})
    for (const char* colours : {"gray", "sRGB"}) {
      const std::string base = dir + "/float" + depth + colours + ".tif";
      ASSERT_TRUE(run({"convert", "-size", "37x23", "plasma:fractal", "-colorspace", colours, "-define",
                       "quantum:format=floating-point", "-depth", depth, "-compress", "zip", base}));
      for (size_t l = 0; l < layouts.size(); ++l) {
        const std::string path = base + std::to_string(l) + ".tif", reference = path + ".rgb";
        SCOPED_TRACE(path);
        ASSERT_TRUE(tiffcp(layouts[l], base, path));
        ASSERT_TRUE(run({"convert", path, "-depth", "16", "-endian", "MSB", "rgb:" + reference}));
        const Bytes expected = readFile(reference), file = readFile(path);
        cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
        cPictTIFF pict;
        ASSERT_TRUE(pict.decode(&io));
        ASSERT_TRUE(pict.is16Bpp());
        ASSERT_EQ(expected.size(), static_cast<size_t>(pict.width() * pict.height() * 6));
        int worst = 0;
        for (long long y = 0; y < pict.height(); ++y)
          for (long long x = 0; x < pict.width(); ++x) {
            const uint64_t ours = pict.raw16Bpp()[(pict.height() - 1 - y) * pict.width() + x];
            const uint8_t* theirs = &expected[static_cast<size_t>(y * pict.width() + x) * 6];
            for (int c = 0; c < 3; ++c)
              worst = std::max(worst, std::abs(static_cast<int>(ours >> (16 * (2 - c)) & 0xFFFF) -
                                               (theirs[2 * c] << 8 | theirs[2 * c + 1])));
          }
        EXPECT_LE(worst, 1);
        ++checked;
      }
    }
  EXPECT_EQ(checked, 32);
}

// Half and 24-bit floats of every kind (signs, zeros, subnormals, values
// past 1, infinities, NaN), grey and RGB, chunky and plane by plane, as
// ImageMagick reads them; tiffcp adds the horizontal predictor (libtiff has
// it for 16-bit samples only). A positive 24-bit NaN is left out: ImageMagick
// reads that width's top exponent as a number, white, where NaN shows black
// at every width here.
TEST(TiffDecode, NarrowFloatSamplesMatchImageMagick) {
  const struct {
    int bits;
    std::vector<uint64_t> values;
  } widths[] = {
      {16, {0x3C00, 0x3800, 0x3400, 0xB400, 0xBC00, 0x8000, 0x0000, 0x0001, 0x03FF, 0x0400, 0x1E00, 0x2E66,
            0x3BFF, 0x4000, 0x7C00, 0xFC00, 0x7E00, 0xFE00, 0x7BFF, 0x8001}},
      {24, {0x3F0000, 0x3E0000, 0x3D0000, 0xBD0000, 0xBF0000, 0x800000, 0x000000, 0x000001, 0x00FFFF, 0x010000,
            0x3C8000, 0x3DCCCD, 0x3EFFFF, 0x400000, 0x7F0000, 0xFF0000, 0xFF8000, 0x7EFFFF, 0x800001}},
  };
  const struct {
    int samples;
    bool planar;
    const char* compression;
  } layouts[] = {
      {1, false, "none"}, {1, false, "zip:2"}, {3, false, "none"},
      {3, true, "none"},  {3, false, "zip:2"}, {3, true, "zip:2"},
  };
  int checked = 0;
  for (const auto& c : widths)
    for (const auto& l : layouts) {
      const bool predicted = std::string(l.compression) != "none";
      if (predicted && c.bits != 16) continue;
      SCOPED_TRACE(testing::Message() << c.bits << " bits, " << l.samples << " samples, planar " << l.planar
                                      << ", " << l.compression);
      const uint32_t w = uint32_t(c.values.size());
      // Each sample of a pixel takes another value, so every value sits in every channel.
      const auto value = [&](uint32_t x, int sample) { return c.values[(x + uint32_t(sample) * 7) % w]; };
      Writer writer;
      Bytes pixels;
      if (l.planar)
        for (int s = 0; s < l.samples; ++s)
          for (uint32_t x = 0; x < w; ++x) writer.put(pixels, value(x, s), c.bits / 8);
      else
        for (uint32_t x = 0; x < w; ++x)
          for (int s = 0; s < l.samples; ++s) writer.put(pixels, value(x, s), c.bits / 8);
      const uint64_t at = writer.headerSize() + writer.blobs.size(), plane = w * uint64_t(c.bits / 8);
      auto ifd = pictureIfd(writer, w, 1, c.bits, l.samples, l.samples == 1 ? 1 : 2, pixels);
      if (l.planar) {
        ifd[5] = writer.longEntry(273, {at, at + plane, at + 2 * plane});
        ifd[8] = writer.longEntry(279, {plane, plane, plane});
        ifd.push_back(writer.shortEntry(284, {2}));
      }
      ifd.push_back(writer.shortEntry(339, std::vector<uint64_t>(size_t(l.samples), 3)));
      writer.ifds.push_back(ifd);
      const std::string base = scratchDir() + "/narrow_float.tif", path = base + ".laid.tif",
                        reference = path + ".ref";
      writeFile(base, writer.build());
      ASSERT_TRUE(tiffcp({"-c", l.compression}, base, path));
      ASSERT_TRUE(run({"convert", path, "-depth", "16", "-endian", "MSB",
                       (l.samples == 1 ? "gray:" : "rgb:") + reference}));
      const Bytes expected = readFile(reference), file = readFile(path);
      ASSERT_EQ(expected.size(), size_t(w) * 2 * size_t(l.samples));
      cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
      cPictTIFF pict;
      ASSERT_TRUE(pict.decode(&io));
      ASSERT_TRUE(pict.is16Bpp());
      for (uint32_t x = 0; x < w; ++x)
        for (int s = 0; s < 3; ++s) {
          // Red, green and blue sit at fields 2, 1 and 0; grey fills all three.
          const int ours = int(pict.raw16Bpp()[x] >> (16 * (2 - s)) & 0xFFFF), sample = l.samples == 1 ? 0 : s;
          const size_t at = 2 * (size_t(x) * size_t(l.samples) + size_t(sample));
          const int theirs = expected[at] << 8 | expected[at + 1];
          EXPECT_LE(std::abs(ours - theirs), 1) << std::hex << value(x, sample);
        }
      ++checked;
    }
  EXPECT_EQ(checked, 9);
}

// 12-bit data (here lossless, so exact) give 16-bit samples, RGB and RGB
// with unassociated alpha.
TEST(TiffDecode, JpegStripsOfTwelveBitDataGiveSixteenBitSamples) {
  for (unsigned comps : {3u, 4u}) {
    SCOPED_TRACE(comps);
    jpegtest::Lossless im;
    im.width = 9;
    im.height = 5;
    im.comps = comps;
    im.precision = 12;
    for (unsigned i = 0; i < im.width * im.height * comps; ++i) im.samples.push_back(uint16_t(i * 97 % 4096));
    Writer writer;
    auto ifd = pictureIfd(writer, im.width, im.height, 12, int(comps), 2, jpegtest::writeLossless(im));
    ifd[3] = writer.shortEntry(259, {7});
    if (comps == 4) ifd.push_back(writer.shortEntry(338, {2}));
    writer.ifds.push_back(ifd);
    Bytes twelve = writer.build();
    cBufWrapperIO io12(twelve.data(), static_cast<long long>(twelve.size()), false);
    cPictTIFF deep;
    ASSERT_TRUE(deep.decode(&io12));
    ASSERT_TRUE(deep.is16Bpp());
    long long wrong = 0;
    for (unsigned y = 0; y < im.height; ++y)
      for (unsigned x = 0; x < im.width; ++x)
        for (unsigned c = 0; c < comps; ++c) {
          // Red, green, blue and alpha sit at fields 2, 1, 0 and 3.
          const int field = c == 3 ? 3 : 2 - int(c);
          uint64_t got = deep.raw16Bpp()[(im.height - 1 - y) * im.width + x] >> (16 * field) & 0xFFFF;
          wrong += got >> 4 != im.samples[(y * im.width + x) * comps + c];
        }
    EXPECT_EQ(wrong, 0);
  }
}

// Pixels of our decoding of `path` unlike tiff2rgba's; -1 when either fails.
long long mismatchesWithTiff2rgba(const std::string& path) {
  cPictTIFF pict;
  std::vector<uint32_t> expected;
  if (!decodedWithTiff2rgba(path, pict, expected)) return -1;
  const long long w = pict.width(), h = pict.height();
  long long mismatched = 0;
  for (long long y = 0; y < h; ++y)
    for (long long x = 0; x < w; ++x) mismatched += asLibtiff(pict, x, y, false) != expected[y * w + x];
  return mismatched;
}

// zlib data of `data`; level 0 stores it.
Bytes zlibOf(const Bytes& data, int level = 6) {
  Bytes z(compressBound(uLong(data.size())));
  uLongf size = uLongf(z.size());
  compress2(z.data(), &size, data.data(), uLong(data.size()), level);
  z.resize(size);
  return z;
}

// The file of a w x h grey picture whose units `writer` holds at `offsets`:
// tiles of unitW x unitH, or strips of unitH rows.
Bytes greyUnitsFile(Writer& writer, uint32_t w, uint32_t h, uint64_t compression, bool tiled, uint64_t unitW,
                    uint64_t unitH, const std::vector<uint64_t>& offsets, const std::vector<uint64_t>& counts) {
  std::vector<Entry> ifd = {writer.longEntry(256, {w}),  writer.longEntry(257, {h}),
                            writer.shortEntry(258, {8}), writer.shortEntry(259, {compression}),
                            writer.shortEntry(262, {1}), writer.shortEntry(277, {1})};
  const std::vector<Entry> units =
      tiled ? std::vector<Entry>{writer.longEntry(322, {unitW}), writer.longEntry(323, {unitH}),
                                 writer.longEntry(324, offsets), writer.longEntry(325, counts)}
            : std::vector<Entry>{writer.longEntry(273, offsets), writer.longEntry(278, {unitH}),
                                 writer.longEntry(279, counts)};
  ifd.insert(ifd.end(), units.begin(), units.end());
  std::sort(ifd.begin(), ifd.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  writer.ifds.push_back(ifd);
  return writer.build();
}

// A grey picture of some 100,000 units, 16 x 16 tiles or one-row strips,
// stored or deflated, whose samples follow the unit they lie in, so that a
// misplaced unit shows; `lastAt`, when given, is where the last unit is said to lie.
Bytes manyUnitFile(bool tiled, bool deflated, int64_t lastAt = -1) {
  const uint32_t w = tiled ? 5120 : 160, h = tiled ? 5008 : 120000, unitW = tiled ? 16 : w,
                 unitH = tiled ? 16 : 1;
  Writer writer;
  std::vector<uint64_t> offsets, counts;
  for (uint32_t y = 0; y < h; y += unitH)
    for (uint32_t x = 0; x < w; x += unitW) {
      Bytes unit(size_t(unitW) * unitH);
      for (size_t i = 0; i < unit.size(); ++i) unit[i] = uint8_t(x / unitW * 7 + y / unitH * 13 + i);
      if (deflated) unit = zlibOf(unit);
      offsets.push_back(writer.addBlob(unit));
      counts.push_back(unit.size());
    }
  if (lastAt >= 0) offsets.back() = uint64_t(lastAt);
  return greyUnitsFile(writer, w, h, deflated ? 8 : 1, tiled, unitW, unitH, offsets, counts);
}

// Files of some 100,000 tiles or strips decode as libtiff decodes them; the
// same files with their last unit past the end are refused before their
// picture is made, not once every other unit has been decoded into it.
TEST(TiffDecode, ManyUnitFilesDecodeAsLibtiffOrAreRefusedBeforeThePicture) {
  const struct {
    const char* name;
    bool tiled, deflated;
  } cases[] = {{"16 x 16 tiles", true, false},
               {"16 x 16 Deflate tiles", true, true},
               {"one-row strips", false, false},
               {"one-row Deflate strips", false, true}};
  const std::string path = scratchDir() + "/many_units.tif";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(path, manyUnitFile(c.tiled, c.deflated));
    EXPECT_EQ(mismatchesWithTiff2rgba(path), 0);
    std::remove(path.c_str());
    std::remove((path + ".rgba.tif").c_str());
    Bytes cut = manyUnitFile(c.tiled, c.deflated, 0xFFFFFF00);
    cBufWrapperIO io(cut.data(), static_cast<long long>(cut.size()), false);
    const unsigned long long before = pictBytesRequested();
    cPictTIFF pict;
    EXPECT_FALSE(pict.decode(&io));
    EXPECT_LT(pictBytesRequested() - before, 64ULL << 20);
  }
}

struct sNamedFile {
  const char* name;
  Bytes file;
};

// Each file decodes as tiff2rgba decodes it.
void expectEachAsTiff2rgba(const std::vector<sNamedFile>& files) {
  const std::string path = scratchDir() + "/as_tiff2rgba.tif";
  for (const sNamedFile& f : files) {
    SCOPED_TRACE(f.name);
    writeFile(path, f.file);
    EXPECT_EQ(mismatchesWithTiff2rgba(path), 0);
    std::remove(path.c_str());
    std::remove((path + ".rgba.tif").c_str());
  }
}

// A w x h grey picture in one-row strips, Deflate or stored, each strip's
// count running on to the end of all strips' data, as some writers count.
Bytes stripsCountedToTheEnd(uint32_t w, uint32_t h, bool deflated) {
  Writer writer;
  std::vector<uint64_t> offsets;
  for (uint32_t y = 0; y < h; ++y) {
    Bytes row(w);
    for (uint32_t x = 0; x < w; ++x) row[x] = uint8_t(x * 3 + y * 7 + x * y % 13);
    offsets.push_back(writer.addBlob(deflated ? zlibOf(row) : row));
  }
  const uint64_t end = writer.headerSize() + writer.blobs.size();
  std::vector<uint64_t> counts;
  for (uint64_t at : offsets) counts.push_back(end - at);
  return greyUnitsFile(writer, w, h, deflated ? 8 : 1, false, w, 1, offsets, counts);
}

// A w x h grey picture in stored side x side tiles all at one tile's data.
Bytes tilesSharingOneTile(uint32_t w, uint32_t h, uint32_t side) {
  Bytes tile(size_t(side) * side);
  for (size_t i = 0; i < tile.size(); ++i) tile[i] = uint8_t(i * 7 + i / side * 3);
  Writer writer;
  const uint64_t at = writer.addBlob(tile);
  const size_t tiles = size_t(w + side - 1) / side * ((h + side - 1) / side);
  return greyUnitsFile(writer, w, h, 1, true, side, side, std::vector<uint64_t>(tiles, at),
                       std::vector<uint64_t>(tiles, tile.size()));
}

// 50 x 40 grey in one stored strip whose count runs past the file's end.
Bytes stripCountedPastTheFile() {
  const uint32_t w = 50, h = 40;
  Bytes pixels(size_t(w) * h);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 5 + i / w);
  Writer writer;
  const uint64_t at = writer.addBlob(pixels);
  return greyUnitsFile(writer, w, h, 1, false, w, h, {at}, {pixels.size() * 1000});
}

// Units whose declared byte counts overlap, share their data or run past the
// file cost only what their decoders read, and show as libtiff shows them.
TEST(TiffDecode, UnitsCountedPastTheirDataDecodeAsTiff2rgba) {
  expectEachAsTiff2rgba(
      {{"1000 one-row Deflate strips counted to the end", stripsCountedToTheEnd(1000, 1000, true)},
       {"1000 one-row stored strips counted to the end", stripsCountedToTheEnd(1000, 1000, false)},
       {"three 4096 x 4096 stored tiles at one tile's data", tilesSharingOneTile(3 * 4096, 16, 4096)},
       {"three 16 x 16 stored tiles at one tile's data, the file smaller than the picture",
        tilesSharingOneTile(37, 16, 16)},
       {"four 512 x 512 stored tiles at one tile's data, the file smaller than the picture",
        tilesSharingOneTile(1000, 1000, 512)},
       {"a stored strip counted past the file", stripCountedPastTheFile()}});
}

// 40 x 30 grey in Deflate strips of 8 rows whose streams hold `extra` rows
// more than their strip, as some writers make them; `flip` spoils the last
// checksum byte of every stream.
Bytes longDeflateStrips(uint32_t extra, bool flip) {
  const uint32_t w = 40, h = 30, rows = 8;
  Writer writer;
  std::vector<uint64_t> offsets, counts;
  for (uint32_t y = 0; y < h; y += rows) {
    Bytes unit(size_t(w) * (std::min(rows, h - y) + extra));
    for (size_t i = 0; i < unit.size(); ++i) unit[i] = uint8_t(y * 5 + i * 3 + i / w);
    Bytes z(compressBound(uLong(unit.size())));
    uLongf size = uLongf(z.size());
    compress2(z.data(), &size, unit.data(), uLong(unit.size()), 6);
    z.resize(size);
    if (flip) z.back() ^= 1;
    offsets.push_back(writer.addBlob(z));
    counts.push_back(z.size());
  }
  writer.ifds.push_back({writer.longEntry(256, {w}), writer.longEntry(257, {h}), writer.shortEntry(258, {8}),
                         writer.shortEntry(259, {8}), writer.shortEntry(262, {1}), writer.longEntry(273, offsets),
                         writer.shortEntry(277, {1}), writer.longEntry(278, {rows}),
                         writer.longEntry(279, counts)});
  return writer.build();
}

// 40 x 100 grey in one-row Deflate strips that all point at one stream of
// 16 MiB of zeros.
Bytes sharedStreamStrips() {
  const uint32_t w = 40, h = 100;
  const Bytes zeros(16 << 20, 0);
  Bytes z(compressBound(uLong(zeros.size())));
  uLongf size = uLongf(z.size());
  compress2(z.data(), &size, zeros.data(), uLong(zeros.size()), 9);
  z.resize(size);
  Writer writer;
  const uint64_t at = writer.addBlob(z);
  writer.ifds.push_back({writer.longEntry(256, {w}), writer.longEntry(257, {h}), writer.shortEntry(258, {8}),
                         writer.shortEntry(259, {8}), writer.shortEntry(262, {1}),
                         writer.longEntry(273, std::vector<uint64_t>(h, at)), writer.shortEntry(277, {1}),
                         writer.longEntry(278, {1}), writer.longEntry(279, std::vector<uint64_t>(h, z.size()))});
  return writer.build();
}

// Such strips decode as libtiff reads them once their whole stream is
// inflated and checked, however far past the strip's rows it runs; a spoilt
// checksum past them is damage. Strips sharing one long stream check it
// once; past the picture's share of such rows the rest is padding, not
// read, as libtiff, which stops at the strip's rows, reads it.
TEST(TiffDecode, DeflateStripsHoldingMoreRowsThanTheStrip) {
  const struct {
    const char* name;
    Bytes file;
    bool decodes;
  } cases[] = {{"exact", longDeflateStrips(0, false), true},
               {"a row more", longDeflateStrips(1, false), true},
               {"nine rows more", longDeflateStrips(9, false), true},
               {"sixteen rows more", longDeflateStrips(16, false), true},
               {"seventeen rows more", longDeflateStrips(17, false), true},
               {"a hundred rows more", longDeflateStrips(100, false), true},
               {"a row more, checksum spoilt", longDeflateStrips(1, true), false},
               {"a hundred rows more, checksum spoilt", longDeflateStrips(100, true), false},
               {"strips sharing one long stream", sharedStreamStrips(), true}};
  const std::string path = scratchDir() + "/long_strips.tif";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes& file = c.file;
    cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
    cPictTIFF pict;
    ASSERT_EQ(pict.decode(&io), c.decodes);
    if (!c.decodes) continue;
    writeFile(path, file);
    EXPECT_EQ(mismatchesWithTiff2rgba(path), 0);
    std::remove(path.c_str());
    std::remove((path + ".rgba.tif").c_str());
  }
}

// A picture in one Deflate strip whose stream holds more rows than the
// picture: with one byte of its first row changed after its checksum was
// made it is damage whatever RowsPerStrip claims (absent, the picture's
// rows, more, the stream's, 2^32-1); sound, it decodes as libtiff reads its
// rows, however few rows RowsPerStrip gives the strip.
TEST(TiffDecode, ADamagedDeflateStripIsDamageWhateverItsRowsPerStrip) {
  const struct {
    uint32_t w, h, held;
    int level;
    size_t changedAt;
    std::vector<uint64_t> rowsPerStrip;  // 0: absent
  } cases[] = {{20, 4, 16, 6, 13, {0, 4, 16, 0xFFFFFFFF}},
               {37, 16, 640, 0, 1, {0, 16, 21, 640, 1000, 0xFFFFFFFF}},
               // Some 10 MiB of rows past the picture's, within what any
               // picture's streams may make past their rows.
               {37, 16, 283000, 6, 1, {0, 16, 21, 1000, 0xFFFFFFFF}}};
  const std::string path = scratchDir() + "/damaged_strip.tif";
  for (const auto& c : cases) {
    Bytes rows(size_t(c.w) * c.held);
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(100 + i * 7 % 50);
    const Bytes sound = zlibOf(rows, c.level);
    Bytes changed = rows;
    ++changed[c.changedAt];
    // The changed rows under the sound rows' checksum.
    Bytes damagedStream = zlibOf(changed, c.level);
    std::copy(sound.end() - 4, sound.end(), damagedStream.end() - 4);
    for (uint64_t rowsPerStrip : c.rowsPerStrip)
      for (bool damaged : {false, true}) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + " holding " +
                     std::to_string(c.held) + ", RowsPerStrip " + std::to_string(rowsPerStrip) +
                     (damaged ? ", damaged" : ", sound"));
        const Bytes& z = damaged ? damagedStream : sound;
        Writer writer;
        const uint64_t at = writer.addBlob(z);
        Bytes file = greyUnitsFile(writer, c.w, c.h, 8, false, rowsPerStrip, rowsPerStrip, {at}, {z.size()});
        if (!rowsPerStrip) {
          std::erase_if(writer.ifds[0], [](const Entry& e) { return e.tag == 278; });
          file = writer.build();
        }
        cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
        cPictTIFF pict;
        const bool decoded = pict.decode(&io);
        EXPECT_EQ(decoded, !damaged);
        if (damaged || !decoded) continue;
        // libtiff's scanlines, as tiffcp copies them: its strip and RGBA
        // readers stop short of such a strip's rows.
        writeFile(path, file);
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        ASSERT_TRUE(tif);
        Bytes theirs(size_t(c.w) * c.h);
        for (uint32_t y = 0; y < c.h; ++y) EXPECT_EQ(TIFFReadScanline(tif, theirs.data() + y * c.w, y, 0), 1);
        TIFFClose(tif);
        EXPECT_TRUE(std::equal(theirs.begin(), theirs.end(), rows.begin()));
        for (size_t i = 0; i < theirs.size(); ++i)
          EXPECT_EQ(pict.raw8Bpp()[(c.h - 1 - i / c.w) * c.w + i % c.w] & 0xFF, theirs[i]) << i;
      }
  }
}

// A memory file that counts the bytes read from it, and the reads; it may
// say it is a file, whose reads are system calls.
struct sCountingIO : cBufWrapperIO {
  using cBufWrapperIO::cBufWrapperIO;
  unsigned long long bytesRead = 0, reads = 0;
  int kind = 2;
  int typeOf() override { return kind; }
  unsigned int read(void* buf, unsigned int count) override {
    const unsigned int got = cBufWrapperIO::read(buf, count);
    bytesRead += got <= count ? got : 0;
    ++reads;
    return got;
  }
};

// `file` decodes reading each of its bytes once at most, and shows as
// tiff2rgba shows it.
void expectReadOnceAsTiff2rgba(Bytes file, const std::string& path) {
  const size_t size = file.size();
  writeFile(path, file);
  sCountingIO io(file.data(), static_cast<long long>(size), false);
  cPictTIFF pict;
  EXPECT_TRUE(pict.decode(&io));
  EXPECT_LE(io.bytesRead, size);
  EXPECT_EQ(mismatchesWithTiff2rgba(path), 0);
}

// zlib data of `data` in stored blocks of `block` bytes each.
Bytes storedBlocks(const Bytes& data, size_t block) {
  Bytes z = {0x78, 0x01};
  for (size_t at = 0; at < data.size(); at += block) {
    const size_t n = std::min(block, data.size() - at);
    const uint8_t head[] = {uint8_t(at + n == data.size()), uint8_t(n), uint8_t(n >> 8), uint8_t(~n),
                            uint8_t(~n >> 8)};
    z.insert(z.end(), head, head + 5);
    z.insert(z.end(), data.begin() + long(at), data.begin() + long(at + n));
  }
  const uLong check = adler32(adler32(0, nullptr, 0), data.data(), uInt(data.size()));
  for (int shift = 24; shift >= 0; shift -= 8) z.push_back(uint8_t(check >> shift));
  return z;
}

// A Deflate strip longer than its pixels, as stored blocks make one, is read
// once and shows as tiff2rgba shows it: zlib's own blocks of some 16 KiB on
// noise, and blocks of a byte each, the most a stream can cost.
TEST(TiffDecode, DeflateStripsLongerThanTheirPixelsAreReadOnce) {
  Bytes noise(size_t(1024) * 1024);
  uint32_t seed = 7;
  for (uint8_t& b : noise) b = uint8_t((seed = seed * 1103515245 + 12345) >> 16);
  const Bytes first(noise.begin(), noise.begin() + 4096);
  const struct {
    const char* name;
    uint32_t w, h;
    Bytes stream;
  } cases[] = {{"zlib's stored blocks", 1024, 1024, zlibOf(noise)},
               {"blocks of a byte", 64, 64, storedBlocks(first, 1)}};
  const std::string path = scratchDir() + "/read_once.tif";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Writer writer;
    const uint64_t at = writer.addBlob(c.stream);
    const Bytes file = greyUnitsFile(writer, c.w, c.h, 8, false, c.w, c.h, {at}, {c.stream.size()});
    expectReadOnceAsTiff2rgba(file, path);
  }
}

// PackBits of `data` in literals of 128 bytes, a unit packed as one run of
// bytes regardless of its rows, as some writers pack it.
Bytes packBitsOf(const Bytes& data) {
  Bytes out;
  for (size_t at = 0; at < data.size(); at += 128) {
    const size_t n = std::min<size_t>(128, data.size() - at);
    out.push_back(uint8_t(n - 1));
    out.insert(out.end(), data.begin() + long(at), data.begin() + long(at + n));
  }
  return out;
}

// A column of 1,000 one-row strips of a few bytes each: laid back to back,
// they are read some 64 KiB at a time, not one read a strip, and each byte
// of the file once; laid last to first, a read a strip, each byte once;
// each counted to the file's end, a read or two a strip. Strips of a few
// hundred bytes are read together from a file too, but for the one across
// the end of each span read ahead, read on its own. Every one shows as
// tiff2rgba shows it.
TEST(TiffDecode, StripsOfAFewBytesAreReadTogether) {
  const uint32_t rows = 1000;
  const struct {
    const char* name;
    uint16_t compression;
    bool backwards, countedToEnd;
    unsigned long long mostReads;  // beside the header's and the tags'
    uint32_t width = 1;
    int kind = 2;
    unsigned long long readAgain = 0;
  } cases[] = {
      {"Deflate, back to back", 8, false, false, 2},
      {"PackBits, back to back", 32773, false, false, 2},
      {"stored, back to back", 1, false, false, 2},
      {"Deflate, last to first", 8, true, false, rows},
      {"Deflate, each counted to the end", 8, false, true, 2 * rows},
      {"300 bytes stored, back to back, from a file", 1, false, false, 10, 300, 1, 5 * 300},
  };
  const std::string path = scratchDir() + "/few_bytes.tif";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Bytes> strips;
    for (uint32_t y = 0; y < rows; ++y) {
      Bytes row(c.width);
      for (uint32_t x = 0; x < c.width; ++x) row[x] = uint8_t(y * 7 + y / 613 + x * 3);
      strips.push_back(c.compression == 8 ? zlibOf(row) : c.compression == 32773 ? packBitsOf(row) : row);
    }
    Writer writer;
    std::vector<uint64_t> offsets(rows), counts(rows);
    for (uint32_t i = 0; i < rows; ++i) {
      const uint32_t y = c.backwards ? rows - 1 - i : i;
      offsets[y] = writer.addBlob(strips[y]);
      counts[y] = strips[y].size();
    }
    if (c.countedToEnd)
      for (uint32_t y = 0; y < rows; ++y) counts[y] = offsets[rows - 1] + strips[rows - 1].size() - offsets[y];
    const Bytes file =
        greyUnitsFile(writer, c.width, rows, c.compression, false, c.width, 1, offsets, counts);
    Bytes copy = file;
    sCountingIO io(copy.data(), static_cast<long long>(copy.size()), false);
    io.kind = c.kind;
    cPictTIFF pict;
    ASSERT_TRUE(pict.decode(&io));
    EXPECT_LE(io.reads, c.mostReads + 16);
    // Counted to the end, a strip's first read reaches into the next.
    if (!c.countedToEnd) {
      EXPECT_LE(io.bytesRead, file.size() + c.readAgain);
    }
    writeFile(path, file);
    EXPECT_EQ(mismatchesWithTiff2rgba(path), 0);
  }
}

// Strips a little past the 64 KiB a unit's first read takes, back to back:
// each one's last pull is a few hundred bytes, and the next strip's first
// read takes what follows, so each byte of the file is read once. Noise,
// so that no compression shrinks a strip below its first read.
TEST(TiffDecode, StripsPastTheFirstReadAreReadOnce) {
  const uint32_t w = 1000, rowsPerStrip = 66, strips = 4;
  Bytes noise(size_t(w) * rowsPerStrip * strips);
  uint32_t seed = 11;
  for (uint8_t& b : noise) b = uint8_t((seed = seed * 1103515245 + 12345) >> 16);
  const uint16_t compressions[] = {1, 8, 32773};
  const std::string path = scratchDir() + "/past_first_read.tif";
  for (const uint16_t compression : compressions) {
    SCOPED_TRACE(compression);
    Writer writer;
    std::vector<uint64_t> offsets, counts;
    for (uint32_t i = 0; i < strips; ++i) {
      const auto from = noise.begin() + long(i) * w * rowsPerStrip;
      const Bytes rows(from, from + long(w) * rowsPerStrip);
      const Bytes strip = compression == 8 ? zlibOf(rows) : compression == 32773 ? packBitsOf(rows) : rows;
      offsets.push_back(writer.addBlob(strip));
      counts.push_back(strip.size());
    }
    const Bytes file =
        greyUnitsFile(writer, w, rowsPerStrip * strips, compression, false, w, rowsPerStrip, offsets, counts);
    expectReadOnceAsTiff2rgba(file, path);
  }
}

// Probing a file for its format walks its directory once per format of TIFF
// heritage; its tables of strip offsets and counts, the bulk of a file of
// one-byte strips, are read from it once all the same.
TEST(TiffDecode, ProbingReadsTheTablesOnce) {
  const uint32_t rows = 100000;
  Writer writer;
  std::vector<uint64_t> offsets(rows), counts(rows, 1);
  for (uint32_t y = 0; y < rows; ++y) offsets[y] = writer.addBlob({uint8_t(y * 7)});
  const Bytes file = greyUnitsFile(writer, 1, rows, 1, false, 1, 1, offsets, counts);
  Bytes copy = file;
  sCountingIO io(copy.data(), static_cast<long long>(copy.size()), false);
  cPictBase::sPictInfo info;
  cPtr<cPictBase> probed(cPictBase::mkPicture(&io, &info));
  ASSERT_TRUE(probed);
  EXPECT_EQ(probed->typeOf(), kPictTIFF);
  EXPECT_EQ(info.height, rows);
  EXPECT_LE(io.bytesRead, file.size());
  // Its decode reads the file once more.
  io.bytesRead = 0;
  cPtr<cPictBase> decoded(cPictBase::mkPicture(&io, nullptr));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->raw8Bpp()[0] & 0xFF, uint8_t((rows - 1) * 7));
  EXPECT_LE(io.bytesRead, 2 * file.size());
}

// 20 x 10 grey in Deflate (8) or PackBits (32773) units `unitW` wide, each
// declaring `declared` rows and holding `held` (rows past the picture's
// last one padding); `strips` when the units are strips, else tiles;
// `spoilt` flips a bit of each Deflate checksum.
Bytes paddedUnits(bool strips, uint32_t unitW, uint64_t declared, uint32_t held, uint16_t compression = 8,
                  bool spoilt = false) {
  const uint32_t w = 20, h = 10;
  Writer writer;
  std::vector<uint64_t> offsets, counts;
  for (uint32_t y = 0; y < h; y += uint32_t(std::min<uint64_t>(declared, h))) {
    Bytes unit(size_t(unitW) * held, 0xAA);
    for (uint32_t r = 0; r < held && y + r < h; ++r)
      for (uint32_t x = 0; x < w; ++x) unit[r * unitW + x] = uint8_t(x * 11 + (y + r) * 7);
    Bytes z = compression == 8 ? zlibOf(unit) : packBitsOf(unit);
    z.back() ^= spoilt;
    offsets.push_back(writer.addBlob(z));
    counts.push_back(z.size());
  }
  return greyUnitsFile(writer, w, h, compression, !strips, unitW, declared, offsets, counts);
}

// Rows a strip or tile holds past the picture's last row are padding,
// read alike in a lone strip, a last strip and a tile, Deflate or PackBits
// runs reaching into them, as tiff2rgba reads them; a stream ending in them with its checksum spoilt is still damage.
TEST(TiffDecode, PaddingPastThePictureReadsAlikeInStripsAndTiles) {
  expectEachAsTiff2rgba(
      {{"lone strip of four times the picture's rows", paddedUnits(true, 20, 40, 40)},
       {"lone strip of RowsPerStrip 2^32-1 holding 40 rows", paddedUnits(true, 20, 0xFFFFFFFF, 40)},
       {"last strip of 8 rows placing 2", paddedUnits(true, 20, 8, 8)},
       {"tile of 32 x 48", paddedUnits(false, 32, 48, 48)},
       {"PackBits lone strip of four times the picture's rows", paddedUnits(true, 20, 40, 40, 32773)},
       {"PackBits last strip of 8 rows placing 2", paddedUnits(true, 20, 8, 8, 32773)},
       {"PackBits tile of 32 x 48", paddedUnits(false, 32, 48, 48, 32773)}});
  Bytes spoilt = paddedUnits(true, 20, 0xFFFFFFFF, 11, 8, true);
  cBufWrapperIO io(spoilt.data(), static_cast<long long>(spoilt.size()), false);
  cPictTIFF pict;
  EXPECT_FALSE(pict.decode(&io));
}

// Narrow tall pictures in Deflate tiles wider than they are, as writers
// with a tile size of their own make them, decode as tiff2rgba decodes them.
// 489 tiles of 4096 x 4096 sharing one stream over 1 x 2,000,000 are refused.
TEST(TiffDecode, TilesWiderThanANarrowPictureDecodeAsTiff2rgba) {
  const struct {
    int w, h, samples;
    const char* tile;
  } cases[] = {{17, 100000, 1, "256"}, {17, 100000, 3, "256"}, {1, 2000000, 1, "16"}, {300, 20000, 3, "512"}};
  const std::string dir = scratchDir(), raw = dir + "/narrow.raw", base = dir + "/narrow.tif",
                    path = dir + "/narrow_tiled.tif";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + " x " + std::to_string(c.samples) +
                 " in tiles of " + c.tile);
    Bytes samples(size_t(c.w) * c.h * c.samples);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint8_t(i * 7 + i / 4099);
    writeFile(raw, samples);
    ASSERT_TRUE(run({"raw2tiff", "-w", std::to_string(c.w), "-l", std::to_string(c.h), "-b",
                     std::to_string(c.samples), "-p", c.samples == 1 ? "minisblack" : "rgb", raw, base}));
    ASSERT_TRUE(tiffcp({"-c", "zip", "-t", "-w", c.tile, "-l", c.tile}, base, path));
    EXPECT_EQ(mismatchesWithTiff2rgba(path), 0);
    std::remove((path + ".rgba.tif").c_str());
  }
  // Such tiles all at one stream would make far more than the file's data can.
  Writer writer;
  const Bytes z = zlibOf(Bytes(16 << 20, 0));
  const uint64_t at = writer.addBlob(z);
  Bytes shared = greyUnitsFile(writer, 1, 2000000, 8, true, 4096, 4096, std::vector<uint64_t>(489, at),
                               std::vector<uint64_t>(489, z.size()));
  cBufWrapperIO io(shared.data(), static_cast<long long>(shared.size()), false);
  cPictTIFF pict;
  EXPECT_FALSE(pict.decode(&io));
}

// A 37 x 23 picture in strips of 5 rows written by libtiff with FillOrder
// 2, which stores each byte of every strip last bit first: 1-bit and 16-bit
// grey, 8-bit RGB. A 16-bit sample is one byte twice, which libtiff's
// truncation to 8 bits and our rounding take alike.
bool writeLastBitFirst(const std::string& path, uint16_t compression, uint16_t bits) {
  const uint32_t w = 37, h = 23;
  const uint16_t samples = bits == 8 ? 3 : 1;
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 5);
  Bytes row((w * bits * samples + 7) / 8);
  bool ok = true;
  for (uint32_t y = 0; y < h && ok; ++y) {
    for (size_t i = 0; i < row.size(); ++i) {
      const size_t v = bits == 16 ? i / 2 : i;
      row[i] = uint8_t(v * 37 + y * 11 + (v * y) % 7);
    }
    ok = TIFFWriteScanline(tif, row.data(), y, 0) == 1;
  }
  TIFFClose(tif);
  return ok;
}

// Every compression reads such strips with their bits put back in order,
// as tiff2rgba does.
TEST(TiffDecode, FillOrderTwoDecodesAsTiff2rgba) {
  const std::string path = scratchDir() + "/last_bit_first.tif";
  for (uint16_t compression : {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE, COMPRESSION_PACKBITS})
    for (uint16_t bits : {1, 8, 16}) {
      SCOPED_TRACE(std::to_string(compression) + ", " + std::to_string(bits) + " bits");
      ASSERT_TRUE(writeLastBitFirst(path, compression, bits));
      EXPECT_EQ(mismatchesWithTiff2rgba(path), 0);
      std::remove(path.c_str());
      std::remove((path + ".rgba.tif").c_str());
    }
}

// The picture's adjustment tables reach the samples of every layout, 8-bit
// and 16-bit, chunky and planar: each channel's table inverts its sample,
// against the same file decoded without tables.
TEST(TiffDecode, AdjustmentTablesApplyPerChannel) {
  struct sCase {
    const char* source;
    std::vector<std::string> layout;
    int samples;
  };
  const std::vector<sCase> cases = {{"grey8", {"-r", "7"}, 1},
                                    {"rgb", {"-r", "7"}, 3},
                                    {"rgb", {"-c", "lzw:2", "-r", "7"}, 3},
                                    {"rgb", {"-p", "separate"}, 3},
                                    {"grey16", {"-r", "7"}, 1},
                                    {"rgb16", {"-t", "-w", "16", "-l", "16"}, 3}};
  static unsigned char invert8[256];
  static unsigned short invert16[65536];
  for (int v = 0; v < 65536; ++v) {
    invert16[v] = static_cast<unsigned short>(65535 - v);
    if (v < 256) invert8[v] = static_cast<unsigned char>(255 - v);
  }
  std::string dir = scratchDir();
  for (size_t i = 0; i < cases.size(); ++i) {
    const sCase& c = cases[i];
    std::string base = dir + "/curve_src" + std::to_string(i) + ".tif";
    std::string path = dir + "/curve" + std::to_string(i) + ".tif";
    std::vector<std::string> args = {"convert"};
    for (const sSource& src : sources())
      if (std::string(src.name) == c.source) args.insert(args.end(), src.convert.begin(), src.convert.end());
    args.push_back(base);
    ASSERT_TRUE(run(args));
    ASSERT_TRUE(tiffcp(c.layout, base, path));
    Bytes file = readFile(path);
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cPictTIFF plain;
    ASSERT_TRUE(plain.decode(&io));
    for (int channel = 0; channel < c.samples; ++channel) {
      cPictTIFF curved;
      curved.setColorAdjustCurve(channel, invert8);
      curved.setColorAdjustCurve(channel, invert16);
      ASSERT_TRUE(curved.decode(&io)) << path;
      ASSERT_EQ(curved.is16Bpp(), plain.is16Bpp());
      const int width = plain.is16Bpp() ? 16 : 8;
      const uint64_t top = plain.is16Bpp() ? 0xFFFF : 0xFF;
      long long wrong = 0;
      for (long long p = 0; p < plain.width() * plain.height(); ++p) {
        uint64_t want = plain.is16Bpp() ? plain.raw16Bpp()[p] : plain.raw8Bpp()[p];
        uint64_t got = curved.is16Bpp() ? curved.raw16Bpp()[p] : curved.raw8Bpp()[p];
        // Red, green and blue sit at fields 2, 1 and 0; grey fills all three.
        for (int field = 0; field < 3; ++field)
          if (c.samples == 1 || field == 2 - channel) want ^= top << (width * field);
        wrong += want != got;
      }
      EXPECT_EQ(wrong, 0) << path << ", channel " << channel;
    }
  }
}

// Runs of random lengths, as scanned pages have, and some single pixels.
Bytes bilevelRows(uint32_t w, uint32_t h) {
  Bytes rows(static_cast<size_t>((w + 7) / 8) * h);
  uint32_t seed = 12345;
  for (uint32_t y = 0; y < h; ++y) {
    bool black = false;
    for (uint32_t x = 0; x < w;) {
      seed = seed * 1103515245 + 12345;
      uint32_t run = 1 + (seed >> 16) % (y % 5 == 0 ? 3 : 40);
      for (uint32_t i = 0; i < run && x < w; ++i, ++x)
        if (black) rows[y * ((w + 7) / 8) + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      black = !black;
    }
  }
  return rows;
}

TEST(TiffDecode, FaxStripsDecodeToTheSourceBits) {
  std::string dir = scratchDir();
  const uint32_t w = 203, h = 37;
  const std::vector<std::vector<std::string>> options = {{"-c", "g3"},
                                                         {"-c", "g3:2d"},
                                                         {"-c", "g3:fill"},
                                                         {"-c", "g4"},
                                                         {"-c", "g3:2d:fill", "-r", "7"},
                                                         {"-c", "g4", "-f", "lsb2msb"},
                                                         {"-c", "g3:2d", "-f", "lsb2msb"},
                                                         {"-c", "g4", "-t", "-w", "64", "-l", "16"}};
  for (int photometric : {0, 1}) {
    Writer writer;
    writer.ifds.push_back(pictureIfd(writer, w, h, 1, 1, photometric, bilevelRows(w, h)));
    std::string source = dir + "/fax_src" + std::to_string(photometric) + ".tif";
    writeFile(source, writer.build());
    for (size_t i = 0; i < options.size(); ++i) {
      std::string path = dir + "/fax" + std::to_string(photometric) + "_" + std::to_string(i) + ".tif";
      ASSERT_TRUE(tiffcp(options[i], source, path)) << path;
      EXPECT_EQ(mismatchesWithTiff2rgba(path), 0) << path;
    }
  }
}

// Blank or nearly blank bilevel pages cost Group 4 a bit or two a row at
// any width: in tiles far wider and taller than the picture, and as one
// strip of a large page, they decode as libtiff reads them.
TEST(TiffDecode, GroupFourPagesOfFewBitsDecodeAsLibtiff) {
  const struct {
    uint32_t w, h;
    bool box;
    std::vector<std::string> layout;
  } cases[] = {{64, 16000, false, {"-t", "-w", "32768", "-l", "1024"}},
               {64, 16000, false, {"-t", "-w", "65536", "-l", "1024"}},
               {500, 16000, true, {"-t", "-w", "32768", "-l", "4096"}},
               {9933, 14043, false, {"-r", "14043"}}};
  const std::string dir = scratchDir(), source = dir + "/blank.tif", path = dir + "/blank_g4.tif";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
    const size_t rowBytes = (c.w + 7) / 8;
    Bytes rows(rowBytes * c.h, 0);
    for (uint32_t y = 100; c.box && y < 9000; ++y)
      for (uint32_t x = 40; x < 300; ++x) rows[y * rowBytes + x / 8] |= uint8_t(0x80 >> (x % 8));
    Writer writer;
    writer.ifds.push_back(pictureIfd(writer, c.w, c.h, 1, 1, 0, rows));
    writeFile(source, writer.build());
    std::vector<std::string> options = {"-c", "g4"};
    options.insert(options.end(), c.layout.begin(), c.layout.end());
    ASSERT_TRUE(tiffcp(options, source, path));
    const Bytes file = readFile(path);
    EXPECT_LT(file.size(), 8000u);
    // libtiff's rows, as the file holds them.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_TRUE(tif);
    Bytes theirs(rowBytes * c.h);
    bool read = true;
    if (TIFFIsTiled(tif)) {
      uint32_t tw = 0, tl = 0;
      TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
      TIFFGetField(tif, TIFFTAG_TILELENGTH, &tl);
      Bytes tile(size_t(TIFFTileSize(tif)));
      for (uint32_t y = 0; y < c.h && read; y += tl) {
        read = TIFFReadTile(tif, tile.data(), 0, y, 0, 0) == tmsize_t(tile.size());
        for (uint32_t r = 0; r < tl && y + r < c.h; ++r)
          std::copy_n(tile.begin() + long(size_t(r) * (tw / 8)), rowBytes, theirs.begin() + long((y + r) * rowBytes));
      }
    } else {
      read = TIFFReadEncodedStrip(tif, 0, theirs.data(), tmsize_t(theirs.size())) == tmsize_t(theirs.size());
    }
    TIFFClose(tif);
    ASSERT_TRUE(read);
    EXPECT_TRUE(theirs == rows);
    cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
    cPictTIFF pict;
    ASSERT_TRUE(pict.decode(&io));
    long long wrong = 0;
    for (uint32_t y = 0; y < c.h; ++y)
      for (uint32_t x = 0; x < c.w; ++x) {
        const bool black = theirs[y * rowBytes + x / 8] & (0x80 >> (x % 8));
        wrong += pict.raw8Bpp()[size_t(c.h - 1 - y) * c.w + x] != (black ? 0xFF000000u : 0xFFFFFFFFu);
      }
    EXPECT_EQ(wrong, 0);
  }
}

// Group 3 pages made by hand, whose rows an end-of-line code cuts short:
// the row ends white and the page goes on, in either photometric sense, as
// libtiff reads the file and as fax2tiff rewrites the bare stream.
TEST(TiffDecode, FaxRowsCutByEndOfLineMatchLibtiff) {
  const std::string eol = "000000000001", w3 = "1000", w2 = "0111", w5 = "1100", w0 = "00110101";
  const std::string b2 = "11", b6 = "0010", b8 = "000101", v0 = "1";
  struct sCase {
    const char* name;
    bool twoD;
    uint32_t rows;
    std::string bits;
  };
  const std::vector<sCase> cases = {
      {"cut after a black run", false, 3, eol + w3 + b2 + w3 + eol + w3 + b2 + eol + w2 + b6 + eol},
      {"cut after a white run", false, 3, eol + w5 + eol + w0 + b8 + eol + w3 + b2 + w3 + eol},
      {"cut in a 2D row in black, then coded against it", true, 3,
       eol + "1" + w3 + b2 + w3 + eol + "0" + v0 + eol + "0" + v0 + v0 + eol},
  };
  std::string dir = scratchDir();
  for (size_t i = 0; i < cases.size(); ++i) {
    const sCase& c = cases[i];
    Bytes stream((c.bits.size() + 7) / 8, 0);
    for (size_t b = 0; b < c.bits.size(); ++b)
      if (c.bits[b] == '1') stream[b / 8] = static_cast<uint8_t>(stream[b / 8] | 0x80 >> (b % 8));
    for (int photometric : {0, 1}) {
      Writer writer;
      auto ifd = pictureIfd(writer, 8, c.rows, 1, 1, photometric, stream);
      ifd[3] = writer.shortEntry(259, {3});
      ifd.push_back(writer.longEntry(292, {c.twoD ? 1u : 0u}));
      writer.ifds.push_back(ifd);
      std::string path = dir + "/cut" + std::to_string(i) + "_" + std::to_string(photometric) + ".tif";
      writeFile(path, writer.build());
      EXPECT_EQ(mismatchesWithTiff2rgba(path), 0) << c.name << ", photometric " << photometric;
    }
    std::string bare = dir + "/cut" + std::to_string(i) + ".g3", rewritten = bare + ".tif";
    writeFile(bare, stream);
    ASSERT_TRUE(run({"fax2tiff", "-M", c.twoD ? "-2" : "-1", "-X", "8", "-o", rewritten, bare}));
    EXPECT_EQ(mismatchesWithTiff2rgba(rewritten), 0) << c.name << ", fax2tiff";
  }
}

enum class eCounts { exact, toTheEnd, grown, sharedToTheEnd };

// The little-endian classic TIFF at `path` rebuilt with its units' data in
// order and their byte counts as `counts` says: as they are, running on to
// the end of all units' data, 100,000 past their data, or every unit at the
// first one's data counted to the end. libtiff refuses units counted past
// the file; ours are cut at the file's end, so none is counted there.
Bytes recounted(const std::string& path, eCounts counts) {
  const Bytes f = readFile(path);
  auto u16 = [&](size_t at) { return uint32_t(f[at] | f[at + 1] << 8); };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  static const uint32_t kTypeBytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  Writer writer;
  std::vector<Entry> ifd;
  std::vector<uint64_t> offsets, sizes;
  for (uint32_t i = 0, at = u32(4), n = u16(at); i < n; ++i) {
    const size_t e = at + 2 + 12 * i;
    Entry entry{uint16_t(u16(e)), uint16_t(u16(e + 2)), u32(e + 4), {}};
    const size_t bytes = kTypeBytes[entry.type] * entry.count, from = bytes > 4 ? u32(e + 8) : e + 8;
    entry.value.assign(f.begin() + long(from), f.begin() + long(from + bytes));
    for (uint32_t v = 0;
         (entry.tag == 273 || entry.tag == 324 || entry.tag == 279 || entry.tag == 325) && v < entry.count;
         ++v)
      ((entry.tag == 273 || entry.tag == 324) ? offsets : sizes)
          .push_back(entry.type == 3 ? u16(from + 2 * v) : u32(from + 4 * v));
    ifd.push_back(entry);
  }
  std::vector<uint64_t> at;
  for (size_t i = 0; i < offsets.size(); ++i)
    at.push_back(
        writer.addBlob(Bytes(f.begin() + long(offsets[i]), f.begin() + long(offsets[i] + sizes[i]))));
  const uint64_t end = writer.headerSize() + writer.blobs.size();
  for (size_t i = 0; i < at.size(); ++i) {
    if (counts == eCounts::sharedToTheEnd) at[i] = at[0];
    sizes[i] = counts == eCounts::exact   ? sizes[i]
               : counts == eCounts::grown ? std::min(sizes[i] + 100000, end - at[i])
                                          : end - at[i];
  }
  for (Entry& e : ifd)
    if (e.tag == 273 || e.tag == 324 || e.tag == 279 || e.tag == 325)
      e = writer.longEntry(e.tag, (e.tag == 273 || e.tag == 324) ? at : sizes);
  writer.ifds.push_back(ifd);
  return writer.build();
}

// Units whose byte counts run on past their data, into the units after them
// or as far as the file's end, or that share one unit's data, cost only what
// their decoders use in every compression: they show as tiff2rgba shows them
// (JPEG as the file with exact counts shows), however many units there are.
TEST(TiffDecode, UnitsCountedPastTheirDataDecodeAsTiff2rgbaInEveryCompression) {
  const std::string dir = scratchDir(), rgb = dir + "/counts_rgb.tif", noise = dir + "/counts_noise.tif",
                    grey = dir + "/counts_grey.tif", page = dir + "/counts_page.tif",
                    made = dir + "/counts_made.tif", path = dir + "/counts.tif";
  ASSERT_TRUE(run({"convert", "-size", "512x512", "plasma:fractal", "-depth", "8", rgb}));
  ASSERT_TRUE(run({"convert", "-size", "256x4096", "xc:gray", "+noise", "Random", "-depth", "8", noise}));
  ASSERT_TRUE(
      run({"convert", "-size", "400x608", "plasma:fractal", "-colorspace", "gray", "-depth", "8", grey}));
  Writer pageWriter;
  pageWriter.ifds.push_back(pictureIfd(pageWriter, 1728, 2200, 1, 1, 0, bilevelRows(1728, 2200)));
  writeFile(page, pageWriter.build());
  const struct {
    const char* name;
    const std::string& source;
    std::vector<std::string> options;
    eCounts counts;
  } cases[] = {
      {"PackBits 16 x 16 tiles", rgb, {"-c", "packbits", "-t", "-w", "16", "-l", "16"}, eCounts::toTheEnd},
      {"PackBits tiles at one tile",
       rgb,
       {"-c", "packbits", "-t", "-w", "16", "-l", "16"},
       eCounts::sharedToTheEnd},
      {"950 PackBits tiles grown", grey, {"-c", "packbits", "-t", "-w", "16", "-l", "16"}, eCounts::grown},
      {"PackBits one-row strips", grey, {"-c", "packbits", "-r", "1"}, eCounts::toTheEnd},
      {"JPEG 16 x 16 tiles", rgb, {"-c", "jpeg", "-t", "-w", "16", "-l", "16"}, eCounts::toTheEnd},
      {"JPEG 16-row strips", noise, {"-c", "jpeg", "-r", "16"}, eCounts::toTheEnd},
      {"G3 one-row strips", page, {"-c", "g3", "-r", "1"}, eCounts::toTheEnd},
      {"G3 2-D one-row strips", page, {"-c", "g3:2d", "-r", "1"}, eCounts::toTheEnd},
      {"G4 one-row strips", page, {"-c", "g4", "-r", "1"}, eCounts::toTheEnd},
      {"G4 strips at one strip", page, {"-c", "g4", "-r", "1"}, eCounts::sharedToTheEnd},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(tiffcp(c.options, c.source, made));
    writeFile(path, recounted(made, c.counts));
    if (c.options[1] != "jpeg") {
      EXPECT_EQ(mismatchesWithTiff2rgba(path), 0);
      continue;
    }
    Bytes file = readFile(path), exact = recounted(made, eCounts::exact);
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false),
        exactIo(exact.data(), static_cast<long long>(exact.size()), false);
    cPictTIFF ours, theirs;
    ASSERT_TRUE(theirs.decode(&exactIo));
    EXPECT_TRUE(ours.decode(&io) &&
                std::equal(ours.raw8Bpp(), ours.raw8Bpp() + ours.width() * ours.height(), theirs.raw8Bpp()));
  }
}

TEST(TiffDecode, PageCountsAndSizesEqualTiffinfo) {
  std::string dir = scratchDir(), path = dir + "/pages.tif";
  ASSERT_TRUE(run({"convert", "-size", "5x3", "xc:red", "-size", "7x4", "xc:blue", "-size", "9x2", "xc:gray",
                   "-depth", "8", path}));
  Bytes file = readFile(path);
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  cPictTIFF pict;
  EXPECT_EQ(pict.getNumPages(&io), 3);
  const int sizes[3][2] = {{5, 3}, {7, 4}, {9, 2}};
  for (int page = 0; page < 3; ++page) {
    int w = 0, h = 0;
    EXPECT_TRUE(pict.getPageSize(&io, page, w, h));
    EXPECT_EQ(w, sizes[page][0]);
    EXPECT_EQ(h, sizes[page][1]);
    ASSERT_TRUE(pict.decodePage(&io, page));
    EXPECT_EQ(pict.width(), sizes[page][0]);
    EXPECT_EQ(pict.raw8Bpp()[0] & 0xFFFFFF, page == 0   ? 0xFF0000u
                                            : page == 1 ? 0x0000FFu
                                                        : 0x7E7E7Eu)
        << page;
  }
  cPictDummy preview;
  ASSERT_TRUE(pict.decodePagePreview(&io, preview, 4, 4, 1, true, 0));
  EXPECT_EQ(preview.width(), 4);
  EXPECT_EQ(preview.height(), 2);
  EXPECT_EQ(preview.raw8Bpp()[0] & 0xFFFFFF, 0x0000FFu);
  EXPECT_FALSE(pict.decodePagePreview(&io, preview, 4, 4, 1, false, 0));
  int w, h;
  EXPECT_FALSE(pict.getPageSize(&io, 3, w, h));
  EXPECT_FALSE(pict.decodePage(&io, 3));
  EXPECT_FALSE(pict.decodePage(&io, -1));
}

TEST(TiffDecode, FactoryPicksTiffAndRendersLikeToExtTarget) {
  std::string path = scratchDir() + "/factory.tif";
  ASSERT_TRUE(run({"convert", "-size", "64x40", "plasma:fractal", "-depth", "8", "-compress", "lzw", path}));
  Bytes file = readFile(path);
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  cPictBase::sPictInfo info;
  cPtr<cPictBase> pict(cPictBase::mkPicture(&io, &info));
  ASSERT_TRUE(pict);
  EXPECT_EQ(pict->typeOf(), kPictTIFF);
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 40);
  cPictDummy small;
  io.set_fp(0);
  EXPECT_EQ(cPictBase::getImage(&io, small, 16, 10, 0), 0);
  EXPECT_EQ(small.width(), 16);
  EXPECT_EQ(small.height(), 10);
}

}  // namespace
