// The folder chooser through scripted modal runs over a real folder tree:
// where it starts, Select needing a shown folder, and New folder with each
// thing a name can already be.
#include "ciom/folderchoosedialog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "ciom/newfolderform.h"
#include "ciom/popupmaster.h"
#include "ciom/toolbar.h"
#include "support/formfixture.h"

namespace {

using cNode = cFolderChooseDialog::cTreeFoldersContentItem;
const int kEnter = cChildElement::kcEnter, kEscape = cChildElement::kcEscape;

class FolderChooseDialog : public cFormFixture {
 protected:
  // Computer lists Home: the user's own, or one another test changes,
  // would make what a click on it shows differ from run to run.
  void SetUp() override {
    cFormFixture::SetUp();
    for (const char* d : {"/a", "/a/b", "/a/b/c", "/a/b/c/d", "/a/.hid", "/home", "/home/out", "/tmpdir"})
      mkdir(tmp.file(d).c_str(), 0755);
    for (auto& [name, saved] : savedEnv) {
      const char* v = getenv(name);
      saved = v ? std::optional<std::string>(v) : std::nullopt;
      setenv(name, tmp.file(std::string(name) == "HOME" ? "home" : "tmpdir").c_str(), 1);
    }
    close(open(tmp.file("a/f.txt").c_str(), O_CREAT | O_WRONLY, 0644));
    mkfifo(tmp.file("a/pipe").c_str(), 0644);
  }
  // Queues the dialog's own script, then answers each nested run in turn.
  void play(std::function<void(cFolderChooseDialog&, cFormTestTarget&)> script) {
    cFormTestTarget::scripts.push_back(
        [script](cFormTestTarget& w) { script(*static_cast<cFolderChooseDialog*>(w.form), w); });
  }
  // Folders are read off the main thread: the queue runs until the walk
  // under way has listed its last level.
  static void finishWalk(cFolderChooseDialog& d, cFormTestTarget& w) {
    for (int i = 0; i < 50000 && d.walking(); ++i)
      if (!w.drain()) w.waitForNote(2);
  }
  static bool inView(cFolderChooseDialog& d, cNode* n) {
    sRect r{};
    return d.tree().childRect(d.tree().rowElement(n->row), &r) && r.y >= d.tree().shiftY() &&
           r.y + r.height <= d.tree().shiftY() + d.tree().height() - 20;
  }
  void TearDown() override {
    for (const auto& [name, saved] : savedEnv)
      saved ? setenv(name, saved->c_str(), 1) : unsetenv(name);
    cFormFixture::TearDown();
  }
  static std::vector<std::string> labelsUnder(cNode* n) {
    std::vector<std::string> out;
    for (cTreeItem* c = n ? n->child : nullptr; c; c = c->next)
      out.push_back(static_cast<cNode*>(c)->row->text);
    return out;
  }
  ScratchDir tmp;
  std::pair<const char*, std::optional<std::string>> savedEnv[2] = {{"HOME", {}}, {"TMPDIR", {}}};
};

TEST_F(FolderChooseDialog, StartFolderAndSelect) {
  const struct {
    const char* start;  // under the scratch tree; null: nothing
    const char* shown;  // what the field shows at first
    bool newFolder;
    const char* typed;  // typed then Select once
    int ends;           // after a second Select, or Escape when 0
    const char* chosen;
  } cases[] = {
      {"/a/f.txt", "/a", true, nullptr, 1, "/a"}, {"/a/b/c/d", "/a/b/c/d", true, nullptr, 1, "/a/b/c/d"},
      {"/missing", "", false, nullptr, 0, ""},    {"/missing", "", false, "/a/b", 1, "/a/b"},
      {"/a", "/a", true, "/a/nothere", 0, "/a"},  // changes nothing, Select neither
      {"/a", "/a", true, "/a/b/", 1, "/a/b"},
  };
  for (const auto& c : cases) {
    const std::string start = c.start ? tmp.root + c.start : "";
    const std::string shown = *c.shown ? tmp.root + c.shown : "";
    std::string fieldAtStart;
    bool newFolderOn = false, stayedOpen = false, fieldFocusedAtStart = false, treeFocusedAfter = false;
    play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
      finishWalk(d, w);
      fieldAtStart = d.field().text() ? d.field().text() : "";
      newFolderOn = d.mainTools().isEnabled(1);
      fieldFocusedAtStart = d.getFocused() == &d.field();
      if (c.typed) {
        d.field().setText((tmp.root + c.typed).c_str(), -1);
        w.key(kEnter);
        finishWalk(d, w);
        stayedOpen = !w.ended();
        // A typed folder opened with nothing typed meanwhile: its row takes
        // the focus.
        while (w.drain()) {
        }
        for (cChildElement* e = d.getFocused(); e; e = e->parent()) treeFocusedAfter |= e == &d.tree();
      }
      w.key(c.ends ? kEnter : kEscape);
    });
    _guardchar<char> folder(start.c_str());
    EXPECT_EQ(cFolderChooseDialog::choose(&parent, "Choose", folder), c.ends == 1) << start;
    EXPECT_EQ(fieldAtStart, shown) << start;
    EXPECT_EQ(newFolderOn, c.newFolder) << start;
    EXPECT_EQ(std::string(folder.ptr ? folder.ptr : ""), *c.chosen ? tmp.root + c.chosen : "") << start;
    EXPECT_TRUE(!c.typed || stayedOpen) << start;
    EXPECT_TRUE(fieldFocusedAtStart) << start;
    EXPECT_EQ(treeFocusedAfter, c.typed && c.ends == 1) << start;
    EXPECT_EQ(cFormTestTarget::runs.back().caption, "Choose");
    EXPECT_EQ(cFormTestTarget::runs.back().w, 350);
  }
  _guardchar<char> folder("/");
  EXPECT_FALSE(cFolderChooseDialog::choose(nullptr, "x", folder));
}

