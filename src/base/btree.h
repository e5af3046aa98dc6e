// The ordered map of the whole system, and the sorted multimap built on it.
//
// A binary search tree of owned items with unique keys. Each insertion marks
// the item that just received a child; a new leaf under a node whose parent is
// marked lifts that node above its parent, which keeps the tree shallow at the
// cost of one cheap rotation per level at most. When an insertion still has to
// visit more levels than the limit (128 x the key's size), the whole tree is
// relinked in key order, which yields a balanced shape. Keys arriving in
// order (how most tables here are filled) keep the tree balanced; keys in
// scattered order leave it about three times as deep as a balanced tree,
// which lookups pay for in memory latency.
//
// Items never move in memory: callers keep pointers to items and values
// across later insertions, rotations, rebuilds and removals of other items.
// Everything runs in loops over the parent links, so a deep tree costs time,
// never stack.
#pragma once

#include <climits>

template <typename K, typename V>
class cFasterTreeList {
 public:
  struct cTreeItem {
    cTreeItem* right = nullptr;
    cTreeItem* left = nullptr;
    cTreeItem* parent = nullptr;
    K key;
    V value{};
    unsigned char mark = 0;

    explicit cTreeItem(const K& k) : key(k) {}
  };

  unsigned int depthLimit = kDefaultLimit;
  unsigned int depthCount = 0;
  cTreeItem* root = nullptr;

  cFasterTreeList() = default;
  cFasterTreeList(const cFasterTreeList&) = delete;
  cFasterTreeList& operator=(const cFasterTreeList&) = delete;
  ~cFasterTreeList() {
    if (root) destroyRec(root);
    root = nullptr;
  }

  // The value of the item holding `key`; an existing item keeps its value.
  V* insert(const K& key) {
    depthCount = 0;
    cTreeItem* held;
    if (!root) {
      held = root = new cTreeItem(key);
    } else {
      bool toRight;
      // The key is looked up before anything is allocated, so inserting a
      // present key costs no allocation and a failed allocation changes nothing.
      if (!descend(root, key, held, toRight)) {
        cTreeItem* x = new cTreeItem(key);
        if (attach(root, held, toRight, x)) liftIntoRoot(x);
        held = x;
      }
    }
    if (depthCount > depthLimit) rebuild_tree();
    return &held->value;
  }

  // Links a prepared item (links cleared); an item whose key is present is
  // destroyed and the holder of the key returned.
  cTreeItem* insert_id(cTreeItem* item) {
    if (!root) return root = item;
    char report = 0;
    cTreeItem* held = insert_itm(root, item, report);
    if (report) liftIntoRoot(held);
    return held;
  }

  // Inserts below `at`; `report` tells the caller's level what is asked of
  // it: 1 rotate the child above the node at this level, 2 the same one
  // level further up.
  cTreeItem* insert_itm(cTreeItem* at, cTreeItem* item, char& report) {
    bool toRight;
    cTreeItem* n;
    if (descend(at, item->key, n, toRight)) {
      delete item;
      report = 0;
      return n;
    }
    report = attach(at, n, toRight, item);
    return item;
  }

  void rebuild_tree() {
    if (!root) return;
    cTreeItem* first = chainInOrder(leftmost(root), nullptr, nullptr);
    root = nullptr;
    reinsertChain(first);
  }

  cTreeItem* find_item(const K& key) const { return root ? ifind_rec(root, key) : nullptr; }

  V* find(const K& key) const {
    cTreeItem* item = find_item(key);
    return item ? &item->value : nullptr;
  }

  cTreeItem* ifind_rec(cTreeItem* from, const K& key) const {
    while (from) {
      if (key == from->key) return from;
      // Both children start loading before the comparison is settled, so a
      // mispredicted branch does not also delay the fetch of the right one.
      cTreeItem* left = from->left;
      cTreeItem* right = from->right;
      __builtin_prefetch(left);
      __builtin_prefetch(right);
      from = key < from->key ? left : right;
    }
    return nullptr;
  }

