#include <gtest/gtest.h>

#include "picts/pictpng.h"
#include "png_support.h"

namespace {

using namespace pngtest;

struct Format {
  int colorType, depth;
};
const Format kFormats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                           {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
const unsigned kSizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {7, 7}, {33, 17}};

std::string decodeAndCompare(const Bytes& file) {
  MemStream s(file);
  cPictPNG png;
  if (!png.decode(&s.io)) return "decode failed";
  return compareWithLibpng(png, s.bytes);
}

TEST(PngDecode, EveryFormatSizeInterlaceAndFirstRowFilterMatchesLibpng) {
  uint32_t seed = 1;
  for (const Format& f : kFormats)
    for (const auto& size : kSizes)
      for (bool interlace : {false, true})
        for (int filter = 0; filter < 5; ++filter) {
          Image im = randomImage(size[0], size[1], f.colorType, f.depth, seed++);
          im.interlace = interlace;
          im.firstRowFilter = filter;
          EXPECT_EQ(decodeAndCompare(encode(im)), "")
              << "type " << f.colorType << " depth " << f.depth << " " << size[0] << "x" << size[1]
              << (interlace ? " Adam7" : "") << " filter " << filter;
        }
}

TEST(PngDecode, OneByteImageDataChunksAndTrailingDataDecode) {
  for (bool interlace : {false, true}) {
    Image im = randomImage(13, 11, 6, 16, 77);
    im.interlace = interlace;
    im.firstRowFilter = 4;
    im.idatPiece = 1;
    EXPECT_EQ(decodeAndCompare(encode(im)), "") << interlace;
  }
  Image im = randomImage(5, 5, 2, 8, 78);
  im.trailingData = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(decodeAndCompare(encode(im)), "");

  // Empty image data chunks are legal, before the data and among it.
  for (bool interlace : {false, true}) {
    Image grey = randomImage(5, 5, 0, 8, 79);
    grey.interlace = interlace;
    Bytes z = compressedRows(grey);
    EXPECT_EQ(decodeAndCompare(fileOf({{"IHDR", headerData(grey)},
                                       {"IDAT", {}},
                                       {"IDAT", Bytes(z.begin(), z.begin() + 20)},
                                       {"IDAT", {}},
                                       {"IDAT", Bytes(z.begin() + 20, z.end())}})),
              "")
        << interlace;
  }
}

// A key equal to a sample the image holds, so that some pixels turn transparent.
TEST(PngDecode, TransparencyKeysMatchExactlyTheirPixels) {
  for (int depth : {1, 2, 4, 8, 16}) {
    Image im = randomImage(9, 9, 0, depth, 100 + depth);
    im.interlace = depth == 4;
    unsigned key = depth == 16 ? (im.rows[2] << 8 | im.rows[3]) : depth == 8 ? im.rows[1] : im.sample(1, 0);
    im.trns = {static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key)};
    EXPECT_EQ(decodeAndCompare(encode(im)), "") << "grey " << depth;
  }
  for (int depth : {8, 16}) {
    Image im = randomImage(9, 9, 2, depth, 200 + depth);
    int n = depth / 8;
    for (int c = 0; c < 3; ++c)
      im.trns.insert(im.trns.end(), {static_cast<uint8_t>(n == 2 ? im.rows[6 + 2 * c] : 0),
                                     static_cast<uint8_t>(n == 2 ? im.rows[7 + 2 * c] : im.rows[3 + c])});
    EXPECT_EQ(decodeAndCompare(encode(im)), "") << "rgb " << depth;
  }
  // A short palette transparency leaves the later entries opaque.
  Image im = randomImage(9, 9, 3, 4, 300);
  im.trns = {0, 80, 160};
  EXPECT_EQ(decodeAndCompare(encode(im)), "");
  // Two greys that agree in their high byte: only the exact one is keyed.
  Image close = randomImage(2, 1, 0, 16, 301);
  close.rows = {0x12, 0x34, 0x12, 0x35};
  close.trns = {0x12, 0x34};
  EXPECT_EQ(decodeAndCompare(encode(close)), "");
}

TEST(PngDecode, InterlaceMethod255IsReadAsPlainRows) {
  Image im = randomImage(6, 4, 2, 8, 400);
  Bytes file = encode(im);
  MemStream plain(file);
  file[8 + 8 + 12] = 255;  // the interlace byte of the header
  uint32_t crc = static_cast<uint32_t>(crc32(0, file.data() + 12, 17));
  for (int i = 0; i < 4; ++i) file[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  MemStream odd(file);
  cPictPNG a, b;
  ASSERT_TRUE(a.decode(&plain.io));
  ASSERT_TRUE(b.decode(&odd.io));
  EXPECT_EQ(std::memcmp(a.raw8Bpp(), b.raw8Bpp(), 6 * 4 * 4), 0);
}

}  // namespace
