// The Nikon and Pentax Huffman bodies against plain decoders that read one
// bit at a time: whole bodies, bodies cut anywhere (in a code or in its
// difference bits), bodies crossing the reader's 64 KiB blocks and noise
// give the same samples and the same refusals.
#include <gtest/gtest.h>

#include "picts/nef.h"
#include "picts/pictpef.h"
#include "picts/tests/nef_support.h"
#include "picts/tests/pef_writer.h"

namespace {

using tifftest::Bytes;

// Bit k of `s`, most significant first; past the end 0.
unsigned bitAt(const Bytes& s, long long k) {
  return k < 8 * static_cast<long long>(s.size()) ? s[size_t(k >> 3)] >> (7 - (k & 7)) & 1 : 0;
}
unsigned take(const Bytes& s, long long& at, int n) {
  unsigned v = 0;
  for (int i = 0; i < n; ++i) v = v << 1 | bitAt(s, at++);
  return v;
}

// Nikon: a symbol by its canonical code (none matching: 0 of the longest
// length), difference bits after it; once a read has passed the end every
// read answers 0. Values leave the curve at its length, 16 more past the
// split row.
bool nikonPlain(const Bytes& s, int tree, int split, int bits, int w, int h, std::vector<uint16_t>& out) {
  long long at = 0;
  auto dead = [&] { return at > 8 * static_cast<long long>(s.size()); };
  int vpred[2][2] = {}, hpred[2] = {}, lower = 0, limit = 1 << bits;
  for (int y = 0; y < h; ++y) {
    if (split && y == split) ++tree, lower = 16, limit += 32;
    for (int x = 0; x < w; ++x) {
      const unsigned char* t = kNikonTrees[tree];
      int sym = 0, longest = 16;
      while (!t[longest - 1]) --longest;
      for (unsigned len = 1, v = 0, first = 0, k = 16; len <= unsigned(longest) && !dead(); ++len) {
        v = v << 1 | bitAt(s, at++);
        if (v - first < t[len - 1]) {
          sym = t[k + v - first];
          break;
        }
        k += t[len - 1];
        first = (first + t[len - 1]) << 1;
      }
      const int len = sym & 15, shl = sym >> 4;
      int diff = ((int(dead() || len <= shl ? 0 : take(s, at, len - shl)) << 1) + 1) << shl >> 1;
      if (len == 0) diff = 0;
      else if ((diff & 1 << (len - 1)) == 0) diff -= (1 << len) - (shl == 0);
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
  struct Case {
    int kind, bits, split, width, height, maxStep;
    bool noise;
  } cases[] = {
      {3, 12, 0, 33, 6, 0, false}, {3, 14, 0, 31, 5, 0, false}, {1, 12, 0, 20, 7, 40, false},
      {4, 12, 3, 18, 8, 15, false}, {4, 14, 2, 1, 40, 15, false}, {4, 14, 5, 17, 16, 0, true},
  };
  std::mt19937 rng(7);
  for (const Case& c : cases) {
    neftest::Plane p{c.width, c.height, c.bits, {}};
    const int top = (1 << c.bits) - 1;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) {  // small steps keep split-tree differences short
        const int base = x >= 2 ? p.at(x - 2, y) : y >= 2 ? p.at(x, y - 2) : top / 2;
        const int step = c.maxStep ? int(rng() % (2 * c.maxStep + 1)) - c.maxStep : 0;
        p.v.push_back(uint16_t(c.maxStep ? std::clamp(base + step, 0, top) : rng() & top));
      }
    Bytes block = c.kind == 3 ? Bytes(12, 0) : neftest::splitBlock(c.bits, c.split, false);
    if (c.kind == 3) block[0] = 'F';
    const int tree = (c.kind == 3 ? 2 : 0) + (c.bits == 14 ? 3 : 0), split = c.kind == 4 ? c.split : 0;
    const uint16_t zero[4] = {};
    Bytes full = neftest::huffman(p, tree, split, zero);
    for (auto& b : full) b = c.noise ? uint8_t(rng()) : b;
    for (size_t cut : {full.size(), full.size() - 1, full.size() / 2 + 1, size_t(9), size_t(1), size_t(0)}) {
      SCOPED_TRACE(std::to_string(c.bits) + " bits, kind " + std::to_string(c.kind) + ", cut " + std::to_string(cut));
      const Bytes body(full.begin(), full.begin() + long(cut));
      std::vector<uint16_t> expected;
      const bool ok = nikonPlain(body, tree, split, c.bits, c.width, c.height, expected);
      cPictNEF nef;
      nef.makerNote().compression = uint16_t(c.kind);
      nef.makerNote().linearization.set(long(block.size()));
      std::copy(block.begin(), block.end(), nef.makerNote().linearization.ptr);
      _typebuf<unsigned char> in;
      in.set(long(body.size()));
      std::copy(body.begin(), body.end(), in.ptr);
      cPictTIFF::sDecomress out;
      out.bitsPerSample = unsigned(c.bits);
      out.rowBytes = unsigned((c.width * c.bits + 7) / 8);
      out.rows = unsigned(c.height);
      ASSERT_EQ(nef.decodeStripe(in, 34713, out), ok);
      if (!ok) continue;
      const auto* got = reinterpret_cast<const uint16_t*>(out.data.ptr);
      EXPECT_EQ(std::vector<uint16_t>(got, got + expected.size()), expected);
      EXPECT_TRUE(cut != full.size() || c.noise || expected == p.v);
    }
  }
}

// Pentax: a 12-bit lookup whose pattern no code begins takes nothing and
// means 0; a read finding fewer bits than it asks leaves the stream dry and
// every difference 0 from then on. The stream runs to the end of the file.
bool pentaxPlain(const Bytes& s, const peftest::PefSpec& spec, std::vector<uint16_t>& out) {
  const auto codes = cameratest::canonicalCodes(peftest::kLengths);
  long long at = 0;
  bool dry = false;
  uint16_t vpred[2][2] = {}, hpred[2] = {};
  for (int y = 0; y < spec.h; ++y)
    for (int x = 0; x < spec.w; ++x) {
      int d = 0, length = 0;
      long long peek = at;
      dry = dry || 8 * static_cast<long long>(s.size()) - at < 12;
      const unsigned v = take(s, peek, 12);
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
  struct Case {
    int w, h, bits, keepPercent;  // a strip keeps at least a byte per eight samples
    bool big, noise;
  } cases[] = {{320, 240, 12, 100, true, false}, {320, 240, 14, 93, false, false},
               {320, 240, 12, 41, true, false},  {64, 8, 12, 15, false, false},
               {200, 100, 16, 70, false, true},  {64, 24, 12, 100, true, true}};
  std::mt19937 rng(5);
  for (const Case& c : cases) {
    peftest::PefSpec s{c.w, c.h, std::min(c.bits, 14), 65535, c.big};
    s.rowsPerStrip = unsigned(c.h);
    const auto v = peftest::samples(s, 9);  // of at most 14 bits: the table has no longer categories
    s.bits = c.bits;
    Bytes body = peftest::pefBody(s, v, 0, unsigned(c.h)), file = peftest::writePef(s, v);
    for (auto& b : body) b = c.noise ? uint8_t(rng()) : b;
    body.resize(std::max<size_t>(1, body.size() * size_t(c.keepPercent) / 100));
    // The body moves to the end of the file as its only strip.
    auto get = [&](size_t at, int n) {
      uint32_t r = 0;
      for (int i = 0; i < n; ++i) r |= uint32_t(file[at + size_t(i)]) << (c.big ? 8 * (n - 1 - i) : 8 * i);
      return r;
    };
    const size_t ifd = get(4, 4), end = file.size();
    for (size_t e = ifd + 2; e < ifd + 2 + 12 * get(ifd, 2); e += 12)
      for (int i = 0; i < 4 && (get(e, 2) == 273 || get(e, 2) == 279); ++i)
        file[e + 8 + size_t(i)] = uint8_t((get(e, 2) == 273 ? end : body.size()) >> (c.big ? 8 * (3 - i) : 8 * i));
    file.insert(file.end(), body.begin(), body.end());
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + ", " + std::to_string(body.size()) + " bytes");
    std::vector<uint16_t> expected;
    const bool ok = pentaxPlain(body, s, expected);
    cameratest::Captured<cPictPEF> d;
    ASSERT_EQ(cameratest::decodePlane(file, d), ok);
    if (!ok) continue;
    EXPECT_TRUE(d.plane == expected);
    EXPECT_TRUE(c.keepPercent != 100 || c.noise || expected == v);
  }
}

}  // namespace
