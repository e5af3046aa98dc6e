#include "ciom/folderchoosedialog.h"

#include <chrono>
#include <cstring>

#include "ciom/folderchoose_path.h"
#include "ciom/formtoolbars.h"
#include "ciom/messageform.h"
#include "ciom/newfolder.h"
#include "ciom/newfolderform.h"
#include "ciom/popupmaster.h"
#include "ciom/sharedpictures.h"

namespace {
enum { idNewFolder = 1, idSelect = 1, idCancel = 2 };
enum { txComputer = 0, txNewFolder = 5, txSelect = 6, txCancel = 7 };
constexpr long long kPathFieldLimit = 32768;
constexpr int kContextMenuWidth = 100;
// Rows are added a batch at a time, batches for a slice of time before the
// window's events are taken. The window runs what is queued before each of
// its events, a wake-up or an exposure as much as a key, and a fill always
// has its next slice queued: a key waits a slice for every event ahead of
// it, so slices are short. A paint looks only at the rows in view, so the
// paints between them cost a fill little.
constexpr size_t kRowBatch = 200;
constexpr std::chrono::milliseconds kFillSlice{8};
}  // namespace

cPicturesList cFolderChooseDialog::myImagesToolsMain;
cPicturesList cFolderChooseDialog::myImagesToolsCtl;
cPicturesList cFolderChooseDialog::myImagesList;

bool cFolderChooseDialog::choose(cChildElement* parent, const char* caption, _guardchar<char>& folder) {
  if (!parent) return false;
  auto* dialog = new cFolderChooseDialog;
  dialog->myFolder = &folder;
  return parent->modal(caption ? caption : "", 350, 450, dialog, true) == 1;
}

void cFolderChooseDialog::onConstruct() {
  cCustomForm::onConstruct();
  fillSharedPictures(myImagesToolsMain, {84});
  fillSharedPictures(myImagesToolsCtl, {80, 78, 81});
  fillSharedPictures(myImagesList, {43, 48, 42});
  setMinSize(300, 350);
  attachTopToolbar(*this, myMainTools, &myImagesToolsMain);
  myMainTools.setButton(idNewFolder, string(txNewFolder), 0);

  clientArea()->attach(&myTree, 0, 0, 1, 1);
  clientArea()->anchor(&myTree, 0, 0, -1, -29);
  myTree.setImageLists(&myImagesList, nullptr, nullptr);
  clientArea()->attach(&myField, 0, 0, 1, 18);
  clientArea()->anchor(&myField, 0, -26, -1, 18);
  myField.setMaxLen(kPathFieldLimit);

  initBasicView();

  attachControlButtons(*this, myControls, &myImagesToolsCtl, idSelect, string(txSelect), 0, idCancel,
                       string(txCancel), 1);

  _guardchar<char> start;
  const bool hasStart = myFolder && folderChooseStartFolder(myFolder->ptr, start);
  if (myFolder) myFolder->set(static_cast<const char*>(nullptr));
  // The start is in the field at once, to be edited while it is opened.
  if (hasStart) {
    myField.setText(start.ptr, -1);
    navigate(start.ptr);
    // The field keeps the focus it is given below.
    myWalk.takesFocus = false;
  }
  else
    myMainTools.setEnabled(idNewFolder, false);
  myField.focus();
}

void cFolderChooseDialog::initBasicView() {
  endWalk();
  myQueued.clear();
  myCurrent = nullptr;
  myNodes.initBasicView(string(txComputer));
}

void cFolderChooseDialog::navigate(const char* path) {
  // A path that is no folder leaves the walk under way alone.
  cFolderChooseTree::sWalk walk;
  if (!myNodes.startWalk(path, walk)) return;
  request(listing(std::move(walk), nullptr, true));
}

void cFolderChooseDialog::lsUnder(cTreeFoldersContentItem* node) {
  if (!node) return;
  cFolderChooseTree::sWalk walk;
  walk.node = node;
  request(listing(std::move(walk), node, true));
}

cFolderChooseDialog::sListing cFolderChooseDialog::listing(cFolderChooseTree::sWalk walk,
                                                           cTreeFoldersContentItem* first, bool selects) {
  sListing l;
  l.walk = std::move(walk);
  l.first = first;
  l.selects = selects;
  const char* shown = myField.text();
  l.field = shown ? shown : "";
  l.focus = getFocused();
  return l;
}

