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
  if (n->left || n->right) s += "(" + shape(n->left) + "," + shape(n->right) + ")";
  return s;
}

// Checks order, parent links and depth; answers the number of levels.
template <typename Map>
int checkedDepth(const Map& map) {
  int deepest = 0;
  for (auto* n = map.root ? Map::leftmost(map.root) : nullptr; n; n = Map::next(n)) {
    int depth = 1;
    for (auto* p = n; p->parent; p = p->parent, ++depth) {
      EXPECT_TRUE(p->parent->left == p || p->parent->right == p);
    }
    if (n->left) {
      EXPECT_EQ(n->left->parent, n);
    }
    if (n->right) {
      EXPECT_EQ(n->right->parent, n);
    }
    if (auto* s = Map::next(n)) {
      EXPECT_TRUE(n->key < s->key);
    }
    deepest = std::max(deepest, depth);
  }
  if (map.root) {
    EXPECT_EQ(map.root->parent, nullptr);
  }
  return deepest;
}

TEST(OrderedMap, AscendingInsertionsKeepTheTreeShallow) {
  IntMap map;
  EXPECT_EQ(map.depthLimit, 512u);
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
  EXPECT_EQ(*map.find(7), 700);
  EXPECT_FALSE(map.dettach(4));
  EXPECT_FALSE(map.dettach(static_cast<IntMap::cTreeItem*>(nullptr)));
  checkedDepth(map);
}

TEST(OrderedMap, RootLevelReportLiftsTheChildIntoTheRoot) {
  IntMap map;
  for (int k : {5, 3, 8, 1}) map.insert(k);
  EXPECT_EQ(shape(map.root), "3(1,5(,8))");
}

TEST(OrderedMap, PresentKeyKeepsItsItemValueAndShape) {
  cFasterTreeList<int, std::string> map;
  for (int k : {5, 3, 8, 1, 9, 4}) map.insert(k)->assign("v" + std::to_string(k));
  std::string before = shape(map.root);
  std::string* value = map.find(3);
  EXPECT_EQ(map.insert(3), value);
  EXPECT_EQ(*value, "v3");
  EXPECT_EQ(shape(map.root), before);

  // The prepared-item entry point frees a duplicate and answers the holder.
  auto* dup = new cFasterTreeList<int, std::string>::cTreeItem(8);
  EXPECT_EQ(map.insert_id(dup), map.find_item(8));
  EXPECT_EQ(shape(map.root), before);
}

TEST(OrderedMap, RebuildRelinksTheSameItemsInKeyOrder) {
  IntMap map;
  for (int k : {5, 3, 8, 1}) map.insert(k);
  map.rebuild_tree();
  EXPECT_EQ(shape(map.root), "3(1,5*(,8))");

  std::mt19937 rng(7);
  for (int i = 0; i < 3000; ++i) *map.insert(static_cast<int>(rng() % 100000)) = i;
  std::vector<std::pair<IntMap::cTreeItem*, int>> before, after;
  for (auto* n = IntMap::leftmost(map.root); n; n = IntMap::next(n)) before.push_back({n, n->value});
  map.rebuild_tree();
  for (auto* n = IntMap::leftmost(map.root); n; n = IntMap::next(n)) after.push_back({n, n->value});
  EXPECT_EQ(after, before);
  EXPECT_LE(checkedDepth(map), 24);

  IntMap empty;
  empty.rebuild_tree();
  EXPECT_EQ(empty.root, nullptr);
}

TEST(OrderedMap, NearestSearchesAtTheEdges) {
  IntMap map;
  EXPECT_EQ(map.find_le(3), nullptr);
  EXPECT_EQ(map.find_ge(3), nullptr);
  EXPECT_EQ(map.find(3), nullptr);
  for (int k : {10, 20, 30}) map.insert(k);
  EXPECT_EQ(map.find_le(5), nullptr);
  EXPECT_EQ(map.find_le(99)->key, 30);
  EXPECT_EQ(map.find_le(25)->key, 20);
  EXPECT_EQ(map.find_ge(99), nullptr);
  EXPECT_EQ(map.find_ge(5)->key, 10);
  EXPECT_EQ(map.find_ge(20)->key, 20);
  EXPECT_EQ(IntMap::next(nullptr), nullptr);
  EXPECT_EQ(IntMap::prev(nullptr), nullptr);
  EXPECT_EQ(IntMap::prev(map.find_item(10)), nullptr);
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
    EXPECT_EQ(src.depthLimit, 1024u);
    for (long long k = 0; k < 5; ++k) src.insert(k);
    for (long long k = 0; k < 3; ++k) dst.insert(k * 7);
    EXPECT_EQ(Tracked::alive, 8);
    src.moveTo(dst);
    EXPECT_EQ(Tracked::alive, 5);
    EXPECT_EQ(src.root, nullptr);
    EXPECT_NE(dst.find(4), nullptr);
    src.insert(42);
    EXPECT_NE(src.find(42), nullptr);
    dst.moveTo(dst);
    EXPECT_EQ(Tracked::alive, 6);
  }
  EXPECT_EQ(Tracked::alive, 0);
}

TEST(OrderedMap, LimitFollowsTheKeySize) {
  EXPECT_EQ((cFasterTreeList<unsigned short, int>().depthLimit), 256u);
  EXPECT_EQ((cFasterTreeList<void*, int>().depthLimit), 1024u);
  EXPECT_EQ((cFasterTreeList<cSerializedKey<long long>, int>().depthLimit), 2048u);
  cFasterTreeList<int, cFasterTreeList<unsigned short, int>> nested;
  auto* inner = nested.insert(1);
  EXPECT_EQ(inner->depthLimit, 256u);
  EXPECT_EQ(inner->root, nullptr);
  inner->insert(5);
  EXPECT_EQ(nested.insert(1), inner);
}