// Rows are measured only once placed: a start far right of the rows in view
// still widens the view, which scrolls sideways to show its text.
TEST_F(FolderChooseDialog, ADeepStartOpensWithItsRowInView) {
  std::string start = tmp.root;
  for (int i = 0; i < 100; ++i) mkdir((start += "/l" + std::to_string(100 + i)).c_str(), 0755);
  bool selected = false, vertically = false;
  sRect r{}, c{};
  int shift = 0;
  play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
    finishWalk(d, w);
    while (w.drain()) {
    }
    cNode* n = d.nodes().find(start.c_str());
    selected = n && d.tree().selected() == n->row;
    vertically = n && d.tree().childRect(n->row->element, &r) && d.tree().clientRect(&c) &&
                 r.y < d.tree().shiftY() + c.height && r.y + r.height > d.tree().shiftY();
    shift = d.tree().shiftX();
    w.key(kEscape);
  });
  _guardchar<char> folder(start.c_str());
  cFolderChooseDialog::choose(&parent, "Choose", folder);
  EXPECT_TRUE(selected && vertically);
  EXPECT_LT(r.x - shift, c.x + c.width) << r.x << " shifted by " << shift;
  EXPECT_GT(r.x - shift + r.width, c.x) << r.x << " shifted by " << shift;
}

TEST_F(FolderChooseDialog, NewFolderCreatesOrExplains) {
  const struct {
    std::string name;
    const char* box;  // caption of the box shown, null: none
    const char* text;
  } cases[] = {
      {"made", nullptr, nullptr},
      {"f.txt", "Error", "File already exists."},
      {"b", "Warning", "Folder already exists."},
      {".hid", "Warning", "Folder already exists."},
      {"pipe", "Error", "Special object already exists."},
      {std::string(300, 'n'), "Error", "Unable to create directory."},
  };
  for (const auto& c : cases) {
    std::vector<std::string> listed;
    std::vector<std::string> boxLines;
    play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
      cFormTestTarget::scripts.push_back([&](cFormTestTarget& nameForm) {
        static_cast<cNewFolderNameReqForm*>(nameForm.form)->field().setText(c.name.c_str(), -1);
        nameForm.key(kEnter);
      });
      if (c.box)
        cFormTestTarget::scripts.push_back([&](cFormTestTarget& box) {
          cChildElement* area = static_cast<cCustomForm*>(box.form)->clientArea();
          for (cChildElement* e = area->getFirstChild(); e; e = area->getNextChild(e))
            if (e->text()) boxLines.push_back(e->text());
          box.key(kEnter);
        });
      finishWalk(d, w);
      d.mkdir();
      finishWalk(d, w);
      listed = labelsUnder(cFolderChooseTree::nodeOf(d.tree().selected()));
      w.key(kEscape);
    });
    _guardchar<char> folder(tmp.file("a").c_str());
    cFolderChooseDialog::choose(&parent, "Choose", folder);
    EXPECT_EQ(cFormTestTarget::runs.back().caption, c.box ? c.box : "Enter new folder name") << c.name;
    EXPECT_EQ(std::find(boxLines.begin(), boxLines.end(), c.text ? c.text : "") != boxLines.end(),
              c.box != nullptr)
        << c.name;
    const bool shows = std::find(listed.begin(), listed.end(), c.name) != listed.end();
    EXPECT_EQ(shows, c.name == "made" || c.name == "b") << c.name;
  }
}

}  // namespace

