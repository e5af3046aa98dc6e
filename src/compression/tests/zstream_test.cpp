#include "compression/zstream.h"

#include <gtest/gtest.h>

#include <string>

#include "base/memio.h"
#include "zlib_support.h"

namespace {

// A memory source that counts its deletions, stops short, or answers a
// file's error count, as the tests need.
class cTestSource : public cMemIOTarget {
 public:
  int* deletions = nullptr;
  int readsBeforeError = -1;

  explicit cTestSource(const tBytes& bytes, int* deletions = nullptr) : deletions(deletions) {
    fromBuffer(bytes.data(), static_cast<long long>(bytes.size()));
    set_fp(0);
  }
  ~cTestSource() override {
    if (deletions) ++*deletions;
  }
  unsigned int read(void* buf, unsigned int count) override {
    if (readsBeforeError == 0) return 0xFFFFFFFF;
    if (readsBeforeError > 0) --readsBeforeError;
    return cMemIOTarget::read(buf, count);
  }
};

tBytes readAll(cFileIOTarget& t, size_t n) {
  tBytes out(n);
  out.resize(t.read(out.data(), static_cast<unsigned int>(n)));
  return out;
}

TEST(ZStream, RandomSeeksEqualTheOriginalAtEveryLevel) {
  tBytes plain = sampleBytes(300000);
  std::mt19937 rng(7);
  for (int level = 1; level <= 9; ++level) {
    cTestSource source(zlibCompress(plain, level));
    for (long long bufSize : {4096ll, 61ll}) {
      cZStream z;
      ASSERT_TRUE(z.create(&source, plain.size(), bufSize, false)) << level;
      for (int i = 0; i < 40; ++i) {
        size_t at = rng() % plain.size();
        size_t n = rng() % 9000;
        ASSERT_TRUE(z.set_fp(at));
        tBytes got = readAll(z, n);
        size_t expect = std::min(n, plain.size() - at);
        ASSERT_EQ(got.size(), expect) << "level " << level << " at " << at;
        ASSERT_TRUE(std::equal(got.begin(), got.end(), plain.begin() + at))
            << "level " << level << " at " << at;
      }
    }
  }
}

TEST(ZStream, ReadsStopAtThePlainSize) {
  tBytes plain = sampleBytes(10000);
  cTestSource source(zlibCompress(plain, 9));
  cZStream z;
  ASSERT_TRUE(z.create(&source, plain.size(), 4096, false));
  EXPECT_EQ(readAll(z, 20000), plain);
  EXPECT_EQ(readAll(z, 10).size(), 0u);
  // A fill before the bytes still held restarts the decoder.
  ASSERT_TRUE(z.fillBufFrom(1));
  EXPECT_TRUE(std::equal(z.window.ptr, z.window.ptr + z.window.count, plain.begin() + 1));
  EXPECT_TRUE(z.set_fp(0));
  EXPECT_EQ(readAll(z, 20000), plain);  // back to the start: decoded again
  EXPECT_TRUE(z.set_fp(5000000));       // beyond the end moves to the end
  EXPECT_EQ(readAll(z, 10).size(), 0u);
  EXPECT_TRUE(z.set_fp_end(100));
  EXPECT_EQ(readAll(z, 1000), tBytes(plain.end() - 100, plain.end()));
  EXPECT_FALSE(z.set_eof(5));
}

TEST(ZStream, OneByteBuffersStillMakeProgress) {
  // Header bytes and empty blocks give no output for the input they consume.
  tBytes plain = sampleBytes(3000);
  z_stream zs{};
  ASSERT_EQ(deflateInit(&zs, 9), Z_OK);
  tBytes packed(10000);
  zs.next_out = packed.data();
  zs.avail_out = static_cast<unsigned int>(packed.size());
  for (size_t at = 0; at < plain.size(); at += 1000) {
    zs.next_in = plain.data() + at;
    zs.avail_in = 1000;
    ASSERT_EQ(deflate(&zs, Z_FULL_FLUSH), Z_OK);
    ASSERT_EQ(deflate(&zs, Z_FULL_FLUSH), Z_BUF_ERROR);  // nothing new: no block, but no harm
  }
  ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  packed.resize(zs.total_out);
  deflateEnd(&zs);

  cTestSource source(packed);
  cZStream z;
  ASSERT_TRUE(z.create(&source, plain.size(), 1, false));
  tBytes got;
  unsigned char byte;
  while (z.read(&byte, 1) == 1) got.push_back(byte);
  EXPECT_EQ(got, plain);
}

TEST(ZStream, CreateRefusesBadArgumentsAndKeepsOwnershipRules) {
  tBytes packed = zlibCompress(sampleBytes(1000), 9);
  int deleted = 0;
  cZStream z;
  EXPECT_FALSE(z.create(nullptr, 1000, 4096, true));
  {
    cTestSource source(packed);
    EXPECT_FALSE(z.create(&source, 0, 4096, false));
    EXPECT_FALSE(z.create(&source, ~0ull, 4096, false));  // negative as a signed size
  }
  // A zero buffer size, or one whose output buffer zlib could not count, is
  // refused before the source is taken: the caller keeps it.
  auto* kept = new cTestSource(packed, &deleted);
  EXPECT_FALSE(z.create(kept, 1000, 0, true));
  EXPECT_FALSE(z.create(kept, 1000, 0x80000000ll, true));
  EXPECT_EQ(deleted, 0);
  delete kept;
  // A source that reached the base create belongs to the target even when create fails.
  EXPECT_FALSE(z.create(new cTestSource(packed, &deleted), 0, 4096, true));
  z.close();
  EXPECT_EQ(deleted, 2);
  {
    cZStream owner;
    ASSERT_TRUE(owner.create(new cTestSource(packed, &deleted), 1000, 4096, true));
  }
  EXPECT_EQ(deleted, 3);
}

TEST(ZStream, ShortOrFailingSourcesFailCleanly) {
  tBytes plain = sampleBytes(200000);
  tBytes packed = zlibCompress(plain, 9);
  tBytes half(packed.begin(), packed.begin() + packed.size() / 2);
  size_t decodable = zlibInflatePrefix(half).size();
  ASSERT_GT(decodable, 8192u);
  cTestSource cut(half);
  cZStream z;
  ASSERT_TRUE(z.create(&cut, plain.size(), 4096, false));
  ASSERT_EQ(readAll(z, 4096), tBytes(plain.begin(), plain.begin() + 4096));
  // This fill copies the last decodable bytes into the window, then fails.
  EXPECT_FALSE(z.set_fp(decodable - 100));
  // The window was partly overwritten: the start must be decoded again, not served from it.
  ASSERT_TRUE(z.set_fp(0));
  EXPECT_EQ(readAll(z, 4096), tBytes(plain.begin(), plain.begin() + 4096));
  EXPECT_EQ(readAll(z, 250000).size(), 0u);

  // A file answers 0xFFFFFFFF for an error through its count; zlib must never see it as input.
  cTestSource failing(packed);
  failing.readsBeforeError = 2;
  ASSERT_TRUE(z.create(&failing, plain.size(), 4096, false));
  EXPECT_EQ(readAll(z, 200000).size(), 0u);
  failing.readsBeforeError = -1;
  EXPECT_EQ(readAll(z, 10), tBytes(plain.begin(), plain.begin() + 10));

  // A stream that ends before the plain size it was promised.
  cTestSource whole(packed);
  ASSERT_TRUE(z.create(&whole, plain.size() + 10, 4096, false));
  EXPECT_EQ(readAll(z, 300000).size(), 0u);
  ASSERT_TRUE(z.set_fp(0));
  EXPECT_EQ(readAll(z, 1000), tBytes(plain.begin(), plain.begin() + 1000));
}

}  // namespace
