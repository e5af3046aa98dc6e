// Lengths of 4 GiB and more must reach the digest whole, not cut to 32 bits.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include "digest_support.h"
#include "hash/sha256.h"

TEST(HugeInput, FourGibibytesAndOneByteOfZeros) {
  const long long size = (1ll << 32) + 1;
  // An anonymous mapping reads as zeros from the shared zero page: no real memory.
  void* zeros =
      mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(zeros, MAP_FAILED);
  // head -c 4294967297 /dev/zero | sha256sum
  const char* expected = "fbb82f7b353676bb562eb82157fcf0ea42c36492ca13ee56dbf82c08b6802c5c";

  unsigned char d[32];
  _SHA2Hash(zeros, d, size);
  EXPECT_EQ(hex(d, 32), expected);

  sSHA256Ctx ctx;
  sha256_starts(&ctx);
  const long long piece = 1 << 20;
  auto* p = static_cast<const unsigned char*>(zeros);
  for (long long at = 0; at < size; at += piece)
    sha256_update(&ctx, p + at, static_cast<unsigned int>(std::min(piece, size - at)));
  sha256_finish(&ctx, d);
  EXPECT_EQ(hex(d, 32), expected);
  munmap(zeros, static_cast<size_t>(size));
}
