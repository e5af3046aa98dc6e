#include "base/memio.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A memory target that can be told to answer reads with the error mark of a
// failing file, and that reports its own deletion.
class ScriptedTarget : public cMemIOTarget {
 public:
  bool failReads = false;
  bool* deleted = nullptr;

  explicit ScriptedTarget(const std::string& bytes) : cMemIOTarget(128) {
    fromBuffer(bytes.data(), static_cast<long long>(bytes.size()));
  }
  ~ScriptedTarget() override {
    if (deleted) *deleted = true;
  }
  unsigned int read(void* buf, unsigned int count) override {
    return failReads ? 0xFFFFFFFFu : cMemIOTarget::read(buf, count);
  }
  std::string data() {
    _typebuf<unsigned char> bytes;
    toBuffer(bytes);
    return std::string(reinterpret_cast<char*>(bytes.ptr), static_cast<size_t>(bytes.count));
  }
};

std::string readAll(cFileIOTarget& t, unsigned n) {
  std::string s(n, '?');
  s.resize(t.read(s.data(), n));
  return s;
}

TEST(MemIOTarget, BytesNeverWrittenReadAsZeros) {
  cMemIOTarget mem(65536);
  char x = 'x';
  ASSERT_EQ(mem.write(&x, 1), 1u);
  ASSERT_TRUE(mem.set_eof(200000));
  ASSERT_TRUE(mem.set_fp(150000));
  ASSERT_EQ(mem.write(&x, 1), 1u) << "a page created past a gap";
  ASSERT_TRUE(mem.set_fp(0));
  std::string all = readAll(mem, 300000);
  ASSERT_EQ(all.size(), 200000u);
  EXPECT_EQ(all[0], 'x');
  EXPECT_EQ(all[150000], 'x');
  EXPECT_EQ(std::count(all.begin(), all.end(), '\0'), 199998);

  // Shrinking then growing again must not bring old bytes back.
  ASSERT_TRUE(mem.fromBuffer("abcdefghijklmnop", 16));
  ASSERT_TRUE(mem.set_eof(10));
  ASSERT_TRUE(mem.set_eof(100));
  ASSERT_TRUE(mem.set_fp(8));
  EXPECT_EQ(readAll(mem, 4), std::string("ij\0\0", 4));
}

TEST(MemIOTarget, SeeksClampAndCopiesDuplicateOwnContent) {
  cMemIOTarget mem(128);
  ASSERT_TRUE(mem.fromBuffer("0123456789", 10));
  EXPECT_FALSE(mem.set_fp(11));
  EXPECT_EQ(mem.position, 10);
  EXPECT_FALSE(mem.set_fp_end(11));
  EXPECT_TRUE(mem.set_fp_end(3));
  EXPECT_EQ(readAll(mem, 10), "789");
  ASSERT_TRUE(mem.set_eof(4));
  EXPECT_EQ(mem.position, 4) << "the position follows a truncation";

  ASSERT_TRUE(mem.set_fp(1));
  EXPECT_EQ(mem.copy(0, 3), 3) << "overlapping source and destination";
  ASSERT_TRUE(mem.set_fp(0));
  EXPECT_EQ(readAll(mem, 10), "0012");
  ASSERT_TRUE(mem.set_eof(400));
  ASSERT_TRUE(mem.set_fp(400));
  EXPECT_EQ(mem.copy(100, 200), 200) << "a source without pages";
  EXPECT_EQ(mem.size(), 600u);
  EXPECT_EQ(mem.copy(600, 5), 0);
}

