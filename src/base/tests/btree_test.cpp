#include "base/btree.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using IntMap = cFasterTreeList<int, int>;

// "k" for an item, "k*" when marked, "k(left,right)" with children.
template <typename Item>
std::string shape(const Item* n) {
  if (!n) return "";
  std::string s = std::to_string(n->key) + (n->mark ? "*" : "");
  if (n->left || n->right) {
    s += '(';
    s += shape(n->left);
    s += ',';
    s += shape(n->right);
    s += ')';
  }
  return s;
}

// Checks order and parent links; answers the number of levels.
template <typename Map>
int checkedDepth(const Map& map) {
  int deepest = 0;
  EXPECT_TRUE(!map.root || !map.root->parent);
  for (auto* n = map.root ? Map::leftmost(map.root) : nullptr; n; n = Map::next(n)) {
    int depth = 1;
    for (auto* p = n; p->parent; p = p->parent, ++depth)
      EXPECT_TRUE(p->parent->left == p || p->parent->right == p);
    EXPECT_TRUE(!Map::next(n) || n->key < Map::next(n)->key);
    deepest = std::max(deepest, depth);
  }
  return deepest;
}

TEST(OrderedMap, ExampleShapesAndDepthLimits) {
  IntMap map;
  const char* shapes[] = {
      "1", "1*(,2)", "2(1,3)", "2(1,3*(,4))", "2*(1,4(3,5))", "2*(1,4(3,5*(,6)))", "4(2(1,3),6(5,7))"};
  const unsigned depths[] = {0, 1, 2, 2, 3, 3, 4};
  for (int k = 1; k <= 7; ++k) {
    *map.insert(k) = k * 100;
    EXPECT_EQ(shape(map.root), shapes[k - 1]) << "after " << k;
    EXPECT_EQ(map.depthCount, depths[k - 1]) << "after " << k;
  }
  // Removing the root relinks the whole tree from its remaining items.
  auto* three = map.find_item(3);
  EXPECT_TRUE(map.dettach(4));
  EXPECT_EQ(shape(map.root), "2*(1,5(3,6*(,7)))");
  EXPECT_EQ(map.find_item(3), three);
  EXPECT_FALSE(map.dettach(4));
  EXPECT_FALSE(map.dettach(static_cast<IntMap::cTreeItem*>(nullptr)));

  // A report that reaches the root level lifts the child into the root.
  IntMap other;
  for (int k : {5, 3, 8, 1}) other.insert(k);
  EXPECT_EQ(shape(other.root), "3(1,5(,8))");
  other.rebuild_tree();
  EXPECT_EQ(shape(other.root), "3(1,5*(,8))");
}

TEST(OrderedMap, DuplicatesAndRebuildsKeepTheItems) {
  IntMap map;
  std::mt19937 rng(7);
  for (int i = 0; i < 3000; ++i) *map.insert(static_cast<int>(rng() % 100000)) = i;
  // The prepared-item entry point frees a duplicate and answers the holder.
  std::string before = shape(map.root);
  EXPECT_EQ(map.insert_id(new IntMap::cTreeItem(map.root->key)), map.root);
  EXPECT_EQ(shape(map.root), before);

  std::vector<std::pair<IntMap::cTreeItem*, int>> items, rebuilt;
  for (auto* n = IntMap::leftmost(map.root); n; n = IntMap::next(n)) items.push_back({n, n->value});
  map.rebuild_tree();
  for (auto* n = IntMap::leftmost(map.root); n; n = IntMap::next(n)) rebuilt.push_back({n, n->value});
  EXPECT_EQ(rebuilt, items);
  EXPECT_LE(checkedDepth(map), 24);
  IntMap empty;
  empty.rebuild_tree();
  EXPECT_EQ(empty.root, nullptr);
}

struct Tracked {
  static int alive;
  Tracked() { ++alive; }
  ~Tracked() { --alive; }
};
int Tracked::alive = 0;

TEST(OrderedMap, MoveToDestroysTheTargetsItems) {
  {
    cFasterTreeList<long long, Tracked> src, dst;
    for (long long k = 0; k < 5; ++k) src.insert(k);
    for (long long k = 0; k < 3; ++k) dst.insert(k * 7);
    src.moveTo(dst);
    EXPECT_EQ(Tracked::alive, 5);
    EXPECT_EQ(src.root, nullptr);
    EXPECT_NE(dst.find(4), nullptr);
    src.insert(42);
    dst.moveTo(dst);
    EXPECT_EQ(Tracked::alive, 6);
  }
  EXPECT_EQ(Tracked::alive, 0);
}

