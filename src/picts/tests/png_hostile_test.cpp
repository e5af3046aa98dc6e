// Damaged and forged files: each must be refused cleanly (the sanitizers
// watch for the rest), and never leave a picture made of unwritten memory.
#include <gtest/gtest.h>

#include "picts/pictpng.h"
#include "png_support.h"

namespace {

using namespace pngtest;

bool decodes(const Bytes& file) {
  MemStream s(file);
  cPictPNG png;
  return png.decode(&s.io);
}

// Offsets of every chunk's length field.
std::vector<size_t> chunkStarts(const Bytes& file) {
  std::vector<size_t> starts;
  for (size_t at = 8; at + 12 <= file.size();) {
    starts.push_back(at);
    at += 12 + (static_cast<size_t>(file[at]) << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3]);
  }
  return starts;
}

// The image's file with `extra` chunks after the header; an empty image data
// chunk among them holds the image's rows.
Bytes withChunks(const Image& im, std::vector<std::pair<const char*, Bytes>> extra, bool header = true) {
  for (auto& [type, data] : extra)
    if (std::string(type) == "IDAT" && data.empty()) data = compressedRows(im);
  if (header) extra.insert(extra.begin(), {"IHDR", headerData(im)});
  return fileOf(extra);
}

TEST(PngHostile, ABadChecksumInAnyChunkFails) {
  Image im = randomImage(8, 8, 3, 8, 1);
  im.trns = {1, 2};
  im.idatPiece = 50;
  Bytes file = encode(im);
  ASSERT_TRUE(decodes(file));
  for (size_t start : chunkStarts(file)) {
    Bytes bad = file;
    size_t length =
        static_cast<size_t>(bad[start]) << 24 | bad[start + 1] << 16 | bad[start + 2] << 8 | bad[start + 3];
    bad[start + 8 + length] ^= 0x40;  // first byte of the CRC
    EXPECT_FALSE(decodes(bad)) << "chunk at " << start;
  }
}

TEST(PngHostile, EveryTruncationFails) {
  Image im = randomImage(5, 6, 6, 8, 2);
  im.interlace = true;
  im.idatPiece = 7;
  Bytes file = encode(im);
  for (size_t cut = 0; cut < file.size(); ++cut)
    ASSERT_FALSE(decodes(Bytes(file.begin(), file.begin() + cut))) << cut;
}

TEST(PngHostile, ForgedLengthsAreRefusedBeforeAnythingIsRead) {
  Image im = randomImage(4, 4, 2, 8, 3);
  Bytes file = encode(im);
  size_t text = chunkStarts(file)[1];
  for (uint32_t length : {0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu, static_cast<uint32_t>(file.size())}) {
    Bytes bad = file;
    for (int i = 0; i < 4; ++i) bad[text + i] = static_cast<uint8_t>(length >> (24 - 8 * i));
    EXPECT_FALSE(decodes(bad)) << length;
  }
}

TEST(PngHostile, HeadersThatPromiseMoreThanTheDataCanHoldFail) {
  Image one = randomImage(1, 1, 6, 16, 4), huge = one;
  // Four billion square pixels from a few bytes of data, then a wide row whose
  // data would have to inflate far beyond deflate's limit.
  for (auto [w, h] : {std::pair{0xFFFFFFFFu, 0xFFFFFFFFu}, {1u << 30, 1u}}) {
    huge.width = w;
    huge.height = h;
    EXPECT_FALSE(decodes(fileOf({{"IHDR", headerData(huge)}, {"IDAT", compressedRows(one)}}))) << w;
  }
}

TEST(PngHostile, ChunksThatContradictTheHeaderFail) {
  Image grey = randomImage(3, 3, 0, 8, 5), rgba = randomImage(3, 3, 6, 8, 6),
        pal = randomImage(3, 3, 3, 2, 7);
  EXPECT_TRUE(decodes(withChunks(grey, {{"IDAT", {}}})));
  EXPECT_FALSE(decodes(withChunks(rgba, {{"tRNS", {0, 1}}, {"IDAT", {}}})));
  EXPECT_FALSE(decodes(withChunks(grey, {{"tRNS", {0, 1, 2}}, {"IDAT", {}}})));
  EXPECT_FALSE(decodes(withChunks(grey, {{"IHDR", headerData(grey)}, {"IDAT", {}}})));
  EXPECT_FALSE(decodes(withChunks(pal, {{"PLTE", Bytes(15, 0)}, {"IDAT", {}}})));  // 5 entries at 2 bits
  EXPECT_FALSE(decodes(withChunks(pal, {{"PLTE", pal.plte}, {"tRNS", Bytes(4, 0)}, {"IDAT", {}}})));
  EXPECT_FALSE(decodes(withChunks(pal, {{"PLTE", Bytes(3, 0)}, {"IDAT", {}}})));  // index beyond the palette
  EXPECT_FALSE(decodes(withChunks(pal, {{"IDAT", {}}})));                         // no palette at all
  // Transparency needs to know the depth of its key.
  EXPECT_FALSE(
      decodes(withChunks(grey, {{"tRNS", {0, 0}}, {"IHDR", headerData(grey)}, {"IDAT", {}}}, false)));

  Bytes badFilter = headerData(grey);
  badFilter[11] = 1;
  EXPECT_FALSE(decodes(withChunks(grey, {{"IHDR", badFilter}, {"IDAT", {}}}, false)));
  for (auto [type, depth] : {std::pair{1, 8}, {2, 4}, {3, 16}, {0, 3}, {6, 1}, {7, 8}}) {
    Bytes header = headerData(grey);
    header[8] = static_cast<uint8_t>(depth);
    header[9] = static_cast<uint8_t>(type);
    EXPECT_FALSE(decodes(withChunks(grey, {{"IHDR", header}, {"IDAT", {}}}, false))) << type << "/" << depth;
  }
  EXPECT_FALSE(decodes(withChunks(grey, {{"IEND", {0}}})));
}

TEST(PngHostile, OnlyWholeRowsAreKeptAndNoRowMeansNoPicture) {
  Image wide = randomImage(300, 2, 2, 8, 8);
  EXPECT_FALSE(decodes(withChunks(wide, {})));
  EXPECT_FALSE(decodes(fileOf({{"IHDR", headerData(wide)}, {"IDAT", compressedRows(wide, 100)}})));
  EXPECT_FALSE(decodes(withChunks(wide, {{"IDAT", Bytes{0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF}}})));
  EXPECT_FALSE(decodes(Bytes{'P', 'N', 'G'}));
  cPictPNG png;
  EXPECT_FALSE(png.decode(nullptr));

  // The first row only: the rows the data never reached stay zero.
  Image im = randomImage(4, 3, 6, 8, 9);
  MemStream s(fileOf({{"IHDR", headerData(im)}, {"IDAT", compressedRows(im, 17)}}));
  ASSERT_TRUE(png.decode(&s.io));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(png.raw8Bpp()[i], 0u);
  EXPECT_NE(png.raw8Bpp()[8], 0u);
}

}  // namespace
