#include "base/integralmemory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(IntegralMemory, PiecesPackIntoTheLastBlockOnly) {
  cIntegralMemory arena;
  char* first = static_cast<char*>(arena.alloc(1));
  for (int i = 1; i < 4096; ++i) ASSERT_EQ(arena.alloc(1), first + i);
  arena.alloc(1);
  EXPECT_EQ(arena.blocks.count, 2);

  arena.destroy();
  char* big = static_cast<char*>(arena.alloc(4000));
  std::memset(big, 0x5A, 4000);
  char* next = static_cast<char*>(arena.alloc(100));
  EXPECT_EQ(arena.blocks.count, 2);
  // The 96 bytes left in the first block are never used again.
  EXPECT_EQ(arena.alloc(10), next + 100);
}

TEST(IntegralMemory, SizesAtAndBeyondTheBlock) {
  cIntegralMemory arena;
  EXPECT_EQ(arena.alloc(4097), nullptr);
  EXPECT_NE(arena.alloc(4096), nullptr);
  EXPECT_EQ(arena.alloc(-5), nullptr);
  EXPECT_FALSE(arena.create(0));
  EXPECT_TRUE(arena.create(16));
  EXPECT_EQ(arena.alloc(17), nullptr);
  EXPECT_NE(arena.alloc(16), nullptr);
}

}  // namespace
