// The Nikon Huffman body against a plain decoder that reads one bit at a
// time: whole bodies, bodies cut anywhere (in the middle of a code or of its
// difference bits) and noise must give the same samples and the same
// refusals, whatever path the decoder takes through its tables.
#include <gtest/gtest.h>

#include "picts/nef.h"
#include "picts/tests/nef_support.h"

namespace {

using neftest::Bytes;

// Bits most significant first; past the data they read as zeros, and once
// a read has run past the end every further read answers 0.
struct PlainBits {
  const Bytes& data;
  long long at = 0;
  bool dead() const { return at > 8 * static_cast<long long>(data.size()); }
  unsigned bit() {
    const long long byte = at >> 3;
    const unsigned b = byte < static_cast<long long>(data.size()) ? data[byte] >> (7 - (at & 7)) & 1 : 0;
    ++at;
    return b;
  }
  unsigned take(int n) {
    unsigned v = 0;
    if (n > 0 && !dead())
      for (int i = 0; i < n; ++i) v = v << 1 | bit();
    return v;
  }
  // Codes laid out canonically by the counts; none matching by the longest
  // length reads as symbol 0 of that length.
  int symbol(const unsigned char* tree) {
    if (dead()) return 0;
    int longest = 0;
    for (int len = 1; len <= 16; ++len)
      if (tree[len - 1]) longest = len;
    unsigned v = 0, first = 0;
    const unsigned char* sym = tree + 16;
    for (int len = 1; len <= longest; ++len, first <<= 1) {
      v = v << 1 | bit();
      if (v - first < tree[len - 1]) return sym[v - first];
      first += tree[len - 1];
      sym += tree[len - 1];
    }
    return 0;
  }
};

// Samples as the plain decoder reads them, or false where a value leaves the
// curve.
bool plainDecode(const Bytes& body, int tree, int split, int bits, int w, int h, const std::vector<uint16_t>& curve,
                 std::vector<uint16_t>& out) {
  PlainBits in{body};
  int vpred[2][2] = {}, hpred[2] = {};
  const int top = (1 << bits) - 1;
  long long lower = 0, limit = static_cast<long long>(curve.size());
  for (int y = 0; y < h; ++y) {
    if (split && y == split) ++tree, lower = 16, limit += 32;
    for (int x = 0; x < w; ++x) {
      const int sym = in.symbol(kNikonTrees[tree]), len = sym & 15, shl = sym >> 4;
      int diff = ((static_cast<int>(in.take(len - shl)) << 1) + 1) << shl >> 1;
      if (len == 0) diff = 0;
      else if ((diff & 1 << (len - 1)) == 0) diff -= (1 << len) - (shl == 0);
      int& pred = x < 2 ? vpred[y & 1][x] : hpred[x & 1];
      pred = static_cast<uint16_t>(pred + diff);
      if (x < 2) hpred[x] = pred;
      const long long v = static_cast<int16_t>(pred);
      if (v + lower >= limit) return false;
      const long long i = std::clamp<long long>(v, 0, top);
      out.push_back(i < static_cast<long long>(curve.size()) ? curve[static_cast<size_t>(i)] : 65535);
    }
  }
  return true;
}

struct Case {
  const char* name;
  int kind, bits, split, width, height, maxStep;
  char block;      // 'F' identity, 'D' split block, 'L' a listed curve of `points`
  int points = 0;  // of 'L'
  bool noise = false;
};

TEST(NefHuffman, MatchesPlainDecoderWholeCutAndNoisy) {
  const Case cases[] = {
      {"lossless12", 3, 12, 0, 33, 6, 0, 'F'},
      {"lossless14", 3, 14, 0, 31, 5, 0, 'F'},
      {"lossy12", 1, 12, 0, 20, 7, 40, 'D'},
      {"lossy14", 1, 14, 0, 3, 30, 40, 'D'},
      {"split12", 4, 12, 3, 18, 8, 15, 'D'},
      {"split14", 4, 14, 2, 1, 40, 15, 'D'},
      {"shortcurve", 3, 12, 0, 24, 6, 0, 'L', 3000},
      {"noise12", 3, 12, 0, 16, 16, 0, 'L', 16385, true},
      {"noise14", 4, 14, 5, 17, 16, 0, 'D', 0, true},
  };
  unsigned seed = 7;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 rng(seed++);
    neftest::Plane p{c.width, c.height, c.bits, {}};
    const int top = (1 << c.bits) - 1;
    // Small steps from the sample each predictor starts from keep the
    // split trees' differences short.
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) {
        const int base = x >= 2 ? p.at(x - 2, y) : y >= 2 ? p.at(x, y - 2) : top / 2;
        const int step = c.maxStep ? static_cast<int>(rng() % (2 * c.maxStep + 1)) - c.maxStep : 0;
        p.v.push_back(static_cast<uint16_t>(c.maxStep ? std::clamp(base + step, 0, top) : rng() & top));
      }
    // The row predictors start at 0 in every block below, as the encoder's.
    Bytes block = c.block == 'D' ? neftest::splitBlock(c.bits, c.split, false) : Bytes(12, 0);
    std::vector<uint16_t> curve;
    if (c.block == 'F') block[0] = 'F';
    if (c.block == 'L') {
      block[10] = static_cast<uint8_t>(c.points), block[11] = static_cast<uint8_t>(c.points >> 8);
      for (int i = 0; i < c.points; ++i) {
        curve.push_back(static_cast<uint16_t>(i * 3 + 1));
        block.push_back(static_cast<uint8_t>(curve.back())), block.push_back(static_cast<uint8_t>(curve.back() >> 8));
      }
    } else {
      for (int i = 0; i <= top; ++i) curve.push_back(static_cast<uint16_t>(i));
    }
    const int tree = (c.block == 'F' ? 2 : 0) + (c.bits == 14 ? 3 : 0);
    const uint16_t zero[4] = {};
    Bytes full = neftest::huffman(p, tree, c.kind == 4 ? c.split : 0, zero);
    if (c.noise)
      for (auto& b : full) b = static_cast<uint8_t>(rng());
    for (size_t cut : {full.size(), full.size() - 1, full.size() * 2 / 3, full.size() / 2 + 1, size_t(9), size_t(7),
                       size_t(1), size_t(0)}) {
      SCOPED_TRACE(cut);
      const Bytes body(full.begin(), full.begin() + static_cast<long>(cut));
      std::vector<uint16_t> expected;
      const bool ok = plainDecode(body, tree, c.kind == 4 ? c.split : 0, c.bits, c.width, c.height, curve, expected);
      cPictNEF nef;
      nef.makerNote().compression = static_cast<unsigned short>(c.kind);
      nef.makerNote().linearization.set(static_cast<long long>(block.size()));
      std::copy(block.begin(), block.end(), nef.makerNote().linearization.ptr);
      _typebuf<unsigned char> in;
      in.set(static_cast<long long>(body.size()));
      std::copy(body.begin(), body.end(), in.ptr);
      cPictTIFF::sDecomress out;
      out.bitsPerSample = static_cast<unsigned>(c.bits);
      out.rowBytes = static_cast<unsigned>((c.width * c.bits + 7) / 8);
      out.rows = static_cast<unsigned>(c.height);
      ASSERT_EQ(nef.decodeStripe(in, 34713, out), ok);
      if (!ok) continue;
      const auto* s = reinterpret_cast<const uint16_t*>(out.data.ptr);
      EXPECT_EQ(std::vector<uint16_t>(s, s + expected.size()), expected);
      if (cut == full.size() && !c.noise && c.block != 'L') {
        EXPECT_EQ(expected, p.v);
      }
    }
  }
}

}  // namespace
