// Test-side tools for the raster decoders: pictures made at test time by the
// Debian oracles (ImageMagick, netpbm) in a scratch folder, their answers read
// back as netpbm files, and the comparison of a decoded picture with them.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picts/pictbase.h"
#include "picts/tests/png_support.h"
#include "picts/tests/scratch_io.h"

namespace rastertest {

using Bytes = std::vector<uint8_t>;

// Pixels top-down, 0xAARRGGBB.
struct Pixels {
  long long w = 0, h = 0;
  std::vector<uint32_t> argb;
  uint32_t at(long long x, long long y) const { return argb[static_cast<size_t>(y * w + x)]; }
};

using Stream = pngtest::MemStream;

inline const std::string& scratch() { return scratchio::programFolder("zvk_raster"); }

inline std::string path(const std::string& name) { return scratch() + "/" + name; }

// The commands are the test's own, over paths in the scratch folder.
inline bool run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

using scratchio::readFile;
using scratchio::writeFile;

// Reads P4, P5, P6 and P7 (one to four channels, any maxval) onto 8 bits.
inline bool parsePnm(const Bytes& f, Pixels& out) {
  size_t at = 2;
  auto token = [&]() -> std::string {
    for (;;) {
      while (at < f.size() && isspace(f[at])) ++at;
      if (at < f.size() && f[at] == '#') {
        while (at < f.size() && f[at] != '\n') ++at;
        continue;
      }
      break;
    }
    std::string t;
    while (at < f.size() && !isspace(f[at])) t += static_cast<char>(f[at++]);
    return t;
  };
  if (f.size() < 3 || f[0] != 'P') return false;
  int kind = f[1] - '0';
  long long depth = kind == 6 ? 3 : 1, maxval = 1;
  if (kind == 7) {
    for (std::string t = token(); t != "ENDHDR" && !t.empty(); t = token()) {
      if (t == "WIDTH") out.w = std::stoll(token());
      if (t == "HEIGHT") out.h = std::stoll(token());
      if (t == "DEPTH") depth = std::stoll(token());
      if (t == "MAXVAL") maxval = std::stoll(token());
      if (t == "TUPLTYPE") token();
    }
  } else {
    out.w = std::stoll(token());
    out.h = std::stoll(token());
    if (kind != 4) maxval = std::stoll(token());
  }
  ++at;  // the single white-space character before the samples
  int bytes = maxval > 255 ? 2 : 1;
  out.argb.assign(static_cast<size_t>(out.w * out.h), 0);
  for (long long y = 0; y < out.h; ++y) {
    for (long long x = 0; x < out.w; ++x) {
      unsigned s[4] = {0, 0, 0, 255};
      if (kind == 4) {
        size_t byte = at + static_cast<size_t>(y * ((out.w + 7) / 8) + x / 8);
        if (byte >= f.size()) return false;
        s[0] = (f[byte] >> (7 - x % 8)) & 1 ? 0 : 255;
      } else {
        for (long long k = 0; k < depth; ++k) {
          if (at + bytes > f.size()) return false;
          unsigned v = bytes == 2 ? f[at] << 8 | f[at + 1] : f[at];
          at += bytes;
          s[k] = static_cast<unsigned>((v * 255ULL + maxval / 2) / maxval);
        }
      }
      unsigned r = s[0], g = depth >= 3 ? s[1] : s[0], b = depth >= 3 ? s[2] : s[0];
      unsigned a = depth == 2 ? s[1] : depth == 4 ? s[3] : 255;
      out.argb[static_cast<size_t>(y * out.w + x)] = a << 24 | r << 16 | g << 8 | b;
    }
  }
  return true;
}

// The oracle's reading of `file` through `command` ("convert {} pam:-" and
// the like; {} is the file), as pixels.
inline bool oracle(const std::string& command, const std::string& file, Pixels& out) {
  std::string cmd = command, result = path("oracle.pnm");
  cmd.replace(cmd.find("{}"), 2, file);
  if (!run(cmd + " > " + result)) return false;
  return parsePnm(readFile(result), out);
}

// The decoded 8-bit picture, top-down.
inline Pixels pixelsOf(cPictBase& pict) {
  Pixels p;
  p.w = pict.width();
  p.h = pict.height();
  _typebuf<unsigned int> words;
  if (!pict.getColorData(words)) return p;
  for (long long y = 0; y < p.h; ++y)
    for (long long x = 0; x < p.w; ++x) p.argb.push_back(words.ptr[(p.h - 1 - y) * p.w + x]);
  return p;
}

// Counts the pixels that differ, alpha always and colour where the expected
// alpha is non-zero; `expect` maps the oracle's pixel onto what the decoder
// must give where the two differ on purpose.
template <typename Expect>
std::string differences(const Pixels& ours, const Pixels& ref, Expect expect) {
  if (ours.w != ref.w || ours.h != ref.h || ours.argb.size() != ref.argb.size())
    return "size " + std::to_string(ours.w) + "x" + std::to_string(ours.h) + " against " +
           std::to_string(ref.w) + "x" + std::to_string(ref.h);
  long long bad = 0;
  std::string first;
  for (long long y = 0; y < ref.h; ++y)
    for (long long x = 0; x < ref.w; ++x) {
      uint32_t want = expect(ref.at(x, y)), got = ours.at(x, y);
      bool same = (want >> 24) == 0 ? (got >> 24) == 0 : want == got;
      if (!same && !bad++) {
        char text[96];
        std::snprintf(text, sizeof text, " first at (%lld,%lld): %08x, want %08x", x, y, got, want);
        first = text;
      }
    }
  return bad ? std::to_string(bad) + " pixels differ;" + first : "";
}

inline std::string differences(const Pixels& ours, const Pixels& ref) {
  return differences(ours, ref, [](uint32_t v) { return v; });
}

// A source picture for the tools: random colours drawn from `colours`
// entries (0: any colour), with alpha when asked, written as PAM.
inline std::string sourcePicture(const std::string& name, int w, int h, int colours, bool alpha,
                                 uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> palette;
  for (int i = 0; i < (colours ? colours : 0); ++i) palette.push_back(rng());
  std::string head = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) + "\nDEPTH " +
                     (alpha ? "4" : "3") + "\nMAXVAL 255\nTUPLTYPE " + (alpha ? "RGB_ALPHA" : "RGB") +
                     "\nENDHDR\n";
  Bytes f(head.begin(), head.end());
  for (int i = 0; i < w * h; ++i) {
    uint32_t v = colours ? palette[rng() % palette.size()] : rng();
    f.push_back(static_cast<uint8_t>(v >> 16));
    f.push_back(static_cast<uint8_t>(v >> 8));
    f.push_back(static_cast<uint8_t>(v));
    if (alpha) f.push_back(static_cast<uint8_t>(i % 7 == 0 ? 0 : v >> 24 | 1));
  }
  std::string file = path(name);
  writeFile(file, f);
  return file;
}

