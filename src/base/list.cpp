#include "base/list.h"

bool cListItem::eq(void*) { return false; }
bool cBiListItem::eq(void*) { return false; }

// ---- cList

bool cList::locate(cListItem* item, cListItem*& before) const {
  before = nullptr;
  for (cListItem* it = head; it; before = it, it = it->next) {
    if (it == item) return true;
  }
  return false;
}

void cList::unlink(cListItem* item, cListItem* before) {
  (before ? before->next : head) = item->next;
  if (tail == item) tail = before;
  item->next = nullptr;
}

cListItem* cList::add(cListItem* item) {
  if (!item) return nullptr;
  item->next = nullptr;
  appendToChain(head, tail, item);
  return item;
}

// An `after` that is not linked here would splice the item into some other
// chain, so it is refused like a null item.
bool cList::insert(cListItem* item, cListItem* after) {
  if (!item) return false;
  if (!after) {
    item->next = head;
    head = item;
    if (!tail) tail = item;
    return true;
  }
  cListItem* before;
  if (!locate(after, before)) return false;
  item->next = after->next;
  after->next = item;
  if (tail == after) tail = item;
  return true;
}

void cList::remove(cListItem* item) {
  cListItem* before;
  if (!item || !locate(item, before)) return;
  unlink(item, before);
  delete item;
}

bool cList::dettach(cListItem* item) {
  cListItem* before;
  if (!item || !locate(item, before)) return false;
  unlink(item, before);
  return true;
}

void cList::dettachAll() { head = tail = nullptr; }

void cList::destroy() {
  destroyList(head);
  head = tail = nullptr;
}

void cList::destroyList(cListItem* first) {
  while (first) {
    cListItem* following = first->next;
    delete first;
    first = following;
  }
}

void cList::forward(cListItem* item) {
  cListItem* before;
  if (!item || !locate(item, before) || !item->next) return;
  cListItem* successor = item->next;
  (before ? before->next : head) = successor;
  item->next = successor->next;
  successor->next = item;
  if (tail == successor) tail = item;
}

void cList::backward(cListItem* item) {
  cListItem* before;
  if (!item || !locate(item, before) || !before) return;
  cListItem* beforeThat;
  locate(before, beforeThat);
  (beforeThat ? beforeThat->next : head) = item;
  before->next = item->next;
  item->next = before;
  if (tail == item) tail = before;
}

void cList::moveTo(cList& dst) {
  if (&dst == this) return;
  dst.destroy();
  dst.head = head;
  dst.tail = tail;
  head = tail = nullptr;
}

cListItem* cList::find(void* what) {
  for (cListItem* it = head; it; it = it->next) {
    if (it->eq(what)) return it;
  }
  return nullptr;
}

// ---- cStackList

cListItem* cStackList::push(cListItem* item) {
  if (!item) return nullptr;
  item->next = head;
  head = item;
  if (!tail) tail = item;
  return item;
}

cListItem* cStackList::pop() {
  cListItem* item = head;
  if (!item) return nullptr;
  head = item->next;
  if (!head) tail = nullptr;
  return item;
}

// ---- cBiList

bool cBiList::contains(cBiListItem* item) const {
  for (cBiListItem* it = head; it; it = it->next) {
    if (it == item) return true;
  }
  return false;
}

void cBiList::unlink(cBiListItem* item) {
  (item->prev ? item->prev->next : head) = item->next;
  (item->next ? item->next->prev : tail) = item->prev;
  item->next = item->prev = nullptr;
  --count;
}

void cBiList::destroy() {
  while (head) {
    cBiListItem* following = head->next;
    delete head;
    head = following;
  }
  tail = nullptr;
  count = 0;
}

cBiListItem* cBiList::add(cBiListItem* item) {
  if (!item) return nullptr;
  item->next = nullptr;
  item->prev = tail;
  (tail ? tail->next : head) = item;
  tail = item;
  ++count;
  return item;
}

bool cBiList::insert(cBiListItem* item, cBiListItem* after) {
  if (!item || (after && !contains(after))) return false;
  cBiListItem* following = after ? after->next : head;
  item->prev = after;
  item->next = following;
  (after ? after->next : head) = item;
  (following ? following->prev : tail) = item;
  ++count;
  return true;
}

