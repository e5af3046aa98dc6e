// The folder chooser's tree: a "Computer" root over the special locations,
// each folder read only when it is opened, and a typed path opened level by
// level. Every read happens on the main thread, so the rows always match the
// listings they came from.
#pragma once

#include "base/folder.h"
#include "base/guardchar.h"
#include "base/list.h"
#include "ciom/treeview.h"

class cFolderChooseTree {
 public:
  // One folder node; its row's association is the node.
  class cTreeFoldersContentItem : public cTreeItem {
   public:
    enum { kFileSystem = 0, kFolder = 1, kComputer = 2 };
    cFolderContents contents;
    cTreeViewChild::cTreeViewItem* row = nullptr;  // owned by the view
    int kind = kFolder;
    _guardchar<char> path;
    bool listed = false;
  };

  explicit cFolderChooseTree(cTreeViewChild& view) : view_(view) {}
  cFolderChooseTree(const cFolderChooseTree&) = delete;
  cFolderChooseTree& operator=(const cFolderChooseTree&) = delete;
  ~cFolderChooseTree();

  void initBasicView(const char* computerLabel);
  // Replaces the node's children with its folder's visible subfolders and
  // selects its row; false when the folder could not be read.
  bool lsUnder(cTreeFoldersContentItem* node);
  // Opens each level of a folder path and selects the deepest; levels under
  // no known node hang from one extra node named by the longest path reached.
  // Null when the path is not a folder; nothing changes then.
  cTreeFoldersContentItem* navigate(const char* path);
  cTreeFoldersContentItem* root() { return static_cast<cTreeFoldersContentItem*>(nodes_.first); }
  static cTreeFoldersContentItem* nodeOf(cTreeViewChild::cTreeViewItem* row) {
    return row ? static_cast<cTreeFoldersContentItem*>(row->association) : nullptr;
  }

 private:
  cTreeFoldersContentItem* addNode(cTreeFoldersContentItem* parent, int kind, const char* path, const char* label);
  void addEntries(cTreeFoldersContentItem* node, bool skipHidden, bool pathFromName);
  void clear();

  cTreeViewChild& view_;
  cTree nodes_;
};
