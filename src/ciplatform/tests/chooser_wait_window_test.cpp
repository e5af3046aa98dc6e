// The folder chooser in a real window while it lays the levels above its
// start inside the window's wait, held turn by turn: each turn of the wait
// repaints, and the chooser holds that paint until the user has given the
// turn's input. Input that does not end the dialog waits in the queue and
// meets every level whole.
#include "window_user.h"
// The user header brings gtest and Xlib in the order they need.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "ciom/folderchoosedialog.h"
#include "nslib/nswnd.h"

namespace {

constexpr auto kLong = std::chrono::seconds(120);

// A level of many folders above the start, which has a few of its own.
struct sAboveStart : ScratchDir {
  static constexpr int kMany = 3000, kUnder = 3;
  std::string big = root + "/big", start;
  explicit sAboveStart(int at = 7) {
    char name[16];
    std::snprintf(name, sizeof name, "/d%04d", at);
    start = big + name;
    mkdir(big.c_str(), 0755);
    for (int i = 0; i < kMany; ++i) {
      std::snprintf(name, sizeof name, "/d%04d", i);
      mkdir((big + name).c_str(), 0755);
    }
    for (int i = 0; i < kUnder; ++i) mkdir((start + "/s" + std::to_string(i)).c_str(), 0755);
  }
};

// What the chooser and the user share; it outlives the chooser.
struct sTurns {
  std::atomic<int> held{0}, released{0};
  // Rows laid under the big folder, as the turn held shows them.
  std::atomic<int> bigNow{0};
  std::atomic<bool> walked{false};
  // The tree once the walk was over, written before `walked`.
  int bigRows = -1, startRows = -1;
  bool bigListed = false;
  // Escapes the dialog was given, and how many it had been given when it
  // took one for its cancel.
  int escapes = 0, escapesAtCancel = 0;
  // The middles of Select and Cancel on the screen, once a turn was held.
  std::atomic<int> selectX{-1}, selectY{-1}, cancelX{-1}, cancelY{-1};
  // What the user's input came to, as the dialog was cancelled: the
  // field, the row selected and the big folder's rows.
  std::string outcome;
};

class cTurnChooser : public cFolderChooseDialog {
 public:
  cTurnChooser(_guardchar<char>* start, const sAboveStart& tree, sTurns& turns)
      : cFolderChooseDialog(start), myTree(tree), myTurns(turns) {}
  // A turn is held where it shows rows it had not: turns that only wait
  // for the read are let go.
  void onPaint(cCanvas* c) override {
    cFolderChooseDialog::onPaint(c);
    // Only the walk of the start: rows clicked later start walks of their own.
    // The walk may end with no action after it: a paint notes it too.
    noteWalkOver();
    if (!walking() || myTurns.walked) return;
    int rows = 0;
    for (cTreeItem* n = nodes().root(); n; n = cTree::nextInOrder(n)) ++rows;
    if (rows == myRows) return;
    myRows = rows;
    cTreeFoldersContentItem* big = nodes().find(myTree.big.c_str());
    myTurns.bigNow = big ? count(big) : 0;
    middleOf(1, myTurns.selectX, myTurns.selectY);
    middleOf(2, myTurns.cancelX, myTurns.cancelY);
    const int turn = ++myTurns.held;
    cUser::waitFor([&] { return myTurns.released >= turn; }, kLong);
  }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    const bool handled = cFolderChooseDialog::onAction(sender, a);
    noteWalkOver();
    return handled;
  }
  bool processKey(int key, bool shift, bool mod2, bool mod3) override {
    if (key == kcEscape) ++myTurns.escapes;
    return cFolderChooseDialog::processKey(key, shift, mod2, mod3);
  }
  bool onFormCancel() override {
    myTurns.escapesAtCancel = myTurns.escapes;
    const char* shown = field().text();
    cTreeFoldersContentItem* row = cFolderChooseTree::nodeOf(tree().selected());
    cTreeFoldersContentItem* big = nodes().find(myTree.big.c_str());
    myTurns.outcome = inTree(shown) + " | " + inTree(row ? row->path.ptr : nullptr) + " | " +
                      std::to_string(big ? count(big) : -1);
    return cFolderChooseDialog::onFormCancel();
  }