TEST_F(FolderChooseDialog, ContextMenuMakesAFolderUnderTheRow) {
  std::string item;
  std::vector<std::string> listed;
  sPoint tree;
  size_t menuRun = 0;
  play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
    finishWalk(d, w);
    d.tree().absPos(tree);
    menuRun = cFormTestTarget::runs.size();
    cFormTestTarget::scripts.push_back([&](cFormTestTarget& menu) {
      auto* first =
          static_cast<cPopupMaster::cBtnListItem*>(static_cast<cPopupMaster*>(menu.form)->buttons().head);
      item = first ? first->button.text() : "";
      menu.click(5, 5);
    });
    cFormTestTarget::scripts.push_back([&](cFormTestTarget& form) {
      static_cast<cNewFolderNameReqForm*>(form.form)->field().setText("viactx", -1);
      form.key(kEnter);
    });
    cTreeViewChild::cTreeItemCtxAction at(d.tree().selected(), 41, 17);
    d.onAction(&d.tree(), &at);
    finishWalk(d, w);
    listed = labelsUnder(cFolderChooseTree::nodeOf(d.tree().selected()));
    w.key(kEscape);
  });
  _guardchar<char> folder(tmp.file("a/b").c_str());
  cFolderChooseDialog::choose(&parent, "Choose", folder);
  EXPECT_EQ(item, "New folder");
  // At the point asked for, inside the tree.
  ASSERT_GT(cFormTestTarget::runs.size(), menuRun);
  EXPECT_EQ(cFormTestTarget::runs[menuRun].x, tree.x + 41);
  EXPECT_EQ(cFormTestTarget::runs[menuRun].y, tree.y + 17);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"c", "viactx"}));
}

// New folder from the menu of a row other than the selected one, the name
// form then closed without a folder made: the row highlighted, the field
// and Select name that row's folder. The menu and the form each take the
// window's focus, as on a screen; the focus comes back to that row.
TEST_F(FolderChooseDialog, ContextMenuOnAnotherRowMakesItCurrentWhateverTheNameFormDoes) {
  const struct {
    const char* name;  // typed in the name form; null: Escape there
    const char* box;   // caption of the box that follows, if any
  } cases[] = {{nullptr, nullptr}, {"b", "Warning"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name ? c.name : "Escape");
    std::string highlighted, shown;
    bool focusOnIt = false, oldDrawnSelected = true;
    play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
      finishWalk(d, w);
      cTreeViewChild::cTreeViewItem* old = d.nodes().find(tmp.file("a/b").c_str())->row;
      d.tree().select(old, true);
      w.drain();
      cFormTestTarget::scripts.push_back([&d](cFormTestTarget& menu) {
        d.processOSFocusLost();
        menu.click(5, 5);
      });
      cFormTestTarget::scripts.push_back([&](cFormTestTarget& form) {
        // What the menu's row asked for is done before the form takes the focus.
        w.drain();
        d.processOSFocusLost();
        if (c.name) static_cast<cNewFolderNameReqForm*>(form.form)->field().setText(c.name, -1);
        form.key(c.name ? kEnter : kEscape);
      });
      if (c.box) cFormTestTarget::scripts.push_back([](cFormTestTarget& box) { box.key(kEnter); });
      cTreeViewChild::cTreeItemCtxAction at(d.nodes().find(tmp.file("a").c_str())->row, 5, 5);
      d.onAction(&d.tree(), &at);
      finishWalk(d, w);
      cNode* selected = cFolderChooseTree::nodeOf(d.tree().selected());
      highlighted = selected && selected->path.ptr ? selected->path.ptr : "";
      shown = d.field().text() ? d.field().text() : "";
      d.processOSFocus();
      focusOnIt = selected && d.getFocused() == d.tree().rowElement(selected->row);
      oldDrawnSelected = d.tree().rowElement(old)->selected();
      d.onFormAccept();
    });
    _guardchar<char> folder(tmp.file("a/b").c_str());
    EXPECT_TRUE(cFolderChooseDialog::choose(&parent, "Choose", folder));
    EXPECT_EQ(highlighted, tmp.file("a"));
    EXPECT_EQ(shown, tmp.file("a"));
    EXPECT_TRUE(focusOnIt);
    EXPECT_FALSE(oldDrawnSelected);
    EXPECT_EQ(std::string(folder.ptr ? folder.ptr : ""), tmp.file("a"));
  }
}

namespace {

// A folder of many subfolders, opened at the start or typed; the test acts
// once its first rows are in and before its last are, one turn of the
// queue at a time, as a user whose key or click waits in the queue. Each
// turn lays one batch of rows, so the moment holds on a machine of any speed.
// A selection queued for a row and handled after a walk cleared the row's
// level finds no row, and changes nothing: the field shows the folder
// opened. (The sanitizer build tells a freed row reached.)
TEST_F(FolderChooseDialog, ASelectionOfARowClearedBeforeItIsHandledIsDropped) {
  std::string shown;
  play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
    finishWalk(d, w);
    cNode* c = d.nodes().find(tmp.file("a/b/c").c_str());
    ASSERT_TRUE(c && c->row);
    d.tree().notifyAction(new cTreeViewChild::cTreeItemAction(cTreeViewChild::tvSelection, c->row));
    // The walk lays its path anew, the old rows gone, before the queue runs.
    d.navigate(tmp.file("a/b").c_str());
    w.settle();
    finishWalk(d, w);
    shown = d.field().text() ? d.field().text() : "";
    w.key(kEscape);
  });
  _guardchar<char> folder(tmp.file("a/b/c/d").c_str());
  cFolderChooseDialog::choose(&parent, "Choose", folder);
  EXPECT_EQ(shown, tmp.file("a/b"));
}

