#include "tamsivarapp/updateform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>

#include "base/stringkey.h"
#include "ciom/application.h"
#include "ciom/filechoosedialog.h"
#include "ciom/liblang.h"
#include "ciom/messageform.h"
#include "ciom/windowmaker.h"
#include "tamsivarapp/checkupdates.h"
#include "tamsivarapp/formlook.h"
#include "tamsivarapp/installfiles.h"
#include "tamsivarapp/savetarget.h"
#include "tamsivarapp/updatedownload.h"
#include "tamsivarapp/weblink.h"

namespace {

enum eRow {
  rowCaption = 0,
  rowTitle = 1,
  rowWhatIsNew = 2,
  rowInstall = 3,
  rowNotNow = 4,
  rowSaveAs = 5,
  rowAllFiles = 6,
  rowCannotCreate = 7,
  rowRetry = 8,
  rowCannotStart = 9,
  rowSite = 10,
  rowDownload = 11,
  rowOverwrite = 12,
  rowDownloading = 13,
  rowServerError = 14,
  rowCannotWrite = 15,
  rowHttpOnly = 16
};

}  // namespace

cSoftUpdateInfoForm::eOutcome cSoftUpdateInfoForm::installUpdate(sUpdateInfoCtx& information,
                                                                   cChildElement* parent) {
  cCiomLangData* section = cLibLang::gCiomLang.sections.find(cStringKey("pkgm::updi", -1));
  const char* caption = section ? section->string(rowCaption) : "";
  auto* form = new cSoftUpdateInfoForm(&information);
  int result = uoFailed;
  if (parent) {
    result = parent->modal(caption, 500, 450, form, false);
  } else if (cCIApplication* app = cCIApplication::appRef(); app && app->windowMaker()) {
    result = app->windowMaker()->modal(caption, 500, 450, form, nullptr, false);
  } else {
    delete form;
  }
  return result == uoStarted || result == uoDeclined ? static_cast<eOutcome>(result) : uoFailed;
}

void cSoftUpdateInfoForm::onConstruct() {
  cCustomForm::onConstruct();
  cChildElement& area = *clientArea();
  placeIn(area, myTitle, 10, 0, -21, 45);
  myTitle.setFont(mkWizTitleFont());
  myTitle.setColorSchema(kLookText, kLookWhite, kLookWhite);
  myTitle.setTextDispMode(cStaticElement::tdmWrapped);
  myTitle.setText(formatRow(string(rowTitle), myInfo->name.ptr).c_str(), cCanvas::eAlignLeft, false);

  placeIn(area, myNotes, 10, 50, -21, -151);
  myNotes.setColorSchema(kLookFrame, kLookWhite, kLookText);
  myNotes.setExtraTitleSpacing(10);
  myNotes.setText(formatRow(string(rowWhatIsNew), myInfo->version.ptr).c_str(),
                  notesForDisplay(myInfo->notes.ptr).c_str());

  for (auto [link, row, y] :
       {std::tuple{&mySiteLink, rowSite, -91}, std::tuple{&myDownloadLink, rowDownload, -71}}) {
    placeIn(area, *link, 10, y, -21, 20);
    styleLink(*link, string(row));
  }
  for (auto [button, row, x] :
       {std::tuple{&myInstall, rowInstall, -256}, std::tuple{&myNotNow, rowNotNow, -126}}) {
    placeIn(area, *button, x, -33, 115, 25);
    button->setColorSchema(kLookText, kLookWhite, kLookFrame, kLookHighlight);
    button->setText(string(row), -1, false);
  }
}

bool cSoftUpdateInfoForm::onFormCancel() {
  decline();
  return true;
}

// The close box declines too; the window's own end would say 0 whatever
// happened before it.
bool cSoftUpdateInfoForm::onClose() {
  decline();
  return false;
}

bool cSoftUpdateInfoForm::fail(int row, const char* value, const sUpdateCheck* why,
                               const std::string& cause) {
  myFailed = true;
  std::string text = value ? formatRow(string(row), value) : std::string(string(row) ? string(row) : "");
  if (why) text.append("\n").append(updateFaultLine(myInfo->downloadUrl.ptr, *why));
  if (!cause.empty()) text.append("\n").append(cause);
  cMessageForm::errorbox(this, text.c_str(), nullptr);
  return false;
}