// Every answer of the map against std::map over a long random run mixing
// every operation, with the tree checked for order, links and depth.
TEST(OrderedMap, RandomRunAgreesWithStdMap) {
  IntMap map;
  std::map<int, int> ref;
  std::mt19937 rng(2024);
  const int range = 5000;
  unsigned maxDepth = 0;
  for (int op = 0; op < 100000; ++op) {
    int k = static_cast<int>(rng() % range);
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
        if (v) {
          ASSERT_EQ(*v, it->second);
        }
        break;
      }
      case 3: {
        auto* n = map.find_le(k);
        auto it = ref.upper_bound(k);
        if (it == ref.begin()) {
          ASSERT_EQ(n, nullptr);
        } else {
          --it;
          ASSERT_NE(n, nullptr);
          ASSERT_EQ(n->key, it->first);
          auto* p = IntMap::prev(n);
          if (it == ref.begin())
            ASSERT_EQ(p, nullptr);
          else
            ASSERT_EQ(p->key, std::prev(it)->first);
        }
        break;
      }
      case 4: {
        auto* n = map.find_ge(k);
        auto it = ref.lower_bound(k);
        if (it == ref.end()) {
          ASSERT_EQ(n, nullptr);
        } else {
          ASSERT_NE(n, nullptr);
          ASSERT_EQ(n->key, it->first);
          auto* s = IntMap::next(n);
          if (std::next(it) == ref.end())
            ASSERT_EQ(s, nullptr);
          else
            ASSERT_EQ(s->key, std::next(it)->first);
        }
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
  EXPECT_LT(checkedDepth(map), 512);
}

// Keys closing in from both ends defeat the rotations and grow a long spine;
// each insertion past the limit rebuilds the tree, and no key is lost.
TEST(OrderedMap, DeepInsertionRebuildsTheTree) {
  using ShortMap = cFasterTreeList<unsigned short, int>;
  ShortMap map;
  int rebuilds = 0;
  int inserted = 0;
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
  for (auto* n = ShortMap::leftmost(map.root); n; n = ShortMap::next(n), ++count) {
    ASSERT_EQ(n->value, n->key);
  }
  EXPECT_EQ(count, inserted);
}

// A word-for-word recursive transcription of the insertion rules, as an
// oracle for the map's loop over parent links.
struct Ref {
  Ref *right = nullptr, *left = nullptr, *parent = nullptr;
  int key;
  unsigned char mark = 0;
};

Ref* refLevel(Ref* n, Ref* x, char& report) {
  report = 0;
  if (x->key == n->key) {
    delete x;
    return n;
  }
  bool toRight = !(x->key < n->key);
  Ref*& down = toRight ? n->right : n->left;
  if (!down) {
    down = x;
    x->parent = n;
    if (n->parent && n->parent->mark)
      report = 1;
    else
      n->mark = 1;
    return x;
  }
  char r;
  Ref* got = refLevel(down, x, r);
  if (r == 0) return got;
  if (r >= 2) {
    report = static_cast<char>(r - 1);
    return got;
  }
  Ref* g = n->parent;
  if (!g) {
    report = 1;
    return got;
  }
  Ref* c = down;
  c->mark = n->mark = 0;
  Ref*& inner = toRight ? c->left : c->right;
  down = inner;
  if (inner) inner->parent = n;
  c->parent = g;
  inner = n;
  n->parent = c;
  (g->key <= n->key ? g->right : g->left) = c;
  if (g->parent && g->parent->mark)
    report = 2;
  else
    g->mark = 1;
  return got;
}

void refInsert(Ref*& root, int key) {
  Ref* x = new Ref;
  x->key = key;
  if (!root) {
    root = x;
    return;
  }
  char report;
  Ref* got = refLevel(root, x, report);
  if (!report) return;
  bool toRight = !(got->key <= root->key);
  Ref* c = toRight ? root->right : root->left;
  c->mark = root->mark = 0;
  Ref*& inner = toRight ? c->left : c->right;
  (toRight ? root->right : root->left) = inner;
  if (inner) inner->parent = root;
  c->parent = nullptr;
  inner = root;
  root->parent = c;
  root = c;
}

void refFree(Ref* n) {
  if (!n) return;
  refFree(n->left);
  refFree(n->right);
  delete n;
}

TEST(OrderedMap, InsertionShapesMatchTheRecursiveRules) {
  std::mt19937 rng(99);
  for (int range : {50, 1000, 1 << 30}) {
    IntMap map;
    Ref* ref = nullptr;
    for (int i = 0; i < 1500; ++i) {
      int k = static_cast<int>(rng() % static_cast<unsigned>(range));
      map.insert(k);
      refInsert(ref, k);
      if (i % 10 == 0 || i < 100) {
        ASSERT_EQ(shape(map.root), shape(ref)) << "range " << range << " step " << i;
      }
    }
    refFree(ref);
  }
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
  std::vector<std::pair<int, int>> want = {{3, 0}, {7, 0}, {7, 1}, {7, 2}, {9, 0}};
  EXPECT_EQ(order, want);

  // Removal does not renumber; the next serial follows the highest one.
  EXPECT_TRUE(list.dettach(cSerializedKey<int>(7, 1)));
  EXPECT_EQ(*list.find(cSerializedKey<int>(7, 2)), 2);
  list.insert_nonunique(7);
  EXPECT_NE(list.find(cSerializedKey<int>(7, 3)), nullptr);

  list.insert(cSerializedKey<int>(5, INT_MAX));
  EXPECT_EQ(list.insert_nonunique(5), nullptr);
  EXPECT_EQ(list.find(cSerializedKey<int>(5, INT_MIN)), nullptr);
}

}  // namespace
