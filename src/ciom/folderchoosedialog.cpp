#include "ciom/folderchoosedialog.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

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
constexpr size_t kRowBatch = 200;
}  // namespace

// Rows are added a batch at a time, batches for a slice of time before the
// window's events are taken. The window runs what is queued before each of
// its events, a wake-up or an exposure as much as a key, and a fill always
// has its next slice queued: a key waits a slice for every event ahead of
// it, so slices are short. A paint looks only at the rows in view, so the
// paints between them cost a fill little.
std::chrono::nanoseconds& cFolderChooseDialog::fillSlice() {
  static std::chrono::nanoseconds slice = std::chrono::milliseconds(8);
  return slice;
}

cPicturesList cFolderChooseDialog::myImagesToolsMain;
cPicturesList cFolderChooseDialog::myImagesToolsCtl;
cPicturesList cFolderChooseDialog::myImagesList;

bool cFolderChooseDialog::choose(cChildElement* parent, const char* caption, _guardchar<char>& folder) {
  if (!parent) return false;
  return parent->modal(caption ? caption : "", 350, 450, new cFolderChooseDialog(&folder), true) == 1;
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
  cFolderChooseTree::sWalk walk;
  if (hasStart && myNodes.startWalk(start.ptr, walk)) {
    myField.setText(start.ptr, -1);
    begin(listing(std::move(walk), nullptr, true), true);
  } else
    myMainTools.setEnabled(idNewFolder, false);
  myField.focus();
}

void cFolderChooseDialog::initBasicView() {
  endWalk();
  myQueued.clear();
  myCurrent = nullptr;
  myNodes.initBasicView(string(txComputer));
}

void cFolderChooseDialog::navigate(const char* path, bool takesFocus) {
  // A path that is no folder leaves the walk under way alone.
  cFolderChooseTree::sWalk walk;
  if (!myNodes.startWalk(path, walk)) return;
  sListing l = listing(std::move(walk), nullptr, true);
  l.takesFocus = takesFocus;
  request(std::move(l));
}

void cFolderChooseDialog::lsUnder(cTreeFoldersContentItem* node) {
  if (!node) return;
  cFolderChooseTree::sWalk walk;
  walk.node = node;
  sListing l = listing(std::move(walk), node, true);
  l.takesFocus = true;
  request(std::move(l));
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
  // A level the walk under way has still to read comes with it.
  if (l.first && onTheWay(l.first, myWalk.walk.next)) {
    if (l.selects) select(l, l.first->row);
    return;
  }
  if (walking())
    myQueued.push_back(std::move(l));
  else
    begin(std::move(l));
}

void cFolderChooseDialog::begin(sListing l, bool readHere) {
  myWalk = std::move(l);
  cTreeFoldersContentItem* top = myWalk.first ? myWalk.first : myNodes.nextLevel(myWalk.walk);
  if (!top) return startQueued();
  dropUnder(top);
  myNodes.clearLevel(top);
  myNodes.layWalk(myWalk.walk);
  if (myWalk.selects && !select(myWalk, myWalk.walk.node->row)) return;
  startLevel(readHere);
}

bool cFolderChooseDialog::select(const sListing& l, cTreeViewChild::cTreeViewItem* row) {
  // The row takes the focus as it did when folders were read at once, but
  // only where the user left it: keys typed in the field while the walk
  // waited stay there, and so does a focus the user moved.
  const char* shown = myField.text();
  const bool untyped = l.field == (shown ? shown : "");
  myTree.select(row, treeFocused() || (l.takesFocus && untyped && getFocused() == l.focus));
  // What the user typed meanwhile stays in the field.
  makeCurrent(row, untyped);
  if (!l.ends || !untyped) return true;
  onFormAccept();
  return false;
}

bool cFolderChooseDialog::onTheWay(const cTreeFoldersContentItem* node, size_t from) {
  const std::vector<cTreeFoldersContentItem*>& levels = myWalk.walk.levels;
  return walking() && from <= levels.size() && (from == 0 || node != levels.front()) &&
         std::find(levels.begin() + static_cast<std::ptrdiff_t>(from), levels.end(), node) != levels.end();
}

