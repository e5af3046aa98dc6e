// The partial sums against plain running sums, through every operation in
// mixed order, and the search at, between and beyond the sums.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/partialsums.h"

TEST(PartialSums, FollowPlainRunningSums) {
  std::mt19937 random(7);
  for (size_t size : {0, 1, 2, 3, 7, 8, 9, 64, 100, 513}) {
    cPartialSums sums;
    std::vector<long long> plain;
    for (size_t i = 0; i < size; ++i) {
      const long long v = random() % 5;  // zeros among them
      sums.append(v);
      plain.push_back(v);
      if (i % 7 == 3) {
        const size_t at = random() % plain.size();
        sums.add(at, 3);
        plain[at] += 3;
      }
      if (i % 50 == 49) {
        const size_t keep = random() % plain.size();
        sums.truncate(keep);
        plain.resize(keep);
      }
    }
    ASSERT_EQ(sums.size(), plain.size());
    std::vector<long long> running{0};
    for (long long v : plain) running.push_back(running.back() + v);
    EXPECT_EQ(sums.total(), running.back());
    for (size_t i = 0; i < running.size(); ++i) {
      ASSERT_EQ(sums.sumTo(i), running[i]) << size << " " << i;
      if (i < plain.size()) {
        ASSERT_EQ(sums.at(i), plain[i]);
      }
      for (long long y : {running[i], running[i] - 1}) {
        long long rest = y;
        const size_t n = sums.countWithin(rest);
        size_t expected = 0;
        while (expected < plain.size() && running[expected + 1] <= y) ++expected;
        ASSERT_EQ(n, expected) << size << " " << y;
        ASSERT_EQ(rest, y - running[n]);
      }
    }
  }
}