bool cSoftUpdateInfoForm::onAction(cChildElement* sender, cChildAction* a) {
  if (!a || a->code != acDefault) return cCustomForm::onAction(sender, a);
  if (sender == &mySiteLink) {
    openWebAddress(myInfo->webSite.ptr);
  } else if (sender == &myDownloadLink) {
    openWebAddress(myInfo->downloadUrl.ptr);
  } else if (sender == &myNotNow) {
    decline();
  } else if (sender == &myInstall) {
    accept();
  } else {
    return cCustomForm::onAction(sender, a);
  }
  return true;
}

void cSoftUpdateInfoForm::accept() {
  const char* url = myInfo->downloadUrl.ptr;
  if (!downloadable(url)) {
    fail(rowHttpOnly, url ? url : "");
    return;
  }
  const char* slash = std::strrchr(url, '/');
  cCIApplication* app = cCIApplication::appRef();
  cApplicationConfig* config = app ? app->config() : nullptr;
  _guardchar<char> folder;
  if (config) config->getParamStr("installer/temp", folder);
  _guardchar<char> path;
  if (!chooseTarget(slash + 1, folder.ptr, path) || !path.ptr || !*path.ptr) return;
  if (const char* last = std::strrchr(path.ptr, '/'); last && config) {
    config->setParamStr("installer/temp", path.ptr, last - path.ptr);
    config->saveConfig();
  }
  if (installTo(path.ptr)) end_modal(uoStarted);
}

bool cSoftUpdateInfoForm::chooseTarget(const char* proposed, const char* folder, _guardchar<char>& path) {
  cFileChooseDialog::sFileChooseInfo info;
  info.file.set(proposed);
  if (folder && *folder) info.folder.set(folder);
  info.filters.set(1);
  info.filters[0].name.set(string(rowAllFiles));
  info.filters[0].pattern.set("*");
  if (!cFileChooseDialog::save(this, string(rowSaveAs), info) || !info.file.ptr || !*info.file.ptr)
    return false;
  path.set(info.file.ptr);
  return true;
}

bool cSoftUpdateInfoForm::installTo(const char* path) {
  // Whatever stands at the name is asked about, a link that leads nowhere
  // included, as the rename below replaces it.
  if (exists(path) && !cMessageForm::warnconfirmbox(this, string(rowOverwrite), nullptr)) {
    return false;
  }
  cSaveTarget temp;
  // A name too long for its file system is refused before the download:
  // the user hears which name and why.
  if (!temp.create(path))
    return fail(rowCannotCreate, nullptr, nullptr, std::string(path) + ": " + std::strerror(errno));
  sUpdateCheck why;
  switch (download(temp.file, why)) {
    case cUpdateDownloader::drDone:
      break;
    case cUpdateDownloader::drRefused:
      return fail(rowServerError, nullptr, &why);
    case cUpdateDownloader::drWriteFailed:
      return fail(rowCannotWrite);
    case cUpdateDownloader::drNotHttp:
      return fail(rowHttpOnly, myInfo->downloadUrl.ptr);
    case cUpdateDownloader::drBroken:
      // The user gave up retrying: no message, but no download either.
      myFailed = true;
      return false;
    case cUpdateDownloader::drCancelled:
      return false;
    default:
      return fail(rowCannotStart);
  }
  if (!temp.moveTo()) return fail(rowCannotWrite);
  _guardchar<char> installer;
  std::string notMade;
  if (!unpackUpdate(path, installer, &why.fault, &notMade) || !startUpdateInstaller(installer.ptr, &why.fault))
    return fail(rowCannotStart, nullptr, &why, notMade);
  return true;
}

int cSoftUpdateInfoForm::download(cFileIO& temp, sUpdateCheck& why) {
  for (;;) {
    // Each attempt writes the file from its start.
    if (!temp.set_fp(0) || !temp.set_eof(0)) return cUpdateDownloader::drWriteFailed;
    why = sUpdateCheck();
    const int code = cStdBasicProgressForm::runUIJob(
        this, new cUpdateDownloader(&temp, myInfo->downloadUrl.ptr, &why), string(rowDownloading));
    if (code != cUpdateDownloader::drBroken) return code;
    std::string ask = string(rowRetry) ? string(rowRetry) : "";
    ask.append("\n").append(updateFaultLine(myInfo->downloadUrl.ptr, why));
    if (!cMessageForm::warnconfirmbox(this, ask.c_str(), nullptr)) return code;
  }
}
