#include "tamsivarapp/tamsivar.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "base/conproc.h"
#include "base/stringkey.h"
#include "base/utils.h"
#include "ciom/application.h"
#include "ciom/liblang.h"
#include "ciom/messageform.h"
#include "ciom/windowmaker.h"
#include "tamsivar/manager.h"
#include "tamsivarapp/checkupdates.h"
#include "tamsivarapp/formlook.h"
#include "tamsivarapp/modes.h"
#include "tamsivarapp/removeui.h"
#include "tamsivarapp/runoption.h"
#include "tamsivarapp/updateform.h"
#include "tamsivarapp/weblink.h"

namespace {

enum eRow {
  rowCaption = 0,
  rowInstalledPackages = 1,
  rowName = 2,
  rowInstalled = 3,
  rowVersion = 4,
  rowUpdate = 5,
  rowUninstall = 6,
  rowVersionLine = 7,
  rowTimeLine = 8,
  rowPublisher = 9,
  rowSupport = 10,
  rowUpdates = 11,
  rowRefresh = 12,
  rowNothingInstalled = 13,
  rowChecking = 15,
  rowUpdateAvailable = 16,
  rowRemoveManager = 17
};

// What the reader posts to the form: the list is filled, one package's
// answer from the update server, the reader's end.
constexpr int kListRead = 6;
constexpr int kChecked = 100;
constexpr int kJobEnded = 101;
constexpr int kKeyQ = 81;

constexpr unsigned int kPaleText = 0xB9AA9C;
constexpr int kCellPadding = 3;
// What the name column keeps when the others widen.
constexpr int kNameMinWidth = 150;

// One package's answer, handed from the reader to the main thread.
class cCheckedAction : public cChildElement::cChildAction {
 public:
  cCheckedAction(int generation, int row) : cChildAction(kChecked), generation(generation), row(row) {}
  int generation;
  int row;
  unsigned long long newest = kNoVersion;
  _guardchar<char> downloadUrl, webSite, notes;
};

}  // namespace

// ---- the reader job ----

bool cTamsivarForm::cConfigReaderJob::start(cTamsivarForm* form, int generation) {
  if (!form) return false;
  myForm = form;
  myGeneration = generation;
  return cJob::start();
}

int cTamsivarForm::cConfigReaderJob::job() {
  cTamsivarForm& f = *myForm;
  f.myList.clear();
  f.myItems.destroy();
  f.mySmallIcons.destroy();
  f.myRows = 0;
  myIds.clear();
  cCIApplication* app = cCIApplication::appRef();
  if (app && app->config()) app->config()->enumSubsections("install", sectionEnumProc, this);
  // From here on the items are the main thread's: the list is shown while
  // the server is asked.
  f.postAction(new cChildAction(kListRead));
  checkAll();
  return 0;
}

void cTamsivarForm::cConfigReaderJob::checkAll() {
  // One lookup of the server's host for all packages: a slow resolver
  // would otherwise be waited for once per package.
  unsigned char address[4];
  if (myIds.empty() || haveToStop() || !resolveUpdateServer(address, stopFlag())) return;
  for (size_t row = 0; row < myIds.size() && !haveToStop(); ++row) {
    auto* answer = new cCheckedAction(myGeneration, static_cast<int>(row));
    // A server that never answers must not hold a closing window. A version
    // alone, without the lines after it, is still news.
    sUpdateCheck check;
    check.stop = stopFlag();
    check.address = &address;
    checkVersion(myIds[row].c_str(), answer->newest, answer->downloadUrl, answer->webSite, answer->notes,
                 &check);
    if (answer->newest == kNoVersion || haveToStop()) {
      delete answer;
      continue;
    }
    myForm->postAction(answer);
  }
}

void cTamsivarForm::cConfigReaderJob::onJobEnd(unsigned long) { myForm->postAction(new cChildAction(kJobEnded)); }

bool cTamsivarForm::cConfigReaderJob::sectionEnumProc(const char* id, void* self) {
  auto* job = static_cast<cConfigReaderJob*>(self);
  // A window that is closing reads no further package.
  if (job->haveToStop()) return false;
  cTamsivarForm& f = *job->myForm;
  cCIApplication* app = cCIApplication::appRef();
  auto* entry = f.myItems.add();
  sInstalledItem& item = entry->value;
  if (!readInstalledItem(app ? app->config() : nullptr, id, item)) {
    f.myItems.remove(entry);
    return true;
  }
  f.fillRow(f.myRows, item);
  job->myIds.emplace_back(item.id.ptr);
  ++f.myRows;
  return true;
}