void cFolderChooseDialog::request(sListing l) {
  userTookOver();
  if (myLevelFills) {
    myQueued.push_back(std::move(l));
    return;
  }
  endWalk();
  begin(std::move(l));
}

void cFolderChooseDialog::begin(sListing l) {
  myWalk = std::move(l);
  cTreeFoldersContentItem* level = myWalk.first ? myWalk.first : myNodes.nextLevel(myWalk.walk);
  if (level)
    startLevel(level);
  else
    finishWalk();
  noteSelectionComing();
}

void cFolderChooseDialog::userTookOver() {
  if (!walking()) return;
  myWalk.walk.rest = std::string::npos;
  myWalk.selects = false;
  myWalk.ends = myWalk.newFolder = false;
  noteSelectionComing();
}

void cFolderChooseDialog::startLevel(cTreeFoldersContentItem* level) {
  // The current row goes with the level's old rows when it is one of them.
  for (cTreeItem* n = cFolderChooseTree::nodeOf(myCurrent); n; n = n->parent)
    if (n->parent == level) myCurrent = nullptr;
  // So do the walks asked for below it.
  std::erase_if(myQueued, [&](const sListing& l) {
    return cFolderChooseTree::below(l.first, level) || cFolderChooseTree::below(l.walk.node, level);
  });
  myNodes.clearLevel(level);
  myLevel = level;
  myLevelFills = false;
  myLevelNext = 0;
  myReader.level = level;
  myReader.run = ++myRun;
  if (!myReader.start()) endLevel(false);
}

void cFolderChooseDialog::cLevelReader::onJobEnd(unsigned long code) {
  myDialog.postAction(new cWalkAction(cWalkAction::kRead, run, code == 0));
}

void cFolderChooseDialog::onWalkStep(cWalkAction* a) {
  if (a->run != myRun || !myLevel) return;
  if (a->code == cWalkAction::kRead && !a->read) {
    endLevel(false);
    return;
  }
  myLevelFills = true;
  if (addRowsForASlice())
    endLevel(true);
  else
    postAction(new cWalkAction(cWalkAction::kRows, myRun));
}

bool cFolderChooseDialog::addRowsForASlice() {
  const auto until = std::chrono::steady_clock::now() + kFillSlice;
  bool all = false;
  do
    all = myNodes.addLevelRows(myLevel, myLevelNext, kRowBatch);
  while (!all && std::chrono::steady_clock::now() < until);
  return all;
}

void cFolderChooseDialog::endLevel(bool listed) {
  cTreeFoldersContentItem* level = myLevel;
  myLevel = nullptr;
  myLevelFills = false;
  myNodes.endLevel(level, listed);
  if (cTreeFoldersContentItem* next = myNodes.nextLevel(myWalk.walk)) {
    startLevel(next);
    return;
  }
  finishWalk();
}

void cFolderChooseDialog::finishWalk() {
  // A row clicked in the walk's last turns is the user's choice, though
  // the dialog hears of it only after this end.
  if (myTree.choiceComing()) myWalk.selects = myWalk.ends = myWalk.newFolder = false;
  noteSelectionComing();
  const bool inTree = treeFocused();
  cTreeViewChild::cTreeViewItem* row = myWalk.walk.node ? myWalk.walk.node->row : nullptr;
  if (myWalk.selects && row) {
    // The row takes the focus as it did when folders were read at once, but
    // only where the user left it: keys typed in the field while the folders
    // were read stay there, and so does a focus the user moved.
    const char* shown = myField.text();
    const bool untyped = myWalk.field == (shown ? shown : "");
    myTree.select(row, inTree || (myWalk.takesFocus && untyped && getFocused() == myWalk.focus));
    // What the user typed meanwhile stays in the field.
    makeCurrent(row, untyped);
    if (row->element) myTree.scrollToChild(row->element);
    if (myWalk.ends && untyped) {
      onFormAccept();
      return;
    }
    if (myWalk.newFolder) mkdir();
  } else if (myCurrent && !myTree.selected()) {
    // The rows that went took the view's selection with them; the user's
    // own row keeps it.
    myTree.select(myCurrent, inTree);
  }
  startQueued();
  replayHeld();
}

