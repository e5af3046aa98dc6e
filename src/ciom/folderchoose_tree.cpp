#include "ciom/folderchoose_tree.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
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
  if (entryType == fotFolder || entryType == fotSpecialLocation) return cFolderChooseTree::cTreeFoldersContentItem::kFolder;
  if (entryType == kFileSystemRoot || entryType == kMountedFileSystem) return cFolderChooseTree::cTreeFoldersContentItem::kFileSystem;
  return -1;
}
std::vector<int> listingOrder(cFolderContents& contents) {
  std::vector<int> order(static_cast<size_t>(std::max(contents.count(), 0)));
  std::iota(order.begin(), order.end(), 0);
  return order;
}

// A folder's entries as the file chooser lists them: file systems before
// folders, each by the bytes of the label shown; the special locations keep
// their own order.
std::vector<int> sortedOrder(cFolderContents& contents) {
  std::vector<int> order = listingOrder(contents);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const sFolderItemInfo& x = *contents.info(a);
    const sFolderItemInfo& y = *contents.info(b);
    const int tx = fileChooseRowLook(x.type).typeOrder, ty = fileChooseRowLook(y.type).typeOrder;
    if (tx != ty) return tx < ty;
    const char *lx = placeLabel(x), *ly = placeLabel(y);
    return std::strcmp(lx ? lx : "", ly ? ly : "") < 0;
  });
  return order;
}

}  // namespace

cFolderChooseTree::~cFolderChooseTree() { clear(); }

void cFolderChooseTree::clear() {
  view_.clear();
  nodes_.destroy();
}

cFolderChooseTree::cTreeFoldersContentItem* cFolderChooseTree::addNode(cTreeFoldersContentItem* parent, int kind, const char* path,
                                                    const char* label) {
  auto* node = new cTreeFoldersContentItem;
  node->kind = kind;
  node->path.set(path);
  nodes_.add(parent, node);
  node->row = new cTreeViewChild::cTreeViewItem(label, node, kind);
  node->row->collapsed = false;
  view_.storeUnder(parent ? parent->row : nullptr, node->row);
  return node;
}

void cFolderChooseTree::addEntries(cTreeFoldersContentItem* node, bool skipHidden, bool pathFromName) {
  for (int i : pathFromName ? listingOrder(node->contents) : sortedOrder(node->contents)) {
    sFolderItemInfo* e = node->contents.info(i);
    int kind = nodeKindOf(e->type);
    if (kind < 0 || (skipHidden && e->hidden)) continue;
    _guardchar<char> path;
    if (pathFromName)
      path.set(e->name.ptr);
    else if (!node->contents.path(i, path))
      continue;
    addNode(node, kind, path.ptr, placeLabel(*e));
  }
}

void cFolderChooseTree::initBasicView(const char* computerLabel) {
  clear();
  view_.startChanges();
  cTreeFoldersContentItem* top = addNode(nullptr, cTreeFoldersContentItem::kComputer, nullptr, computerLabel);
  top->listed = true;
  if (top->contents.enumSpecialLocations()) addEntries(top, false, true);
  view_.endChanges();
}

bool cFolderChooseTree::lsUnder(cTreeFoldersContentItem* node) {
  if (!node) return false;
  view_.startChanges();
  view_.remove_under(node->row);
  nodes_.destroy_sub(node);
  node->listed = node->path.ptr && node->contents.init(node->path.ptr, true);
  if (node->listed) addEntries(node, true, false);
  view_.endChanges();
  view_.select(node->row, true);
  return node->listed;
}

cFolderChooseTree::cTreeFoldersContentItem* cFolderChooseTree::navigate(const char* path) {
  if (!path || cFolderContents::objtype(path) != fotFolder || !root()) return nullptr;
  bool exact = cFolderContents::pathCaseSensetive(path);
  cTreeFoldersContentItem* node = root();
  cTreeFoldersContentItem* extra = nullptr;
  std::string built;
  _guardchar<char> tag;
  for (const char* rest = path; rest;) {
    rest = folderChooseNextTag(rest, tag);
    if (!tag.ptr || !*tag.ptr) continue;
    if (!built.empty() && built.back() != '/') built += '/';
    built += tag.ptr;
    cTreeFoldersContentItem* found = nullptr;
    for (cTreeItem* c = node->child; c && !found; c = c->next) {
      auto* n = static_cast<cTreeFoldersContentItem*>(c);
      if (n->path.ptr && (exact ? std::strcmp(n->path.ptr, built.c_str()) : strcasecmp(n->path.ptr, built.c_str())) == 0)
        found = n;
    }
    if (!found) {
      if (!extra) extra = addNode(node, cTreeFoldersContentItem::kFolder, nullptr, nullptr);
      extra->path.set(built.c_str());
      relabel(extra->row, built.c_str());
      found = extra;
    }
    lsUnder(found);
    node = found;
  }
  view_.select(node->row, true);
  return node;
}