 private:
  void noteWalkOver() {
    if (walking() || myTurns.walked) return;
    cTreeFoldersContentItem* big = nodes().find(myTree.big.c_str());
    cTreeFoldersContentItem* start = nodes().find(myTree.start.c_str());
    myTurns.bigRows = big ? count(big) : -1;
    myTurns.bigListed = big && big->listed;
    myTurns.startRows = start ? count(start) : -1;
    myTurns.walked = true;
  }
  void middleOf(int button, std::atomic<int>& x, std::atomic<int>& y) {
    sPoint at;
    cButtonChild* b = controls().findButton(button);
    if (!b || !controls().buttonAbsPos(button, at)) return;
    x = at.x + b->width() / 2;
    y = at.y + b->height() / 2;
  }
  // A path as the same one in another scratch tree shows it.
  std::string inTree(const char* path) const {
    const std::string p = path ? path : "-";
    return p.rfind(myTree.root, 0) == 0 ? "~" + p.substr(myTree.root.size()) : p;
  }
  static int count(cTreeItem* n) {
    int rows = 0;
    for (cTreeItem* c = n->child; c; c = c->next) ++rows;
    return rows;
  }
  const sAboveStart& myTree;
  sTurns& myTurns;
  int myRows = -1;
};

// Gives `act` its turn at each held paint until the walk is over. The
// window paints the rows of each slice by itself while it waits: nothing
// is asked of it.
void playTurns(sTurns& turns, const std::function<void(int)>& act) {
  for (int turn = 1;; ++turn) {
    if (!cUser::waitFor([&] { return turns.held >= turn || turns.walked; }, kLong)) {
      ADD_FAILURE() << "turn " << turn << " never came";
      return;
    }
    if (turns.held < turn) return;
    act(turn);
    turns.released = turn;
  }
}

// A turn in the middle of the big folder's rows, with batches still to come.
bool midLay(const sTurns& turns) { return turns.bigNow > 1 && turns.bigNow < sAboveStart::kMany - 400; }

// Opens the chooser on the tree's start, the user playing `user` on it;
// the chooser's answer.
int playChooser(const std::string& caption, const sAboveStart& tree, sTurns& turns,
                const std::function<void(cUser&, Window)>& user, _guardchar<char>* chosen = nullptr) {
  sToolkitMaker m;
  std::chrono::nanoseconds& slice = cFolderChooseDialog::fillSlice();
  const std::chrono::nanoseconds kept = slice;
  // One batch of rows a turn, however fast the machine.
  slice = std::chrono::nanoseconds(0);
  int answer = -1;
  std::thread player([&] {
    cUser u;
    user(u, u.find(caption));
  });
  hostRun(m, "zvk-host", [&](cChildElement* host) {
    _guardchar<char> start(tree.start.c_str());
    answer = host->modal(caption.c_str(), 350, 450, new cTurnChooser(&start, tree, turns), true);
    if (chosen) chosen->set(start.ptr);
    return true;
  });
  player.join();
  slice = kept;
  return answer;
}

// Escape alone, once the walk is over, and the chooser is gone.
bool closesOnEscape(cUser& u, Window w, const std::string& caption) {
  u.key(w, XK_Escape);
  return cUser::waitFor([&] { return !u.shown(caption); }, std::chrono::seconds(30));
}

}  // namespace

// Escape with Shift, Control or Alt is no cancel: given at a turn of the
// wait, it waits behind the levels, which are all laid, and the start's
// folders too. Escape alone ends the dialog at once.
TEST(ChooserWait, OnlyEscapeAloneEndsTheLayOfTheLevelsAboveTheStart) {
  nstest::requireDisplay();
  const struct {
    const char* name;
    unsigned int state;
    bool ends;
  } keys[] = {{"shift", ShiftMask, false},
              {"control", ControlMask, false},
              {"alt", Mod1Mask, false},
              {"alone", 0, true}};
  for (const auto& k : keys) {
    SCOPED_TRACE(k.name);
    sAboveStart tree;
    sTurns turns;
    const std::string caption = std::string("zvk-chooser-wait-") + k.name;
    bool closed = false, given = false;
    const int answer = playChooser(caption, tree, turns, [&](cUser& u, Window w) {
      playTurns(turns, [&](int) {
        if (given || !midLay(turns)) return;
        u.key(w, XK_Escape, k.state);
        given = true;
      });
      cUser::waitFor([&] { return turns.walked.load(); }, kLong);
      closed = k.ends ? cUser::waitFor([&] { return !u.shown(caption); }, std::chrono::seconds(30))
                      : closesOnEscape(u, w, caption);
    });
    EXPECT_TRUE(given);
    EXPECT_TRUE(closed);
    EXPECT_EQ(answer, 0);
    // The modified Escape was handled, and only the one after it cancelled.
    EXPECT_EQ(turns.escapesAtCancel, k.ends ? 1 : 2);
    if (k.ends) {
      EXPECT_LT(turns.bigRows, sAboveStart::kMany) << "the dialog waited for every row";
      continue;
    }
    EXPECT_EQ(turns.bigRows, sAboveStart::kMany);
    EXPECT_TRUE(turns.bigListed);
    EXPECT_EQ(turns.startRows, sAboveStart::kUnder);
  }
}

