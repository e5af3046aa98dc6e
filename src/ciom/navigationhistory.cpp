#include "ciom/navigationhistory.h"

void cNavigationHistory::init() {
  while (byOrdinal_.root) byOrdinal_.dettach(byOrdinal_.root);
  while (byPath_.root) byPath_.dettach(byPath_.root);
}

void cNavigationHistory::setVisited(const char* path) {
  if (!path) return;
  cStringKey key(path, -1);
  if (int* old = byPath_.find(key)) {
    byOrdinal_.dettach(*old);
    byPath_.dettach(key);
  }
  int ordinal = 0;
  if (byOrdinal_.root) {
    auto* last = byOrdinal_.root;
    while (last->right) last = last->right;
    ordinal = last->key + 1;
  }
  byOrdinal_.insert(ordinal)->set(path);
  *byPath_.insert(key) = ordinal;
}

void* cNavigationHistory::next(void* cursor, _guardchar<char>& out) const {
  using tItem = cFasterTreeList<int, _guardchar<char>>::cTreeItem;
  tItem* item;
  if (!cursor) {
    item = byOrdinal_.root;
    while (item && item->right) item = item->right;
  } else {
    item = cFasterTreeList<int, _guardchar<char>>::prev(static_cast<tItem*>(cursor));
  }
  if (item) out.set(item->value.ptr);
  return item;
}
