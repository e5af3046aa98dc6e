// The folder chooser's tree over a real folder tree: a typed path opens and
// lists each level, sorted, and selects the deepest, hidden folders stay out, a path
// outside every special location hangs from one extra node, and a path that
// is not a folder changes nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "ciom/folderchoose_tree.h"
#include "support/testplatform.h"

namespace {

using cTreeFoldersContentItem = cFolderChooseTree::cTreeFoldersContentItem;

struct sFixture : ScratchDir {
  cTestRequestTarget window;
  cChildElement top;
  cTreeViewChild view;
  sFixture() {
    for (const char* d : {"/a", "/a/b", "/a/b/c", "/a/b/c/d", "/a/.hid", "/a/b2"}) mkdir((root + d).c_str(), 0755);
    window.bind(&top, 1000, 1000);
    top.attach(&view, 0, 0, 300, 300);
  }
  ~sFixture() { top.dettach(&view); }
  static std::vector<std::string> childLabels(cTreeFoldersContentItem* n) {
    std::vector<std::string> out;
    for (cTreeItem* c = n->child; c; c = c->next) out.push_back(static_cast<cTreeFoldersContentItem*>(c)->row->text);
    return out;
  }
};

TEST(FolderChooseTree, NavigateListsEachLevelAndSelectsTheLast) {
  sFixture f;
  cFolderChooseTree tree(f.view);
  tree.initBasicView("Computer");
  ASSERT_TRUE(tree.root());
  EXPECT_STREQ(tree.root()->row->text, "Computer");
  EXPECT_TRUE(tree.root()->child);  // at least "/"

  std::string target = f.root + "/a/b/c/d";
  cTreeFoldersContentItem* last = tree.navigate(target.c_str());
  ASSERT_TRUE(last);
  EXPECT_EQ(std::string(last->path.ptr), target);
  EXPECT_EQ(cFolderChooseTree::nodeOf(f.view.selected()), last);
  // Every level up to the tree is listed; hidden folders are left out.
  cTreeFoldersContentItem* a = nullptr;
  for (auto* n = last; n != tree.root(); n = static_cast<cTreeFoldersContentItem*>(n->parent)) {
    EXPECT_TRUE(n->listed) << n->path.ptr;
    if (std::string(n->path.ptr) == f.root + "/a") a = n;
  }
  ASSERT_TRUE(a);
  EXPECT_EQ(sFixture::childLabels(a), (std::vector<std::string>{"b", "b2"}));

  // Not a folder: nothing changes.
  for (std::string bad : {f.root + "/missing", f.root + "/a/.hid/x", std::string()})
    EXPECT_FALSE(tree.navigate(bad.c_str())) << bad;
  EXPECT_EQ(cFolderChooseTree::nodeOf(f.view.selected()), last);

  // Folders are listed as the file chooser sorts them, not in the order the
  // directory happens to give.
  // Names of about eight bytes sharing their start, and bytes past ASCII,
  // are ordered by their bytes as a whole.
  std::vector<std::string> names = {"zeta", "Alpha", "mid", "10", "beta", "Zulu", "b",
                                    "d0000000", "d000000", "d00000000", "d0000000a", "d0000001",
                                    "d0000000\x7f", "d0000000\xc3\xa9", "d000000\xc2\x80",
                                    "\xe2\x82\xac", "\xc3\xa9t\xc3\xa9"};
  mkdir((f.root + "/s").c_str(), 0755);
  for (const auto& n : names) mkdir((f.root + "/s/" + n).c_str(), 0755);
  cTreeFoldersContentItem* s = tree.navigate((f.root + "/s").c_str());
  ASSERT_TRUE(s);
  std::sort(names.begin(), names.end(), [](const std::string& x, const std::string& y) {
    return std::strcmp(x.c_str(), y.c_str()) < 0;
  });
  EXPECT_EQ(sFixture::childLabels(s), names);
}

// A walk lays the row of each level before the level above is read, and
// the listings then come around those rows one at a time: the same nodes
// end where a walk over listed levels puts them, under the names it gives,
// and laid out as a whole layout lays them.
TEST(FolderChooseTree, RowsLaidAheadAreTakenOverByTheirListings) {
  sFixture f;
  for (const char* d : {"/a/.hid/x", "/a/.hid/.y", "/a/.hid/.y/z", "/a/0first", "/a/zz"})
    mkdir((f.root + d).c_str(), 0755);
  const std::vector<std::string> visible = {"0first", "b", "b2", "zz"};
  const struct {
    const char* path;
    std::string extra;  // the last row under a, when the path passes a hidden folder
    const char* deepest;
  } cases[] = {
      {"/a/b/c", "", "c"},
      {"/a/zz", "", "zz"},
      {"/a/.hid/x", f.root + "/a/.hid", "x"},
      {"/a/.hid/.y/z", f.root + "/a/.hid/.y", "z"},
      {"/a/.hid", f.root + "/a/.hid", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    cFolderChooseTree tree(f.view);
    tree.initBasicView("Computer");
    cFolderChooseTree::sWalk walk;
    ASSERT_TRUE(tree.startWalk((f.root + c.path).c_str(), walk));
    cTreeFoldersContentItem* top = tree.nextLevel(walk);
    ASSERT_TRUE(top);
    tree.clearLevel(top);
    tree.layWalk(walk);
    cTreeFoldersContentItem* deepest = walk.node;
    ASSERT_TRUE(f.view.select(deepest->row, false));
    for (cTreeFoldersContentItem* level : walk.levels) {
      const bool read = cFolderChooseTree::readLevel(level, nullptr);
      for (size_t next = 0; read && !tree.addLevelRows(level, next, 1);) {
      }
      tree.endLevel(level, read);
    }
    EXPECT_EQ(f.view.selected(), deepest->row);
    EXPECT_EQ(std::string(deepest->path.ptr), f.root + c.path);
    EXPECT_EQ(std::string(deepest->row->text), c.deepest ? c.deepest : c.extra);
    cTreeFoldersContentItem* a = tree.find((f.root + "/a").c_str());
    ASSERT_TRUE(a);
    std::vector<std::string> underA = visible;
    if (!c.extra.empty()) underA.push_back(c.extra);
    EXPECT_EQ(sFixture::childLabels(a), underA);
    std::vector<std::string> rows;
    for (cTreeItem* r = a->row->child; r; r = r->next)
      rows.push_back(static_cast<cTreeViewChild::cTreeViewItem*>(r)->text);
    EXPECT_EQ(rows, underA);
    const auto tops = [&] {
      std::vector<int> out;
      for (cTreeItem* n = tree.root(); n; n = cTree::nextInOrder(n)) {
        sRect r{};
        f.view.rowElement(static_cast<cTreeFoldersContentItem*>(n)->row)->childRect(&r);
        out.push_back(r.y);
      }
      return out;
    };
    const std::vector<int> laidInTurn = tops();
    f.view.update();
    EXPECT_EQ(laidInTurn, tops());
  }
}

TEST(FolderChooseTree, RelativePathHangsFromOneExtraNode) {
  sFixture f;
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  ASSERT_EQ(chdir(f.root.c_str()), 0);
  cFolderChooseTree tree(f.view);
  tree.initBasicView("Computer");
  int before = static_cast<int>(sFixture::childLabels(tree.root()).size());
  cTreeFoldersContentItem* last = tree.navigate("a//b/c");
  EXPECT_EQ(chdir(cwd), 0);
  ASSERT_TRUE(last);
  std::vector<std::string> top = sFixture::childLabels(tree.root());
  ASSERT_EQ(static_cast<int>(top.size()), before + 1);
  EXPECT_EQ(top.back(), "a");
  EXPECT_STREQ(last->path.ptr, "a/b/c");
  EXPECT_EQ(cFolderChooseTree::nodeOf(f.view.selected()), last);
}

}  // namespace