// ---- the form ----

void cTamsivarForm::fillRow(int row, sInstalledItem& item) {
  mySmallIcons.refImage(row, &item.smallIcon);
  myList.setItem(row, 1, item.name.ptr ? item.name.ptr : "", row, &item);
  myList.setItem(row, 2, item.installTime.ptr ? item.installTime.ptr : "", -1, nullptr);
  myList.setItem(row, 3, item.versionText.ptr ? item.versionText.ptr : "", -1, nullptr);
  myList.setItem(row, 4, "", -1, nullptr);
}

cTamsivarForm::~cTamsivarForm() {
  myJob.terminate();
  myRunLinks.destroy();
  myItems.destroy();
}

int run_tamsivar() {
  cCiomLangData* section = cLibLang::gCiomLang.sections.find(cStringKey("pkgm::tamsivar", -1));
  cCIApplication* app = cCIApplication::appRef();
  if (!app || !app->windowMaker()) return 1;
  int result;
  do {
    section = cLibLang::gCiomLang.sections.find(cStringKey("pkgm::tamsivar", -1));
    result = app->windowMaker()->modal(section ? section->string(rowCaption) : "", 770, 480,
                                       new cTamsivarForm, nullptr, false);
  } while (result == 10);
  return result;
}

void cTamsivarForm::onConstruct() {
  placeIn(*this, myHeader, 45, 25, 100, 25);
  myHeader.setText(string(rowInstalledPackages), -1, false);
  myHeader.move(45, 25, myHeader.requiredWidth(), 25);
  myHeader.setActivated(true, false);
  myHeader.setAcceptFocus(false);
  placeIn(*this, myLangSwitch, -71, 25, 25, 25);

  placeIn(*this, myListPanel, 45, 70, -91, 180);
  myListPanel.setBgColor(kLookWhite);
  myListPanel.setBorderColor(kLookFrame);
  placeIn(myListPanel, myList, 5, 5, -11, -11);
  myList.setBorderColor(kLookWhite, false);
  placeIn(*this, myStatus, 45, 150, -91, 22);
  myStatus.setColorSchema(kPaleText, kLookWhite, kLookWhite);

  myList.showHeader(true);
  myList.setColumn(1, string(rowName), 310, cCanvas::eAlignLeft);
  myList.setColumnFont(1, mkBtnFont(false));
  myList.setColumnTextColor(1, kLookText, false);
  myList.setColumn(2, string(rowInstalled), 100, cCanvas::eAlignLeft);
  myList.setColumnTextColor(2, kPaleText, false);
  myList.setColumn(3, string(rowVersion), 100, cCanvas::eAlignLeft);
  myList.setColumnTextColor(3, kPaleText, false);
  myList.setColumn(4, "", myList.width() > 530 ? myList.width() - 530 : 10, cCanvas::eAlignLeft);
  myList.setColumnTextColor(4, 0xD4A76C, false);
  // The install time and the update note are never cut short: their
  // columns take the room they need from the name's.
  char sampleTime[32];
  if (unixToStr(0, sampleTime, sizeof sampleTime)) fitColumn(2, sampleTime);
  fitColumn(4, string(rowUpdateAvailable));
  myList.setSpacing(10);
  myList.setTextPadding(kCellPadding, false);
  myList.setFullLineSelect(true, false);
  myList.setFullLineSelectColors(0xF7EEE1, 0xF7EEE1, false);
  // Flat titles on white that only name what is shown: they do not sort.
  for (int id = 1; id <= 4; ++id) {
    cButtonChild* title = myList.header().columnButton(id);
    if (!title) continue;
    title->setBorder(cButtonChild::bsFlatHover, false);
    title->setBgColor(kLookWhite, false);
    title->setBorderColors(cButtonChild::bsHovered, 0xF8F8F8, 0xF8F8F8);
    title->setBorderColors(cButtonChild::bsPressed, 0xF1EBE5, 0xF1EBE5);
    title->setDsbTextColor(kPaleText, false);
    title->disable(false);
  }
  myList.header().setColors(kLookWhite, kLookWhite);
  myList.setImageLists(&mySmallIcons, nullptr, nullptr);

  placeIn(*this, myDetails, 45, 255, -91, -296);
  myDetails.setBgColor(kLookWhite);
  myDetails.setBorderColor(kLookWhite);
  myDetails.attach(&myIcon, 15, 20, 48, 48);
  myIcon.setTransparent(true);
  myDetails.attach(&myTitle, 85, 25, 350, 45);
  myTitle.setFont(mkWizTitleFont());
  myTitle.setColorSchema(kLookText, kLookWhite, kLookWhite);
  myTitle.setTextDispMode(cStaticElement::tdmWrapped);
  myDetails.attach(&myVersion, 85, 70, 200, 20);
  myVersion.setColorSchema(kLookText, kLookWhite, kLookWhite);
  myDetails.attach(&myTime, 85, 90, 200, 20);
  myTime.setColorSchema(kLookText, kLookWhite, kLookWhite);
  for (auto [link, row] : {std::pair{&myPublisher, rowPublisher}, std::pair{&mySupport, rowSupport},
                           std::pair{&myUpdates, rowUpdates}}) {
    myDetails.attach(link, 390, 70, 100, 20);
    styleLink(*link, string(row));
  }
  for (auto [button, row, x] :
       {std::tuple{&myUninstall, rowUninstall, -116}, std::tuple{&myUpdate, rowUpdate, -246}}) {
    placeIn(myDetails, *button, x, 0, 115, 30);
    button->setColorSchema(kLookText, kLookWhite, kLookFrame, kLookHighlight);
    button->setText(string(row), -1, false);
  }

  sSize size{0, 0};
  attach(&myRemoveLink, 45, 0, 10, 10);
  styleLink(myRemoveLink, string(rowRemoveManager));
  myRemoveLink.wantsSize(&size);
  placeIn(*this, myRemoveLink, 45, -40 + (30 - size.cy) / 2, size.cx, size.cy);
  myRemoveLink.hide(false);
  placeIn(*this, myRefresh, -161, -40, 114, 30);
  myRefresh.setColorSchema(kLookWhite, kLookLink, 0xE2A74E, kLookHighlight);
  myRefresh.setText(string(rowRefresh), -1, false);
  refresh();
}

