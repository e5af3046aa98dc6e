// The Nikon and Pentax Huffman bodies against plain decoders reading one bit
// at a time: whole, cut anywhere (in a code or its difference bits), across
// the reader's 64 KiB blocks, and noise give the same samples and refusals.
#include <gtest/gtest.h>

#include "picts/nef.h"
#include "picts/pictpef.h"
#include "picts/tests/nef_support.h"
#include "picts/tests/pef_writer.h"

namespace {

using tifftest::Bytes;

// n bits of `s` from bit `at` on, most significant first; past the end 0.
unsigned take(const Bytes& s, long long& at, int n) {
  unsigned v = 0;
  for (long long end = at + n; at < end; ++at)
    v = v << 1 | (at < 8 * static_cast<long long>(s.size()) ? s[size_t(at >> 3)] >> (7 - (at & 7)) & 1 : 0);
  return v;
}

// Nikon: a canonical code (none matching by the longest length: symbol 0),
// then its difference bits; once a read has passed the end every read
// answers 0. Values leave the curve at its length, 16 more past the split.
bool nikonPlain(const Bytes& s, int tree, int split, int bits, int w, int h, std::vector<uint16_t>& out) {
  long long at = 0;
  auto dead = [&] { return at > 8 * static_cast<long long>(s.size()); };
  int vpred[2][2] = {}, hpred[2] = {}, lower = 0, limit = 1 << bits;
  for (int y = 0; y < h; ++y) {
    if (split && y == split) ++tree, lower = 16, limit += 32;
    for (int x = 0; x < w; ++x) {
      const unsigned char* t = kNikonTrees[tree];
      int sym = 0, longest = dead() ? 0 : 16;
      while (longest && !t[longest - 1]) --longest;
      for (unsigned len = 1, v = 0, first = 0, k = 16; len <= unsigned(longest) && !sym; ++len) {
        v = v << 1 | take(s, at, 1);
        sym = v - first < t[len - 1] ? t[k + v - first] | 0x100 : 0;
        k += t[len - 1], first = (first + t[len - 1]) << 1;
      }
      const int len = sym & 15, shl = sym >> 4 & 15;
      int diff = ((int(dead() || len <= shl ? 0 : take(s, at, len - shl)) << 1) + 1) << shl >> 1;
      diff = len == 0 ? 0 : diff & 1 << (len - 1) ? diff : diff - (1 << len) + (shl == 0);
      int& pred = x < 2 ? vpred[y & 1][x] : hpred[x & 1];
      pred = uint16_t(pred + diff);
      if (x < 2) hpred[x] = pred;
      if (int16_t(pred) + lower >= limit) return false;
      out.push_back(uint16_t(std::clamp<int>(int16_t(pred), 0, (1 << bits) - 1)));
    }
  }
  return true;
}

TEST(RawHuffman, NikonBodiesMatchPlainDecoder) {
  // kind, bits, split row, width, height, steps between neighbours (small in split rows), noise
  for (auto [kind, bits, splitRow, w, h, step, noise] :
       {std::array<int, 7>{3, 12, 0, 33, 6, 4095, 0}, {3, 14, 0, 31, 5, 16383, 0}, {1, 12, 0, 20, 7, 40, 0},
        {4, 12, 3, 18, 8, 15, 0}, {4, 14, 2, 1, 40, 15, 0}, {4, 14, 5, 17, 16, 15, 1}}) {
    std::mt19937 rng{unsigned(w)};
    neftest::Plane p{w, h, bits, {}};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int base = x >= 2 ? p.at(x - 2, y) : y >= 2 ? p.at(x, y - 2) : 1 << (bits - 1);
        p.v.push_back(uint16_t(std::clamp(base + int(rng() % (2 * step + 1)) - step, 0, (1 << bits) - 1)));
      }
    Bytes block = kind == 3 ? Bytes{'F', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0} : neftest::splitBlock(bits, splitRow, false);
    const int tree = (kind == 3 ? 2 : 0) + (bits == 14 ? 3 : 0), split = kind == 4 ? splitRow : 0;
    const uint16_t zero[4] = {};
    Bytes full = neftest::huffman(p, tree, split, zero);
    for (auto& b : full) b = noise ? uint8_t(rng()) : b;
    for (size_t cut : {full.size(), full.size() - 1, full.size() / 2 + 1, size_t(9), size_t(1), size_t(0)}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, kind " + std::to_string(kind) + ", cut " + std::to_string(cut));
      std::vector<uint16_t> expected;
      const bool ok = nikonPlain(Bytes(full.begin(), full.begin() + long(cut)), tree, split, bits, w, h, expected);
      cPictNEF nef;
      nef.makerNote().compression = uint16_t(kind);
      nef.makerNote().linearization.set(long(block.size()));
      std::copy(block.begin(), block.end(), nef.makerNote().linearization.ptr);
      _typebuf<unsigned char> in;
      in.set(long(cut));
      std::copy(full.begin(), full.begin() + long(cut), in.ptr);
      cPictTIFF::sDecomress out;
      out.bitsPerSample = unsigned(bits), out.rowBytes = unsigned((w * bits + 7) / 8), out.rows = unsigned(h);
      ASSERT_EQ(nef.decodeStripe(in, 34713, out), ok);
      const auto* got = reinterpret_cast<const uint16_t*>(out.data.ptr);
      EXPECT_TRUE(!ok || std::vector<uint16_t>(got, got + expected.size()) == expected);
      EXPECT_TRUE(cut != full.size() || noise || expected == p.v);
    }
  }
}

