// Insertion and lookup of a million keys in the ordered map against std::map,
// both measured in this run: keys in scattered order (the headline) and in
// ascending order (how tables are usually filled here).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include "base/btree.h"

namespace {

constexpr int kKeys = 1000000;
constexpr int kRounds = 3;

double millisSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

struct Times {
  double insert = 1e300;
  double lookup = 1e300;
};

// Best of several rounds, so a busy machine disturbs the figures less.
template <typename Insert, typename Lookup>
Times measure(const std::vector<int>& order, const std::vector<int>& probes, Insert insert, Lookup lookup) {
  Times best;
  long long sink = 0;
  for (int round = 0; round < kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    auto container = insert(order);
    best.insert = std::min(best.insert, millisSince(start));
    start = std::chrono::steady_clock::now();
    sink += lookup(*container, probes);
    best.lookup = std::min(best.lookup, millisSince(start));
  }
  if (sink == 42) std::puts("");  // keeps the lookups from being optimised away
  return best;
}

std::pair<Times, Times> run(const std::vector<int>& order, const std::vector<int>& probes) {
  using Map = cFasterTreeList<int, int>;
  Times ours = measure(
      order, probes,
      [](const std::vector<int>& keys) {
        auto map = std::make_unique<Map>();
        for (int k : keys) *map->insert(k) = k;
        return map;
      },
      [](Map& map, const std::vector<int>& keys) {
        long long sum = 0;
        for (int k : keys) sum += *map.find(k);
        return sum;
      });
  Times peer = measure(
      order, probes,
      [](const std::vector<int>& keys) {
        auto map = std::make_unique<std::map<int, int>>();
        for (int k : keys) map->emplace(k, k);
        return map;
      },
      [](std::map<int, int>& map, const std::vector<int>& keys) {
        long long sum = 0;
        for (int k : keys) sum += map.find(k)->second;
        return sum;
      });
  return {ours, peer};
}

}  // namespace

int main() {
  std::vector<int> ascending(kKeys);
  std::iota(ascending.begin(), ascending.end(), 0);
  std::mt19937 rng(20261206);
  std::vector<int> scattered = ascending;
  std::shuffle(scattered.begin(), scattered.end(), rng);
  std::vector<int> probes = ascending;
  std::shuffle(probes.begin(), probes.end(), rng);

  auto [upOurs, upPeer] = run(ascending, probes);
  auto [ours, peer] = run(scattered, probes);

  std::printf("keys: %d\n", kKeys);
  std::printf("ascending map insert ms: %.1f\n", upOurs.insert);
  std::printf("ascending std::map insert ms: %.1f\n", upPeer.insert);
  std::printf("ascending map lookup ms: %.1f\n", upOurs.lookup);
  std::printf("ascending std::map lookup ms: %.1f\n", upPeer.lookup);
  std::printf("ascending lookup ratio: %.2f\n", upOurs.lookup / upPeer.lookup);
  std::printf("map insert ms: %.1f\n", ours.insert);
  std::printf("std::map insert ms: %.1f\n", peer.insert);
  std::printf("insert ratio: %.2f\n", ours.insert / peer.insert);
  std::printf("map lookup ms: %.1f\n", ours.lookup);
  std::printf("std::map lookup ms: %.1f\n", peer.lookup);
  std::printf("ratio map/std::map time: %.2f\n", ours.lookup / peer.lookup);
  return 0;
}
