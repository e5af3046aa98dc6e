// The folder chooser's tree: a "Computer" root over the special locations,
// each folder read only when it is opened, and a typed path opened level by
// level. A level is listed in steps so that its read can run off the main
// thread and its rows come in batches: the rows always match the listing
// they came from, as only the level's own node is read meanwhile.
#pragma once

#include <atomic>
#include <string>
#include <vector>

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
    // Laid before its folder's own level was read: the level's entry for
    // it takes its place, so the row stays where the user may be.
    bool ahead = false;
    std::vector<int> order;  // the listing's entries in the order shown
  };

  // A typed path opened level by level. Each level's row is laid at once,
  // ahead of the listing of the level above, so the deepest is selected at
  // once and listed first, then the levels above it.
  struct sWalk {
    std::string path;
    size_t rest = std::string::npos;  // where the tags left start
    std::string built;
    cTreeFoldersContentItem* node = nullptr;
    cTreeFoldersContentItem* extra = nullptr;
    std::vector<cTreeFoldersContentItem*> levels;  // to be listed in turn, the deepest first
    size_t next = 0;                               // the next of them to list
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

  // The steps of lsUnder: the old rows go, the folder is read (on any
  // thread, touching the node's listing alone; `stop` ends it early with
  // false), the rows come `batch` at a time from `next` (true once all are
  // in) around a row laid ahead, and the level is marked. Selecting a row
  // is left to the caller: the view forgets its selection whenever rows go.
  void clearLevel(cTreeFoldersContentItem* node);
  static bool readLevel(cTreeFoldersContentItem* node, const std::atomic<bool>* stop);
  // Called at each step of a read's sort that may be stopped, on the thread
  // that sorts, before the stop is looked at: a test holds a sort there.
  static inline void (*sortStep)(const std::atomic<bool>& stop) = nullptr;
  bool addLevelRows(cTreeFoldersContentItem* node, size_t& next, size_t batch);
  void endLevel(cTreeFoldersContentItem* node, bool listed);
  // The last two at once, after a read that answered `read`.
  void layLevel(cTreeFoldersContentItem* node, bool read);
  // Those steps at once: the node's rows are all laid, or it is not listed.
  void listLevel(cTreeFoldersContentItem* node);
  // The steps of navigate: false when the path is not a folder; then the
  // first level (found under Computer, nothing cleared), which the caller
  // clears; then the rows of the levels below it, laid at once into
  // `walk.levels`, `walk.node` the deepest and listed first.
  bool startWalk(const char* path, sWalk& walk);
  cTreeFoldersContentItem* nextLevel(sWalk& walk);
  void layWalk(sWalk& walk);
  cTreeFoldersContentItem* root() { return static_cast<cTreeFoldersContentItem*>(nodes_.first); }
  // The node of the folder at `path` (the last in the tree's order where
  // several are), null when none shows it.
  cTreeFoldersContentItem* find(const char* path);
  // Whether `node` hangs somewhere below `level`.
  static bool below(const cTreeItem* node, const cTreeItem* level);
  static cTreeFoldersContentItem* nodeOf(cTreeViewChild::cTreeViewItem* row) {
    return row ? static_cast<cTreeFoldersContentItem*>(row->association) : nullptr;
  }

 private:
  cTreeFoldersContentItem* addNode(cTreeFoldersContentItem* parent, int kind, const char* path, const char* label,
                                   bool beforeLast = false);
  void addEntry(cTreeFoldersContentItem* node, int i, bool skipHidden, bool pathFromName);
  void clear();

  cTreeViewChild& view_;
  cTree nodes_;
};