void cTamsivarForm::fitColumn(int id, const char* text) {
  sSize size{0, 0};
  if (!text || !sizeOf(text, size, stdFont())) return;
  // The cell's padding on both sides and the room its text box keeps.
  const int wanted = size.cx + 2 * kCellPadding + 2;
  const int have = myList.header().columnWidth(id), name = myList.header().columnWidth(1);
  if (wanted <= have || name - (wanted - have) < kNameMinWidth) return;
  myList.setColumnWidth(1, name - (wanted - have));
  myList.setColumnWidth(id, wanted);
}

void cTamsivarForm::refresh() {
  myListPanel.hide(false);
  myDetails.hide(false);
  myRemoveLink.hide(false);
  myRefresh.disable(false);
  myHeader.disable(false);
  myLangSwitch.disable(false);
  myList.startChanges();
  myStatus.setText(string(rowChecking), cCanvas::eAlignCenter, false);
  myStatus.show(false);
  myCurrent = nullptr;
  // Their commands belong to the items the reader is about to replace.
  clearRunOptions();
  // Answers still on their way concern the items about to go.
  ++myGeneration;
  if (readerIdle()) {
    startReading();
  } else {
    // The reader still asks the server: it is stopped, and the new reading
    // starts at its end.
    myReadAgain = true;
    myJob.stop();
  }
  repaint(nullptr);
}

void cTamsivarForm::startReading() {
  if (!myJob.start(this, myGeneration)) listRead();
}

void cTamsivarForm::listRead() {
  myList.endChanges(true);
  myRefresh.enable();
  myHeader.enable();
  myLangSwitch.enable();
  if (myPendingEnd >= 0) return;
  if (myItems.head) {
    myStatus.hide(false);
    myListPanel.show(false);
    myDetails.show(false);
    myRemoveLink.hide(false);
    selectItem(&myItems.head->value);
  } else {
    myStatus.setText(string(rowNothingInstalled), cCanvas::eAlignCenter, false);
    myRemoveLink.show(false);
  }
  repaint(nullptr);
}

