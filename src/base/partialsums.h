// A row of values whose running sums are read, changed, extended at the end
// and searched in log n each: entry k (from 1) holds the sum of the values
// (k - low(k), k], low(k) being k's lowest set bit.
#pragma once

#include <bit>
#include <cstddef>
#include <vector>

class cPartialSums {
 public:
  size_t size() const { return mySums.size(); }
  void clear() { mySums.clear(); }
  // Keeps the first `count` values: no entry depends on a later one.
  void truncate(size_t count) {
    if (count < mySums.size()) mySums.resize(count);
  }
  void append(long long v) {
    const size_t k = mySums.size() + 1;
    for (size_t j = k - 1; j > k - low(k); j -= low(j)) v += mySums[j - 1];
    mySums.push_back(v);
  }
  void add(size_t at, long long by) {
    for (size_t k = at + 1; k <= mySums.size(); k += low(k)) mySums[k - 1] += by;
  }
  // The sum of the first `count` values.
  long long sumTo(size_t count) const {
    long long v = 0;
    for (size_t k = count < mySums.size() ? count : mySums.size(); k; k -= low(k)) v += mySums[k - 1];
    return v;
  }
  long long at(size_t i) const { return sumTo(i + 1) - sumTo(i); }
  long long total() const { return sumTo(mySums.size()); }
  // With values of 0 or more: how many leading values sum to no more than
  // `y`; `y` becomes what is left of it after them.
  size_t countWithin(long long& y) const {
    size_t n = 0;
    for (size_t step = std::bit_floor(mySums.size()); step; step >>= 1)
      if (n + step <= mySums.size() && mySums[n + step - 1] <= y) {
        n += step;
        y -= mySums[n - 1];
      }
    return n;
  }

 private:
  static size_t low(size_t k) { return k & (0 - k); }
  std::vector<long long> mySums;
};
