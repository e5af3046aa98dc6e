#include "base/list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Named : cListItem {
  static int deleted;
  int id;
  explicit Named(int i) : id(i) {}
  ~Named() override { ++deleted; }
  bool eq(void* what) override { return *static_cast<int*>(what) == id; }
};
int Named::deleted = 0;

std::vector<int> ids(const cList& list) {
  std::vector<int> out;
  for (cListItem* it = list.head; it; it = it->next) out.push_back(static_cast<Named*>(it)->id);
  EXPECT_TRUE(!list.tail || !list.tail->next);
  return out;
}

TEST(ValueList, EndsFollowAddAndRemove) {
  _List<std::string> list;
  auto* a = list.add();
  a->value = "a long enough text to live on the heap";
  auto* b = list.add();
  list.remove(b);
  EXPECT_EQ(list.tail, a);
  list.remove(b);  // no longer linked: ignored
  list.remove(a);
  EXPECT_EQ(list.tail, nullptr);
  list.add()->value = "another text that the destroy has to free";
  list.destroy();

  cStackList stack;
  cListItem x, y;
  stack.push(&x);
  stack.push(&y);
  EXPECT_EQ(stack.pop(), &y);
  EXPECT_EQ(stack.pop(), &x);
  EXPECT_EQ(stack.tail, nullptr);
  EXPECT_EQ(stack.push(nullptr), nullptr);
  EXPECT_EQ(stack.head, nullptr);
}

TEST(ItemList, ReorderInsertSearchAndOwnership) {
  Named::deleted = 0;
  {
    cList list;
    Named* items[4];
    for (int i = 0; i < 4; ++i) list.add(items[i] = new Named(i));
    EXPECT_EQ(list.add(nullptr), nullptr);
    list.forward(items[3]);
    list.backward(items[0]);
    list.forward(items[2]);
    EXPECT_EQ(ids(list), (std::vector<int>{0, 1, 3, 2}));
    EXPECT_EQ(list.tail, items[2]);
    list.backward(items[1]);
    list.backward(items[2]);
    EXPECT_EQ(ids(list), (std::vector<int>{1, 0, 2, 3}));
    EXPECT_EQ(list.tail, items[3]);

    EXPECT_FALSE(list.insert(nullptr, nullptr));
    Named* c = new Named(5);
    EXPECT_TRUE(list.insert(c, items[3]));
    EXPECT_EQ(list.tail, c);
    EXPECT_TRUE(list.insert(new Named(4), nullptr));
    // A neighbour from another chain would corrupt both lists.
    cListItem outsider;
    Named refused(8);
    EXPECT_FALSE(list.insert(&refused, &outsider));
    EXPECT_FALSE(list.dettach(&refused));

    int key = 5;
    EXPECT_EQ(list.find(&key), c);
    list.remove(c);
    EXPECT_EQ(list.tail, items[3]);
    cList other;
    other.add(new Named(10));
    list.moveTo(other);
    EXPECT_EQ(Named::deleted, 2);
    other.moveTo(other);
    EXPECT_EQ(ids(other), (std::vector<int>{4, 1, 0, 2, 3}));
  }
  EXPECT_EQ(Named::deleted, 8);  // the refused one too, leaving its scope
}

struct BiNamed : cBiListItem {
  int id;
  explicit BiNamed(int i) : id(i) {}
};