// Pentax: a 12-bit pattern no code begins takes nothing and means 0; a read
// finding fewer bits than it asks leaves the stream dry and every difference
// 0 from then on. The stream runs to the end of the file.
bool pentaxPlain(const Bytes& s, const peftest::PefSpec& spec, std::vector<uint16_t>& out) {
  const auto codes = cameratest::canonicalCodes(peftest::kLengths);
  long long at = 0, peek;
  bool dry = false;
  uint16_t vpred[2][2] = {}, hpred[2] = {};
  for (int y = 0; y < spec.h; ++y)
    for (int x = 0; x < spec.w; ++x) {
      int d = 0, length = 0;
      dry = dry || 8 * static_cast<long long>(s.size()) - at < 12;
      const unsigned v = take(s, peek = at, 12);
      for (size_t c = 0; c < codes.size() && !dry; ++c)
        if (v >> (12 - codes[c].second) == codes[c].first) length = int(c), at += codes[c].second;
      dry = dry || 8 * static_cast<long long>(s.size()) - at < length;
      if (length && !dry) d = int(take(s, at, length));
      if (length && !dry && !(d >> (length - 1) & 1)) d -= (1 << length) - 1;
      uint16_t& pred = x < 2 ? vpred[y & 1][x] : hpred[x & 1];
      pred = uint16_t(pred + d);
      if (x < 2) hpred[x] = pred;
      if (pred >> spec.bits) return false;
      out.push_back(pred);
    }
  return true;
}

TEST(RawHuffman, PentaxStripsMatchPlainDecoder) {
  // width, height, bits, big-endian, noise, percent of the body kept (a strip
  // keeps at least a byte per eight samples)
  for (auto [w, h, bits, big, noise, keep] :
       {std::array<int, 6>{320, 240, 12, 1, 0, 100}, {320, 240, 14, 0, 0, 93}, {320, 240, 12, 1, 0, 41},
        {64, 8, 12, 0, 0, 15}, {200, 100, 16, 0, 1, 70}, {64, 24, 12, 1, 1, 100}}) {
    peftest::PefSpec s{w, h, std::min(bits, 14), 65535, big != 0};
    s.rowsPerStrip = unsigned(h);
    const auto v = peftest::samples(s, 9);  // of at most 14 bits: the table has no longer categories
    s.bits = bits;
    std::mt19937 rng{unsigned(w)};
    Bytes body = peftest::pefBody(s, v, 0, unsigned(h)), file = peftest::writePef(s, v);
    for (auto& b : body) b = noise ? uint8_t(rng()) : b;
    body.resize(std::max<size_t>(1, body.size() * size_t(keep) / 100));
    // The body moves to the end of the file as its only strip.
    auto get = [&file, msb = big != 0](size_t at, int n) {
      uint32_t r = 0;
      for (int i = 0; i < n; ++i) r |= uint32_t(file[at + size_t(i)]) << (msb ? 8 * (n - 1 - i) : 8 * i);
      return r;
    };
    const size_t ifd = get(4, 4), end = file.size();
    for (size_t e = ifd + 2; e < ifd + 2 + 12 * get(ifd, 2); e += 12)
      for (int i = 0; i < 4 && (get(e, 2) == 273 || get(e, 2) == 279); ++i)
        file[e + 8 + size_t(i)] = uint8_t((get(e, 2) == 273 ? end : body.size()) >> (big ? 8 * (3 - i) : 8 * i));
    file.insert(file.end(), body.begin(), body.end());
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + ", " + std::to_string(body.size()) + " bytes");
    std::vector<uint16_t> expected;
    const bool ok = pentaxPlain(body, s, expected);
    cameratest::Captured<cPictPEF> d;
    ASSERT_EQ(cameratest::decodePlane(file, d), ok);
    EXPECT_TRUE(!ok || d.plane == expected);
    EXPECT_TRUE(keep != 100 || noise || expected == v);
  }
}

}  // namespace