void cFolderChooseDialog::startQueued() {
  if (walking() || myQueued.empty()) return;
  sListing next = std::move(myQueued.front());
  myQueued.pop_front();
  begin(std::move(next));
}

void cFolderChooseDialog::endWalk() {
  ++myRun;
  myReader.stop();
  myReader.terminate();
  myLevel = nullptr;
  myLevelFills = false;
  noteSelectionComing();
}

bool cFolderChooseDialog::treeFocused() {
  for (cChildElement* e = getFocused(); e; e = e->parent())
    if (e == &myTree) return true;
  return false;
}

void cFolderChooseDialog::noteSelectionComing() { myTree.setSelectionComing(walking() && myWalk.selects); }

bool cFolderChooseDialog::holds() {
  if (walking() && myWalk.selects) return !myHeld.empty() || treeFocused();
  // Held behind a walk that no longer selects: they come before what follows.
  replayHeld();
  return !myHeld.empty();
}

void cFolderChooseDialog::replayHeld() {
  if (myHeld.empty() || myReplayDue) return;
  myReplayDue = true;
  postAction(new cWalkAction(cWalkAction::kReplay, 0));
}

void cFolderChooseDialog::replayNext() {
  myReplayDue = false;
  // What a replayed key starts may hold the rest again; they keep their order.
  if (walking() && myWalk.selects) return;
  if (!myHeld.empty() && !myTree.keyMoving()) {
    const sHeld h = myHeld.front();
    myHeld.pop_front();
    // A window it opens has the keys until it closes: the rest wait.
    myReplayDue = true;
    if (h.kind == sHeld::kKey)
      cCustomForm::processKey(h.code, h.f1, h.f2, h.f3);
    else if (h.kind == sHeld::kChar)
      cCustomForm::processChar(static_cast<unsigned short>(h.code), h.f1, h.f2, h.f3);
    else
      cCustomForm::processMouseBtn(h.x, h.y, h.code, h.down, h.f1, h.f2);
    myReplayDue = false;
  }
  replayHeld();
}

bool cFolderChooseDialog::processKey(int key, bool shift, bool mod2, bool mod3) {
  if (key == kcEscape || !holds()) return cCustomForm::processKey(key, shift, mod2, mod3);
  myHeld.push_back({sHeld::kKey, key, 0, 0, false, shift, mod2, mod3});
  return true;
}

bool cFolderChooseDialog::processChar(unsigned short ch, bool f1, bool f2, bool f3) {
  if (!holds()) return cCustomForm::processChar(ch, f1, f2, f3);
  myHeld.push_back({sHeld::kChar, ch, 0, 0, false, f1, f2, f3});
  return true;
}

void cFolderChooseDialog::processMouseBtn(int x, int y, int button, bool down, bool mod1, bool mod2) {
  // A press waits only behind what waits: one on a row is the user's own
  // choice, and one beside the rows leaves the tree waiting too.
  if (myHeld.empty() || !holds()) return cCustomForm::processMouseBtn(x, y, button, down, mod1, mod2);
  myHeld.push_back({sHeld::kPress, button, x, y, down, mod1, mod2, false});
}

void cFolderChooseDialog::makeCurrent(cTreeViewChild::cTreeViewItem* row, bool showInField) {
  cTreeFoldersContentItem* node = cFolderChooseTree::nodeOf(row);
  if (!node) return;
  const char* path = node->path.ptr;
  if (myFolder) myFolder->set(path);
  if (showInField) myField.setText(path ? path : "", -1);
  myMainTools.setEnabled(idNewFolder, path != nullptr);
  myCurrent = row;
}

void cFolderChooseDialog::mkdir() {
  // Given while a path opens, it is meant for that path.
  if (walking() && myWalk.selects) {
    myWalk.newFolder = true;
    return;
  }
  cTreeFoldersContentItem* node = cFolderChooseTree::nodeOf(myCurrent);
  if (!node || !node->path.ptr) return;
  // The name is asked in a window of its own while the queue runs on, and
  // a walk may take the node away meanwhile: the folder is held by its path.
  const std::string folder = node->path.ptr;
  _guardchar<char> name;
  if (!cNewFolderNameReqForm::reqNewFolderName(this, name, nullptr)) return;
  _guardchar<char> made;
  const eNewFolderOutcome outcome = makeNewFolder(folder.c_str(), name.ptr, made);
  if (outcome == nfoCreated) {
    lsUnder(myNodes.find(folder.c_str()));
    return;
  }
  const int text = newFolderMessage(outcome, false);
  if (outcome == nfoFolderExists)
    cMessageForm::warningbox(this, string(text), nullptr);
  else
    cMessageForm::errorbox(this, string(text), nullptr);
}