void cFolderChooseDialog::dropUnder(cTreeFoldersContentItem* level) {
  // The current row goes with the level's old rows when it is one of them.
  for (cTreeItem* n = cFolderChooseTree::nodeOf(myCurrent); n; n = n->parent)
    if (n->parent == level) myCurrent = nullptr;
  // So do the walks asked for below it.
  std::erase_if(myQueued, [&](const sListing& l) {
    return cFolderChooseTree::below(l.first, level) || cFolderChooseTree::below(l.walk.node, level);
  });
}

void cFolderChooseDialog::startLevel(bool readHere) {
  myLevel = myWalk.walk.levels[myWalk.walk.next++];
  const bool resumes = myWalk.walk.next > 1 && myLevel == myWalk.walk.levels.front();
  myLevelNext = resumes ? myResumeAt : 0;
  myReader.levels.assign(1, myLevel);
  myReader.run = ++myRun;
  if (readHere) {
    myReadOnPaint = true;
  } else if (resumes) {
    cWalkAction rows(cWalkAction::kRows, myRun);
    onWalkStep(&rows);
  } else if (!myReader.start()) {
    endLevel(false);
  }
}

void cFolderChooseDialog::onPaint(cCanvas* c) {
  cCustomForm::onPaint(c);
  // The window shows the start's row before the levels on its path are
  // read. The read is queued, and the window runs its queue before each of
  // its events: input given meanwhile waits in the window's own event queue
  // and meets every level above the start whole.
  if (!myReadOnPaint) return;
  myReadOnPaint = false;
  postAction(new cWalkAction(cWalkAction::kReadHere, myRun));
}

int cFolderChooseDialog::cLevelReader::job() {
  read.assign(levels.size(), 0);
  for (size_t i = 0; i < levels.size() && !haveToStop(); ++i)
    read[i] = cFolderChooseTree::readLevel(levels[i], stopFlag());
  return !read.empty() && read.front() ? 0 : 1;
}

void cFolderChooseDialog::cLevelReader::onJobEnd(unsigned long code) {
  myDialog.postAction(new cWalkAction(cWalkAction::kRead, run, code == 0));
}

void cFolderChooseDialog::onWalkStep(cWalkAction* a) {
  if (a->run != myRun || !myLevel) return;
  if (a->code == cWalkAction::kReadHere) {
    if (!listAboveHere()) return;
    a->code = cWalkAction::kRead;
    a->read = myReader.read.front();
  }
  if (a->code == cWalkAction::kRead && !a->read) {
    endLevel(false);
    return;
  }
  if (addRowsForASlice()) {
    endLevel(true);
  } else if (myWalk.walk.next == 1 && myWalk.walk.levels.size() > 1) {
    // Its other rows come after the levels above: rows laid above many move every one of them.
    myWalk.walk.levels.push_back(myLevel);
    myResumeAt = myLevelNext;
    myLevel = nullptr;
    startLevel();
  } else {
    postAction(new cWalkAction(cWalkAction::kRows, myRun));
  }
}

bool cFolderChooseDialog::listAboveHere() {
  // A row after the start's branch belongs to a level above it, and a key
  // given early must find it where it is once the walk is over: every
  // level above is listed whole before the window takes input. They are
  // read off this thread, then laid a slice at a time, while the window
  // waits, repainting between slices. The wait ends early only on what
  // ends the dialog, its close box or the key it cancels on, which stays
  // queued: any other input meets these levels whole.
  std::vector<cTreeFoldersContentItem*>& levels = myWalk.walk.levels;
  myReader.levels = levels;
  myReader.run = 0;  // its end is waited for here, not posted
  if (!myReader.start()) myReader.job();
  // From the top down, so that no level's rows come above the rows of another.
  size_t above = levels.size() - 1, next = 0;
  const auto layABatch = [&] {
    const bool read = myReader.read[above];
    if (!read || myNodes.addLevelRows(levels[above], next, kRowBatch)) {
      myNodes.endLevel(levels[above], read);
      --above;
      next = 0;
    }
    return above == 0;
  };
  if (!waitPainting([&] { return !myReader.working() && (above == 0 || forASlice(layABatch)); })) {
    endWalk();
    return false;
  }
  levels.resize(1);
  return true;
}

