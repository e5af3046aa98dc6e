// The one-shot inflater against zlib: what zlib's compressor writes in every
// mode decodes to the source, and a damaged or cut stream gives what zlib's
// own inflater gives before it stops.
#include "compression/oneshotinflate.h"

#include <gtest/gtest.h>

#include "compression/adler.h"
#include "zlib_support.h"

namespace {

tBytes deflateWith(const tBytes& plain, int level, int windowBits, int strategy) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, windowBits, 9, strategy), Z_OK);
  tBytes out(deflateBound(&zs, plain.size()) + 16);
  zs.next_in = const_cast<unsigned char*>(plain.data());
  zs.avail_in = static_cast<uInt>(plain.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// zlib's raw inflater, which stops at the same faults: its output and
// whether the stream ended properly.
std::pair<tBytes, bool> zlibRaw(const tBytes& packed, size_t cap) {
  z_stream zs{};
  inflateInit2(&zs, -15);
  tBytes out(cap);
  zs.next_in = const_cast<unsigned char*>(packed.data());
  zs.avail_in = static_cast<uInt>(packed.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  int rc = inflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  inflateEnd(&zs);
  return {out, rc == Z_STREAM_END};
}

tBytes runs(size_t n) {
  tBytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>((i / 37) % 3 == 0 ? 0 : i / 1000);
  return b;
}

tBytes noise(size_t n) {
  std::mt19937 rng(7);
  tBytes b(n);
  for (auto& v : b) v = static_cast<unsigned char>(rng());
  return b;
}

TEST(OneShotInflate, DecodesEveryModeOfZlibsCompressor) {
  struct Source {
    const char* name;
    tBytes bytes;
  };
  Source sources[] = {{"text", sampleBytes(200000)}, {"runs", runs(150000)}, {"noise", noise(70000)},
                      {"one byte", {42}}, {"empty", {}}};
  struct Mode {
    int level, windowBits, strategy;
  };
  Mode modes[] = {{0, 15, Z_DEFAULT_STRATEGY}, {1, 15, Z_DEFAULT_STRATEGY}, {6, 15, Z_DEFAULT_STRATEGY},
                  {9, 15, Z_DEFAULT_STRATEGY}, {9, 9, Z_DEFAULT_STRATEGY},  {6, 15, Z_FILTERED},
                  {6, 15, Z_HUFFMAN_ONLY},     {6, 15, Z_RLE},              {6, 15, Z_FIXED}};
  for (const auto& source : sources)
    for (const auto& mode : modes) {
      SCOPED_TRACE(std::string(source.name) + " level " + std::to_string(mode.level) + " window " +
                   std::to_string(mode.windowBits) + " strategy " + std::to_string(mode.strategy));
      tBytes packed = deflateWith(source.bytes, mode.level, mode.windowBits, mode.strategy);
      tBytes out(source.bytes.size() + 1);
      sInflated r = inflateOneShot(packed.data(), packed.size(), out.data(), out.size(), true);
      EXPECT_EQ(r.end, eInflateEnd::finished);
      ASSERT_EQ(r.produced, source.bytes.size());
      EXPECT_TRUE(std::equal(source.bytes.begin(), source.bytes.end(), out.begin()));
      // A buffer one byte short stops full, with every byte before right.
      if (!source.bytes.empty()) {
        r = inflateOneShot(packed.data(), packed.size(), out.data(), source.bytes.size() - 1, true);
        EXPECT_EQ(r.end, eInflateEnd::outputFull);
        EXPECT_EQ(r.produced, source.bytes.size() - 1);
        EXPECT_TRUE(std::equal(source.bytes.begin(), source.bytes.end() - 1, out.begin()));
      }
    }
}

TEST(OneShotInflate, DamagedAndCutStreamsStopWhereZlibStops) {
  tBytes plain = sampleBytes(20000, 3);
  for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_RLE}) {
    tBytes packed = deflateWith(plain, 6, -15, strategy);
    std::mt19937 rng(static_cast<unsigned>(strategy) + 11);
    for (int round = 0; round < 400; ++round) {
      tBytes bad = packed;
      if (round % 4 == 0)
        bad.resize(rng() % bad.size());
      else
        for (int flips = 1 + round % 3; flips > 0; --flips) bad[rng() % bad.size()] ^= 1 << rng() % 8;
      SCOPED_TRACE("strategy " + std::to_string(strategy) + " round " + std::to_string(round));
      auto [expected, zlibEnded] = zlibRaw(bad, plain.size() + 64);
      tBytes out(plain.size() + 64);
      sInflated r = inflateOneShot(bad.data(), bad.size(), out.data(), out.size(), false);
      EXPECT_EQ(r.end == eInflateEnd::finished, zlibEnded);
      if (r.end == eInflateEnd::outputFull) continue;
      ASSERT_EQ(r.produced, expected.size());
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
    }
  }
}