TEST(BufWrapperIO, StaysInsideTheCallersBuffer) {
  char data[8] = "abcdefg";
  cBufWrapperIO ro(data, 7, false);
  char c = 'z';
  EXPECT_EQ(ro.write(&c, 1), 0u);
  EXPECT_EQ(readAll(ro, 100), "abcdefg");
  EXPECT_FALSE(ro.set_fp(0x8000000000000000ull)) << "negative as a signed offset";
  EXPECT_FALSE(ro.set_eof(6));
  EXPECT_FALSE(ro.set_fp_end(8));

  cBufWrapperIO rw(data, 7, true);
  ASSERT_TRUE(rw.set_fp_end(2));
  EXPECT_EQ(rw.write(const_cast<char*>("XYZ"), 3), 2u);
  EXPECT_STREQ(data, "abcdeXY");

  // A refused block leaves nothing behind to read or write through.
  for (auto [block, size] : {std::pair<char*, long long>{nullptr, 7}, {data, -1}}) {
    EXPECT_FALSE(rw.wrap(block, size, true));
    EXPECT_FALSE(rw.valid());
    EXPECT_EQ(rw.size(), 0u);
    EXPECT_EQ(rw.write(&c, 1), 0u);
  }
  EXPECT_TRUE(rw.wrap(nullptr, 0, false));
  EXPECT_TRUE(rw.wrap(data, 3, false));
  EXPECT_EQ(rw.write(&c, 1), 0u) << "not writable";
  EXPECT_EQ(readAll(rw, 100), "abc");
}

TEST(FileIOSubRange, WindowIsCutToTheTarget) {
  ScriptedTarget t(std::string(100, 'a'));
  EXPECT_EQ(cFileIOSubRange(&t, 90, 50).size(), 10u);
  EXPECT_FALSE(cFileIOSubRange(&t, 200, 5).valid());
  EXPECT_FALSE(cFileIOSubRange(nullptr, 0, 5).valid());
  EXPECT_EQ(cFileIOSubRange(&t, 10, ~0ull).size(), 90u) << "no overflow of start + length";

  ScriptedTarget digits("0123456789");
  cFileIOSubRange w(&digits, 3, 4);
  EXPECT_EQ(readAll(w, 100), "3456");
  EXPECT_FALSE(w.set_fp(5));
  ASSERT_TRUE(w.set_fp_end(1));
  EXPECT_EQ(w.write(const_cast<char*>("XYZ"), 3), 1u);
  EXPECT_EQ(digits.data(), "012345X789");
  EXPECT_FALSE(w.set_eof(4));
}

TEST(StreamWrappers, TargetErrorIsNotAByteCount) {
  ScriptedTarget t("0123456789");
  cFileIOSubRange w(&t, 2, 6);
  cMemBufferedIO b;
  ASSERT_TRUE(b.ref(&t, 4));
  char buf[16];
  t.failReads = true;
  EXPECT_EQ(w.read(buf, 4), 0u);
  EXPECT_EQ(w.position, 0u);
  EXPECT_EQ(b.read(buf, 1), 0u) << "a cache fill";
  EXPECT_EQ(b.read(buf, 10), 0u) << "a read past the cache";
  EXPECT_EQ(b.position, 0u);
  t.failReads = false;
  EXPECT_EQ(readAll(w, 3), "234");
  EXPECT_EQ(readAll(b, 3), "012");
}

TEST(MemBufferedIO, ClipsAtTheEndAndWritesLandAtTheLogicalPosition) {
  ScriptedTarget t("0123456789");
  cMemBufferedIO b;
  ASSERT_TRUE(b.ref(&t, 8));
  char buf[20];
  ASSERT_EQ(b.read(buf, 1), 1u);  // the fill leaves the target at 8
  EXPECT_EQ(b.write(const_cast<char*>("AB"), 2), 2u);
  EXPECT_EQ(t.data(), "0AB3456789");
  EXPECT_EQ(readAll(b, 2), "34") << "the cache does not hold the old bytes";
  ASSERT_TRUE(b.set_fp(1));
  EXPECT_EQ(readAll(b, 2), "AB");
  EXPECT_EQ(b.read(buf, 20), 7u);
  EXPECT_FALSE(b.set_fp_end(11));
  EXPECT_FALSE(b.ref(nullptr, 16));
}

TEST(MemBufferedIO, OwnsOnlyWhatItWasGiven) {
  bool deleted = false;
  auto* owned = new ScriptedTarget("abc");
  owned->deleted = &deleted;
  cMemBufferedIO b;
  ASSERT_TRUE(b.set(owned, 16));
  ASSERT_TRUE(b.ref(owned, 16)) << "attaching the owned target again keeps it alive";
  EXPECT_FALSE(deleted);
  EXPECT_EQ(readAll(b, 5), "abc");
  ASSERT_TRUE(b.set(owned, 16));
  b.close();
  EXPECT_TRUE(deleted);
}

}  // namespace