// A sort held at its first step until the chooser asks it to stop; the
// steps it takes after that.
struct sHeldSort {
  static inline std::atomic<bool> held{false};
  static inline std::atomic<int> stepsAfterStop{0};
  static void step(const std::atomic<bool>& stop) {
    if (held.exchange(true)) {
      stepsAfterStop += stop.load();
      return;
    }
    held.notify_all();
    while (!stop.load()) std::this_thread::yield();
  }
};

// A chooser ended while a folder it opens is being sorted takes no step of
// the sort after that: its close does not wait for the sort to end.
TEST_F(FolderChooseDialog, EndingTheChooserMidSortStopsTheSort) {
  const std::string many = tmp.file("many");
  mkdir(many.c_str(), 0755);
  for (int i = 0; i < 40; ++i) mkdir((many + "/d" + std::to_string(i)).c_str(), 0755);
  sHeldSort::held = false;
  sHeldSort::stepsAfterStop = 0;
  bool ended = false;
  play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
    finishWalk(d, w);
    cFolderChooseTree::sortStep = sHeldSort::step;
    d.navigate(many.c_str());
    sHeldSort::held.wait(false);
    w.key(kEscape);
    ended = w.ended();
  });
  _guardchar<char> folder(tmp.root.c_str());
  cFolderChooseDialog::choose(&parent, "Choose", folder);
  cFolderChooseTree::sortStep = nullptr;
  EXPECT_TRUE(ended);
  EXPECT_EQ(sHeldSort::stepsAfterStop, 0);
}

class FolderChooseDialogFill : public FolderChooseDialog {
 protected:
  static constexpr int kMany = 6000;
  void SetUp() override {
    FolderChooseDialog::SetUp();
    big = tmp.file("big");
    mkdir(big.c_str(), 0755);
    for (int i = 0; i < kMany; ++i) mkdir((big + "/d" + std::to_string(10000 + i)).c_str(), 0755);
    cFolderChooseDialog::fillSlice() = std::chrono::nanoseconds(0);
  }
  void TearDown() override {
    cFolderChooseDialog::fillSlice() = slice;
    FolderChooseDialog::TearDown();
  }
  static int rowsUnder(cFolderChooseDialog& d, const std::string& path) {
    cNode* n = d.nodes().find(path.c_str());
    return n ? static_cast<int>(labelsUnder(n).size()) : -1;
  }
  // Turns the queue until the folder's first rows are in; true when some,
  // not all, are.
  static bool untilFirstRows(cFolderChooseDialog& d, cFormTestTarget& w, const std::string& path) {
    for (int i = 0; i < 50000 && rowsUnder(d, path) <= 0 && d.walking(); ++i)
      if (!w.drain()) w.waitForNote(2);
    return rowsUnder(d, path) > 0 && rowsUnder(d, path) < kMany;
  }
  std::string big;
  const std::chrono::nanoseconds slice = cFolderChooseDialog::fillSlice();
};

TEST_F(FolderChooseDialogFill, EveryKeyAndClickIsActedOn) {
  enum eAct { kClickFirst, kSelect, kTypeThenWait, kNewFolder, kContextMenu };
  const struct {
    const char* name;
    bool typedPath;  // the big folder typed and Return, from a small start
    eAct act;        // once its first rows are in
    int ends;        // the dialog's result, -1 while it stays
    const char* current;  // what the field shows at the end, under big
  } cases[] = {
      {"click on a row", false, kClickFirst, -1, "/d10000"},
      {"Select on the start", false, kSelect, 1, ""},
      {"Select again on a typed path", true, kSelect, 1, ""},
      {"typing in the field", false, kTypeThenWait, -1, "/typed"},
      {"New folder", false, kNewFolder, -1, ""},
      {"New folder from the menu", false, kContextMenu, -1, ""},
  };
  cFormTestTarget::turnsAsOpened = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    rmdir((big + "/made").c_str());
    bool midFill = false, listedWhole = false, askedName = false;
    int rows = -1, ended = -1;
    std::string field;
    play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
      if (c.typedPath) {
        finishWalk(d, w);
        d.field().setText(big.c_str(), -1);
        d.processKey(kEnter, false, false, false);
      }
      // The window has run its queue's first turn, no more: the start's
      // first rows are in, its others still coming.
      midFill = c.typedPath ? untilFirstRows(d, w, big) : d.walking();
      cNode* node = d.nodes().find(big.c_str());
      if (c.act == kNewFolder || c.act == kContextMenu) {
        if (c.act == kContextMenu)
          cFormTestTarget::scripts.push_back([](cFormTestTarget& menu) { menu.click(5, 5); });
        cFormTestTarget::scripts.push_back([&](cFormTestTarget& form) {
          askedName = true;
          static_cast<cNewFolderNameReqForm*>(form.form)->field().setText("made", -1);
          form.key(kEnter);
        });
      }
      switch (c.act) {
        case kClickFirst: {
          auto* first = static_cast<cNode*>(node->child);
          if (first) d.tree().rowElement(first->row)->select(true);
          break;
        }
        case kSelect: d.processKey(kEnter, false, false, false); break;
        case kTypeThenWait:
          d.field().setText((big + "/typed").c_str(), -1);
          break;
        case kNewFolder: {
          cToolBarChild::cTbButtonAction press(1);
          d.onAction(&d.mainTools(), &press);
          break;
        }
        case kContextMenu: {
          cTreeViewChild::cTreeItemCtxAction at(node->row, 5, 5);
          d.onAction(&d.tree(), &at);
          break;
        }
      }
      finishWalk(d, w);
      while (w.drain()) {
      }
      if (w.ended()) {
        ended = w.result;
        return;
      }
      node = d.nodes().find(big.c_str());
      listedWhole = node && node->listed;
      rows = rowsUnder(d, big);
      field = d.field().text() ? d.field().text() : "";
      w.key(kEscape);
    });
    _guardchar<char> folder((c.typedPath ? tmp.file("a") : big).c_str());
    cFolderChooseDialog::choose(&parent, "Choose", folder);
    EXPECT_TRUE(midFill) << "the walk was over before the test could act";
    EXPECT_EQ(ended, c.ends);
    if (c.ends == 1) {
      EXPECT_EQ(std::string(folder.ptr ? folder.ptr : ""), big);
      continue;
    }
    // Rows read are never dropped.
    EXPECT_TRUE(listedWhole);
    const bool made = c.act == kNewFolder || c.act == kContextMenu;
    EXPECT_EQ(rows, kMany + (made ? 1 : 0));
    EXPECT_EQ(askedName, made);
    EXPECT_EQ(field, big + c.current);
  }
}

}  // namespace