// Every way the dialog has to end, given in the middle of the lay, ends it
// at once, the rows still to come never laid: Cancel, Escape and the close
// box with nothing, Select with the start, the folder the field shows.
TEST(ChooserWait, EachWayToEndTheDialogEndsTheLayAtOnce) {
  nstest::requireDisplay();
  const struct {
    const char* name;
    int answer;
  } ways[] = {{"cancel", 0}, {"select", 1}, {"escape", 0}, {"close", 0}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    sAboveStart tree;
    sTurns turns;
    const std::string caption = std::string("zvk-chooser-ends-") + way.name;
    const std::string name = way.name;
    bool given = false, closed = false;
    _guardchar<char> chosen;
    const int answer = playChooser(
        caption, tree, turns,
        [&](cUser& u, Window w) {
          playTurns(turns, [&](int) {
            if (given || !midLay(turns)) return;
            if (name == "cancel") u.peer.click(turns.cancelX, turns.cancelY);
            if (name == "select") u.peer.click(turns.selectX, turns.selectY);
            if (name == "escape") u.key(w, XK_Escape);
            if (name == "close") u.closeBox(w);
            given = true;
          });
          closed = cUser::waitFor([&] { return !u.shown(caption); }, std::chrono::seconds(30));
        },
        &chosen);
    EXPECT_TRUE(given);
    EXPECT_TRUE(closed);
    EXPECT_EQ(answer, way.answer);
    EXPECT_LT(turns.bigRows, sAboveStart::kMany) << "the dialog waited for every row";
    // The start was opened: Select hands it back, and after a cancel it is the last folder opened.
    EXPECT_STREQ(chosen.ptr, tree.start.c_str());
  }
}

// Clicks on the rows and keys given at every turn of the wait, a modified
// Escape among them, are handled in order once the walk is over, as the
// same input given to a chooser that has laid every row; a row a listing
// clears before its selection is handled is never reached (the sanitizer
// build tells). The start sits deep in the big folder and no key leaves it
// for a parent or an end, so the input stays among the tree's own rows: the
// folders around the tree are other programs' and change between the runs.
TEST(ChooserWait, InputAtEveryTurnMeetsOnlyLiveRows) {
  nstest::requireDisplay();
  const KeySym keys[] = {XK_Up, XK_Down, XK_Right, XK_Prior, XK_Next};
  // A key, or a click (no key) on a row below the window's corner.
  struct sInput {
    KeySym key;
    unsigned int state;
    int y;
  };
  for (unsigned int state : {ShiftMask, ControlMask, Mod1Mask}) {
    SCOPED_TRACE(state);
    std::vector<sInput> given;
    std::string waited;
    for (const bool settled : {false, true}) {
      SCOPED_TRACE(settled ? "settled" : "waiting");
      sAboveStart tree(sAboveStart::kMany / 2);
      sTurns turns;
      const std::string caption = "zvk-chooser-wait-input-" + std::to_string(state) + (settled ? "-settled" : "");
      bool closed = false;
      const int answer = playChooser(caption, tree, turns, [&](cUser& u, Window w) {
        int x = 0, y = 0;
        pointAtMiddle(u.peer, w, x, y);
        const auto give = [&](const sInput& in) {
          if (in.key)
            u.key(w, in.key, in.state);
          else
            u.peer.click(x + 60, y + in.y);
        };
        bool escaped = false;
        playTurns(turns, [&](int turn) {
          if (settled) return;
          const size_t from = given.size();
          if (!escaped && midLay(turns)) given.push_back({XK_Escape, state, 0});
          escaped = escaped || midLay(turns);
          // Rows of the tree, from its top down, one a turn.
          given.push_back({0, 0, 60 + 18 * (turn % 10)});
          given.push_back({keys[turn % std::size(keys)], turn % 3 == 0 ? ShiftMask : 0u, 0});
          for (size_t i = from; i < given.size(); ++i) give(given[i]);
        });
        cUser::waitFor([&] { return turns.walked.load(); }, kLong);
        if (settled)
          for (const sInput& in : given) give(in);
        closed = closesOnEscape(u, w, caption);
      });
      EXPECT_TRUE(std::any_of(given.begin(), given.end(), [](const sInput& in) { return in.key == XK_Escape; }));
      EXPECT_TRUE(closed);
      EXPECT_EQ(answer, 0);
      EXPECT_EQ(turns.bigRows, sAboveStart::kMany);
      EXPECT_EQ(turns.outcome.rfind("~/big/", 0), 0u) << turns.outcome;
      if (settled)
        EXPECT_EQ(turns.outcome, waited);
      else
        waited = turns.outcome;
    }
  }
}
