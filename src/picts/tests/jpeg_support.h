// Test-side JPEG tools: pictures synthesised here, compressed at test time
// by the reference tools or by libjpeg itself, libjpeg's own decoding as the
// oracle, and a lossless writer for what the reference library cannot write.
#pragma once

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE declared before it
#include <jpeglib.h>
// clang-format on

#include <setjmp.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "picts/pictjpeg.h"
#include "picts/tests/scratch_io.h"
#include "png_support.h"

namespace jpegtest {

using Bytes = std::vector<uint8_t>;
using pngtest::MemStream;

// Photograph-like content: gradients, an edge and noise, so that every
// quality setting leaves both smooth and busy blocks.
inline Bytes picture(unsigned w, unsigned h, int channels, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes px(static_cast<size_t>(w) * h * channels);
  for (unsigned y = 0; y < h; ++y)
    for (unsigned x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c) {
        int v = static_cast<int>((x * (3 + c) + y * (5 - c)) % 256);
        if (static_cast<int>((x / 13 + y / 7) % 3) == c % 3) v = 255 - v;
        v += static_cast<int>(rng() % 41) - 20;
        px[(static_cast<size_t>(y) * w + x) * channels + c] = static_cast<uint8_t>(v < 0     ? 0
                                                                                   : v > 255 ? 255
                                                                                             : v);
      }
  return px;
}

inline Bytes ppm(unsigned w, unsigned h, int channels, const Bytes& px) {
  std::string head =
      (channels == 1 ? "P5\n" : "P6\n") + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  Bytes out(head.begin(), head.end());
  out.insert(out.end(), px.begin(), px.end());
  return out;
}

inline const std::string& scratchDir() { return scratchio::programFolder("zvk_jpeg"); }

using scratchio::readFile;
using scratchio::run;
using scratchio::writeFile;

// `tool` (cjpeg or jpegtran) with `args` over `input`; empty on failure.
inline Bytes tool(const std::string& name, const std::vector<std::string>& args, const Bytes& input) {
  static int serial = 0;
  std::string base = scratchDir() + "/t" + std::to_string(getpid()) + "_" + std::to_string(serial++);
  writeFile(base + ".in", input);
  std::vector<std::string> argv{name};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.insert(argv.end(), {"-outfile", base + ".out", base + ".in"});
  Bytes out = run(argv) ? readFile(base + ".out") : Bytes();
  std::remove((base + ".in").c_str());
  std::remove((base + ".out").c_str());
  return out;
}

struct ErrorMgr {
  jpeg_error_mgr pub;
  jmp_buf jump;
};
inline void onError(j_common_ptr cinfo) { longjmp(reinterpret_cast<ErrorMgr*>(cinfo->err)->jump, 1); }
inline void quiet(j_common_ptr, int) {}

// libjpeg's decoding as 0xAARRGGBB words, top row first: accurate integer
// IDCT, replicated chroma, no smoothing; four-component files through
// their CMYK samples and the picture's formula.
struct Reference {
  unsigned width = 0, height = 0;
  std::vector<uint32_t> px;
};

inline uint32_t inkOf(unsigned v, unsigned k) { return v * k / 255; }

inline bool referenceDecode(const Bytes& file, Reference& out, bool ycckAsYCbCr = false) {
  jpeg_decompress_struct cinfo;
  ErrorMgr err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = onError;
  err.pub.emit_message = quiet;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  bool four = cinfo.num_components == 4;
  if (four && ycckAsYCbCr) {
    // The first three components as YCbCr, K ignored: libjpeg gives them
    // raw, and the conversion happens here with its own tables' formula.
    cinfo.jpeg_color_space = JCS_CMYK;
    cinfo.out_color_space = JCS_CMYK;
  } else {
    cinfo.out_color_space = four ? JCS_CMYK : JCS_EXT_BGRA;
  }
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.do_fancy_upsampling = FALSE;
  cinfo.do_block_smoothing = FALSE;
  jpeg_start_decompress(&cinfo);
  out.width = cinfo.output_width;
  out.height = cinfo.output_height;
  out.px.assign(static_cast<size_t>(out.width) * out.height, 0);
  std::vector<uint8_t> row(static_cast<size_t>(out.width) * 4);
  while (cinfo.output_scanline < cinfo.output_height) {
    unsigned y = cinfo.output_scanline;
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
    for (unsigned x = 0; x < out.width; ++x) {
      const uint8_t* p = row.data() + 4 * x;
      uint32_t word;
      if (!four) {
        word = p[0] | p[1] << 8 | p[2] << 16 | 0xFF000000u;
      } else if (ycckAsYCbCr) {
        auto clamp = [](double v) { return static_cast<uint32_t>(v <= 0 ? 0 : v >= 255 ? 255 : v); };
        double Y = p[0], cb = p[1] - 128.0, cr = p[2] - 128.0;
        word = clamp(Y + 1.402 * cr + 0.5) << 16 | clamp(Y - 0.3441363 * cb - 0.71413636 * cr + 0.5) << 8 |
               clamp(Y + 1.772 * cb + 0.5) | 0xFF000000u;
      } else {
        word = inkOf(p[0], p[3]) << 16 | inkOf(p[1], p[3]) << 8 | inkOf(p[2], p[3]) | 0xFF000000u;
      }
      out.px[static_cast<size_t>(y) * out.width + x] = word;
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// A four-component file written by libjpeg from CMYK samples, stored as
// CMYK or transformed to YCCK.
inline Bytes writeFourComponents(unsigned w, unsigned h, bool ycck, uint32_t seed) {
  Bytes px = picture(w, h, 4, seed);
  jpeg_compress_struct cinfo;
  ErrorMgr err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = onError;
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    free(mem);
    return {};
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &mem, &size);
  cinfo.image_width = w;
  cinfo.image_height = h;
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, ycck ? JCS_YCCK : JCS_CMYK);
  jpeg_set_quality(&cinfo, 85, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < h) {
    JSAMPROW row = px.data() + static_cast<size_t>(cinfo.next_scanline) * w * 4;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes out(mem, mem + size);
  free(mem);
  return out;
}

// The picture's pixel at image row y (top first), as a word.
inline uint32_t pixel(cPictBase& pict, unsigned x, unsigned y, bool bottomUp = true) {
  long long row = bottomUp ? pict.height() - 1 - y : y;
  return pict.raw8Bpp()[row * pict.width() + x];
}

// "" when the picture equals the reference exactly, else the first difference.
inline std::string compare(cPictBase& pict, const Reference& ref, bool bottomUp = true) {
  if (pict.width() != ref.width || pict.height() != ref.height || !pict.raw8Bpp())
    return "size " + std::to_string(pict.width()) + "x" + std::to_string(pict.height());
  for (unsigned y = 0; y < ref.height; ++y)
    for (unsigned x = 0; x < ref.width; ++x) {
      uint32_t a = pixel(pict, x, y, bottomUp), b = ref.px[static_cast<size_t>(y) * ref.width + x];
      if (a != b) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "at %u,%u: %08x, reference %08x", x, y, a, b);
        return msg;
      }
    }
  return "";
}

// Lossless streams: any predictor over interleaved components, with a fixed
// table of 17 categories (14 four-bit codes, 3 five-bit ones). The first
// component may be sampled H x V as camera YCbCr streams are: an MCU then
// holds its H x V samples, each predicted from the one before it, followed
// by one sample of every other component.
struct Lossless {
  unsigned width = 1, height = 1, precision = 8, comps = 1;  // width, height in MCUs
  std::vector<uint16_t> samples;  // in stream order, MCU by MCU; missing ones are 0
  int predictor = 1;               // 2 to 7 apply to sampling 0x11 only
  unsigned pointTransform = 0;    // low bits the stream leaves out
  unsigned restartRows = 0;       // restart every this many MCU rows
  unsigned char sampling = 0x11;  // of the first component
};

struct BitWriter {
  Bytes& out;
  uint32_t acc = 0;
  int bits = 0;
  void put(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) {
      acc = acc << 1 | ((v >> i) & 1);
      if (++bits == 8) flushByte();
    }
  }
  void flushByte() {
    out.push_back(static_cast<uint8_t>(acc));
    if ((acc & 0xFF) == 0xFF) out.push_back(0);
    acc = 0;
    bits = 0;
  }
  void pad() {
    while (bits) put(1, 1);
  }
};