void cTamsivarForm::applyCheck(cChildAction* a) {
  auto* answer = static_cast<cCheckedAction*>(a);
  if (answer->generation != myGeneration) return;
  auto* item = static_cast<sInstalledItem*>(myList.association(answer->row, 1));
  if (!item) return;
  item->newest = answer->newest;
  std::swap(item->downloadUrl.ptr, answer->downloadUrl.ptr);
  std::swap(item->webSite.ptr, answer->webSite.ptr);
  std::swap(item->notes.ptr, answer->notes.ptr);
  myList.setItem(answer->row, 4, item->hasUpdate() ? string(rowUpdateAvailable) : "", -1, nullptr);
  if (item == myCurrent) showUpdateButton(item);
}

void cTamsivarForm::showUpdateButton(sInstalledItem* item) {
  if (item->hasUpdate())
    myUpdate.show(false);
  else
    myUpdate.hide(false);
  myDetails.repaint(nullptr);
}

void cTamsivarForm::jobEnded() {
  if (myPendingEnd >= 0) {
    end_modal(myPendingEnd);
  } else if (myReadAgain) {
    myReadAgain = false;
    startReading();
  }
}

bool cTamsivarForm::readerIdle() {
  if (myJob.working()) return false;
  // Its end is told, or on its way: only the thread's last steps are left.
  myJob.terminate();
  return true;
}

void cTamsivarForm::endWhenIdle(int result) {
  if (readerIdle()) {
    end_modal(result);
    return;
  }
  // The reader may hold the configuration's lock or wait for the server:
  // it is asked to stop, never cancelled, and the window goes at its end.
  myPendingEnd = result;
  myJob.stop();
}

void cTamsivarForm::selectItem(sInstalledItem* item) {
  if (!item || item == myCurrent) return;
  myCurrent = item;
  // A copy: the item goes with the next reading.
  if (myShownIcon.create(item->bigIcon.raw(), item->bigIcon.width(), item->bigIcon.height(), false))
    myIcon.refPict(&myShownIcon);
  myTitle.setText(item->name.ptr ? item->name.ptr : "", cCanvas::eAlignLeft, false);
  myVersion.setText(formatRow(string(rowVersionLine), item->versionText.ptr).c_str(), cCanvas::eAlignLeft,
                    false);
  myTime.setText(formatRow(string(rowTimeLine), item->installTime.ptr).c_str(), cCanvas::eAlignLeft, false);
  placeRunOptions(item);
  placeLinks(item);
  showUpdateButton(item);
}

void cTamsivarForm::clearRunOptions() {
  for (auto* l = myRunLinks.head; l; l = l->next) myDetails.dettach(&l->value);
  myRunLinks.destroy();
}

void cTamsivarForm::placeRunOptions(sInstalledItem* item) {
  clearRunOptions();
  const int bottom = myDetails.height() - 20;
  if (bottom < 115) return;
  int y = 115;
  for (auto* o = item->runOptions.head; o && y + 20 <= bottom; o = o->next, y += 20) {
    cLinkElement& link = myRunLinks.add()->value;
    myDetails.attach(&link, 85, y, 300, 20);
    styleLink(link, o->value.label.ptr);
    link.setAssociation(o->value.command.ptr);
  }
}

void cTamsivarForm::placeLinks(sInstalledItem* item) {
  int y = 70;
  for (auto [link, url] :
       {std::pair{&myPublisher, &item->publisherUrl}, std::pair{&mySupport, &item->supportUrl},
        std::pair{&myUpdates, &item->updatesUrl}}) {
    if (!url->ptr || !*url->ptr) {
      link->hide(false);
      continue;
    }
    link->move(390, y, myDetails.width() - 290, 20);
    link->show(false);
    y += 20;
  }
}

void cTamsivarForm::updateCurrItem() {
  if (!myCurrent || !myCurrent->hasUpdate()) return;
  cSoftUpdateInfoForm::sUpdateInfoCtx info;
  info.name.set(myCurrent->name.ptr ? myCurrent->name.ptr : "");
  strVer(myCurrent->newest, info.version);
  info.downloadUrl.set(myCurrent->downloadUrl.ptr ? myCurrent->downloadUrl.ptr : "");
  info.webSite.set(myCurrent->webSite.ptr ? myCurrent->webSite.ptr : "");
  info.notes.set(myCurrent->notes.ptr ? myCurrent->notes.ptr : "");
  if (cSoftUpdateInfoForm::installUpdate(info, this) == cSoftUpdateInfoForm::uoStarted) endWhenIdle(0);
}