void cFolderChooseDialog::onContextRequest(cTreeViewChild::cTreeItemCtxAction* a) {
  cTreeFoldersContentItem* node = cFolderChooseTree::nodeOf(a->item);
  if (!node || !node->path.ptr) return;
  // As for New folder: the menu runs the queue on, and a walk under way
  // may take the row away meanwhile.
  const std::string folder = node->path.ptr;
  cPopupMaster::tItems items;
  items.insert(idNewFolder)->text.set(string(txNewFolder));
  // absPos answers the tree's own corner; the point is inside the tree.
  sPoint at;
  myTree.absPos(at);
  at.x += a->x;
  at.y += a->y;
  cPopupMaster::sPopupConfig config;
  config.minWidth = kContextMenuWidth;
  if (cPopupMaster::simplePopup(this, &items, at.x, at.y, &config) != idNewFolder) return;
  node = myNodes.find(folder.c_str());
  if (!node) return;
  userTookOver();
  makeCurrent(node->row);
  mkdir();
}

bool cFolderChooseDialog::onAction(cChildElement* sender, cChildAction* a) {
  if (!a) return cCustomForm::onAction(sender, a);
  if (sender == this) {
    if (auto* step = dynamic_cast<cWalkAction*>(a)) {
      if (step->code == cWalkAction::kReplay)
        replayNext();
      else
        onWalkStep(step);
      return true;
    }
  }
  if (sender == &myTree && a->code == cTreeViewChild::tvContext) {
    onContextRequest(static_cast<cTreeViewChild::cTreeItemCtxAction*>(a));
    return true;
  }
  if (sender == &myTree && a->code == cTreeViewChild::tvSelection) {
    auto* row = static_cast<cTreeViewChild::cTreeItemAction*>(a)->item;
    cTreeFoldersContentItem* node = cFolderChooseTree::nodeOf(row);
    // The user chose elsewhere: the walk under way is not wanted any more.
    // A read not yet done ends, rows already read all come; a level being
    // listed is not listed again.
    userTookOver();
    if (!myLevelFills && node != myLevel) endWalk();
    if (node && !node->listed && node != myLevel) {
      cFolderChooseTree::sWalk walk;
      walk.node = node;
      request(listing(std::move(walk), node, false));
    }
    makeCurrent(row);
    // What waited for the walk that ended starts now.
    startQueued();
    return true;
  }
  if ((sender == &myMainTools || sender == &myControls) && a->code == cToolBarChild::acChange) {
    const int id = static_cast<cToolBarChild::cTbButtonAction*>(a)->id;
    if (sender == &myMainTools && id == idNewFolder) mkdir();
    if (sender == &myControls && id == idSelect) onFormAccept();
    if (sender == &myControls && id == idCancel) onFormCancel();
    return true;
  }
  return cCustomForm::onAction(sender, a);
}

bool cFolderChooseDialog::onFormAccept() {
  const char* typed = myField.text();
  if (myFolder && myFolder->ptr && typed && std::strcmp(myFolder->ptr, typed) == 0) {
    endWalk();
    myHeld.clear();
    end_modal(1);
    return true;
  }
  _guardchar<char> path(typed ? typed : "");
  cFolderContents::adjustPath(path.ptr);
  // Select again on the path being opened: the dialog ends once it is.
  sListing* last = !myQueued.empty() ? &myQueued.back() : walking() && myWalk.selects ? &myWalk : nullptr;
  if (last && typed && (last->walk.path == typed || last->walk.path == path.ptr)) {
    last->ends = true;
    return true;
  }
  navigate(path.ptr);
  return true;
}

bool cFolderChooseDialog::onFormCancel() {
  endWalk();
  // What waited is not for a closed dialog.
  myHeld.clear();
  end_modal(0);
  return true;
}