  // The item with the greatest key not greater than `key`.
  cTreeItem* find_le(const K& key) const {
    cTreeItem* best = nullptr;
    for (cTreeItem* n = root; n;) {
      if (key == n->key) return n;
      if (key < n->key) {
        n = n->left;
      } else {
        best = n;
        n = n->right;
      }
    }
    return best;
  }

  // The item with the smallest key not smaller than `key`.
  cTreeItem* find_ge(const K& key) const {
    cTreeItem* best = nullptr;
    for (cTreeItem* n = root; n;) {
      if (key == n->key) return n;
      if (key < n->key) {
        best = n;
        n = n->left;
      } else {
        n = n->right;
      }
    }
    return best;
  }

  static cTreeItem* next(cTreeItem* item) {
    if (!item) return nullptr;
    if (item->right) return leftmost(item->right);
    while (item->parent && item->parent->right == item) item = item->parent;
    return item->parent;
  }

  static cTreeItem* prev(cTreeItem* item) {
    if (!item) return nullptr;
    if (item->left) return rightmost(item->left);
    while (item->parent && item->parent->left == item) item = item->parent;
    return item->parent;
  }

  // Only the removed item's subtree is relinked; the rest of the tree keeps
  // its shape.
  bool dettach(cTreeItem* item) {
    if (!item) return false;
    cTreeItem* parent = item->parent;
    bool wasLeft = parent && parent->left == item;
    cTreeItem* first = chainInOrder(leftmost(item), rightmost(item), item);

    cFasterTreeList fresh;
    fresh.reinsertChain(first);
    cTreeItem* sub = fresh.root;
    fresh.root = nullptr;

    if (!parent)
      root = sub;
    else if (wasLeft)
      parent->left = sub;
    else
      parent->right = sub;
    if (sub) sub->parent = parent;
    delete item;
    return true;
  }

  bool dettach(const K& key) {
    cTreeItem* item = find_item(key);
    return item ? dettach(item) : false;
  }

  // Post-order: left subtree, right subtree, then the item, as the recursive
  // definition would, but walking the parent links.
  void destroyRec(cTreeItem* item) {
    cTreeItem* n = item;
    for (;;) {
      if (n->left) {
        n = n->left;
      } else if (n->right) {
        n = n->right;
      } else {
        if (n == item) {
          delete n;
          return;
        }
        cTreeItem* up = n->parent;
        (up->left == n ? up->left : up->right) = nullptr;
        delete n;
        n = up;
      }
    }
  }

  void moveTo(cFasterTreeList& dst) {
    if (&dst == this) return;
    if (dst.root) dst.destroyRec(dst.root);
    dst.depthLimit = depthLimit;
    dst.depthCount = depthCount;
    dst.root = root;
    depthLimit = kDefaultLimit;
    depthCount = 0;
    root = nullptr;
  }

  static cTreeItem* leftmost(cTreeItem* n) {
    while (n->left) n = n->left;
    return n;
  }
  static cTreeItem* rightmost(cTreeItem* n) {
    while (n->right) n = n->right;
    return n;
  }

 private:
  static constexpr unsigned int kDefaultLimit = 128 * sizeof(K);

  static cTreeItem*& side(cTreeItem* n, bool toRight) { return toRight ? n->right : n->left; }

  // Walks down from `n` counting levels. True with `at` the item holding the
  // key; false with `at` the item under which it belongs, on side `toRight`.
  bool descend(cTreeItem* n, const K& key, cTreeItem*& at, bool& toRight) {
    for (;;) {
      ++depthCount;
      if (key == n->key) {
        at = n;
        return true;
      }
      toRight = !(key < n->key);
      cTreeItem* child = side(n, toRight);
      if (!child) {
        at = n;
        return false;
      }
      n = child;
    }
  }

