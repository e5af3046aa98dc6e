// The folder chooser's tree in a real window opening a folder of 150,000
// subfolders: the time from asking for the folder to the tree painted,
// which is the soonest the window can answer Escape, as the folder is read
// on the main thread; against `ls -l` of the same folder in this run.
// Needs an X display (xvfb-run works).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ciom/ciomlangs.h"
#include "ciom/customform.h"
#include "ciom/folderchoose_tree.h"
#include "ciom/treeview.h"
#include "ciplatform/nswmaker.h"
#include "ls_peer.h"

namespace {

constexpr int kFolders = 150000, kRuns = 3;
using tClock = std::chrono::steady_clock;

double msSince(tClock::time_point a) { return std::chrono::duration<double, std::milli>(tClock::now() - a).count(); }

bool makeFolders(const std::string& dir, int count) {
  std::filesystem::create_directories(dir);
  for (int i = 0; i < count; ++i) {
    const unsigned int h = static_cast<unsigned int>(i) * 2654435761u;
    if (::mkdir((dir + "/d" + std::to_string(h % 1000003) + "_" + std::to_string(i)).c_str(), 0755) != 0)
      return false;
  }
  return true;
}

// Opens the big folder and the small one in turn, each started by a posted
// action and timed to the tree's next paint.
struct sResults {
  double openMs = 1e300;
  int rows = 0;
};

// The window owns the host and deletes it when its run ends; the figures
// go to `out`.
class cHost : public cCustomForm {
 public:
  std::string big, small;
  sResults* out = nullptr;

  void onConstruct() override {
    cCustomForm::onConstruct();
    clientArea()->attach(&myTree, 0, 0, 1, 1);
    clientArea()->anchor(&myTree, 0, 0, -1, -1);
  }
  bool onAfterConstruct() override {
    myNodes.initBasicView("Computer");
    postAction(new cChildAction(kStep));
    return true;
  }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (sender != this || !a || a->code != kStep) return cCustomForm::onAction(sender, a);
    if (myAsks == 2 * kRuns) {
      end_modal(1);
      return true;
    }
    const bool wantBig = myAsks++ % 2 == 0;
    const auto start = tClock::now();
    cFolderChooseTree::cTreeFoldersContentItem* node = myNodes.navigate(wantBig ? big.c_str() : small.c_str());
    myTree.repaint(nullptr);
    myPending = true;
    myStart = start;
    myBig = wantBig;
    if (wantBig && node) {
      int n = 0;
      for (cTreeItem* c = node->child; c; c = c->next) ++n;
      out->rows = n;
    }
    return true;
  }
  void onPaint(cCanvas* c) override {
    cCustomForm::onPaint(c);
    afterPaint();
  }
  // The tree paints inside the form's paint, or alone: either ends the wait.
  void afterPaint() {
    if (!myPending) return;
    myPending = false;
    if (myBig) out->openMs = std::min(out->openMs, msSince(myStart));
    postAction(new cChildAction(kStep));
  }

 private:
  enum { kStep = 1000 };
  class cTree : public cTreeViewChild {
   public:
    explicit cTree(cHost& host) : myHost(host) {}
    void onPaint(cCanvas* c) override {
      cTreeViewChild::onPaint(c);
      myHost.afterPaint();
    }

   private:
    cHost& myHost;
  };
  cTree myTree{*this};
  cFolderChooseTree myNodes{myTree};
  int myAsks = 0;
  bool myPending = false, myBig = false;
  tClock::time_point myStart;
};

}  // namespace

int main() {
  char pattern[] = "/tmp/folderchooser_bench.XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string root = pattern;
  const std::string big = root + "/big", small = root + "/small";
  if (!makeFolders(big, kFolders) || !makeFolders(small, 20)) {
    std::fprintf(stderr, "cannot fill %s\n", root.c_str());
    std::filesystem::remove_all(root);
    return 1;
  }
  double ls = 1e300;
  for (int i = 0; i < kRuns; ++i) ls = std::min(ls, bench::lsMs(big));

  cCIOMLang* texts = new cCIOMLang;
  cLibLang::ref(texts);
  cLibLang::applyLang(eLangENG);
  cNSWMaker maker;
  sResults results;
  bool shown = maker.create(nullptr, nullptr, 0);
  if (shown) {
    maker.langStore = &cLibLang::gCiomLang;
    auto* host = new cHost;
    host->big = big;
    host->small = small;
    host->out = &results;
    shown = maker.modal("folder chooser bench", 600, 500, host, nullptr, false) == 1;
  }
  std::filesystem::remove_all(root);
  if (!shown || ls <= 0 || results.openMs > 1e299 || results.rows != kFolders) {
    std::fprintf(stderr, shown ? "a step did not finish (%d rows)\n" : "no X display\n", results.rows);
    return 1;
  }
  std::printf("ls -l of %d folders: %.1f ms\n", kFolders, ls);
  std::printf("folder chooser: asked for the folder to the tree painted (Escape answered no sooner): %.1f ms\n",
              results.openMs);
  std::printf("ratio chooser/ls-l time: %.3f\n", results.openMs / ls);
  return 0;
}