namespace {

// The user selects the big folder and, while its rows come, presses a key
// in the tree: it moves from that folder's row as it does once the folder
// is listed, and the folder is still listed whole.
TEST_F(FolderChooseDialogFill, KeysInTheTreeMoveFromTheRowBeingFilled) {
  const std::string top = tmp.root.substr(tmp.root.find_last_of('/') + 1);
  const struct {
    int key;  // 0: the character
    char ch;
    const char* to;  // the row selected
  } cases[] = {
      {cChildElement::kcDown, 0, "d10000"}, {cChildElement::kcRight, 0, "d10000"},
      {cChildElement::kcUp, 0, "a"},        {cChildElement::kcLeft, 0, top.c_str()},
      {cChildElement::kcHome, 0, "big"},    {cChildElement::kcEnd, 0, "big"},
      {cChildElement::kcPageDown, 0, "big"}, {0, 'd', "big"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key ? std::to_string(c.key) : std::string(1, c.ch));
    bool midFill = false, listedWhole = false;
    int rows = -1;
    std::string after;
    play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
      finishWalk(d, w);
      cNode* node = d.nodes().find(big.c_str());
      ASSERT_NE(node, nullptr);
      d.tree().rowElement(node->row)->select(true);
      for (int i = 0; i < 10 && !d.walking(); ++i) w.drain();
      midFill = untilFirstRows(d, w, big);
      if (c.key)
        d.processKey(c.key, false, false, false);
      else
        d.processChar(static_cast<unsigned short>(c.ch), false, false, false);
      finishWalk(d, w);
      while (w.drain()) {
      }
      node = d.nodes().find(big.c_str());
      listedWhole = node && node->listed;
      rows = rowsUnder(d, big);
      after = d.tree().selected() ? d.tree().selected()->text : "-";
      w.key(kEscape);
    });
    _guardchar<char> folder(tmp.root.c_str());
    cFolderChooseDialog::choose(&parent, "Choose", folder);
    EXPECT_TRUE(midFill) << "the folder came whole before the key";
    EXPECT_EQ(after, c.to);
    EXPECT_TRUE(listedWhole);
    EXPECT_EQ(rows, kMany);
  }
}

}  // namespace