// Every answer of the map against std::map over a long random run mixing
// every operation, with the tree checked for order, links and depth.
TEST(OrderedMap, RandomRunAgreesWithStdMap) {
  IntMap map;
  std::map<int, int> ref;
  std::mt19937 rng(2024);
  unsigned maxDepth = 0;
  auto keyOf = [](const IntMap::cTreeItem* n) { return n ? n->key : -1; };
  for (int op = 0; op < 100000; ++op) {
    int k = static_cast<int>(rng() % 5000);
    switch (rng() % 7) {
      case 0:
      case 1: {
        auto [it, fresh] = ref.emplace(k, op);
        int* v = map.insert(k);
        if (fresh) *v = op;
        ASSERT_EQ(*v, it->second);
        maxDepth = std::max(maxDepth, map.depthCount);
        break;
      }
      case 2: {
        int* v = map.find(k);
        auto it = ref.find(k);
        ASSERT_EQ(v != nullptr, it != ref.end());
        ASSERT_TRUE(!v || *v == it->second);
        break;
      }
      case 3: {  // the nearest key below, and the one before it
        auto* n = map.find_le(k);
        auto it = ref.upper_bound(k);
        ASSERT_EQ(keyOf(n), it == ref.begin() ? -1 : std::prev(it)->first);
        if (!n) break;
        --it;
        ASSERT_EQ(keyOf(IntMap::prev(n)), it == ref.begin() ? -1 : std::prev(it)->first);
        break;
      }
      case 4: {  // the nearest key above, and the one after it
        auto* n = map.find_ge(k);
        auto it = ref.lower_bound(k);
        ASSERT_EQ(keyOf(n), it == ref.end() ? -1 : it->first);
        if (!n) break;
        ASSERT_EQ(keyOf(IntMap::next(n)), std::next(it) == ref.end() ? -1 : std::next(it)->first);
        break;
      }
      default:
        ASSERT_EQ(map.dettach(k), ref.erase(k) == 1);
        break;
    }
    if (op % 5000 == 0) {
      ASSERT_LT(checkedDepth(map), 512);
      size_t count = 0;
      for (auto* n = map.root ? IntMap::leftmost(map.root) : nullptr; n; n = IntMap::next(n)) ++count;
      ASSERT_EQ(count, ref.size());
    }
  }
  EXPECT_LE(maxDepth, map.depthLimit);
}

// Keys closing in from both ends defeat the rotations and grow a long spine;
// each insertion past the limit rebuilds the tree, and no key is lost.
TEST(OrderedMap, DeepInsertionRebuildsTheTree) {
  using ShortMap = cFasterTreeList<unsigned short, int>;
  ShortMap map;
  int rebuilds = 0, inserted = 0;
  for (unsigned lo = 0, hi = 65535; inserted < 20000; ++lo, --hi) {
    for (unsigned k : {lo, hi}) {
      *map.insert(static_cast<unsigned short>(k)) = static_cast<int>(k);
      ++inserted;
      if (map.depthCount > map.depthLimit) ++rebuilds;
    }
    if (lo % 1000 == 0) {
      ASSERT_LE(checkedDepth(map), 2 * static_cast<int>(map.depthLimit));
    }
  }
  EXPECT_GT(rebuilds, 10);
  int count = 0;
  for (auto* n = ShortMap::leftmost(map.root); n; n = ShortMap::next(n), ++count) ASSERT_EQ(n->value, n->key);
  EXPECT_EQ(count, inserted);
}

TEST(SorterList, EqualKeysKeepTheirOrderOfInsertion) {
  cUUSorterList<int, int> list;
  for (int i = 0; i < 3; ++i) *list.insert_nonunique(7) = i;
  *list.insert_nonunique(3) = 99;
  *list.insert_nonunique(9) = 98;
  std::vector<std::pair<int, int>> order;
  using Base = cFasterTreeList<cSerializedKey<int>, int>;
  for (auto* n = Base::leftmost(list.root); n; n = Base::next(n))
    order.push_back({n->key.key, n->key.serial});
  EXPECT_EQ(order, (std::vector<std::pair<int, int>>{{3, 0}, {7, 0}, {7, 1}, {7, 2}, {9, 0}}));

  // Removal does not renumber; the next serial follows the highest one.
  EXPECT_TRUE(list.dettach(cSerializedKey<int>(7, 1)));
  list.insert_nonunique(7);
  EXPECT_NE(list.find(cSerializedKey<int>(7, 3)), nullptr);

  list.insert(cSerializedKey<int>(5, INT_MAX));
  EXPECT_EQ(list.insert_nonunique(5), nullptr);
}

}  // namespace