  // Lifts n's child on the given side into n's place.
  void rotate(cTreeItem* n, bool toRight) {
    cTreeItem* c = side(n, toRight);
    cTreeItem* g = n->parent;
    c->mark = 0;
    n->mark = 0;
    cTreeItem* inner = side(c, !toRight);
    side(n, toRight) = inner;
    if (inner) inner->parent = n;
    c->parent = g;
    side(c, !toRight) = n;
    n->parent = c;
    if (!g)
      root = c;
    else
      side(g, g->right == n) = c;
  }

  // Links x under n and replays, from n's level back up to `at`, what each
  // level of a recursive descent would do on its way out. Answers the report
  // of `at`'s level.
  char attach(cTreeItem* at, cTreeItem* n, bool toRight, cTreeItem* x) {
    side(n, toRight) = x;
    x->parent = n;
    char report;
    if (n->parent && n->parent->mark) {
      report = 1;
    } else {
      n->mark = 1;
      report = 0;
    }
    if (!report || n == at) return report;
    cTreeItem* level = n->parent;
    toRight = level->right == n;
    for (;;) {
      // Read before any rotation here relinks `level`.
      cTreeItem* g = level->parent;
      bool gToRight = g && g->right == level;
      if (report >= 2) {
        report = static_cast<char>(report - 1);
      } else if (g) {
        rotate(level, toRight);
        if (g->parent && g->parent->mark) {
          report = 2;
        } else {
          g->mark = 1;
          report = 0;
        }
      }
      // Without g, `level` is the root, which is always `at`: its report of 1
      // goes to the caller unchanged.
      if (!report || level == at) break;
      level = g;
      toRight = gToRight;
    }
    return report;
  }

  // The root level asked for a rotation: the root's child on the side where
  // the new item went becomes the root.
  void liftIntoRoot(cTreeItem* inserted) { rotate(root, root->key < inserted->key); }

  // Chains the items from `first` to `last` (null: to the end), in key order,
  // through their left links, leaving `skip` out; answers the chain's head.
  // Successors are found through right and parent links and the left links
  // of later items only, so the rewritten links never mislead the walk.
  static cTreeItem* chainInOrder(cTreeItem* first, cTreeItem* last, cTreeItem* skip) {
    cTreeItem* head = nullptr;
    cTreeItem* tail = nullptr;
    for (cTreeItem* it = first; it;) {
      cTreeItem* following = it == last ? nullptr : next(it);
      if (it != skip) {
        if (tail)
          tail->left = it;
        else
          head = it;
        tail = it;
      }
      it = following;
    }
    if (tail) tail->left = nullptr;
    return head;
  }

  // Marks survive: only the links are cleared.
  void reinsertChain(cTreeItem* it) {
    while (it) {
      cTreeItem* following = it->left;
      it->left = it->right = it->parent = nullptr;
      insert_id(it);
      it = following;
    }
  }
};

// A key made unique by a serial number, so that equal keys of a multimap keep
// their order of insertion.
template <typename K>
struct cSerializedKey {
  K key;
  int serial = 0;

  cSerializedKey(const K& k) : key(k) {}  // NOLINT: keys convert implicitly
  cSerializedKey(const K& k, int s) : key(k), serial(s) {}

  bool operator==(const cSerializedKey& o) const { return key == o.key && serial == o.serial; }
  bool operator<(const cSerializedKey& o) const { return key < o.key || (key == o.key && serial < o.serial); }
  bool operator<=(const cSerializedKey& o) const { return !(o < *this); }
  bool operator>(const cSerializedKey& o) const { return o < *this; }
};

template <typename K, typename V>
class cUUSorterList : public cFasterTreeList<cSerializedKey<K>, V> {
 public:
  // Null once the key's serials are used up.
  V* insert_nonunique(const K& key) {
    auto* last = this->find_le(cSerializedKey<K>(key, INT_MAX));
    int serial = 0;
    if (last && last->key.key == key) {
      if (last->key.serial == INT_MAX) return nullptr;
      serial = last->key.serial + 1;
    }
    return this->insert(cSerializedKey<K>(key, serial));
  }
};
