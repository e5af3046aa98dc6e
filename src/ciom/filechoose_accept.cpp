// How the file chooser ends: the typed name, the selected rows, the context
// menu and New folder.
#include <cstdio>
#include <cstring>
#include <string>

#include "ciom/filechoose_rows.h"
#include "ciom/filechoosedialog.h"
#include "ciom/messageform.h"
#include "ciom/newfolder.h"
#include "ciom/newfolderform.h"
#include "ciom/popupmaster.h"

namespace {
enum { txNewFolder = 6, txOpen = 14, txSaveHere = 15, txFilterWord = 23, txCustom = 24, txNoFolder = 25 };
constexpr int kContextMenuWidth = 100;

// "~" and "~/..." name the home folder, as a shell would read them.
void expandHome(_guardchar<char>& t) {
  if (t.ptr[0] != '~' || (t.ptr[1] && t.ptr[1] != '/')) return;
  _guardchar<char> home;
  if (!cFolderContents::getHome(home) || home.ptr[0] != '/') return;
  t.set((std::string(home.ptr) + (t.ptr + 1)).c_str());
}
}  // namespace

bool cFileChooseDialog::onFormAccept() {
  // The file system decides a typed name, so it is taken while the folder
  // is read and while its rows fill; not while the path is being edited.
  const bool reading = myNavi.naviMode() == cNavigationChild::nmProgress && !filling();
  if (myNavi.naviMode() != cNavigationChild::nmNormal && !filling() && !reading) return false;
  const char* typed = myName.text();
  if (!typed || !*typed) {
    myName.focus();
    return false;
  }
  _guardchar<char> t(typed);
  cFolderContents::adjustPath(t.ptr);
  if (std::strpbrk(t.ptr, "*?")) {
    showTypedPattern(t.ptr);
    return false;
  }
  expandHome(t);
  return acceptTyped(t.ptr, reading);
}

void cFileChooseDialog::showTypedPattern(const char* typed) {
  const int f = myInfo ? myInfo->filter : -1;
  const bool named = myInfo && myInfo->namedCustomFilter && f >= 0 && f < myInfo->filters.count;
  const char* custom = string(txCustom);
  std::string label = named
                          ? std::string(myInfo->filters[f].name.ptr ? myInfo->filters[f].name.ptr : "") +
                                " (" + (string(txFilterWord) ? string(txFilterWord) : "") + ": " + typed + ")"
                          : std::string(custom ? custom : "") + " (" + typed + ")";
  myFilters.setText(label.c_str(), -1);
  myPattern.set(typed);
  if (listedFolder()) ls_data(true);
}

bool cFileChooseDialog::acceptTyped(const char* t, bool reading) {
  _guardchar<char> part;
  // The job owns the listing while it reads; the folder it reads is the
  // one the user went to.
  // A folder typed while another is read is where the user went: only one
  // read runs at a time, so it is opened once that one's rows are in.
  const char* folder = myHeldFolder.ptr                           ? myHeldFolder.ptr
                       : myHeldPlaces                             ? nullptr
                       : !reading                                 ? listedFolder()
                       : myNavi.path() && *myNavi.path()          ? myNavi.path()
                                                                  : nullptr;
  auto enter = [&](const char* path) {
    // The last place the user went to is where he ends up.
    myHeldFolder.set(reading ? path : nullptr);
    myHeldPlaces = false;
    if (!reading) ls(path);
    myName.setText("", -1);
    return false;
  };
  // A name from the root is that path alone; any other is in the folder
  // shown, never in the working directory, which the user does not see:
  // saving there replaced files.
  if (t[0] != '/' && !folder) return false;
  // Rows not yet on the screen, or not all in yet, are not chosen. An empty
  // folder has none to show.
  const bool rowsShown = !reading && !filling() && !(myList.rowsHeld() && myList.getRowCount() > 0);
  if (folder && !mySave && myInfo && myInfo->multiSelect && rowsShown && acceptSelectedFiles()) return true;
  _guardchar<char> p(t[0] == '/' ? t : (std::string(folder) + "/" + t).c_str());
  switch (cFolderContents::objtype(p.ptr)) {
    case fotFile:
      choose(p.ptr, false);
      return true;
    case fotFolder:
      return enter(p.ptr);
    case fotNone:
      break;
    default:
      // A device or pipe named from the root is a target the user chose;
      // one found under the folder shown is not a name to save into.
      if (t[0] != '/') return false;
  }
  if (!fileChooseFolderPart(p.ptr, part)) {
    // Nothing on the screen shows why the dialog stays.
    std::string text = string(txNoFolder) ? string(txNoFolder) : "";
    if (const size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, part.ptr ? part.ptr : "");
    cMessageForm::errorbox(this, text.c_str(), nullptr);
    return false;
  }
  if (!mySave) return false;
  choose(p.ptr, false);
  return true;
}