inline uint32_t samePixel(uint32_t v) { return v; }

// A file made by a tool, the oracles that read it ("convert {} -depth 8
// pam:-" and the like) and the decoder's deliberate departure from them.
struct ToolCase {
  std::string name, make;
  std::vector<std::string> oracles;
  uint32_t (*expect)(uint32_t) = samePixel;
};

// Makes each case's file, probes and decodes it with `Decoder` and compares
// the pixels with every oracle's.
template <typename Decoder>
void expectToolCasesMatch(const std::vector<ToolCase>& cases, const std::string& extension) {
  for (const ToolCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = path("case" + extension), make = c.make;
    make.replace(make.find("{}"), 2, file);
    ASSERT_TRUE(run(make));
    Stream s(readFile(file));
    cPictBase::sPictInfo info;
    ASSERT_TRUE(Decoder::validFor(&s.io, &info));
    s.io.set_fp(0);
    Decoder pict;
    ASSERT_TRUE(pict.decode(&s.io));
    Pixels ours = pixelsOf(pict);
    EXPECT_EQ(info.width, ours.w);
    EXPECT_EQ(info.height, ours.h);
    for (const std::string& command : c.oracles) {
      SCOPED_TRACE(command);
      Pixels ref;
      ASSERT_TRUE(oracle(command, file, ref));
      EXPECT_EQ(differences(ours, ref, c.expect), "");
    }
  }
}

}  // namespace rastertest
