// Keys in the folder chooser's tree in a real window, as the chooser meets
// them: a level of 500,000 folders listed under its parent, then Down
// through the first few, which hold subfolders, and their empty subfolders
// (each row it reaches is listed, as the chooser lists the row the user
// selects), Left, - and + on a parent, End, Home, PageDown and a typed
// letter, each timed from the key to the paint after what it set off;
// against the same over a level of 1,000 folders in this run. A key should
// cost the rows in view and the rows it lists or opens, never the level.
// Needs an X display (xvfb-run works).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ciom/ciomlangs.h"
#include "ciom/customform.h"
#include "ciom/folderchoose_tree.h"
#include "ciplatform/nswmaker.h"

namespace {

constexpr int kBig = 500000, kSmall = 1000, kParents = 5, kChildren = 3, kOthers = 5;
using tClock = std::chrono::steady_clock;
using cNode = cFolderChooseTree::cTreeFoldersContentItem;

double msSince(tClock::time_point t) { return std::chrono::duration<double, std::milli>(tClock::now() - t).count(); }

// The level sorts its first kParents folders first, each holding
// kChildren empty folders; the rest are empty.
bool makeFolders(const std::string& dir, int count) {
  std::filesystem::create_directories(dir);
  for (int i = 0; i < kParents; ++i)
    for (int k = 0; k < kChildren; ++k)
      std::filesystem::create_directories(dir + "/a" + std::to_string(i) + "/s" + std::to_string(k));
  for (int i = kParents; i < count; ++i) {
    const unsigned int h = static_cast<unsigned int>(i) * 2654435761u;
    if (::mkdir((dir + "/d" + std::to_string(h % 1000003) + "_" + std::to_string(i)).c_str(), 0755) != 0)
      return false;
  }
  return true;
}

// A kind of key, with its figures in milliseconds.
struct sKey {
  const char* name;
  int key;            // 0 for a character
  unsigned short ch;  // the character
  std::vector<double> ms;
  double median() {
    std::sort(ms.begin(), ms.end());
    return ms.empty() ? 1e300 : ms[ms.size() / 2];
  }
};

enum { kDownParent, kDownEmpty, kLeft, kClose, kOpen, kEnd, kHome, kPageDown, kLetter };

std::vector<sKey> keyKinds() {
  return {{"Down onto a folder of subfolders (they are listed)", cChildElement::kcDown, 0, {}},
          {"Down onto an empty folder", cChildElement::kcDown, 0, {}},
          {"Left to the parent", cChildElement::kcLeft, 0, {}},
          {"- closing a folder of subfolders", 0, '-', {}},
          {"+ opening it", 0, '+', {}},
          {"End", cChildElement::kcEnd, 0, {}},
          {"Home", cChildElement::kcHome, 0, {}},
          {"PageDown", cChildElement::kcPageDown, 0, {}},
          {"a letter", 0, 'x', {}}};
}

// Down through each parent folder and its children, back to the last
// parent, closing and opening it, then each other key.
std::vector<int> pressPlan() {
  std::vector<int> plan;
  for (int i = 0; i < kParents; ++i) {
    plan.push_back(kDownParent);
    plan.insert(plan.end(), kChildren, kDownEmpty);
  }
  plan.push_back(kLeft);
  for (int i = 0; i < kOthers; ++i) plan.insert(plan.end(), {kClose, kOpen});
  for (int kind : {kEnd, kHome, kPageDown, kLetter}) plan.insert(plan.end(), kOthers, kind);
  return plan;
}

class cTimedTree : public cTreeViewChild {
 public:
  bool awaited = false;
  tClock::time_point paintedAt;
  void processPaint(cCanvas* c) override {
    cTreeViewChild::processPaint(c);
    if (awaited) paintedAt = tClock::now();
    awaited = false;
  }
};

// Opens the level as the chooser does, then plays each key once the one
// before has been painted. A Down is done once the row it reached is
// listed; the other keys move no row.
class cHost : public cCustomForm {
 public:
  cHost(std::string level, std::vector<sKey>& keys) : myLevel(std::move(level)), myKeys(keys) {}
  void onConstruct() override {
    cCustomForm::onConstruct();
    attach(&myTree, 10, 10, 330, 400);
  }
  bool onAfterConstruct() override {
    myNodes.initBasicView("Computer");
    const auto start = tClock::now();
    if (!myNodes.navigate(myLevel.c_str())) return false;
    std::printf("  the level listed and laid out: %.1f ms\n", msSince(start));
    postAction(new cChildAction(kStep));
    return true;
  }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    // As the chooser: a row not listed yet is listed once selected. The
    // rows the path's walk selected are all listed and stay.
    if (a && sender == &myTree && a->code == cTreeViewChild::tvSelection) {
      cNode* node = cFolderChooseTree::nodeOf(static_cast<cTreeViewChild::cTreeItemAction*>(a)->item());
      if (node && !node->listed) myNodes.lsUnder(node);
      return true;
    }
    if (sender != this || !a || a->code != kStep) return cCustomForm::onAction(sender, a);
    step();
    return true;
  }
  ~cHost() override { dettach(&myTree); }

