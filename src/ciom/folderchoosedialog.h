// The modal folder chooser: a tree of folders under "Computer", a path field
// that shows the chosen folder and takes a typed one, New folder, Select and
// Cancel. A folder the user opens is read on a job thread, and its rows come
// in batches through the action queue, so that Escape, Cancel and the close
// box are heard while a large folder fills; they end the fill and the read
// at once.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <string>

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
  // `folder` as for choose, when given; it outlives the dialog.
  explicit cFolderChooseDialog(_guardchar<char>* folder = nullptr) : myFolder(folder) {}

  const char* wantLangResource() override { return "ciom::folderchoose"; }
  void onConstruct() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool onFormAccept() override;
  bool onFormCancel() override;
  // Select ends the dialog once the field shows the folder it selects.
  bool acceptEnds() override;
  bool cancelEnds() override { return true; }
  void onPaint(cCanvas* c) override;

  // Both start a walk, listed while the window goes on answering: the
  // deepest is selected and its first rows laid at once, then the levels
  // above it are listed, then its other rows. A walk asked meanwhile waits.
  // The row selected takes the focus from the tree, or with `takesFocus`
  // from where the user left it.
  void navigate(const char* path, bool takesFocus = false);
  void lsUnder(cTreeFoldersContentItem* node);
  bool walking() const { return myLevel != nullptr; }
  // How long the window lays rows between its events. At least one batch
  // goes in each turn, so a test that makes it nothing knows how many rows
  // each turn brings, whatever the machine's speed.
  static std::chrono::nanoseconds& fillSlice();
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

  // Reads levels off the main thread and posts the end of run `run` to
  // the dialog; `read` tells which levels were read.
  class cLevelReader : public cJob {
   public:
    explicit cLevelReader(cFolderChooseDialog& dialog) : cJob(nullptr), myDialog(dialog) {}
    ~cLevelReader() override { terminate(); }
    int job() override;
    void onJobEnd(unsigned long code) override;
    std::vector<cTreeFoldersContentItem*> levels;
    std::vector<char> read;
    int run = 0;

   private:
    cFolderChooseDialog& myDialog;
  };
  // A walk asked for, and what it found when it was asked for: the text of
  // the field, which its selection leaves alone once the user has changed
  // it, and the focus, which it takes only from where the user left it.
  struct sListing {
    cFolderChooseTree::sWalk walk;
    cTreeFoldersContentItem* first = nullptr;  // listed before the path's levels
    bool selects = true;                        // its deepest row is selected as it starts
    bool takesFocus = false;
    bool ends = false;  // Select was given for its path while it waited
    std::string field;
    const cChildElement* focus = nullptr;
  };
  // A step of the walk numbered `run`: the level's read ended, or is due
  // on this thread, or its next batch of rows is due. A step of an ended
  // walk is dropped.
  class cWalkAction : public cChildAction {
   public:
    enum { kRead = 1, kRows = 2, kReadHere = 3 };
    cWalkAction(int code, int run, bool read = false) : cChildAction(code), run(run), read(read) {}
    int run;
    bool read;
  };
  sListing listing(cFolderChooseTree::sWalk walk, cTreeFoldersContentItem* first, bool selects);
  // Starts the walk at once, or after the level whose rows are coming.
  void request(sListing l);
  // readHere: once the window has painted, the levels are read before it
  // handles any input, and those above the first are laid whole then.
  void begin(sListing l, bool readHere = false);
  // A walk's rows are laid and its deepest selected as it starts, so keys
  // and clicks act on the tree at every step; false when that ended the
  // dialog.
  bool select(const sListing& l, cTreeViewChild::cTreeViewItem* row);
  // Whether the walk under way has `node` to read from its level `from` on (0: or to fill).
  bool onTheWay(const cTreeFoldersContentItem* node, size_t from);
  // What goes with the rows under a level about to be cleared.
  void dropUnder(cTreeFoldersContentItem* level);
  void startLevel(bool readHere = false);
  void onWalkStep(cWalkAction* a);
  // The start walk's levels, read and those above its deepest laid while
  // the window waits repainting; false when the user ended the wait.
  bool listAboveHere();
  void keepingTheView(const std::function<void()>& lay);
  // Batches until one says all are in or the slice is over; true when all are.
  bool forASlice(const std::function<bool()>& batch);
  bool addRowsForASlice();
  void endLevel(bool listed);
  void startQueued();
  // Stops the read and drops the steps to come; rows already shown stay,
  // their level not taken for listed.
  void endWalk();
  // Whether the focus is in the tree: on a row or on the view itself.
  bool treeFocused();

  cToolBarChild myMainTools;
  cTreeViewChild myTree;
  cFolderChooseTree myNodes{myTree};
  cToolBarChild myControls;
  cEditChild myField;
  _guardchar<char>* myFolder = nullptr;
  cTreeViewChild::cTreeViewItem* myCurrent = nullptr;
  sListing myWalk;
  std::deque<sListing> myQueued;  // asked for while a walk went on
  cTreeFoldersContentItem* myLevel = nullptr;  // read or filled now
  size_t myLevelNext = 0;
  size_t myResumeAt = 0;  // the deepest level's rows laid before the levels above it
  int myRun = 0;
  bool myReadOnPaint = false;  // the start level waits for the window's first paint
  // After the tree: its read ends before the nodes it writes go.
  cLevelReader myReader{*this};
};