// The checksum against zlib's at the lengths around its block and run
// sizes, on bytes of 0xFF (the largest sums) and on mixed ones.
TEST(OneShotInflate, ChecksumEqualsZlibsAdler32) {
  const tBytes full(200003, 0xFF), mixed = sampleBytes(200003, 9);
  for (const tBytes* data : {&full, &mixed})
    for (size_t n : {size_t(0), size_t(1), size_t(31), size_t(32), size_t(33), size_t(5535), size_t(5536),
                     size_t(5537), size_t(200003)}) {
      SCOPED_TRACE(n);
      EXPECT_EQ(adlerChecksum(data->data() + 1, n), adler32_z(1, data->data() + 1, n));
    }
}

// The zlib trailer must be there and match the output; the output is all
// there either way.
TEST(OneShotInflate, ChecksumMustFollowTheLastBlockAndMatch) {
  tBytes plain = sampleBytes(30000, 5);
  const tBytes packed = deflateWith(plain, 6, 15, Z_DEFAULT_STRATEGY);
  struct Case {
    const char* name;
    size_t flip, cut;  // the byte flipped counted from the end (0: none), bytes taken off the end
    eInflateEnd end;
  };
  for (const Case& c : {Case{"sound", 0, 0, eInflateEnd::finished},
                        Case{"high checksum byte flipped", 4, 0, eInflateEnd::badChecksum},
                        Case{"low checksum byte flipped", 1, 0, eInflateEnd::badChecksum},
                        Case{"checksum cut to three bytes", 0, 1, eInflateEnd::badChecksum},
                        Case{"no checksum", 0, 4, eInflateEnd::badChecksum}}) {
    SCOPED_TRACE(c.name);
    tBytes stream = packed;
    if (c.flip) stream[stream.size() - c.flip] ^= 0x01;
    stream.resize(stream.size() - c.cut);
    tBytes out(plain.size());
    sInflated r = inflateOneShot(stream.data(), stream.size(), out.data(), out.size(), true);
    EXPECT_EQ(r.end, c.end);
    EXPECT_EQ(r.produced, plain.size());
  }
}

TEST(OneShotInflate, RefusesBadHeadersAndBlocks) {
  struct Case {
    const char* name;
    tBytes stream;
    bool zlibHeader;
    eInflateEnd end;
  };
  Case cases[] = {
      {"no header", {}, true, eInflateEnd::truncated},
      {"not deflate", {0x79, 0x9c, 3, 0}, true, eInflateEnd::damaged},
      {"header check fails", {0x78, 0x9d, 3, 0}, true, eInflateEnd::damaged},
      {"preset dictionary", {0x78, 0xbb, 3, 0}, true, eInflateEnd::damaged},
      {"block type 3", {0x07}, false, eInflateEnd::damaged},
      {"stored length check", {0x01, 0x02, 0x00, 0x00, 0x00}, false, eInflateEnd::damaged},
      {"stored cut", {0x01, 0x05, 0x00, 0xfa, 0xff, 'a'}, false, eInflateEnd::truncated},
      {"no blocks", {}, false, eInflateEnd::truncated},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unsigned char out[16];
    EXPECT_EQ(inflateOneShot(c.stream.data(), c.stream.size(), out, sizeof out, c.zlibHeader).end, c.end);
  }
}

}  // namespace