inline void put16(Bytes& out, unsigned v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

inline Bytes writeLossless(const Lossless& im) {
  Bytes out{0xFF, 0xD8, 0xFF, 0xC3};
  put16(out, 8 + 3 * im.comps);
  out.push_back(static_cast<uint8_t>(im.precision));
  unsigned h = im.sampling >> 4, v = im.sampling & 15;
  put16(out, im.height * v);
  put16(out, im.width * h);
  out.push_back(static_cast<uint8_t>(im.comps));
  for (unsigned c = 0; c < im.comps; ++c) {
    out.push_back(static_cast<uint8_t>(im.comps == 3 ? "RGB"[c] : c + 1));
    out.push_back(c == 0 ? im.sampling : 0x11);
    out.push_back(0);
  }
  out.insert(out.end(), {0xFF, 0xC4});
  put16(out, 2 + 17 + 17);
  out.push_back(0);
  for (int l = 1; l <= 16; ++l) out.push_back(l == 4 ? 14 : l == 5 ? 3 : 0);
  for (int s = 0; s <= 16; ++s) out.push_back(static_cast<uint8_t>(s));
  if (im.restartRows) {
    out.insert(out.end(), {0xFF, 0xDD, 0, 4});
    put16(out, im.restartRows * im.width);
  }
  out.insert(out.end(), {0xFF, 0xDA});
  put16(out, 6 + 2 * im.comps);
  out.push_back(static_cast<uint8_t>(im.comps));
  for (unsigned c = 0; c < im.comps; ++c) {
    out.push_back(static_cast<uint8_t>(im.comps == 3 ? "RGB"[c] : c + 1));
    out.push_back(0);
  }
  out.insert(out.end(), {static_cast<uint8_t>(im.predictor), 0, static_cast<uint8_t>(im.pointTransform)});
  BitWriter bw{out};
  int half = 1 << (im.precision - im.pointTransform - 1);
  std::vector<int> first(im.comps, half), pred(im.comps);
  // T.81 H.1 from the row above, except on the first row of the scan and
  // of each restart interval.
  std::vector<std::vector<int>> above(im.comps, std::vector<int>(im.width)), row = above;
  auto predict = [&](unsigned c, unsigned x) {
    const int ra = row[c][x - 1], rb = above[c][x], rc = above[c][x - 1];
    const int by[8] = {ra, ra, rb, rc, ra + rb - rc, ra + ((rb - rc) >> 1), rb + ((ra - rc) >> 1), (ra + rb) >> 1};
    return by[im.predictor & 7];
  };
  unsigned marker = 0;
  size_t next = 0;
  for (unsigned y = 0; y < im.height; ++y) {
    bool opens = y == 0;
    if (im.restartRows && y > 0 && y % im.restartRows == 0) {
      bw.pad();
      out.insert(out.end(), {0xFF, static_cast<uint8_t>(0xD0 + (marker++ & 7))});
      for (int& f : first) f = half;
      opens = true;
    }
    pred = first;
    for (unsigned x = 0; x < im.width; ++x)
      for (unsigned c = 0; c < im.comps; ++c)
        for (unsigned k = 0; k < (c == 0 ? h * v : 1); ++k, ++next) {
          int s = (next < im.samples.size() ? im.samples[next] : 0) >> im.pointTransform;
          if (x > 0 && !opens && h * v == 1) pred[c] = predict(c, x);
          row[c][x] = s;
          int diff = (s - pred[c]) & 0xFFFF;
          if (diff >= 32768) diff -= 65536;
          int mag = diff < 0 ? -diff : diff, cat = 0;
          while (mag >> cat) ++cat;
          if (cat < 14)
            bw.put(static_cast<uint32_t>(cat), 4);
          else
            bw.put(static_cast<uint32_t>(0x1C + cat - 14), 5);
          if (cat > 0 && cat < 16)
            bw.put(static_cast<uint32_t>(diff < 0 ? diff + (1 << cat) - 1 : diff), cat);
          pred[c] = s;
          if (x == 0 && k == 0) first[c] = s;
        }
    above.swap(row);
  }
  bw.pad();
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

}  // namespace jpegtest
