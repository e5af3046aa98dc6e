#include "ciom/filechoosedialog.h"

#include <algorithm>
#include <cstdint>

#include "ciom/filechoose_rows.h"
#include "ciom/formtoolbars.h"
#include "ciom/sharedpictures.h"
#include "ciom/themeuse.h"

namespace {
enum { idHome = 1, idPlaces = 2, idNewFolder = 3 };
enum { idAccept = 1, idCancel = 2 };
enum { colName = 1, colDate = 2, colType = 3, colSize = 4 };
enum { txHome = 4, txPlaces = 5, txNewFolder = 6, txName = 7, txDate = 8, txType = 9, txSize = 10 };
enum { txCancel = 2, txFileName = 11, txAllFiles = 12, txSave = 13, txOpen = 14 };
constexpr int kMinWidth = 500, kMinHeight = 350;
// Rows added per turn of the action queue: a few milliseconds of work.
constexpr long long kFillBatch = 1000;

void* indexTag(long long i) { return reinterpret_cast<void*>(static_cast<intptr_t>(i)); }
}  // namespace

cPicturesList cFileChooseDialog::myImagesToolsMain;
cPicturesList cFileChooseDialog::myImagesToolsCtl;
cPicturesList cFileChooseDialog::myImagesList;

bool cFileChooseDialog::open(cChildElement* parent, const char* caption, sFileChooseInfo& info) {
  return run(parent, caption, info, false);
}

bool cFileChooseDialog::save(cChildElement* parent, const char* caption, sFileChooseInfo& info) {
  return run(parent, caption, info, true);
}

bool cFileChooseDialog::run(cChildElement* parent, const char* caption, sFileChooseInfo& info, bool saving) {
  if (!parent) return false;
  int w = kMinWidth, h = kMinHeight;
  if (cCustomElement* custom = info.customElement) {
    h += std::max(custom->customHeight(), 0);
    w = std::max(custom->customWidth(), kMinWidth);
  }
  auto* dialog = new cFileChooseDialog;
  dialog->mySave = saving;
  dialog->myInfo = &info;
  return parent->modal(caption ? caption : "", w, h, dialog, true) == 1;
}

void cFileChooseDialog::onConstruct() {
  cCustomForm::onConstruct();
  fillSharedPictures(myImagesToolsMain, {82, 83, 84});
  fillSharedPictures(myImagesToolsCtl, {80, 78, 81});
  fillSharedPictures(myImagesList, {43, 48, 60, 63, 44});
  cCustomElement* custom = myInfo ? myInfo->customElement : nullptr;
  const int h = custom ? std::max(custom->customHeight(), 0) : 0;
  setMinSize(350, 300 + h);
  attachTopToolbar(*this, myMainTools, &myImagesToolsMain);
  myMainTools.setButton(idHome, string(txHome), 0);
  myMainTools.setButton(idPlaces, string(txPlaces), 1);
  if (mySave) myMainTools.setButton(idNewFolder, string(txNewFolder), 2);
  myMainTools.setButtonAcceptFocus(false);

  cChildElement* area = clientArea();
  area->attach(&myNavi, 0, 0, 1, 22);
  area->anchor(&myNavi, 0, 0, -1, 22);
  myNavi.setNavigationProvider(&myProvider);
  myNavi.setPassiveColor(themeColor(27), false);

  area->attach(&myList, 0, 24, 1, 1);
  area->anchor(&myList, 0, 24, -1, -80 - h);
  myList.setColumn(colName, string(txName), 190, cCanvas::eAlignLeft);
  myList.setColumn(colDate, string(txDate), 120, cCanvas::eAlignLeft);
  myList.setColumn(colType, string(txType), 70, cCanvas::eAlignLeft);
  myList.setColumn(colSize, string(txSize), 80, cCanvas::eAlignRight);
  myList.setImageLists(&myImagesList, nullptr, nullptr);
  myList.setMultiselect(myInfo && myInfo->multiSelect && !mySave);
  myList.setSortType(colName, new cListViewChild::cListViewNameSortProvider);
  for (int col : {colDate, colType, colSize}) {
    auto* by = new cListViewChild::cListViewU64PramSortProvider;
    by->setTransformProc(filechooseKeyU64Transform);
    myList.setSortType(col, by);
  }

  area->attach(&myLabel, 0, 0, 80, 22);
  area->anchor(&myLabel, 0, -50 - h, 80, 22);
  myLabel.setText(string(txFileName), cCanvas::eAlignLeft, false);
  myLabel.setBgColor(themeColor(0));
  myLabel.setFrameColor(themeColor(0));
  area->attach(&myName, 80, 0, 1, 22);
  area->anchor(&myName, 80, -50 - h, -280, 22);
  if (myInfo && myInfo->file.ptr) myName.setText(myInfo->file.ptr, -1);
  area->attach(&myFilters, 0, 0, 190, 22);
  area->anchor(&myFilters, -191, -50 - h, 190, 22);
  myFilters.allowEdit(false);
  if (custom) {
    area->attach(custom, 0, 0, 1, std::max(h, 1));
    area->anchor(custom, 0, -18 - h, -1, h);
  }
  initFilters();

  attachControlButtons(*this, myControls, &myImagesToolsCtl, idAccept, string(mySave ? txSave : txOpen),
                       mySave ? 2 : 0, idCancel, string(txCancel), 1);

  if (myInfo) myInfo->results.destroy();
  initList();
  // Saving is naming: the keyboard starts in the name field.
  if (mySave) myName.focus();
}