namespace {

// Keys, clicks and wheel turns given while the chooser opens at the big
// folder or at a small one inside it act on the tree as it stands: at each
// step of the walk at which input can come, they leave what they leave when
// given once it is listed, the oracle. The window runs its queue between one
// input and the next, and first as it opens: no input comes before the
// queue's first turn.
TEST_F(FolderChooseDialogFill, InputDuringTheFirstWalkActsAsAfterIt) {
  // kAtOnce: the first turn of the queue is over, in which the levels on the
  // way are read; kNextTurn: the big start's rows still come.
  enum eWhen { kListed, kAtOnce, kNextTurn, kWhens };
  // kInner: a small folder in the big one; kDeep: an empty one two levels
  // below it, whose next row is the big folder's after the branch.
  enum eStart { kBig, kInner, kDeep };
  enum eAct { kKey, kChar, kRightOfRows, kOnExpander, kOnIndent, kOnRowA, kWheel, kNewFolderNamed };
  struct sStep {
    eAct act;
    int code = 0;  // the key, the character, or the wheel's turns (down when positive)
    bool shift = false;
  };
  const sStep backTab{kKey, cChildElement::kcTab, true}, down{kKey, cChildElement::kcDown},
      up{kKey, cChildElement::kcUp}, right{kKey, cChildElement::kcRight}, left{kKey, cChildElement::kcLeft},
      enter{kKey, kEnter};
  const struct {
    const char* name;
    std::vector<sStep> steps;
    eStart start = kBig;
  } cases[] = {
      {"Down", {down}},
      {"Shift+Tab then Down", {backTab, down}},
      {"Shift+Tab then Down then Return", {backTab, down, enter}},
      {"Shift+Tab then Up", {backTab, up}},
      {"Shift+Tab then Left", {backTab, left}},
      {"Shift+Tab then Right", {backTab, right}},
      {"Shift+Tab then Right Right", {backTab, right, right}},
      {"click right of the rows", {{kRightOfRows}}},
      {"click on the indent then Down", {{kOnIndent}, down}},
      {"click on the start's expander then Right", {{kOnExpander}, right}},
      {"click right of the rows then Down Down", {{kRightOfRows}, down, down}},
      {"Shift+Tab then d", {backTab, {kChar, 'd'}}},
      {"Shift+Tab then Return", {backTab, {kKey, kEnter}}},
      {"Shift+Tab then Escape", {backTab, {kKey, kEscape}}},
      {"Shift+Tab, Down, then a click on a", {backTab, down, {kOnRowA}}},
      {"New folder, its name typed and Return", {{kNewFolderNamed}}},
      {"wheel turns among keys", {backTab, {kWheel, 2}, down, {kWheel, -1}, down, {kWheel, 1}}},
      {"inner: Shift+Tab then Down then Return", {backTab, down, enter}, kInner},
      {"inner: Shift+Tab then Right", {backTab, right}, kInner},
      {"inner: click on the start's expander then Right", {{kOnExpander}, right}, kInner},
      {"inner: Shift+Tab then Up Up", {backTab, up, up}, kInner},
      {"inner: Shift+Tab then Left Down", {backTab, left, down}, kInner},
      {"deep: Shift+Tab then Down", {backTab, down}, kDeep},
      {"deep: Shift+Tab then Down then Return", {backTab, down, enter}, kDeep},
      {"deep: Shift+Tab then Up Up Up", {backTab, up, up, up}, kDeep},
      {"deep: Shift+Tab then Left Left Down", {backTab, left, left, down}, kDeep},
      {"deep: click on a", {{kOnRowA}}, kDeep},
  };
  struct sOutcome {
    std::string selected, focused, field;
    int rows = -1, ended = -1;
    int place = -1;  // the focused row's top in the view, once the wheel turned
    bool operator==(const sOutcome&) const = default;
  };
  const std::string inner = big + "/probe", deep = big + "/a0/x";
  for (const char* sub : {"", "/abc", "/abd", "/abe"}) mkdir((inner + sub).c_str(), 0755);
  mkdir((big + "/a0").c_str(), 0755);
  const std::string starts[] = {big, inner, deep};
  // Each step must be met by some cases: the big start's own rows are
  // still coming after the first turn.
  int met[kWhens] = {};
  cFormTestTarget::turnsAsOpened = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Elsewhere a0 stays empty: Down onto it from the big start lists it
    // off the main thread, and the Down after would meet its rows or not.
    c.start == kDeep ? mkdir(deep.c_str(), 0755) : rmdir(deep.c_str());
    const int all = kMany + 2 + (c.steps[0].act == kNewFolderNamed ? 1 : 0);
    sOutcome seen[kWhens];
    for (int when = kListed; when < kWhens; ++when) {
      if (when == kNextTurn && c.start != kBig) continue;
      SCOPED_TRACE(when);
      rmdir((big + "/made").c_str());
      bool midFill = false;
      std::string typed;  // what is typed after New folder, until something takes it
      play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
        if (when == kListed) finishWalk(d, w);
        if (when == kNextTurn) w.turns(1);
        midFill = when != kListed && d.walking();
        sPoint at, form;
        d.tree().absPos(at);
        d.absPos(form);
        at.x -= form.x;
        at.y -= form.y;
        for (const sStep& s : c.steps) {
          // Beside the text of the start's row, which stays in view, on its
          // expander or its indent, or on the row of `a` where it is now. Never
          // on the rows of /tmp, which other tests change meanwhile.
          int x = at.x + 3, y = at.y + 30;
          cNode* target = s.act == kOnRowA ? d.nodes().find((tmp.root + "/a").c_str())
                          : s.act == kRightOfRows || s.act == kOnExpander || s.act == kOnIndent
                              ? d.nodes().find(starts[c.start].c_str())
                              : nullptr;
          for (int i = 0; target && i < 20 && !inView(d, target); ++i) {
            d.tree().scrollToChild(d.tree().rowElement(target->row));
            w.drain();
          }
          if (target) {
            sPoint row;
            d.tree().rowElement(target->row)->absPos(row);
            x = s.act == kRightOfRows ? at.x + d.tree().width() - 30
                : s.act == kOnIndent  ? at.x + 3
                                      : row.x - form.x + (s.act == kOnExpander ? -8 : 3);
            y = row.y - form.y + d.tree().rowElement(target->row)->height() / 2;
          }
          // What the name form is not there to take goes to the chooser.
          typed = s.act == kNewFolderNamed ? "made\n" : "";
          if (s.act == kNewFolderNamed) {
            cFormTestTarget::scripts.push_back([&](cFormTestTarget& form) {
              static_cast<cNewFolderNameReqForm*>(form.form)->field().setText(typed.substr(0, 4).c_str(), -1);
              form.key(typed.empty() ? kEscape : kEnter);
              typed.clear();
            });
            cToolBarChild::cTbButtonAction press(1);
            d.onAction(&d.mainTools(), &press);
          }
          for (char ch : typed)
            ch == '\n' ? d.processKey(kEnter, false, false, false) : d.processChar(ch, false, false, false);
          typed.clear();
          if (s.act == kKey) d.processKey(s.code, s.shift, false, false);
          if (s.act == kChar) d.processChar(static_cast<unsigned short>(s.code), false, false, false);
          if (s.act == kWheel) d.processMouseWheel(at.x + 40, at.y + 40, s.code < 0, false, std::abs(s.code));
          for (bool press : {true, false})
            if (s.act == kRightOfRows || s.act == kOnExpander || s.act == kOnIndent || s.act == kOnRowA)
              d.processMouseBtn(x, y, cChildElement::mbLeft, press, false, false);
          // Two turns: a row's selection reaches the tree, then the dialog.
          w.drain();
          w.drain();
        }
        do
          finishWalk(d, w);
        while (w.drain());
        sOutcome& o = seen[when];
        o.field = d.field().text() ? d.field().text() : "";
        if (w.ended()) {
          o.ended = w.result;
          return;
        }
        o.selected = d.tree().selected() ? d.tree().selected()->text : "-";
        cChildElement* f = d.getFocused();
        cTreeViewChild::cTreeViewItem* row = f ? d.tree().isChild(f) : nullptr;
        o.focused = row ? row->text : f == &d.field() ? "field" : f == &d.tree() ? "tree" : "other";
        o.rows = rowsUnder(d, big);
        sRect r{};
        const bool turned = std::any_of(c.steps.begin(), c.steps.end(), [](const sStep& s) { return s.act == kWheel; });
        if (turned && row && d.tree().childRect(d.tree().rowElement(row), &r)) o.place = r.y - d.tree().shiftY();
        w.key(kEscape);
      });
      _guardchar<char> folder(starts[c.start].c_str());
      cFolderChooseDialog::choose(&parent, "Choose", folder);
      met[when] += midFill;
    }
    EXPECT_EQ(seen[kListed].rows, seen[kListed].ended == -1 ? all : -1);
    for (int when = kAtOnce; when < kWhens; ++when) {
      if (when == kNextTurn && c.start != kBig) continue;
      EXPECT_EQ(seen[when], seen[kListed]) << when << ": " << seen[when].selected << " | " << seen[when].focused
                                           << " | " << seen[when].field << " | " << seen[when].rows << " | "
                                           << seen[when].place << ", after the walk: " << seen[kListed].selected
                                           << " | " << seen[kListed].focused << " | " << seen[kListed].field
                                           << " | " << seen[kListed].rows << " | " << seen[kListed].place;
    }
  }
  for (int when = kAtOnce; when < kWhens; ++when) EXPECT_GT(met[when], 0) << "no input met step " << when;
}

}  // namespace

