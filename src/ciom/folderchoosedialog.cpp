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
// window's events are taken: a paint visits every row shown, so a paint
// after each batch would cost a fill the square of its rows.
constexpr size_t kRowBatch = 1000;
constexpr std::chrono::milliseconds kFillSlice{40};
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
    myWalkTakesFocus = false;
  }
  else
    myMainTools.setEnabled(idNewFolder, false);
  myField.focus();
}

void cFolderChooseDialog::initBasicView() {
  endWalk();
  myCurrent = nullptr;
  myNodes.initBasicView(string(txComputer));
}

void cFolderChooseDialog::navigate(const char* path) {
  // A path that is no folder leaves the walk under way alone.
  cFolderChooseTree::sWalk walk;
  if (!myNodes.startWalk(path, walk)) return;
  endWalk();
  myWalk = std::move(walk);
  noteWalkStart();
  if (cTreeFoldersContentItem* level = myNodes.nextLevel(myWalk))
    startLevel(level);
  else
    makeCurrent(myWalk.node->row);
}

void cFolderChooseDialog::lsUnder(cTreeFoldersContentItem* node) {
  endWalk();
  if (!node) return;
  myWalk = cFolderChooseTree::sWalk();
  myWalk.node = node;
  noteWalkStart();
  startLevel(node);
}

void cFolderChooseDialog::startLevel(cTreeFoldersContentItem* level) {
  // The current row goes with the level's old rows when it is one of them.
  for (cTreeItem* n = cFolderChooseTree::nodeOf(myCurrent); n; n = n->parent)
    if (n->parent == level) myCurrent = nullptr;
  myNodes.clearLevel(level);
  myLevel = level;
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
  if (a->code == cWalkAction::kRead && !a->read)
    endLevel(false);
  else if (addRowsForASlice())
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
  myNodes.endLevel(level, listed);
  if (cTreeFoldersContentItem* next = myNodes.nextLevel(myWalk)) {
    startLevel(next);
    return;
  }
  cTreeViewChild::cTreeViewItem* row = myWalk.node->row;
  // The row takes the focus as it did when folders were read at once, but
  // only where the user left it: keys typed in the field while the folders
  // were read stay there, and so does a focus the user moved.
  bool treeFocused = false;
  for (cChildElement* e = getFocused(); e && !treeFocused; e = e->parent()) treeFocused = e == &myTree;
  const char* shown = myField.text();
  const bool untyped = myWalkField == (shown ? shown : "");
  myTree.select(row, treeFocused || (myWalkTakesFocus && untyped && getFocused() == myWalkFocus));
  // What the user typed meanwhile stays in the field.
  makeCurrent(row, untyped);
  if (row->element) myTree.scrollToChild(row->element);
}

void cFolderChooseDialog::endWalk() {
  ++myRun;
  myReader.stop();
  myReader.terminate();
  myLevel = nullptr;
}

void cFolderChooseDialog::noteWalkStart() {
  const char* shown = myField.text();
  myWalkField = shown ? shown : "";
  myWalkFocus = getFocused();
  myWalkTakesFocus = true;
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
  // Not while a walk runs: its rows are not all there, and the name is
  // asked in a window of its own while the queue runs on.
  if (walking()) return;
  cTreeFoldersContentItem* node = cFolderChooseTree::nodeOf(myCurrent);
  if (!node || !node->path.ptr) return;
  _guardchar<char> name;
  if (!cNewFolderNameReqForm::reqNewFolderName(this, name, nullptr)) return;
  _guardchar<char> made;
  const eNewFolderOutcome outcome = makeNewFolder(node->path.ptr, name.ptr, made);
  if (outcome == nfoCreated) {
    lsUnder(node);
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
  // As for New folder: the menu runs the queue on, and a walk under way
  // could take the row away meanwhile.
  if (!node || !node->path.ptr || walking()) return;
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
  makeCurrent(a->item);
  mkdir();
}

bool cFolderChooseDialog::onAction(cChildElement* sender, cChildAction* a) {
  if (!a) return cCustomForm::onAction(sender, a);
  if (sender == this) {
    if (auto* step = dynamic_cast<cWalkAction*>(a)) {
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
    endWalk();
    if (node && !node->listed) lsUnder(node);
    makeCurrent(row);
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
    end_modal(1);
    return true;
  }
  // Return again on the path being opened waits for it.
  if (walking() && typed && myWalk.path == typed) return true;
  _guardchar<char> path(typed ? typed : "");
  cFolderContents::adjustPath(path.ptr);
  navigate(path.ptr);
  return true;
}

bool cFolderChooseDialog::onFormCancel() {
  endWalk();
  end_modal(0);
  return true;
}