void cFileChooseDialog::initFilters() {
  myPattern.set(static_cast<const char*>(nullptr));
  if (!myInfo) return;
  const long long count = std::min<long long>(myInfo->filters.count, 0x7FFFFFFF);
  int first = -1;
  for (int i = 0; i < count; ++i) {
    const sFilterInfo& f = myInfo->filters[i];
    if (!f.usable()) continue;
    myFilters.setItem(i, f.name.ptr, indexTag(i), -1);
    if (first < 0) {
      first = i;
      myPattern.set(f.pattern.ptr);
    }
  }
  if (first < 0) {
    myFilters.setItem(0, string(txAllFiles), indexTag(-1), -1);
    myPattern.set("*");
  }
  int& chosen = myInfo->filter;
  // Item 0 is missing when filter 0 is not usable; the first usable one
  // stands in for it.
  if (chosen < 0 || chosen >= count || !myInfo->filters[chosen].usable()) chosen = first < 0 ? 0 : first;
  myFilters.select(chosen, true);
}

void cFileChooseDialog::initList() {
  _guardchar<char> start, name;
  if (!myInfo || !fileChooseStartFolder(myInfo->folder.ptr, myInfo->file.ptr, start, name)) return;
  if (name.ptr) myName.setText(name.ptr, -1);
  ls(start.ptr);
}

bool cFileChooseDialog::cReader::asyncNavigate(cNavigationPostTarget* bar, const char* path) {
  if (!cFileChooseListFolder::asyncNavigate(bar, path)) return false;
  myDialog.noteListingStart();
  // The job now rewrites the listing that a fill still under way reads.
  if (myDialog.filling()) {
    myDialog.myFillNext = -1;
    myDialog.myFillEndsNavigation = false;
    myDialog.myList.endChanges(false);
  }
  myDialog.myList.clear();
  return true;
}

int cFileChooseDialog::entryType(int row) {
  sFolderItemInfo* e = myProvider.listing().info(row);
  return e ? e->type : -1;
}

void cFileChooseDialog::noteListingStart() {
  myListingFocus = getFocused();
  myTypedSinceListing = false;
}

bool cFileChooseDialog::processKey(int key, bool shift, bool mod2, bool mod3) {
  // Before the key is handled: a Return that starts a listing counts as
  // the listing's start, not as typing during it.
  myTypedSinceListing = true;
  return cCustomForm::processKey(key, shift, mod2, mod3);
}

bool cFileChooseDialog::processChar(unsigned short ch, bool f1, bool f2, bool f3) {
  myTypedSinceListing = true;
  return cCustomForm::processChar(ch, f1, f2, f3);
}

