// The file and the memory target must be interchangeable: one random
// sequence of operations applied to both leaves the same bytes, and the
// wrappers read those bytes back the same way over either.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/memio.h"
#include "base/targets.h"
#include "run_program.h"
#include "scratch_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes randomBytes(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& c : b) c = static_cast<unsigned char>(rng());
  return b;
}

size_t upTo(std::mt19937& rng, unsigned long long n) { return static_cast<size_t>(rng() % (n + 1)); }

void applyRandomSequence(cFileIO& file, cMemIOTarget& mem, std::mt19937& rng) {
  for (int step = 0; step < 4000; ++step) {
    SCOPED_TRACE(step);
    switch (rng() % 5) {
      case 0: {
        Bytes data = randomBytes(rng, upTo(rng, 700));
        unsigned n = static_cast<unsigned>(data.size());
        ASSERT_EQ(file.write(data.data(), n), n);
        ASSERT_EQ(mem.write(data.data(), n), n);
        break;
      }
      case 1: {
        unsigned long long pos = upTo(rng, mem.size());
        ASSERT_TRUE(file.set_fp(pos));
        ASSERT_TRUE(mem.set_fp(pos));
        break;
      }
      case 2: {
        unsigned long long back = upTo(rng, mem.size());
        ASSERT_TRUE(file.set_fp_end(back));
        ASSERT_TRUE(mem.set_fp_end(back));
        break;
      }
      case 3: {
        unsigned long long length = upTo(rng, mem.size() + 900);
        ASSERT_TRUE(file.set_eof(length));
        ASSERT_TRUE(mem.set_eof(length));
        // Only the memory target pulls the position back inside.
        ASSERT_TRUE(file.set_fp(static_cast<unsigned long long>(mem.position)));
        break;
      }
      default: {
        size_t n = upTo(rng, 800);
        Bytes a(n + 1), b(n + 1);
        unsigned fromFile = file.read(a.data(), static_cast<unsigned>(n));
        ASSERT_EQ(fromFile, mem.read(b.data(), static_cast<unsigned>(n)));
        ASSERT_EQ(Bytes(a.begin(), a.begin() + fromFile), Bytes(b.begin(), b.begin() + fromFile));
      }
    }
    ASSERT_EQ(file.size(), mem.size());
  }
}

void expectSameReads(cFileIOTarget& wrapper, const Bytes& expected, unsigned long long base,
                     std::mt19937& rng) {
  unsigned long long pos = 0;
  for (int step = 0; step < 600; ++step) {
    SCOPED_TRACE(step);
    if (rng() % 4 == 0) {
      pos = upTo(rng, wrapper.size());
      ASSERT_TRUE(wrapper.set_fp(pos));
    }
    size_t n = rng() % 3 == 0 ? 1 : upTo(rng, 5000);
    Bytes got(n + 1);
    unsigned count = wrapper.read(got.data(), static_cast<unsigned>(n));
    size_t left = static_cast<size_t>(wrapper.size() - pos);
    ASSERT_EQ(count, std::min(n, left));
    ASSERT_TRUE(std::equal(got.begin(), got.begin() + count, expected.begin() + base + pos));
    pos += count;
  }
}

TEST(StreamEquivalence, FileAndMemoryStayByteIdentical) {
  ScratchDir dir;
  std::string filePath = dir.file("file"), memPath = dir.file("mem");
  for (long long pageSize : {128LL, 4096LL, 65536LL}) {
    SCOPED_TRACE(pageSize);
    std::mt19937 rng(static_cast<unsigned>(pageSize));
    cFileIO file;
    cMemIOTarget mem(pageSize);
    ASSERT_TRUE(file.create(filePath.c_str(), fmReadWrite));
    applyRandomSequence(file, mem, rng);
    if (HasFatalFailure()) return;

    _typebuf<unsigned char> content;
    ASSERT_TRUE(mem.toBuffer(content));
    cFileIO dump;
    ASSERT_TRUE(dump.create(memPath.c_str(), fmWrite));
    ASSERT_TRUE(dump.writef(content.ptr, static_cast<unsigned>(content.count)));
    dump.close();
    EXPECT_EQ(runProgram({"cmp", filePath, memPath}), 0);

    Bytes expected(content.ptr, content.ptr + content.count);
    for (cFileIOTarget* target : {static_cast<cFileIOTarget*>(&file), static_cast<cFileIOTarget*>(&mem)}) {
      unsigned long long start = upTo(rng, expected.size() / 2);
      cFileIOSubRange window(target, start, upTo(rng, expected.size()));
      expectSameReads(window, expected, start, rng);
      for (long long cacheSize : {0LL, 1LL, 1000LL, 65536LL}) {
        cMemBufferedIO buffered;
        ASSERT_TRUE(buffered.ref(target, cacheSize));
        expectSameReads(buffered, expected, 0, rng);
      }
    }
  }
}

}  // namespace
