#include "ciom/folderchoose_tree.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "ciom/filechoose_rows.h"
#include "ciom/folderchoose_path.h"

namespace {

void relabel(cTreeViewChild::cTreeViewItem* row, const char* label) {
  delete[] row->text;
  const size_t n = std::strlen(label);
  row->text = new char[n + 1];
  std::memcpy(row->text, label, n + 1);
}

int nodeKindOf(int entryType) {
  if (entryType == fotFolder || entryType == fotSpecialLocation)
    return cFolderChooseTree::cTreeFoldersContentItem::kFolder;
  if (entryType == kFileSystemRoot || entryType == kMountedFileSystem)
    return cFolderChooseTree::cTreeFoldersContentItem::kFileSystem;
  return -1;
}

// A folder's entries as the file chooser lists them: file systems before
// folders, each by the bytes of the label shown; the special locations keep
// their own order. Keys are taken once, with a label's first eight bytes as
// a number: following a pointer to each name at each comparison took seconds.
// The sort of a big folder is long on a busy machine, and a dialog ending
// waits for its read to stop: it stops at the next comparison.
struct sSortStopped {};

std::vector<int> sortedOrder(cFolderContents& contents, const std::atomic<bool>* stop) {
  std::vector<std::tuple<int, unsigned long long, const char*>> keys;
  for (int i = 0; i < contents.count(); ++i) {
    const sFolderItemInfo& e = *contents.info(i);
    const char* label = placeLabel(e) ? placeLabel(e) : "";
    unsigned long long head = 0;
    for (int at = 0, n = 0; n < 8; ++n, at += label[at] != 0)
      head = head << 8 | static_cast<unsigned char>(label[at]);
    keys.emplace_back(fileChooseRowLook(e.type).typeOrder, head, label);
  }
  std::vector<int> order(keys.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    if (stop && cFolderChooseTree::sortStep) cFolderChooseTree::sortStep(*stop);
    if (stop && stop->load(std::memory_order_relaxed)) throw sSortStopped{};
    const auto &x = keys[static_cast<size_t>(a)], &y = keys[static_cast<size_t>(b)];
    if (std::get<0>(x) != std::get<0>(y) || std::get<1>(x) != std::get<1>(y)) return x < y;
    return std::strcmp(std::get<2>(x), std::get<2>(y)) < 0;
  });
  return order;
}

}  // namespace

cFolderChooseTree::~cFolderChooseTree() { clear(); }

void cFolderChooseTree::clear() {
  view_.clear();
  nodes_.destroy();
}

cFolderChooseTree::cTreeFoldersContentItem* cFolderChooseTree::addNode(cTreeFoldersContentItem* parent,
                                                                       int kind, const char* path,
                                                                       const char* label, bool beforeLast) {
  auto* node = new cTreeFoldersContentItem;
  node->kind = kind;
  node->path.set(path);
  nodes_.add(parent, node);
  if (beforeLast && node->prev) nodes_.move_forward(node->prev);
  node->row = new cTreeViewChild::cTreeViewItem(label, node, kind);
  node->row->collapsed = false;
  view_.storeUnder(parent ? parent->row : nullptr, node->row, beforeLast);
  return node;
}

void cFolderChooseTree::addEntry(cTreeFoldersContentItem* node, int i, bool skipHidden, bool pathFromName) {
  sFolderItemInfo* e = node->contents.info(i);
  const int kind = e ? nodeKindOf(e->type) : -1;
  if (kind < 0 || (skipHidden && e->hidden)) return;
  _guardchar<char> path;
  if (pathFromName)
    path.set(e->name.ptr);
  else if (!node->contents.path(i, path))
    return;
  const char* label = placeLabel(*e);
  // Entries sorted before the row laid ahead go above it; its own entry
  // takes it over, and the rest follow it.
  auto* ahead = static_cast<cTreeFoldersContentItem*>(node->lastChild);
  if (!ahead || !ahead->ahead) {
    addNode(node, kind, path.ptr, label);
    return;
  }
  const bool exact = cFolderContents::pathCaseSensetive(path.ptr);
  if ((exact ? std::strcmp(ahead->path.ptr, path.ptr) : strcasecmp(ahead->path.ptr, path.ptr)) != 0) {
    addNode(node, kind, path.ptr, label, true);
    return;
  }
  ahead->ahead = false;
  ahead->path.set(path.ptr);
  if (!label) label = "";
  if (ahead->kind == kind && std::strcmp(ahead->row->text, label) == 0) return;
  ahead->kind = ahead->row->image = kind;
  relabel(ahead->row, label);
  view_.update();
}

void cFolderChooseTree::initBasicView(const char* computerLabel) {
  clear();
  view_.startChanges();
  cTreeFoldersContentItem* top = addNode(nullptr, cTreeFoldersContentItem::kComputer, nullptr, computerLabel);
  top->listed = true;
  if (top->contents.enumSpecialLocations())
    for (int i = 0; i < top->contents.count(); ++i) addEntry(top, i, false, true);
  view_.endChanges();
}

void cFolderChooseTree::clearLevel(cTreeFoldersContentItem* node) {
  view_.startChanges();
  view_.remove_under(node->row);
  nodes_.destroy_sub(node);
  view_.endChanges();
  node->listed = false;
  node->order.clear();
}

bool cFolderChooseTree::readLevel(cTreeFoldersContentItem* node, const std::atomic<bool>* stop) {
  if (!node->path.ptr || !node->contents.init(node->path.ptr, true, stop, true)) return false;
  try {
    node->order = sortedOrder(node->contents, stop);
  } catch (const sSortStopped&) {
    return false;
  }
  return true;
}