void cFileChooseDialog::ls_data(bool sort) {
  // A fill started anew, or one that ends a navigation, belongs to the
  // listing already under way.
  if (!filling() && myNavi.naviMode() == cNavigationChild::nmNormal) noteListingStart();
  myList.startChanges();
  myList.clear();
  myList.holdRowsUntilPainted();
  myFillSort = sort;
  myFillNext = 0;
  postAction(new cFillAction(++myFillRun));
}

void cFileChooseDialog::fillBatch() {
  cFolderContents& listing = myProvider.listing();
  const bool showHidden = myInfo && myInfo->showHidden;
  const long long end = std::min<long long>(listing.count(), myFillNext + kFillBatch);
  for (long long n = myFillNext; n < end; ++n) {
    const int i = static_cast<int>(n);
    sFolderItemInfo* e = listing.info(i);
    if (!fileChooseShowsEntry(*e, showHidden, myPattern.ptr)) continue;
    const sFileChooseRowLook look = fileChooseRowLook(e->type);
    char size[32], date[32];
    fileChooseSizeText(*e, size, sizeof size);
    fileChooseDateText(e->modified, date, sizeof date);
    myList.setItem(i, colName, placeLabel(*e), look.image, indexTag(i));
    myList.setItem(i, colDate, date, -1, fileChooseKeyTag(fileChooseDateKey(*e)));
    myList.setItem(i, colType, look.typeText >= 0 ? string(look.typeText) : "", -1,
                   fileChooseKeyTag(static_cast<unsigned long long>(look.typeOrder)));
    myList.setItem(i, colSize, size, -1, fileChooseKeyTag(fileChooseSizeKey(*e)));
  }
  myFillNext = end;
  if (end < listing.count())
    postAction(new cFillAction(myFillRun));
  else
    endFill();
}

void cFileChooseDialog::endFill() {
  myFillNext = -1;
  if (myFillSort) {
    myList.sort(colName);
    myList.sort(colType);
  }
  myList.endChanges(true);
  myMainTools.setEnabled(idNewFolder, listedFolder() != nullptr);
  // The list takes the focus as when its rows came at once after the read,
  // but never from a user who has since typed or put the focus elsewhere,
  // nor from the name field of a save: a name is typed there, and keys
  // given while the rows came may still be on their way.
  if (!myTypedSinceListing && getFocused() == myListingFocus && !(mySave && getFocused() == &myName))
    myList.focus();
  if (!myFillEndsNavigation) return;
  myFillEndsNavigation = false;
  // A folder entered while this one was read is read now; the bar stays
  // busy until its rows are in too.
  _guardchar<char> held(myHeldFolder.ptr);
  myHeldFolder.set(static_cast<const char*>(nullptr));
  if (held.ptr && myNavi.navigate(held.ptr)) return;
  const bool places = myHeldPlaces, newFolder = myHeldNewFolder;
  myHeldPlaces = myHeldNewFolder = false;
  // The bar is at rest from this turn on: what the user gives next, maybe
  // already waiting behind the last rows, is done as for a folder read at
  // once, not held for a read that never comes. Places and New folder given
  // meanwhile act on where the user ended up; a read New folder starts is
  // the bar's own.
  myNavi.goNormalMode();
  if (places) onMainTool(idPlaces);
  if (newFolder) onMainTool(idNewFolder);
}

void cFileChooseDialog::holdTool(int id) {
  _guardchar<char> home;
  if (id == idHome && cFolderContents::getHome(home)) {
    myHeldFolder.set(home.ptr);
    myHeldPlaces = false;
  } else if (id == idPlaces) {
    myHeldFolder.set(static_cast<const char*>(nullptr));
    myHeldPlaces = true;
  } else if (id == idNewFolder) {
    myHeldNewFolder = true;
  }
}