void cBiList::remove(cBiListItem* item) {
  if (!item || !contains(item)) return;
  unlink(item);
  delete item;
}

bool cBiList::dettach(cBiListItem* item) {
  if (!item || !contains(item)) return false;
  unlink(item);
  return true;
}

void cBiList::dettachAll() {
  head = tail = nullptr;
  count = 0;
}

cBiListItem* cBiList::find(void* what) {
  for (cBiListItem* it = head; it; it = it->next) {
    if (it->eq(what)) return it;
  }
  return nullptr;
}

// ---- cTree

cTreeItem* cTree::add(cTreeItem* parent, cTreeItem* item) {
  if (!item) return nullptr;
  item->next = item->prev = item->child = item->lastChild = nullptr;
  item->owner = this;
  item->parent = parent;
  cTreeItem*& end = lastOf(parent);
  if (end) {
    end->next = item;
    item->prev = end;
  } else {
    firstOf(parent) = item;
  }
  end = item;
  return item;
}

void cTree::detach(cTreeItem* item) {
  if (!item) return;
  // An item of no tree, or of a level it is no longer on, is left alone.
  const bool listed = item->prev || firstOf(item->parent) == item;
  if (item->prev)
    item->prev->next = item->next;
  else if (listed)
    firstOf(item->parent) = item->next;
  if (item->next)
    item->next->prev = item->prev;
  else if (listed)
    lastOf(item->parent) = item->prev;
  item->next = item->prev = nullptr;
  item->owner = nullptr;
  item->parent = nullptr;
  setOwnerToSub(item, nullptr);
}

void cTree::remove(cTreeItem* item) {
  if (!item) return;
  detach(item);
  destroyLevel(item->child);
  delete item;
}

void cTree::destroyLevel(cTreeItem* n) {
  // How far below the starting level the walk is, so it never climbs above.
  long long depth = 0;
  while (n) {
    if (n->child) {
      n = n->child;
      ++depth;
      continue;
    }
    cTreeItem* sibling = n->next;
    cTreeItem* up = n->parent;
    delete n;
    if (sibling) {
      n = sibling;
    } else if (depth > 0) {
      --depth;
      up->child = up->lastChild = nullptr;  // its children are gone: it is deleted next
      n = up;
    } else {
      n = nullptr;
    }
  }
}

void cTree::destroy() {
  destroyLevel(first);
  first = last = nullptr;
}

void cTree::destroy_sub(cTreeItem* item) {
  if (!item) return;
  destroyLevel(item->child);
  item->child = item->lastChild = nullptr;
}

void cTree::setOwnerToSub(cTreeItem* item, cTree* tree) {
  cTreeItem* n = item ? item->child : nullptr;
  while (n) {
    n->owner = tree;
    if (n->child) {
      n = n->child;
      continue;
    }
    while (n != item && !n->next) n = n->parent;
    n = n == item ? nullptr : n->next;
  }
}

cTreeItem* cTree::subLast(cTreeItem* item) { return item ? item->lastChild : nullptr; }

cTreeItem* cTree::nextInOrder(cTreeItem* item, const cTreeItem* top) {
  if (!item) return nullptr;
  if (item->child) return item->child;
  while (item && item != top && !item->next) item = item->parent;
  return item && item != top ? item->next : nullptr;
}

bool cTree::move_forward(cTreeItem* item) {
  if (!item || !item->next) return false;
  cTreeItem* successor = item->next;
  if (item->prev)
    item->prev->next = successor;
  else
    firstOf(item->parent) = successor;
  successor->prev = item->prev;
  item->next = successor->next;
  if (item->next)
    item->next->prev = item;
  else
    lastOf(item->parent) = item;
  successor->next = item;
  item->prev = successor;
  return true;
}

bool cTree::reattachToTree(cTree* dst, cTreeItem* item, cTreeItem* parent) {
  if (!dst || !item) return false;
  detach(item);
  cTreeItem* children = item->child;
  cTreeItem* lastChild = item->lastChild;
  dst->add(parent, item);
  item->child = children;
  item->lastChild = lastChild;
  setOwnerToSub(item, dst);
  return true;
}