 private:
  enum { kStep = 1000, kQuietTurns = 3 };
  void step() {
    if (myTree.awaited) return again();
    if (myPressed && myTurns == 0) {
      myKeys[myPlan[myPress]].ms.push_back(
          std::chrono::duration<double, std::milli>(myTree.paintedAt - myPressedAt).count());
      myPressed = false;
      ++myPress;
    }
    if (myPress == myPlan.size()) return end_modal(1);
    if (!myPressed) return press();
    // Done once the row is listed, and a few turns more for what its
    // selection queued; then shown.
    cNode* node = cFolderChooseTree::nodeOf(myTree.selected());
    if (myTree.selected() != myExpected || !node || !node->listed) return again();
    if (--myTurns > 0) return again();
    myTree.awaited = true;
    myTree.repaint(nullptr);
    again();
  }
  // The row a Down reaches: the first child, else the next row after the
  // selected one's own level and those above it.
  static cTreeItem* below(cTreeItem* s) {
    if (s->child) return s->child;
    for (; s; s = s->parent)
      if (s->next) return s->next;
    return nullptr;
  }
  void press() {
    const sKey& k = myKeys[myPlan[myPress]];
    myExpected = myTree.selected();
    if (k.key == kcDown && myExpected) myExpected = static_cast<cTreeViewChild::cTreeViewItem*>(below(myExpected));
    if (k.key == kcLeft && myExpected) myExpected = cTreeViewChild::parentItem(myExpected);
    myPressed = true;
    myTurns = kQuietTurns;
    myPressedAt = tClock::now();
    if (k.key)
      processKey(k.key, false, false, false);
    else
      processChar(k.ch, false, false, false);
    again();
  }
  void again() { postAction(new cChildAction(kStep)); }

  std::string myLevel;
  std::vector<sKey>& myKeys;
  cTimedTree myTree;
  cFolderChooseTree myNodes{myTree};
  const std::vector<int> myPlan = pressPlan();
  size_t myPress = 0;
  int myTurns = 0;
  bool myPressed = false;
  cTreeViewChild::cTreeViewItem* myExpected = nullptr;
  tClock::time_point myPressedAt;
};

}  // namespace

int main() {
  char pattern[] = "/tmp/treekeys_bench.XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string root = pattern;
  if (!makeFolders(root + "/big", kBig) || !makeFolders(root + "/small", kSmall)) {
    std::fprintf(stderr, "cannot fill %s\n", root.c_str());
    std::filesystem::remove_all(root);
    return 1;
  }
  cCIOMLang* texts = new cCIOMLang;
  cLibLang::ref(texts);
  cLibLang::applyLang(eLangENG);
  cNSWMaker maker;
  std::vector<sKey> big = keyKinds(), small = keyKinds();
  bool shown = maker.create(nullptr, nullptr, 0);
  if (shown) {
    maker.langStore = &cLibLang::gCiomLang;
    std::printf("%d folders:\n", kBig);
    shown = maker.modal("tree keys bench", 350, 420, new cHost(root + "/big", big), nullptr, false) == 1;
    std::printf("%d folders:\n", kSmall);
    shown = shown && maker.modal("tree keys bench", 350, 420, new cHost(root + "/small", small), nullptr, false) == 1;
  }
  std::filesystem::remove_all(root);
  if (!shown) {
    std::fprintf(stderr, "no X display, or a level was not listed\n");
    return 1;
  }
  double bigSum = 0, smallSum = 0;
  for (size_t i = 0; i < big.size(); ++i) {
    const double b = big[i].median(), s = small[i].median();
    std::printf("%s to its paint, median: %d folders %.2f ms, %d folders %.2f ms (%.2f times)\n", big[i].name, kBig,
                b, kSmall, s, b / s);
    bigSum += b;
    smallSum += s;
  }
  std::printf("ratio 500k/1k of the medians of every key, summed: %.3f\n", bigSum / smallSum);
  return 0;
}