void cFolderChooseDialog::keepingTheView(const std::function<void()>& lay) {
  // A row in view stays where it is as rows come above it, as if they had
  // come first; a bar moved in this turn has not yet moved the view.
  cTreeViewChild::cTreeViewItem* kept = myTree.selected();
  const int shift = myTree.vbar().visible_child() ? static_cast<int>(myTree.vbar().pos()) : myTree.shiftY();
  sRect at{};
  const bool inView = kept && myTree.childRect(kept->element, &at) && at.y + at.height > shift &&
                      at.y < shift + myTree.height();
  const int place = at.y - shift;
  lay();
  if (!inView || myTree.selected() != kept || !myTree.childRect(kept->element, &at) || at.y <= place) return;
  // At once: a click before the next turn meets the rows where they show.
  myTree.vbar().setPos(static_cast<unsigned long long>(at.y - place), false);
  cVScroll::cVScrollAction moved(myTree.vbar().pos());
  myTree.onAction(&myTree.vbar(), &moved);
}

bool cFolderChooseDialog::forASlice(const std::function<bool()>& batch) {
  const auto until = std::chrono::steady_clock::now() + fillSlice();
  bool all = false;
  keepingTheView([&] {
    do
      all = batch();
    while (!all && std::chrono::steady_clock::now() < until);
  });
  return all;
}

bool cFolderChooseDialog::addRowsForASlice() {
  return forASlice([this] { return myNodes.addLevelRows(myLevel, myLevelNext, kRowBatch); });
}

void cFolderChooseDialog::endLevel(bool listed) {
  cTreeFoldersContentItem* level = myLevel;
  myLevel = nullptr;
  myNodes.endLevel(level, listed);
  if (myWalk.walk.next < myWalk.walk.levels.size())
    startLevel();
  else
    startQueued();
}

void cFolderChooseDialog::startQueued() {
  if (walking() || myQueued.empty()) return;
  sListing next = std::move(myQueued.front());
  myQueued.pop_front();
  begin(std::move(next));
}

void cFolderChooseDialog::endWalk() {
  ++myRun;
  myReadOnPaint = false;
  myReader.stop();
  myReader.terminate();
  myLevel = nullptr;
}

bool cFolderChooseDialog::treeFocused() {
  // A menu or form over the dialog takes the window's focus; it comes back.
  for (cChildElement* e = heldFocus(); e; e = e->parent())
    if (e == &myTree) return true;
  return false;
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
  cTreeFoldersContentItem* node = cFolderChooseTree::nodeOf(a->item());
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
  // Highlighted too, so that a name form closed without a name leaves the
  // row shown, the field and Select on one folder.
  myTree.select(node->row, treeFocused());
  makeCurrent(node->row);
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
    // A row cleared since it was chosen is nothing to act on.
    auto* row = static_cast<cTreeViewChild::cTreeItemAction*>(a)->item();
    if (!row) return true;
    cTreeFoldersContentItem* node = cFolderChooseTree::nodeOf(row);
    // A row on the walk's own way is listed by it as the walk goes on.
    if (node && onTheWay(node, 0)) {
      makeCurrent(row);
      return true;
    }
    // A row off the way is listed after the walk; a level being listed is not listed again.
    if (node && !node->listed && node != myLevel) {
      cFolderChooseTree::sWalk walk;
      walk.node = node;
      request(listing(std::move(walk), node, false));
    }
    makeCurrent(row);
    return true;
  }
  if (sender == &myMainTools && a->code == cToolBarChild::acChange) {
    if (static_cast<cToolBarChild::cTbButtonAction*>(a)->id == idNewFolder) mkdir();
    return true;
  }
  return cCustomForm::onAction(sender, a);
}

bool cFolderChooseDialog::acceptEnds() {
  const char* typed = myField.text();
  return myFolder && myFolder->ptr && typed && std::strcmp(myFolder->ptr, typed) == 0;
}

bool cFolderChooseDialog::onFormAccept() {
  if (acceptEnds()) {
    endWalk();
    end_modal(1);
    return true;
  }
  const char* typed = myField.text();
  _guardchar<char> path(typed ? typed : "");
  cFolderContents::adjustPath(path.ptr);
  // Select again on a path waiting to be opened: the dialog ends once it is.
  sListing* last = !myQueued.empty() ? &myQueued.back() : nullptr;
  if (last && typed && (last->walk.path == typed || last->walk.path == path.ptr)) {
    last->ends = true;
    return true;
  }
  navigate(path.ptr, true);
  return true;
}

bool cFolderChooseDialog::onFormCancel() {
  endWalk();
  end_modal(0);
  return true;
}
