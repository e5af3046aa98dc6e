#include "tamsivar/pkg.h"

#include <gtest/gtest.h>

#include <fstream>

#include "base/memio.h"
#include "base/tests/run_program.h"
#include "base/tests/scratch_dir.h"
#include "hash/sha256.h"
#include "pkg_support.h"

namespace {

tBytes sha(const tBytes& b) {
  tBytes d(32);
  _SHA2Hash(b.data(), d.data(), static_cast<long long>(b.size()));
  return d;
}

tBytes saved(cSoftPkg& pkg) {
  cMemIOTarget out;
  EXPECT_TRUE(pkg.savePackage(&out));
  _typebuf<unsigned char> buf;
  out.toBuffer(buf);
  return tBytes(buf.ptr, buf.ptr + buf.count);
}

bool loads(cSoftPkg& pkg, tBytes bytes) {
  cBufWrapperIO in(bytes.data(), static_cast<long long>(bytes.size()), false);
  return pkg.loadPackage(&in);
}

tBytes itemBytes(cSoftPkg& pkg, int i) {
  cFileIOTarget* in = pkg.item(i);
  if (!in) return {};
  tBytes out = readAll(*in);
  delete in;
  return out;
}

TEST(PackageItems, RoundTripStoredAndDeflatedThroughTheStream) {
  const size_t sizes[] = {100, 4096, 8193, 12288};
  cSoftPkg made;
  std::vector<tBytes> sources;
  for (bool compress : {false, true}) {
    for (size_t n : sizes) {
      sources.push_back(sampleBytes(n, static_cast<unsigned>(n + compress)));
      cBufWrapperIO src(sources.back().data(), static_cast<long long>(n), false);
      EXPECT_EQ(made.addPkgItem(&src, compress), static_cast<int>(sources.size() - 1));
    }
  }
  cSoftPkg back;
  ASSERT_TRUE(loads(back, saved(made)));
  ASSERT_EQ(back.count, sources.size());
  for (int i = 0; i < static_cast<int>(sources.size()); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(itemBytes(back, i), sources[static_cast<size_t>(i)]);
    EXPECT_EQ(back.sizeOf(i), sources[static_cast<size_t>(i)].size());
    unsigned char d[32];
    ASSERT_TRUE(back.digest(i, d));
    EXPECT_EQ(tBytes(d, d + 32), sha(sources[static_cast<size_t>(i)]));
    cFileIOTarget* plain = back.item(i);
    unsigned char again[32];
    ASSERT_TRUE(cSoftPkg::mkDigest(plain, again));
    delete plain;
    EXPECT_EQ(tBytes(again, again + 32), sha(sources[static_cast<size_t>(i)]));
  }
  // A deflated item is one complete zlib stream, also when the source ends
  // on a whole 4096-byte piece: zlib's own one-call inflater needs the end.
  int index = 0;
  for (auto* node = back.items.head; node; node = node->next, ++index) {
    if (!node->value.unpackedSize) continue;
    tBytes plain(node->value.unpackedSize);
    uLongf got = static_cast<uLongf>(plain.size());
    EXPECT_EQ(uncompress(plain.data(), &got, node->value.data.ptr, static_cast<uLong>(node->value.data.count)), Z_OK)
        << index;
    EXPECT_EQ(plain, sources[static_cast<size_t>(index)]);
  }
}

TEST(PackageItems, FixtureBuiltFieldByFieldLoads) {
  tBytes stored = sampleBytes(300, 7), deflated = sampleBytes(5000, 8);
  tBytes packed = zlibCompress(deflated, 9);
  Fields f;
  f.u32(0).u32(300).raw(sha(stored)).raw(stored);
  f.u32(5000).u32(static_cast<unsigned>(packed.size())).raw(sha(deflated)).raw(packed);
  f.u32(0).u32(0);
  cSoftPkg pkg;
  ASSERT_TRUE(loads(pkg, f.b));
  EXPECT_EQ(pkg.count, 2u);
  EXPECT_EQ(itemBytes(pkg, 0), stored);
  EXPECT_EQ(itemBytes(pkg, 1), deflated);
  EXPECT_EQ(pkg.sizeOf(1), 5000u);
  EXPECT_EQ(pkg.item(2), nullptr);
  unsigned char d[32];
  EXPECT_FALSE(pkg.digest(2, d));
  EXPECT_EQ(pkg.sizeOf(2), 0u);
  // The writer gives back the same bytes.
  EXPECT_EQ(saved(pkg), f.b);

  // Every shorter stream fails; the items before the cut stay.
  for (size_t cut = 0; cut < f.b.size(); ++cut) {
    cSoftPkg part;
    EXPECT_FALSE(loads(part, tBytes(f.b.begin(), f.b.begin() + static_cast<long>(cut)))) << cut;
    EXPECT_EQ(part.count, cut >= 8 + 32 + 300 + 8 + 32 + packed.size() ? 2u : cut >= 340 ? 1u : 0u) << cut;
  }
}

TEST(PackageItems, StreamEndsAndSizesAreChecked) {
  struct Case {
    const char* what;
    tBytes bytes;
    bool loads;
  } cases[] = {
      {"eight zero bytes: an empty package", Fields().u32(0).u32(0).b, true},
      {"an end with an unpacked size", Fields().u32(5).u32(0).b, false},
      {"a stored size past the end", Fields().u32(0).u32(0xFFFFFFF0u).raw(tBytes(40)).b, false},
      {"a stored size one past the end", Fields().u32(0).u32(9).raw(tBytes(32 + 8)).u32(0).u32(0).b, false},
  };
  for (Case& c : cases) {
    cSoftPkg pkg;
    EXPECT_EQ(loads(pkg, c.bytes), c.loads) << c.what;
  }
  cSoftPkg pkg;
  EXPECT_FALSE(pkg.loadPackage(nullptr));
  cMemIOTarget out;
  EXPECT_FALSE(pkg.savePackage(&out)) << "an empty package saves nothing";
  EXPECT_EQ(out.size(), 0u);
  tBytes nothing;
  cBufWrapperIO empty(nothing.data(), 0, false);
  ASSERT_EQ(pkg.addPkgItem(&empty, false), 0);
  ASSERT_EQ(pkg.addPkgItem(&empty, true), 1) << "an empty source is stored even when asked to deflate";
  EXPECT_EQ(pkg.item(0), nullptr);
  EXPECT_EQ(pkg.sizeOf(1), 0u);
  unsigned char d[32];
  ASSERT_TRUE(pkg.digest(1, d));
  EXPECT_EQ(tBytes(d, d + 32), sha({}));
  EXPECT_FALSE(pkg.savePackage(&out)) << "an item without bytes cannot be carried";
  EXPECT_EQ(out.size(), 0u);
}

TEST(PackageItems, SourcesThatFailLeaveNoItem) {
  struct Case {
    const char* what;
    size_t held;
    unsigned long long claimed;
    bool error;
  } cases[] = {
      {"shorter than its size", 5000, 6000, false},
      {"a read error", 5000, 6000, true},
      {"larger than 32 bits", 10, 0x100000000ull, false},
  };
  for (Case& c : cases) {
    for (bool compress : {false, true}) {
      cSoftPkg pkg;
      cFaultySource src(sampleBytes(c.held), c.claimed, c.error);
      EXPECT_EQ(pkg.addPkgItem(&src, compress), -1) << c.what << compress;
      EXPECT_EQ(pkg.count, 0u);
      EXPECT_EQ(pkg.items.head, nullptr);
    }
  }
  cFaultySource broken(sampleBytes(10), 10, true);
  unsigned char d[32];
  EXPECT_FALSE(cSoftPkg::mkDigest(&broken, d));
  EXPECT_FALSE(cSoftPkg::mkDigest(nullptr, d));
}

// sha256sum reads the extracted items and the sources alike.
TEST(PackageItems, ExtractedItemsMatchTheSystemDigest) {
  ScratchDir dir;
  cSoftPkg pkg;
  std::vector<tBytes> sources = {sampleBytes(1, 3), sampleBytes(70000, 4)};
  for (size_t i = 0; i < sources.size(); ++i) {
    cBufWrapperIO src(sources[i].data(), static_cast<long long>(sources[i].size()), false);
    ASSERT_EQ(pkg.addPkgItem(&src, i == 1), static_cast<int>(i));
    std::ofstream(dir.file("item" + std::to_string(i)), std::ios::binary)
        .write(reinterpret_cast<const char*>(itemBytes(pkg, static_cast<int>(i)).data()),
               static_cast<std::streamsize>(sources[i].size()));
    std::string out;
    ASSERT_EQ(runProgram({"sha256sum", dir.file("item" + std::to_string(i))}, &out), 0);
    unsigned char d[32];
    pkg.digest(static_cast<int>(i), d);
    char hexed[65];
    for (int k = 0; k < 32; ++k) std::snprintf(hexed + 2 * k, 3, "%02x", d[k]);
    EXPECT_EQ(out.substr(0, 64), hexed);
  }
}

}  // namespace