namespace {

// A click on a row focuses it at once, but its selection reaches the
// dialog a turn or two of the queue later: given at any turn of the walk,
// its last ones too, it leaves what it leaves once the walk is over.
TEST_F(FolderChooseDialogFill, ClickAtEveryTurnOfTheWalkActsAsAfterIt) {
  const struct {
    const char* name;
    bool computer;     // on Computer's row, else on the row under it
    bool rightOfText;  // on the view beside the row's text
  } cases[] = {
      {"on the row under Computer", false, false},
      {"on Computer", true, false},
      {"right of the text of the row under Computer", false, true},
  };
  // From the first turn of the queue on.
  cFormTestTarget::turnsAsOpened = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string oracle;
    // First with the walk over (-1), then after each turn of it until one
    // is past its end.
    for (int at = -1, walking = 1; walking; ++at) {
      std::string seen;
      play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
        for (int i = 0, turns = 0; i < 50000 && d.walking() && (at < 0 || turns < at); ++i)
          if (w.drain())
            ++turns;
          else
            w.waitForNote(2);
        cNode* node = d.nodes().root();
        if (!c.computer) node = static_cast<cNode*>(node->child);
        // The row is brought into view first, as the user would scroll to it.
        for (int i = 0; i < 20 && !inView(d, node); ++i) {
          d.tree().scrollToChild(d.tree().rowElement(node->row));
          w.drain();
        }
        walking = at < 0 || d.walking();
        sPoint row, form;
        d.tree().rowElement(node->row)->absPos(row);
        d.absPos(form);
        sPoint tree;
        d.tree().absPos(tree);
        // Beside the text, not as far as the scroll bar.
        const int beside = std::min(d.tree().rowElement(node->row)->width() + 20, tree.x + d.tree().width() - 30 - row.x);
        const int x = row.x - form.x + (c.rightOfText ? beside : 3);
        const int y = row.y - form.y + d.tree().rowElement(node->row)->height() / 2;
        for (bool down : {true, false}) d.processMouseBtn(x, y, cChildElement::mbLeft, down, false, false);
        // The click's selection may come after the walk's last step, and
        // start the listing of its row then.
        do
          finishWalk(d, w);
        while (w.drain());
        cChildElement* f = d.getFocused();
        cTreeViewChild::cTreeViewItem* focused = f ? d.tree().isChild(f) : nullptr;
        seen = std::string(d.tree().selected() ? d.tree().selected()->text : "-") + " | " +
               (focused ? focused->text : "-") + " | " + (d.field().text() ? d.field().text() : "") + " | " +
               std::to_string(labelsUnder(cFolderChooseTree::nodeOf(d.tree().selected())).size());
        w.key(kEscape);
      });
      _guardchar<char> folder(big.c_str());
      cFolderChooseDialog::choose(&parent, "Choose", folder);
      if (at < 0) oracle = seen;
      if (at >= 0 && walking) {
        EXPECT_EQ(seen, oracle) << "after turn " << at;
      }
    }
  }
}

}  // namespace