bool cFileChooseDialog::acceptSelectedFiles() {
  for (int row = myList.nextSelected(-1); row >= 0; row = myList.nextSelected(row)) {
    _guardchar<char> path;
    if (entryType(row) != fotFile || !entryPath(row, path)) continue;
    choose(path.ptr, true);
    return true;
  }
  return false;
}

void cFileChooseDialog::choose(const char* path, bool withSelected) {
  if (!myInfo) return;
  myInfo->file.set(path);
  if (withSelected && myInfo->multiSelect)
    for (int row = myList.nextSelected(-1); row >= 0; row = myList.nextSelected(row)) {
      _guardchar<char> other;
      if (entryType(row) != fotFile || !entryPath(row, other) || std::strcmp(other.ptr, path) == 0) continue;
      myInfo->results.add()->value.set(other.ptr);
    }
  endSODialog();
}

void cFileChooseDialog::endSODialog() {
  const int f = myInfo->filter;
  if (mySave && f >= 0 && f < myInfo->filters.count)
    fileChooseSaveName(myInfo->file, myInfo->filters[f].extension.ptr);
  if (myInfo->customElement && !myInfo->customElement->acceptFileChoice()) return;
  end_modal(1);
}

void cFileChooseDialog::onContextRequest(cChildAction* a) {
  const int row = myList.selected();
  const int type = row >= 0 ? entryType(row) : -1;
  int item = -1;
  if (!mySave)
    item = row >= 0 ? txOpen : -1;
  else if (row < 0)
    item = txNewFolder;
  else if (type == fotFile)
    item = txSaveHere;
  else if (fileChooseOpensAsFolder(type))
    item = txOpen;
  if (item < 0) return;
  cPopupMaster::tItems items;
  items.insert(item)->text.set(string(item));
  // absPos answers the list's own corner; the point is inside the list.
  sPoint p;
  myList.absPos(p);
  if (auto* at = dynamic_cast<cCtxRequestAction*>(a)) {
    p.x += at->x;
    p.y += at->y;
  }
  cPopupMaster::sPopupConfig config;
  config.minWidth = kContextMenuWidth;
  if (cPopupMaster::simplePopup(this, &items, p.x, p.y, &config) != item) return;
  if (item == txNewFolder) {
    mkdir();
    return;
  }
  _guardchar<char> path;
  if (!entryPath(row, path)) return;
  if (type == fotFile)
    choose(path.ptr, !mySave);
  else
    ls(path.ptr);
}

void cFileChooseDialog::mkdir() {
  if (!listedFolder()) return;
  _guardchar<char> folder(listedFolder()), name, made;
  if (!cNewFolderNameReqForm::reqNewFolderName(this, name, nullptr)) return;
  const eNewFolderOutcome outcome = makeNewFolder(folder.ptr, name.ptr, made);
  const char* text = string(newFolderMessage(outcome, true));
  switch (outcome) {
    case nfoCreated:
      ls(folder.ptr);
      return;
    case nfoFolderExists:
      if (cMessageForm::confirmbox(this, text, nullptr)) ls(made.ptr);
      return;
    default:
      cMessageForm::errorbox(this, text, nullptr);
      return;
  }
}
