// The modal folder chooser: a tree of folders under "Computer", a path field
// that shows the chosen folder and takes a typed one, New folder, Select and
// Cancel. A folder the user opens is read on a job thread, and its rows come
// in batches through the action queue, so that Escape and the close box are
// heard while a large folder fills; they end the fill and the read at once.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "base/guardchar.h"
#include "base/job.h"
#include "ciom/customform.h"
#include "ciom/edit.h"
#include "ciom/folderchoose_tree.h"
#include "ciom/pictureslist.h"
#include "ciom/toolbar.h"
#include "ciom/treeview.h"

class cFolderChooseDialog : public cCustomForm {
 public:
  using cTreeFoldersContentItem = cFolderChooseTree::cTreeFoldersContentItem;

  static cPicturesList myImagesToolsMain;
  static cPicturesList myImagesToolsCtl;
  static cPicturesList myImagesList;

  // `folder` is where the dialog starts (a folder, or a file in it); true
  // when the user selected a folder, which `folder` then holds. The string
  // is emptied when the dialog opens, so after a cancel it holds the last
  // folder the user opened, not the start.
  static bool choose(cChildElement* parent, const char* caption, _guardchar<char>& folder);

  const char* wantLangResource() override { return "ciom::folderchoose"; }
  void onConstruct() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool onFormAccept() override;
  bool onFormCancel() override;
  bool processKey(int key, bool shift, bool mod2, bool mod3) override;
  bool processChar(unsigned short ch, bool f1, bool f2, bool f3) override;
  void processMouseBtn(int x, int y, int button, bool down, bool mod1, bool mod2) override;

  // Both start a walk whose levels are listed while the window goes on
  // answering, the deepest selected at the end. A walk under way leaves its
  // further levels unlisted, but a level whose rows are read comes whole
  // first: what was read is never dropped. A read not yet done just ends.
  void navigate(const char* path);
  void lsUnder(cTreeFoldersContentItem* node);
  bool walking() const { return myLevel != nullptr; }
  void mkdir();
  void initBasicView();

  cTreeViewChild& tree() { return myTree; }
  cEditChild& field() { return myField; }
  cToolBarChild& mainTools() { return myMainTools; }
  cToolBarChild& controls() { return myControls; }
  cFolderChooseTree& nodes() { return myNodes; }

 private:
  // What happens when the user selects a row: the row's folder becomes the
  // current one, shown in the field and handed back on Select.
  void makeCurrent(cTreeViewChild::cTreeViewItem* row, bool showInField = true);
  void onContextRequest(cTreeViewChild::cTreeItemCtxAction* a);

  // Reads one level off the main thread and posts its end to the dialog.
  class cLevelReader : public cJob {
   public:
    explicit cLevelReader(cFolderChooseDialog& dialog) : cJob(nullptr), myDialog(dialog) {}
    ~cLevelReader() override { terminate(); }
    int job() override { return cFolderChooseTree::readLevel(level, stopFlag()) ? 0 : 1; }
    void onJobEnd(unsigned long code) override;
    cTreeFoldersContentItem* level = nullptr;
    int run = 0;

   private:
    cFolderChooseDialog& myDialog;
  };
  // A walk asked for, and what it found when it was asked for: the text of
  // the field, which its end leaves alone once the user has changed it, and
  // the focus, which it takes only from where the user left it.
  struct sListing {
    cFolderChooseTree::sWalk walk;
    cTreeFoldersContentItem* first = nullptr;  // listed before the path's levels
    bool selects = true;                        // its end selects its deepest row
    bool takesFocus = true;
    bool ends = false;  // Select was given for its path: the dialog ends there
    bool newFolder = false;  // New folder was given for its path
    std::string field;
    const cChildElement* focus = nullptr;
  };
  // A step of the walk numbered `run`: the level's read ended, or its next
  // batch of rows is due. A step of an ended walk is dropped.
  class cWalkAction : public cChildAction {
   public:
    enum { kRead = 1, kRows = 2, kReplay = 3 };
    cWalkAction(int code, int run, bool read = false) : cChildAction(code), run(run), read(read) {}
    int run;
    bool read;
  };
  sListing listing(cFolderChooseTree::sWalk walk, cTreeFoldersContentItem* first, bool selects);
  // Starts the walk at once, or after the level whose rows are coming.
  void request(sListing l);
  void begin(sListing l);
  void startLevel(cTreeFoldersContentItem* level);
  void onWalkStep(cWalkAction* a);
  bool addRowsForASlice();
  void endLevel(bool listed);
  void finishWalk();
  void startQueued();
  // The user chose for himself: the walk under way lists no further level
  // and selects nothing at its end.
  void userTookOver();
  // Stops the read and drops the steps to come; rows already shown stay,
  // their level not taken for listed.
  void endWalk();
  // Whether the focus is in the tree: on a row or on the view itself.
  bool treeFocused();
  // While a walk is to select its row, the tree shows none; keys for the
  // tree wait for that row, as when folders were read at once, and what
  // comes after them waits too, so that all come in order. Escape never
  // waits.
  struct sHeld {
    enum eKind { kKey, kChar, kPress } kind;
    int code, x, y;
    bool down, f1, f2, f3;
  };
  bool holds();
  // One held input a turn of the queue, the next only once the tree has
  // heard and passed on the row the last one moved to, as between keys the
  // user gives.
  void replayHeld();
  void replayNext();
  void noteSelectionComing();

  cToolBarChild myMainTools;
  cTreeViewChild myTree;
  cFolderChooseTree myNodes{myTree};
  cToolBarChild myControls;
  cEditChild myField;
  _guardchar<char>* myFolder = nullptr;
  cTreeViewChild::cTreeViewItem* myCurrent = nullptr;
  sListing myWalk;
  std::deque<sListing> myQueued;  // asked for while a level's rows came
  cTreeFoldersContentItem* myLevel = nullptr;  // read or filled now
  bool myLevelFills = false;                   // its read is done, its rows coming
  size_t myLevelNext = 0;
  int myRun = 0;
  std::deque<sHeld> myHeld;
  bool myReplayDue = false;
  // After the tree: its read ends before the nodes it writes go.
  cLevelReader myReader{*this};
};
