// The Pentax Huffman body against a plain decoder that reads one bit at a
// time from the strip's offset to the end of the file: bodies crossing the
// reader's 64 KiB blocks, bodies that run out of file (in the middle of a
// code or of its difference bits) and noise must give the same samples and
// the same refusals.
#include <gtest/gtest.h>

#include "picts/pictpef.h"
#include "picts/tests/pef_writer.h"

namespace {

using cameratest::Bytes;

// What the reader answers: a read that finds fewer bits than it asks for
// leaves the stream dry, and every difference from then on is 0.
struct PlainPef {
  const Bytes& s;
  long long at = 0;  // in bits
  bool dry = false;
  long long left() const { return 8 * static_cast<long long>(s.size()) - at; }
  unsigned peek(int n) const {
    unsigned v = 0;
    for (long long k = at; k < at + n; ++k) v = v << 1 | (s[static_cast<size_t>(k >> 3)] >> (7 - (k & 7)) & 1);
    return v;
  }
  int diff(const std::vector<std::pair<uint32_t, int>>& codes) {
    if (dry || left() < 12) return dry = true, 0;
    // A 12-bit pattern no code begins takes no bits and means 0.
    const unsigned v = peek(12);
    int length = 0;
    for (size_t c = 0; c < codes.size(); ++c)
      if (v >> (12 - codes[c].second) == codes[c].first) length = static_cast<int>(c), at += codes[c].second;
    if (length == 0) return 0;
    if (left() < length) return dry = true, 0;
    int d = static_cast<int>(peek(length));
    at += length;
    if ((d >> (length - 1) & 1) == 0) d -= (1 << length) - 1;
    return d;
  }
};

bool plainDecode(const Bytes& stream, const peftest::PefSpec& s, std::vector<uint16_t>& out) {
  const auto codes = cameratest::canonicalCodes(peftest::kLengths);
  PlainPef in{stream};
  uint16_t vpred[2][2] = {}, hpred[2] = {};
  for (int r = 0; r < s.h; ++r)
    for (int c = 0; c < s.w; ++c) {
      const int d = in.diff(codes);
      uint16_t& pred = c < 2 ? vpred[r & 1][c] : hpred[c & 1];
      pred = static_cast<uint16_t>(pred + d);
      if (c < 2) hpred[c] = pred;
      if (pred >> s.bits) return false;
      out.push_back(pred);
    }
  return true;
}

// `body` becomes the file's last bytes and its only strip.
Bytes moveBodyToEnd(Bytes file, const peftest::PefSpec& s, const Bytes& body) {
  auto get = [&](size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint32_t(file[at + size_t(i)]) << (s.big ? 8 * (n - 1 - i) : 8 * i);
    return v;
  };
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + size_t(i)] = uint8_t(v >> (s.big ? 8 * (3 - i) : 8 * i));
  };
  const size_t ifd = get(4, 4);
  for (size_t e = ifd + 2; e < ifd + 2 + 12 * get(ifd, 2); e += 12) {
    if (get(e, 2) == 273) put(e + 8, uint32_t(file.size()));
    if (get(e, 2) == 279) put(e + 8, uint32_t(body.size()));
  }
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

TEST(PefHuffman, MatchesPlainDecoderAcrossBlocksCutsAndNoise) {
  struct Case {
    const char* name;
    int w, h, bits;
    bool big, noise;
    int keepPercent;  // of the body; a strip must keep a byte per eight samples
  } cases[] = {
      {"whole, two blocks", 320, 240, 12, true, false, 100},
      {"cut in the second block", 320, 240, 14, false, false, 93},
      {"cut in the first block", 320, 240, 12, true, false, 41},
      {"a seventh left", 64, 8, 12, false, false, 15},
      {"noise, 16-bit", 200, 100, 16, false, true, 70},
      {"noise, 12-bit", 64, 24, 12, true, true, 100},
  };
  std::mt19937 rng(5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    peftest::PefSpec s{c.w, c.h, c.bits, 65535, c.big};
    s.rowsPerStrip = unsigned(c.h);
    // Samples of at most 14 bits: the code table has no longer categories.
    peftest::PefSpec narrow = s;
    narrow.bits = std::min(c.bits, 14);
    const auto v = peftest::samples(narrow, 9);
    Bytes body = peftest::pefBody(s, v, 0, unsigned(c.h));
    if (c.noise)
      for (auto& b : body) b = uint8_t(rng());
    for (size_t cut : {body.size() * size_t(c.keepPercent) / 100, body.size() * size_t(c.keepPercent) / 100 + 1}) {
      const Bytes kept(body.begin(), body.begin() + long(std::clamp<size_t>(cut, 1, body.size())));
      const Bytes file = moveBodyToEnd(peftest::writePef(s, v), s, kept);
      std::vector<uint16_t> expected;
      const bool ok = plainDecode(kept, s, expected);
      cameratest::Captured<cPictPEF> d;
      ASSERT_EQ(cameratest::decodePlane(file, d), ok) << cut;
      if (!ok) continue;
      EXPECT_EQ(d.plane, expected) << cut;
      if (!c.noise && c.keepPercent == 100) {
        EXPECT_EQ(expected, v);
      }
    }
  }
}

}  // namespace