bool cFolderChooseTree::addLevelRows(cTreeFoldersContentItem* node, size_t& next, size_t batch) {
  const size_t end = next + std::min(batch, node->order.size() - std::min(next, node->order.size()));
  view_.startChanges();
  for (; next < end; ++next) addEntry(node, node->order[next], true, false);
  view_.endChanges();
  return next >= node->order.size();
}

void cFolderChooseTree::endLevel(cTreeFoldersContentItem* node, bool listed) {
  node->listed = listed;
  node->order = std::vector<int>();
  // A row laid ahead that the listing does not show (hidden, or the level
  // unread) stays, named by its whole path as a path outside the tree is.
  auto* ahead = static_cast<cTreeFoldersContentItem*>(node->lastChild);
  if (!ahead || !ahead->ahead) return;
  ahead->ahead = false;
  if (std::strcmp(ahead->row->text, ahead->path.ptr) == 0) return;
  relabel(ahead->row, ahead->path.ptr);
  view_.update();
}

void cFolderChooseTree::layLevel(cTreeFoldersContentItem* node, bool read) {
  size_t next = 0;
  if (read) addLevelRows(node, next, node->order.size());
  endLevel(node, read);
}

void cFolderChooseTree::listLevel(cTreeFoldersContentItem* node) { layLevel(node, readLevel(node, nullptr)); }

bool cFolderChooseTree::lsUnder(cTreeFoldersContentItem* node) {
  if (!node) return false;
  clearLevel(node);
  listLevel(node);
  view_.select(node->row, true);
  return node->listed;
}

cFolderChooseTree::cTreeFoldersContentItem* cFolderChooseTree::find(const char* path) {
  cTreeFoldersContentItem* found = nullptr;
  for (cTreeItem* i = path ? nodes_.first : nullptr; i; i = cTree::nextInOrder(i)) {
    auto* n = static_cast<cTreeFoldersContentItem*>(i);
    if (n->path.ptr && std::strcmp(n->path.ptr, path) == 0) found = n;
  }
  return found;
}

bool cFolderChooseTree::below(const cTreeItem* node, const cTreeItem* level) {
  for (const cTreeItem* p = node ? node->parent : nullptr; p; p = p->parent)
    if (p == level) return true;
  return false;
}

bool cFolderChooseTree::startWalk(const char* path, sWalk& walk) {
  if (!path || cFolderContents::objtype(path) != fotFolder || !root()) return false;
  walk.path = path;
  walk.rest = 0;
  walk.built.clear();
  walk.node = root();
  walk.extra = nullptr;
  return true;
}

cFolderChooseTree::cTreeFoldersContentItem* cFolderChooseTree::nextLevel(sWalk& walk) {
  const bool exact = cFolderContents::pathCaseSensetive(walk.path.c_str());
  _guardchar<char> tag;
  while (walk.rest != std::string::npos) {
    const char* rest = folderChooseNextTag(walk.path.c_str() + walk.rest, tag);
    walk.rest = rest ? static_cast<size_t>(rest - walk.path.c_str()) : std::string::npos;
    if (!tag.ptr || !*tag.ptr) continue;
    std::string& built = walk.built;
    if (!built.empty() && built.back() != '/') built += '/';
    built += tag.ptr;
    cTreeFoldersContentItem* found = nullptr;
    for (cTreeItem* c = walk.node->child; c && !found; c = c->next) {
      auto* n = static_cast<cTreeFoldersContentItem*>(c);
      if (n->path.ptr &&
          (exact ? std::strcmp(n->path.ptr, built.c_str()) : strcasecmp(n->path.ptr, built.c_str())) == 0)
        found = n;
    }
    // A level not read yet gets the row its listing is expected to show;
    // a hidden folder it would not show hangs from the extra node, which
    // stays below the rows the level's listing brings.
    if (!found && !walk.node->listed && tag.ptr[0] != '.') {
      found = addNode(walk.node, cTreeFoldersContentItem::kFolder, built.c_str(), tag.ptr);
      found->ahead = true;
    }
    if (!found) {
      if (!walk.extra) {
        walk.extra = addNode(walk.node, cTreeFoldersContentItem::kFolder, nullptr, nullptr);
        walk.extra->ahead = !walk.node->listed;
      }
      walk.extra->path.set(built.c_str());
      relabel(walk.extra->row, built.c_str());
      found = walk.extra;
    }
    walk.node = found;
    return found;
  }
  return nullptr;
}

void cFolderChooseTree::layWalk(sWalk& walk) {
  view_.startChanges();
  walk.levels.assign(1, walk.node);
  walk.next = 0;
  while (cTreeFoldersContentItem* level = nextLevel(walk)) {
    // The extra node named anew is listed as its new folder.
    auto at = std::find(walk.levels.begin(), walk.levels.end(), level);
    if (at == walk.levels.end()) {
      walk.levels.push_back(level);
      continue;
    }
    walk.levels.erase(at + 1, walk.levels.end());
    clearLevel(level);
  }
  std::reverse(walk.levels.begin(), walk.levels.end());
  view_.endChanges();
}

cFolderChooseTree::cTreeFoldersContentItem* cFolderChooseTree::navigate(const char* path) {
  sWalk walk;
  if (!startWalk(path, walk)) return nullptr;
  cTreeFoldersContentItem* top = nextLevel(walk);
  if (!top) return nullptr;
  clearLevel(top);
  layWalk(walk);
  for (cTreeFoldersContentItem* level : walk.levels) listLevel(level);
  view_.select(walk.node->row, true);
  return walk.node;
}
