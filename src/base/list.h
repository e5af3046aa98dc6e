// The linked containers: an owning list of values, intrusive lists of
// polymorphic items (singly linked, last-in first-out, doubly linked and
// counted) and an intrusive tree. None of them locks.
//
// Operations that take an item search it from the head: these lists are
// short, and an item that is not in the list is simply ignored.
#pragma once

// Appends to a singly linked chain kept with head and tail pointers.
template <typename Item>
inline void appendToChain(Item*& head, Item*& tail, Item* item) {
  (tail ? tail->next : head) = item;
  tail = item;
}

// An owning singly linked list of values. Its owners call destroy() before
// they go.
template <typename T>
struct _List {
  struct sItem {
    T value;
    sItem* next;
  };

  sItem* head = nullptr;
  sItem* tail = nullptr;

  _List() = default;
  _List(const _List&) = delete;
  _List& operator=(const _List&) = delete;

  // A default value at the tail; the item starts with its value, so the
  // pointer is also a pointer to the value.
  sItem* add() {
    sItem* item = new sItem{};
    appendToChain(head, tail, item);
    return item;
  }

  void remove(sItem* item) {
    sItem* before = nullptr;
    for (sItem* it = head; it; before = it, it = it->next) {
      if (it != item) continue;
      (before ? before->next : head) = it->next;
      if (tail == it) tail = before;
      delete it;
      return;
    }
  }

  void destroy() {
    while (head) {
      sItem* following = head->next;
      delete head;
      head = following;
    }
    tail = nullptr;
  }
};

class cListItem {
 public:
  cListItem* next = nullptr;

  virtual ~cListItem() = default;
  // Searches ask each item whether it is the thing looked for.
  virtual bool eq(void* what);
};

// An intrusive list that owns and deletes its items.
class cList {
 public:
  cListItem* head = nullptr;
  cListItem* tail = nullptr;

  cList() = default;
  cList(const cList&) = delete;
  cList& operator=(const cList&) = delete;
  ~cList() { destroy(); }

  cListItem* add(cListItem* item);
  // Behind `after` (an item of this list), or as the head without it.
  bool insert(cListItem* item, cListItem* after);
  void remove(cListItem* item);
  bool dettach(cListItem* item);
  void dettachAll();
  void destroy();
  // Deletes the chain from `first` on; the list's own ends are left alone.
  void destroyList(cListItem* first);
  // One place toward the tail / toward the head.
  void forward(cListItem* item);
  void backward(cListItem* item);
  // dst loses its items and takes this list's; this list is left empty.
  void moveTo(cList& dst);
  cListItem* find(void* what);

 private:
  // The item before `item`, null for the head; false when not linked here.
  bool locate(cListItem* item, cListItem*& before) const;
  void unlink(cListItem* item, cListItem* before);
};

// Last in, first out; never deletes its items.
class cStackList {
 public:
  cListItem* head = nullptr;
  cListItem* tail = nullptr;

  cListItem* push(cListItem* item);
  cListItem* pop();
  cListItem* peek() { return head; }
};

class cBiListItem {
 public:
  cBiListItem* next = nullptr;
  cBiListItem* prev = nullptr;

  virtual ~cBiListItem() = default;
  virtual bool eq(void* what);
};

// A doubly linked, counted list that owns and deletes its items.
class cBiList {
 public:
  cBiListItem* head = nullptr;
  cBiListItem* tail = nullptr;
  int count = 0;

  cBiList() = default;
  cBiList(const cBiList&) = delete;
  cBiList& operator=(const cBiList&) = delete;
  ~cBiList() { destroy(); }

  void destroy();
  cBiListItem* add(cBiListItem* item);
  bool insert(cBiListItem* item, cBiListItem* after);
  void remove(cBiListItem* item);
  bool dettach(cBiListItem* item);
  void dettachAll();
  cBiListItem* start() { return head; }
  cBiListItem* getlast() { return tail; }
  cBiListItem* next(cBiListItem* item) { return item ? item->next : nullptr; }
  cBiListItem* prev(cBiListItem* item) { return item ? item->prev : nullptr; }
  cBiListItem* find(void* what);
  int getCount() { return count; }

 private:
  bool contains(cBiListItem* item) const;
  void unlink(cBiListItem* item);
};

class cTree;

class cTreeItem {
 public:
  cTreeItem* next = nullptr;
  cTreeItem* prev = nullptr;
  cTreeItem* child = nullptr;
  cTreeItem* lastChild = nullptr;  // so that appending never walks a level
  cTreeItem* parent = nullptr;
  cTree* owner = nullptr;

  // Leaves the links alone: the tree unlinks before it deletes.
  virtual ~cTreeItem() { owner = nullptr; }
};

// An intrusive tree. Its owners call destroy() before they go. Subtrees of
// any depth are walked in loops, never by recursion.
class cTree {
 public:
  cTreeItem* first = nullptr;
  cTreeItem* last = nullptr;  // of the top level

  cTreeItem* add(cTreeItem* parent, cTreeItem* item);
  // The item keeps its children; it and its subtree belong to no tree.
  void detach(cTreeItem* item);
  void remove(cTreeItem* item);
  // Deletes `first` and its following siblings, each after its children.
  void destroyLevel(cTreeItem* first);
  void destroy();
  void destroy_sub(cTreeItem* item);
  // The descendants only, not the item itself.
  void setOwnerToSub(cTreeItem* item, cTree* tree);
  cTreeItem* subLast(cTreeItem* item);
  // The item after `item` in pre-order, null past the last one; with a
  // `top`, past the last one below it. A loop: a deep tree costs no stack.
  static cTreeItem* nextInOrder(cTreeItem* item, const cTreeItem* top = nullptr);
  bool move_forward(cTreeItem* item);
  bool reattachToTree(cTree* dst, cTreeItem* item, cTreeItem* parent);

 private:
  cTreeItem*& firstOf(cTreeItem* parent) { return parent ? parent->child : first; }
  cTreeItem*& lastOf(cTreeItem* parent) { return parent ? parent->lastChild : last; }
};