void cFileChooseDialog::onFilterChange() {
  if (!myInfo) return;
  const long long a = reinterpret_cast<intptr_t>(myFilters.association(myFilters.selected()));
  if (a >= 0 && a < myInfo->filters.count && myInfo->filters[a].pattern.ptr) {
    myPattern.set(myInfo->filters[a].pattern.ptr);
    myInfo->filter = static_cast<int>(a);
  } else {
    myPattern.set("*");
  }
  // While a navigation runs the job owns the listing; its end refills the
  // list with the new pattern. A fill under way starts again with it.
  if ((myNavi.naviMode() == cNavigationChild::nmNormal || filling()) && listedFolder()) ls_data(true);
}

void cFileChooseDialog::listPlaces() {
  myProvider.listing().enumSpecialLocations();
  ls_data(false);
}

void cFileChooseDialog::relist() {
  if (!listedFolder()) {
    listPlaces();
    return;
  }
  _guardchar<char> folder(listedFolder());
  ls(folder.ptr);
}

void cFileChooseDialog::onListAction(cChildAction* a) {
  auto* item = dynamic_cast<cListViewChild::cListViewItemAction*>(a);
  const int row = item ? item->value : -1;
  _guardchar<char> path;
  switch (a->code) {
    case acContextRequest:
      onContextRequest(a);
      return;
    case cListViewChild::laActivate:
      if (!entryPath(row, path)) return;
      if (entryType(row) == fotFile)
        choose(path.ptr, false);
      else if (fileChooseOpensAsFolder(entryType(row)))
        ls(path.ptr);
      return;
    case cListViewChild::laSelection:
      if (entryType(row) == fotFile) myName.setText(myProvider.listing().info(row)->name.ptr, -1);
      return;
    case cListViewChild::laRefresh:
      relist();
      return;
    default:
      return;
  }
}

void cFileChooseDialog::onMainTool(int id) {
  _guardchar<char> home;
  // Where the user goes now, not where he went while a folder was read.
  if (id == idHome || id == idPlaces) {
    myHeldFolder.set(static_cast<const char*>(nullptr));
    myHeldPlaces = false;
  }
  if (id == idHome && cFolderContents::getHome(home)) {
    ls(home.ptr);
  } else if (id == idPlaces) {
    listPlaces();
    myNavi.setPath("");
  } else if (id == idNewFolder) {
    mkdir();
  }
}

bool cFileChooseDialog::onAction(cChildElement* sender, cChildAction* a) {
  if (!a) return cCustomForm::onAction(sender, a);
  if (sender == this) {
    if (auto* batch = dynamic_cast<cFillAction*>(a)) {
      if (batch->run == myFillRun && filling()) fillBatch();
      return true;
    }
  }
  if (sender == &myFilters && a->code == acChange) {
    onFilterChange();
    return true;
  }
  if (sender == &myList && a->code == cListViewChild::laSorted) {
    // The rows moved under the pointer; what was aimed at the old order
    // waits for the new one to be seen.
    myList.holdRowsUntilPainted();
    return true;
  }
  if (sender == &myList && (a->code == acContextRequest ||
                            (a->code >= cListViewChild::laActivate && a->code <= cListViewChild::laBack))) {
    // The job may be rewriting the listing the rows point into, or the
    // rows may not all be there yet.
    if (myNavi.naviMode() == cNavigationChild::nmNormal && !filling()) onListAction(a);
    return true;
  }
  if (sender == &myNavi && a->code == cNavigationChild::naSetPath) {
    if (!static_cast<cNavigationChild::cNaviSetPathAction*>(a)->path.ptr) {
      // The bar stays busy until the rows are all in.
      myFillEndsNavigation = true;
      ls_data(true);
    }
    return true;
  }
  if (sender == &myMainTools && a->code == acChange) {
    // Each of these reads or replaces the listing, which the job owns
    // while it reads: one given then is done once the rows are in.
    const int id = static_cast<cToolBarChild::cTbButtonAction*>(a)->id;
    const int mode = myNavi.naviMode();
    if (mode == cNavigationChild::nmNormal || (mode == cNavigationChild::nmProgress && filling()))
      onMainTool(id);
    else if (mode == cNavigationChild::nmProgress)
      holdTool(id);
    return true;
  }
  return cCustomForm::onAction(sender, a);
}

bool cFileChooseDialog::onFormCancel() {
  end_modal(0);
  return true;
}