namespace {

// The levels above the start are laid a slice at a time while the window
// waits, so that it repaints between slices: with each slice one batch,
// the wait's turns meet a level above partly laid, batch after batch.
TEST_F(FolderChooseDialogFill, TheLevelsAboveTheStartAreLaidBetweenTheTurnsOfTheWait) {
  std::vector<int> seen;  // rows under the big folder at each turn of the wait
  cFormTestTarget::waitTurn = [&](cFormTestTarget& w) {
    if (auto* d = dynamic_cast<cFolderChooseDialog*>(w.form)) seen.push_back(rowsUnder(*d, big));
  };
  int atEnd = -1;
  play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
    finishWalk(d, w);
    atEnd = rowsUnder(d, big);
    w.key(kEscape);
  });
  _guardchar<char> folder((big + "/d10003").c_str());
  cFolderChooseDialog::choose(&parent, "Choose", folder);
  EXPECT_EQ(atEnd, kMany);
  const auto partly = std::count_if(seen.begin(), seen.end(), [](int n) { return n > 1 && n < kMany; });
  EXPECT_GE(partly, kMany / 200 - 1) << seen.size() << " turns of the wait";
}

// The window shows at once: its first paint has the start's row selected
// and none of the start level's rows, which are read before the window's
// first input. Keys given at once then act as they do after the walk.
TEST_F(FolderChooseDialogFill, TheWindowPaintsBeforeTheStartLevelIsRead) {
  const struct {
    const char* name;
    std::string start;
    const char *startLabel, *firstRow;  // the start's row, and its level's first
    std::vector<int> keys;              // given at once, after the tree takes the focus
  } cases[] = {
      {"big, Down", big, "big", "d10000", {cChildElement::kcDown}},
      {"big, Down Down", big, "big", "d10000", {cChildElement::kcDown, cChildElement::kcDown}},
      {"big, Escape", big, "big", "d10000", {kEscape}},
      {"small, Down Return", tmp.file("a/b"), "b", "c", {cChildElement::kcDown, kEnter}},
  };
  struct sOutcome {
    std::string selected, field;
    int ended = -1;
    bool operator==(const sOutcome&) const = default;
  };
  cFormTestTarget::turnsAsOpened = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sOutcome seen[2];  // the keys at once, then after the walk
    for (int afterWalk : {0, 1}) {
      play([&](cFolderChooseDialog& d, cFormTestTarget& w) {
        std::vector<std::string> painted;
        for (const sDrawnText& t : w.firstPaint.texts) painted.push_back(t.text);
        if (!afterWalk) {
          EXPECT_NE(std::find(painted.begin(), painted.end(), c.startLabel), painted.end());
          EXPECT_EQ(std::find(painted.begin(), painted.end(), c.firstRow), painted.end());
          EXPECT_STREQ(d.tree().selected() ? d.tree().selected()->text : "-", c.startLabel);
        } else {
          finishWalk(d, w);
        }
        w.key(cChildElement::kcTab, true);
        for (int k : c.keys) w.key(k);
        finishWalk(d, w);
        sOutcome& o = seen[afterWalk];
        o.field = d.field().text() ? d.field().text() : "";
        if (w.ended()) {
          o.ended = w.result;
          return;
        }
        o.selected = d.tree().selected() ? d.tree().selected()->text : "-";
        w.key(kEscape);
      });
      _guardchar<char> folder(c.start.c_str());
      cFolderChooseDialog::choose(&parent, "Choose", folder);
    }
    EXPECT_EQ(seen[0], seen[1]) << seen[0].selected << " | " << seen[0].field << " | " << seen[0].ended;
  }
}

}  // namespace