void cTamsivarForm::uninstallCurrent() {
  if (!myCurrent || !myCurrent->id.ptr || !*myCurrent->id.ptr) return;
  const eCIOMStdLangs applied = cLibLang::appliedLang();
  _guardchar<char> id(myCurrent->id.ptr);
  uninstall(id.ptr, this, [this, &id] { showRecorded(id.ptr); });
  // The uninstaller may have switched to the package's language.
  cLibLang::applyLang(applied);
  refresh();
}

void cTamsivarForm::showRecorded(const char* id) {
  if (!myCurrent || !myCurrent->id.ptr || std::strcmp(myCurrent->id.ptr, id) != 0) return;
  const int row = myList.find(1, myCurrent);
  cCIApplication* app = cCIApplication::appRef();
  auto* now = myItems.add();
  if (row < 0 || !readInstalledItem(app ? app->config() : nullptr, id, now->value)) {
    // Gone: the list is read anew, without it.
    myItems.remove(now);
    refresh();
    return;
  }
  // The row and the details take the record's item; the one read before goes.
  sInstalledItem* before = myCurrent;
  fillRow(row, now->value);
  myCurrent = nullptr;
  selectItem(&now->value);
  for (auto* e = myItems.head; e; e = e->next)
    if (&e->value == before) {
      myItems.remove(e);
      break;
    }
  myList.repaint(nullptr);
}

void cTamsivarForm::onPaint(cCanvas* c) {
  sRect all{0, 0, width(), height()};
  c->drawRect(&all, kLookWhite, kLookWhite);
}

bool cTamsivarForm::onClose() {
  if (readerIdle()) return true;
  endWhenIdle(0);
  return false;
}

bool cTamsivarForm::endsOnKey(int key, bool shift, bool mod2, bool mod3) {
  return key == kKeyQ && mod2 && !shift && !mod3;
}

bool cTamsivarForm::processKey(int key, bool shift, bool mod2, bool mod3) {
  if (endsOnKey(key, shift, mod2, mod3)) {
    // Quits as the close box does, while the packages are read too.
    endWhenIdle(0);
    return true;
  }
  return cChildElement::processKey(key, shift, mod2, mod3);
}

bool cTamsivarForm::onAction(cChildElement* sender, cChildAction* a) {
  if (!a) return false;
  if (sender == this && a->code == kListRead) {
    listRead();
  } else if (sender == this && a->code == kChecked) {
    applyCheck(a);
  } else if (sender == this && a->code == kJobEnded) {
    jobEnded();
  } else if (sender == &myList && a->code == cListViewChild::laSelection) {
    const int row = myList.selected();
    if (row >= 0) selectItem(static_cast<sInstalledItem*>(myList.association(row, 1)));
  } else if ((sender == &myList && a->code == cListViewChild::laActivate) ||
             (sender == &myUpdate && a->code == acDefault)) {
    updateCurrItem();
  } else if (sender == &myUninstall && a->code == acDefault) {
    uninstallCurrent();
  } else if (sender == &myRefresh && a->code == acDefault) {
    refresh();
  } else if (sender == &myPublisher && a->code == acDefault) {
    if (myCurrent) openWebAddress(myCurrent->publisherUrl.ptr);
  } else if (sender == &mySupport && a->code == acDefault) {
    if (myCurrent) openWebAddress(myCurrent->supportUrl.ptr);
  } else if (sender == &myUpdates && a->code == acDefault) {
    if (myCurrent) openWebAddress(myCurrent->updatesUrl.ptr);
  } else if (sender == &myRemoveLink && a->code == acDefault) {
    _guardchar<char> path;
    if (getAppManagerPath(path) && cRemoverUI::runRemoval(path.ptr, this)) endWhenIdle(0);
  } else if (sender == &myLangSwitch && a->code == acChange) {
    endWhenIdle(10);
  } else if (auto* link = dynamic_cast<cLinkElement*>(sender);
             link && a->code == acDefault && link->association()) {
    // Run options were written by the package's author; one whose program
    // does not start is told.
    const std::string why = startRunOption(link->text(), static_cast<const char*>(link->association()),
                                           requestNamedLangResource(kRunOptionSection), shellOpen);
    if (!why.empty()) cMessageForm::errorbox(this, why.c_str(), nullptr);
  } else {
    return cChildElement::onAction(sender, a);
  }
  return true;
}