TEST(BiList, LinksBothWaysAndCounts) {
  cBiList list;
  auto* a = static_cast<BiNamed*>(list.add(new BiNamed(1)));
  auto* c = static_cast<BiNamed*>(list.add(new BiNamed(3)));
  auto* b = new BiNamed(2);
  EXPECT_TRUE(list.insert(b, a));
  auto* z = new BiNamed(0);
  EXPECT_TRUE(list.insert(z, nullptr));
  std::vector<int> forward, backward;
  for (auto* it = list.start(); it; it = list.next(it)) forward.push_back(static_cast<BiNamed*>(it)->id);
  for (auto* it = list.getlast(); it; it = list.prev(it)) backward.push_back(static_cast<BiNamed*>(it)->id);
  EXPECT_EQ(forward, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(backward, (std::vector<int>{3, 2, 1, 0}));
  list.remove(c);
  EXPECT_EQ(list.getlast(), b);
  EXPECT_TRUE(list.dettach(z));
  EXPECT_FALSE(list.dettach(z));
  delete z;
  EXPECT_EQ(a->prev, nullptr);
  EXPECT_EQ(list.getCount(), 2);
}

struct Node : cTreeItem {
  static int deleted;
  int id;
  explicit Node(int i) : id(i) {}
  ~Node() override { ++deleted; }
};
int Node::deleted = 0;

std::vector<int> children(cTreeItem* first) {
  std::vector<int> out;
  for (cTreeItem* it = first; it; it = it->next) {
    out.push_back(static_cast<Node*>(it)->id);
    EXPECT_TRUE(!it->next || it->next->prev == it);
  }
  return out;
}

TEST(Tree, SiblingOrderMovesAndRemoval) {
  cTree tree;
  Node* root = static_cast<Node*>(tree.add(nullptr, new Node(0)));
  Node* kids[3];
  for (int i = 0; i < 3; ++i) kids[i] = static_cast<Node*>(tree.add(root, new Node(i + 1)));
  EXPECT_TRUE(tree.move_forward(kids[0]));
  EXPECT_EQ(root->child, kids[1]);
  EXPECT_EQ(children(root->child), (std::vector<int>{2, 1, 3}));
  EXPECT_EQ(kids[1]->prev, nullptr);
  EXPECT_FALSE(tree.move_forward(kids[2]));

  Node::deleted = 0;
  tree.remove(kids[1]);
  EXPECT_EQ(children(root->child), (std::vector<int>{1, 3}));
  tree.destroy_sub(root);
  EXPECT_EQ(root->child, nullptr);
  EXPECT_EQ(Node::deleted, 3);
  tree.destroy();
  EXPECT_EQ(Node::deleted, 4);
}

TEST(Tree, DetachAndReattachCarryTheWholeSubtree) {
  cTree a, b;
  Node* top = static_cast<Node*>(a.add(nullptr, new Node(1)));
  Node* mid = static_cast<Node*>(a.add(top, new Node(2)));
  Node* leaf = static_cast<Node*>(a.add(mid, new Node(3)));
  Node* leaf2 = static_cast<Node*>(a.add(mid, new Node(4)));
  a.detach(mid);
  EXPECT_EQ(top->child, nullptr);
  EXPECT_EQ(leaf2->owner, nullptr);
  EXPECT_EQ(mid->child, leaf);

  Node* host = static_cast<Node*>(b.add(nullptr, new Node(5)));
  a.add(top, mid);
  mid->child = leaf;  // add starts the item bare; give the children back
  mid->lastChild = leaf2;
  EXPECT_TRUE(a.reattachToTree(&b, mid, host));
  EXPECT_EQ(host->child, mid);
  EXPECT_EQ(leaf2->owner, &b);
  EXPECT_EQ(top->child, nullptr);

  EXPECT_EQ(a.add(top, nullptr), nullptr);
  EXPECT_FALSE(a.reattachToTree(&b, nullptr, nullptr));
  a.remove(nullptr);
  a.detach(nullptr);
  a.destroy();
  b.destroy();
}

// Every change keeps each level's last item where appends go, against a
// model of the levels: the top one and two under it.
TEST(Tree, AppendsFollowTheLastItemThroughEveryChange) {
  cTree tree;
  Node* parents[2] = {static_cast<Node*>(tree.add(nullptr, new Node(0))),
                      static_cast<Node*>(tree.add(nullptr, new Node(1)))};
  std::vector<int> model[3] = {{0, 1}, {}, {}};  // top, under 0, under 1
  std::vector<Node*> items[3] = {{parents[0], parents[1]}, {}, {}};
  auto check = [&] {
    for (int l = 0; l < 3; ++l) {
      cTreeItem* first = l ? parents[l - 1]->child : tree.first;
      cTreeItem* last = l ? tree.subLast(parents[l - 1]) : tree.last;
      ASSERT_EQ(children(first), model[l]) << "level " << l;
      ASSERT_EQ(last ? static_cast<Node*>(last)->id : -1, model[l].empty() ? -1 : model[l].back()) << "level " << l;
    }
  };
  unsigned seed = 7;
  auto next = [&](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  int id = 2;
  for (int step = 0; step < 3000; ++step) {
    const unsigned level = 1 + next(2), op = next(10);
    std::vector<int>& m = model[level];
    std::vector<Node*>& it = items[level];
    if (op < 5 || m.empty()) {
      it.push_back(static_cast<Node*>(tree.add(parents[level - 1], new Node(id))));
      m.push_back(id++);
    } else {
      const size_t i = next(static_cast<unsigned>(m.size()));
      if (op < 7) {
        if (i + 1 < m.size()) {
          EXPECT_TRUE(tree.move_forward(it[i]));
          std::swap(m[i], m[i + 1]);
          std::swap(it[i], it[i + 1]);
        }
      } else if (op < 8) {
        // Moved to the end of the other level.
        tree.detach(it[i]);
        tree.add(parents[2 - level], it[i]);
        model[3 - level].push_back(m[i]);
        items[3 - level].push_back(it[i]);
        m.erase(m.begin() + static_cast<long>(i));
        it.erase(it.begin() + static_cast<long>(i));
      } else if (op < 9) {
        tree.remove(it[i]);
        m.erase(m.begin() + static_cast<long>(i));
        it.erase(it.begin() + static_cast<long>(i));
      } else if (next(20) == 0) {
        tree.destroy_sub(parents[level - 1]);
        m.clear();
        it.clear();
      }
    }
    check();
    if (HasFatalFailure()) return;
  }
  tree.destroy();
  EXPECT_EQ(tree.first, nullptr);
  EXPECT_EQ(tree.last, nullptr);
}

// A chain far deeper than any stack would take by recursion.
TEST(Tree, DeepTreesAreWalkedWithoutRecursion) {
  cTree tree;
  Node::deleted = 0;
  cTreeItem* parent = tree.add(nullptr, new Node(0));
  const int depth = 1000000;
  for (int i = 1; i < depth; ++i) {
    parent = tree.add(parent, new Node(i));
    if (i % 2) tree.add(parent->parent, new Node(-i));
  }
  int walked = 0;
  for (cTreeItem* i = tree.first; i; i = cTree::nextInOrder(i)) ++walked;
  EXPECT_EQ(walked, depth + depth / 2);
  cTree other;
  tree.reattachToTree(&other, tree.first, nullptr);
  EXPECT_EQ(parent->owner, &other);
  other.destroy();
  EXPECT_EQ(Node::deleted, depth + depth / 2);
}

// 1 (2 (3, 4), 5 (6)), 7: the walk from each item, alone and kept below one.
TEST(Tree, PreOrderWalkStaysBelowItsTop) {
  cTree tree;
  Node* n[8] = {};
  const int parentOf[8] = {0, 0, 1, 2, 2, 1, 5, 0};
  for (int i = 1; i < 8; ++i)
    n[i] = static_cast<Node*>(tree.add(parentOf[i] ? n[parentOf[i]] : nullptr, new Node(i)));
  const auto walk = [&](int from, int top) {
    std::vector<int> out;
    for (cTreeItem* i = n[from]; i; i = cTree::nextInOrder(i, top ? n[top] : nullptr))
      out.push_back(static_cast<Node*>(i)->id);
    return out;
  };
  EXPECT_EQ(walk(1, 0), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(walk(4, 0), (std::vector<int>{4, 5, 6, 7}));
  EXPECT_EQ(walk(3, 2), (std::vector<int>{3, 4}));
  EXPECT_EQ(walk(2, 1), (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(walk(6, 5), (std::vector<int>{6}));
  EXPECT_EQ(cTree::nextInOrder(nullptr), nullptr);
  tree.destroy();
}

}  // namespace
