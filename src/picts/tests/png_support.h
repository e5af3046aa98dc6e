// Test-side PNG tools: a writer that controls what real encoders hide (the
// filter of each row, chunk splitting, damaged chunks) and a reader over
// libpng whose output every decoded picture is compared with.
#pragma once

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picts/pictbase.h"

namespace pngtest {

using Bytes = std::vector<uint8_t>;

inline int samplesOf(int colorType) {
  static const int kSamples[7] = {1, 0, 3, 1, 2, 0, 4};
  return kSamples[colorType];
}

struct Image {
  unsigned width = 1, height = 1;
  int depth = 8, colorType = 0;
  bool interlace = false;
  Bytes rows;  // packed rows of the whole image, no filter bytes
  Bytes plte, trns;
  int firstRowFilter = 0;  // filter of the first row of the image and of every pass
  size_t idatPiece = 0;    // data bytes per IDAT chunk, 0 = one chunk
  Bytes trailingData;      // extra compressed bytes appended to the stream

  int bitsPerPixel() const { return depth * samplesOf(colorType); }
  size_t rowBytes(unsigned w) const { return (static_cast<size_t>(w) * bitsPerPixel() + 7) / 8; }

  unsigned sample(unsigned x, unsigned y) const {
    int bpp = bitsPerPixel();
    const uint8_t* row = rows.data() + y * rowBytes(width);
    if (bpp < 8) {
      size_t bit = static_cast<size_t>(x) * bpp;
      return (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1);
    }
    return 0;  // whole-byte pixels are copied bytewise
  }
};

// A filled image with random samples (palette indices below the palette size).
inline Image randomImage(unsigned w, unsigned h, int colorType, int depth, uint32_t seed) {
  std::mt19937 rng(seed);
  Image im;
  im.width = w;
  im.height = h;
  im.colorType = colorType;
  im.depth = depth;
  im.rows.resize(im.rowBytes(w) * h);
  if (colorType == 3) {
    unsigned entries = (1u << depth) > 3 ? (1u << depth) - 1 : (1u << depth);
    for (unsigned i = 0; i < entries * 3; ++i) im.plte.push_back(static_cast<uint8_t>(rng()));
    for (unsigned y = 0; y < h; ++y)
      for (unsigned x = 0; x < w; ++x) {
        unsigned v = rng() % entries;
        size_t bit = static_cast<size_t>(x) * depth;
        im.rows[y * im.rowBytes(w) + bit / 8] |= static_cast<uint8_t>(v << (8 - depth - bit % 8));
      }
  } else {
    for (auto& b : im.rows) b = static_cast<uint8_t>(rng());
    // Clear the padding bits after the last pixel of each row, as encoders do.
    size_t used = static_cast<size_t>(w) * im.bitsPerPixel() % 8;
    if (used)
      for (unsigned y = 0; y < h; ++y) im.rows[y * im.rowBytes(w) + im.rowBytes(w) - 1] &= 0xFF << (8 - used);
  }
  return im;
}

inline void putBE32(Bytes& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

inline void addChunk(Bytes& out, const char* type, const Bytes& data) {
  putBE32(out, static_cast<uint32_t>(data.size()));
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  putBE32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

inline uint8_t paethPredict(int a, int b, int c) {
  int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
  return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Appends one filtered row: `type` applied against `prior` (zeros on a
// pass's first row).
inline void filterRow(Bytes& out, const uint8_t* row, const uint8_t* prior, size_t n, int bpp, int type) {
  out.push_back(static_cast<uint8_t>(type));
  for (size_t i = 0; i < n; ++i) {
    int a = i >= static_cast<size_t>(bpp) ? row[i - bpp] : 0, b = prior[i];
    int c = i >= static_cast<size_t>(bpp) ? prior[i - bpp] : 0;
    int pred = type == 1   ? a
               : type == 2 ? b
               : type == 3 ? (a + b) / 2
               : type == 4 ? paethPredict(a, b, c)
                           : 0;
    out.push_back(static_cast<uint8_t>(row[i] - pred));
  }
}

// The pixel at (x, y) of the whole image copied into a pass row at column px.
inline void copyPixel(const Image& im, unsigned x, unsigned y, Bytes& passRow, unsigned px) {
  int bpp = im.bitsPerPixel();
  if (bpp < 8) {
    size_t bit = static_cast<size_t>(px) * bpp;
    passRow[bit / 8] |= static_cast<uint8_t>(im.sample(x, y) << (8 - bpp - bit % 8));
  } else {
    size_t n = bpp / 8;
    std::memcpy(passRow.data() + px * n, im.rows.data() + y * im.rowBytes(im.width) + x * n, n);
  }
}

inline Bytes filteredData(const Image& im) {
  static const int kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                    {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  static const int kWhole[4] = {0, 0, 1, 1};
  int bpp = im.bitsPerPixel() < 8 ? 1 : im.bitsPerPixel() / 8;
  Bytes out;
  for (int pass = 0; pass < (im.interlace ? 7 : 1); ++pass) {
    const int* p = im.interlace ? kPasses[pass] : kWhole;
    if (static_cast<unsigned>(p[0]) >= im.width || static_cast<unsigned>(p[1]) >= im.height) continue;
    unsigned pw = (im.width - p[0] + p[2] - 1) / p[2];
    size_t n = im.rowBytes(pw);
    Bytes prior(n, 0), row(n);
    int rowInPass = 0;
    for (unsigned y = p[1]; y < im.height; y += p[3], ++rowInPass) {
      std::fill(row.begin(), row.end(), 0);
      for (unsigned i = 0; i < pw; ++i) copyPixel(im, p[0] + i * p[2], y, row, i);
      int type = rowInPass == 0 ? im.firstRowFilter : (rowInPass + pass) % 5;
      filterRow(out, row.data(), prior.data(), n, bpp, type);
      prior = row;
    }
  }
  return out;
}

inline Bytes headerData(const Image& im) {
  Bytes ihdr;
  putBE32(ihdr, im.width);
  putBE32(ihdr, im.height);
  ihdr.insert(ihdr.end(), {static_cast<uint8_t>(im.depth), static_cast<uint8_t>(im.colorType), 0, 0,
                           static_cast<uint8_t>(im.interlace ? 1 : 0)});
  return ihdr;
}

inline Bytes signature() { return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}; }

// The first `n` bytes of the image's filtered rows, compressed.
inline Bytes compressedRows(const Image& im, size_t n = SIZE_MAX) {
  Bytes raw = filteredData(im);
  n = std::min(n, raw.size());
  uLongf size = compressBound(static_cast<uLong>(n));
  Bytes z(size);
  compress2(z.data(), &size, raw.data(), static_cast<uLong>(n), 6);
  z.resize(size);
  return z;
}

// A file of the given chunks between the signature and the end chunk.
inline Bytes fileOf(const std::vector<std::pair<const char*, Bytes>>& chunks) {
  Bytes out = signature();
  for (const auto& [type, data] : chunks) addChunk(out, type, data);
  addChunk(out, "IEND", {});
  return out;
}

inline Bytes encode(const Image& im) {
  Bytes z = compressedRows(im);
  z.insert(z.end(), im.trailingData.begin(), im.trailingData.end());
  std::vector<std::pair<const char*, Bytes>> chunks = {{"IHDR", headerData(im)},
                                                       {"tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'x'}}};
  if (!im.plte.empty()) chunks.push_back({"PLTE", im.plte});
  if (!im.trns.empty()) chunks.push_back({"tRNS", im.trns});
  size_t piece = im.idatPiece ? im.idatPiece : z.size();
  for (size_t at = 0; at < z.size(); at += piece)
    chunks.push_back({"IDAT", Bytes(z.begin() + at, z.begin() + std::min(z.size(), at + piece))});
  return fileOf(chunks);
}

// libpng's pixels, top-down, four channels each (R, G, B, A), at the depth
// the file has after expansion (8, or 16 for 16-bit files).
struct Decoded {
  unsigned width = 0, height = 0;
  bool sixteen = false;
  std::vector<uint16_t> rgba;
};

struct ReadState {
  const Bytes* data;
  size_t at;
};

inline void readFromMemory(png_structp png, png_bytep out, png_size_t n) {
  auto* s = static_cast<ReadState*>(png_get_io_ptr(png));
  if (s->at + n > s->data->size()) png_error(png, "short");
  std::memcpy(out, s->data->data() + s->at, n);
  s->at += n;
}

inline bool libpngDecode(const Bytes& file, Decoded& out) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ReadState state{&file, 0};
  std::vector<png_bytep> rows;
  Bytes pixels;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &state, readFromMemory);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  out.width = png_get_image_width(png, info);
  out.height = png_get_image_height(png, info);
  out.sixteen = png_get_bit_depth(png, info) == 16;
  size_t rowBytes = png_get_rowbytes(png, info);
  pixels.resize(rowBytes * out.height);
  for (unsigned y = 0; y < out.height; ++y) rows.push_back(pixels.data() + y * rowBytes);
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  out.rgba.resize(static_cast<size_t>(out.width) * out.height * 4);
  for (size_t i = 0; i < out.rgba.size(); ++i)
    out.rgba[i] = out.sixteen ? static_cast<uint16_t>(pixels[2 * i] << 8 | pixels[2 * i + 1]) : pixels[i];
  return true;
}

// The channels R, G, B, A of the picture's pixel at (x, y), y counted from the top.
inline void pixelAt(cPictBase& pict, unsigned x, unsigned y, uint16_t rgba[4]) {
  long long at = (pict.height() - 1 - y) * pict.width() + x;
  if (pict.is16Bpp()) {
    unsigned long long v = pict.raw16Bpp()[at];
    rgba[0] = static_cast<uint16_t>(v >> 32);
    rgba[1] = static_cast<uint16_t>(v >> 16);
    rgba[2] = static_cast<uint16_t>(v);
    rgba[3] = static_cast<uint16_t>(v >> 48);
  } else {
    unsigned v = pict.raw8Bpp()[at];
    rgba[0] = (v >> 16) & 0xFF;
    rgba[1] = (v >> 8) & 0xFF;
    rgba[2] = v & 0xFF;
    rgba[3] = v >> 24;
  }
}

// Differences between the picture and libpng's reading of the same bytes,
// described for the failure message; empty when they agree.
inline std::string compareWithLibpng(cPictBase& pict, const Bytes& file) {
  Decoded ref;
  if (!libpngDecode(file, ref)) return "libpng refused the file";
  if (pict.width() != ref.width || pict.height() != ref.height) return "size differs";
  if (pict.is16Bpp() != ref.sixteen) return "depth differs";
  for (unsigned y = 0; y < ref.height; ++y)
    for (unsigned x = 0; x < ref.width; ++x) {
      uint16_t got[4];
      pixelAt(pict, x, y, got);
      const uint16_t* want = ref.rgba.data() + (static_cast<size_t>(y) * ref.width + x) * 4;
      if (std::memcmp(got, want, sizeof got) != 0)
        return "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs from libpng's";
    }
  return "";
}

// A read-only stream over test bytes.
struct MemStream {
  Bytes bytes;
  cBufWrapperIO io;
  explicit MemStream(Bytes b)
      : bytes(std::move(b)), io(bytes.data(), static_cast<long long>(bytes.size()), false) {}
};

}  // namespace pngtest
