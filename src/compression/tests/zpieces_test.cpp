#include "compression/zpieces.h"

#include <gtest/gtest.h>

#include "base/memio.h"
#include "zlib_support.h"

namespace {

TEST(ZInflateExact, OnlyAWholeStreamFillingTheBufferExactly) {
  tBytes plain = sampleBytes(70000);
  tBytes packed = zlibCompress(plain, 9);
  tBytes flipped = packed, garbage = packed;
  flipped.back() ^= 1;  // the Adler-32 check value
  garbage.push_back(0);
  struct Case {
    const char* what;
    tBytes in;
    size_t outSize;
    bool exact;
  } cases[] = {
      {"exact", packed, plain.size(), true},
      {"a buffer one byte short", packed, plain.size() - 1, false},
      {"a buffer one byte long", packed, plain.size() + 1, false},
      {"a damaged check value", flipped, plain.size(), false},
      {"bytes after the stream", garbage, plain.size(), false},
      {"a stream cut short", tBytes(packed.begin(), packed.end() - 5), plain.size(), false},
      {"nothing", tBytes(), 0, false},
  };
  for (Case& c : cases) {
    tBytes out(c.outSize + 1);
    EXPECT_EQ(zInflateExact(c.in.data(), c.in.size(), out.data(), c.outSize), c.exact) << c.what;
    if (c.exact) {
      EXPECT_EQ(tBytes(out.begin(), out.begin() + static_cast<long>(c.outSize)), plain);
    }
  }
  EXPECT_GE(zDeflateBound(5ull << 32), 5ull << 32);
}

TEST(ZPieceDeflater, PiecesMakeOneStreamZlibReads) {
  tBytes plain = sampleBytes(3 * 4096 + 17);
  for (size_t piece : {4096u, 1000u, 3u * 4096 + 17}) {
    cZPieceDeflater deflater(9);
    cMemIOTarget out;
    for (size_t at = 0; at <= plain.size(); at += piece) {
      size_t n = std::min(piece, plain.size() - at);
      ASSERT_TRUE(deflater.piece(plain.data() + at, static_cast<unsigned int>(n), at + piece > plain.size(), out));
    }
    _typebuf<unsigned char> packed;
    out.toBuffer(packed);
    EXPECT_EQ(zlibInflate(packed.ptr, static_cast<size_t>(packed.count), plain.size()), plain) << piece;
  }
}

}  // namespace
