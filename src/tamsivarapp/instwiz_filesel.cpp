#include "tamsivarapp/instwiz_filesel.h"

#include <cstdlib>
#include <cstring>

#include "base/folder.h"
#include "ciom/application.h"
#include "ciom/ciomlang.h"
#include "ciom/folderchoosedialog.h"
#include "ciom/messageform.h"
#include "tamsivar/plainpath.h"
#include "tamsivarapp/installinit.h"
#include "tamsivarapp/installjob.h"
#include "tamsivarapp/installrecord.h"
#include "tamsivarapp/keptfiles.h"
#include "tamsivarapp/instwiz_art.h"
#include "tamsivarapp/textfill.h"

namespace {

constexpr unsigned int kWhite = 0xFFFFFF;
constexpr unsigned int kTextColor = 0x655654;
constexpr unsigned int kNameColor = 0x8E5535;
constexpr unsigned int kFieldBorder = 0x9B6D18;
constexpr long long kMaxPathChars = 32768;
constexpr unsigned long long kMiB = 1048576;
constexpr unsigned int kSizeBlock = 65536;
constexpr int kButtonClick = 0;

// The row of the page's texts that tells why a target cannot be used.
int messageFor(int initCode) {
  switch (initCode) {
    case iiUnreadableFile:
      return 11;
    case iiForeignFile:
      return 8;
    case iiSpecialObject:
      return 9;
    case iiNoWriteRight:
      return 10;
    case iiUnusableTarget:
      return 7;
    default:
      return -1;
  }
}

// One plain folder name: no separator and not a step up or in place.
bool plainName(const char* s) {
  return s && *s && !std::strchr(s, '/') && std::strcmp(s, ".") != 0 && std::strcmp(s, "..") != 0;
}

}  // namespace

cFileSelectPanel::tChooser cFileSelectPanel::chooseFolder = cFolderChooseDialog::choose;
bool (*cFileSelectPanel::volInfo)(const char*, unsigned long long&, unsigned long long&) =
    cFolderContents::getVolInfo;
cPicture cFileSelectPanel::myPictFolder;

std::string cFileSelectPanel::defaultFolder(sPkgInstallContext* ctx) {
  const char* home = std::getenv("HOME");
  std::string folder = std::string(home && *home ? home : "") + "/Applications";
  const char* name = ctx && ctx->scenario ? ctx->scenario->getStr("folder") : nullptr;
  if (plainName(name)) folder += std::string("/") + name;
  return folder;
}

void cFileSelectPanel::onInitData() {
  cChildElement::onInitData();
  if (!myPictFolder.raw())
    myPictFolder.create(reinterpret_cast<const unsigned int*>(myPictFolder_data), kFolderPictW, kFolderPictH, false);
  attach(&myField, 20, 70, width() - 130, 26);
  myField.setReadonly(true);
  myField.setMaxLen(kMaxPathChars);
  myField.resetColors(kWhite, kTextColor, kFieldBorder);
  myField.setStdFont(mkBtnPassFont());
  attach(&myBrowse, width() - 100, 70, 80, 26);
  const char* label = string(0);
  myBrowse.setText(label ? label : "", -1, false);
  if (!chooseFolder) myBrowse.disable(false);
  // Over the hint, which gives way to it while the check runs.
  attach(&myCheck, 0, 130, width(), 110);
}

int cFileSelectPanel::cCheckPanel::job() {
  return compareFiles(*context, [this](double percent) { return notifyProgress(percent); });
}

void cFileSelectPanel::init(sPkgInstallContext* ctx) {
  myContext = ctx;
  if (!ctx || !ctx->scenario) {
    myContext = nullptr;
    myField.setText("", 0);
    myField.disable(true);
    return;
  }
  myField.enable();
  const char* pgm = ctx->scenario->getStr("pgm");
  myField.setText(pgm && *pgm ? pgm : defaultFolder(ctx).c_str(), -1);
  repaint(nullptr);
}

bool cFileSelectPanel::takeFolder(const char* path) {
  if (!path || !*path) return false;
  unsigned long long total = 0, available = 0;
  if (!volInfo(path, total, available)) {
    cMessageForm::errorbox(this, string(12), nullptr);
    return false;
  }
  if (myContext && myContext->scenario && available < myContext->scenario->requiresSize(kSizeBlock)) {
    cMessageForm::errorbox(this, string(13), nullptr);
    return false;
  }
  myField.setText(path, -1);
  return true;
}

void cFileSelectPanel::browse() {
  if (!chooseFolder) return;
  const char* now = myField.text();
  _guardchar<char> path(now ? now : "");
  if (chooseFolder(this, string(1), path)) takeFolder(path.ptr);
}

bool cFileSelectPanel::accept() {
  if (!myContext || !myContext->scenario || checking()) return false;
  const char* folder = myField.text();
  if (!folder || !*folder) {
    myField.focus();
    return false;
  }
  // No record can be kept beside a home that is no path from the root:
  // told here, in the words of the failed run, before any file is made.
  _guardchar<char> home;
  if (cFolderContents::getHome(home) && home.ptr && home.ptr[0] != '/') {
    cCIApplication* app = cCIApplication::appRef();
    const std::string where = storeTrouble(app ? app->config() : nullptr, 0);
    cCiomLangData* fin = requestNamedLangResource("pkgm::fin");
    const char* text = fin ? fin->string(irRecordUnsaved + 1) : nullptr;
    const std::string reason = storeTroubleText(where, requestNamedLangResource(kKeptReasonsSection));
    cMessageForm::errorbox(this, fillText(text ? text : "%s", reason.c_str()).c_str(), nullptr);
    return false;
  }
  // A check that was dropped may still be finishing its last target, and
  // its end may still be queued: both are over before the context changes.
  myCheck.terminate();
  processActionFirst(&myCheck);
  // A ".." in the folder is settled before anything is recorded under it,
  // so that every later run reaches the same folder.
  if (!myContext->scenario->setStr(-1, "pgm", settledPath(folder).c_str())) return false;
  myCheck.context = myContext;
  myCheck.show(false);
  myBrowse.disable(true);
  repaint(nullptr);
  // Without a thread of its own the check still answers, on this one.
  if (!myCheck.start()) onCheckEnd(compareFiles(*myContext));
  return true;
}

void cFileSelectPanel::cancelCheck() {
  if (!checking()) return;
  myCheck.stop();
  myCheck.hide(false);
  if (chooseFolder) myBrowse.enable();
  repaint(nullptr);
}

void cFileSelectPanel::onCheckEnd(int code) {
  if (!checking()) return;  // dropped before it ended
  cancelCheck();
  // No file for this system and language: nothing stands in the way. The
  // same walk as the init job's for an upgrade, it also marked the targets
  // that already hold the package's bytes.
  if (code == iiReady || (code == iiBadPackage && !myContext->files.head)) {
    notifyAction(new cChildAction(kAccepted));
    return;
  }
  const int row = messageFor(code);
  const std::string path = visibleText(myContext->problemPath.ptr ? myContext->problemPath.ptr : "");
  if (row >= 0) cMessageForm::errorbox(this, fillText(string(row), path.c_str()).c_str(), nullptr);
}

std::string cFileSelectPanel::sizeLine() {
  if (!myContext || !myContext->scenario) return "";
  const unsigned long long r = myContext->scenario->requiresSize(kSizeBlock);
  const char* base = string(3);
  if (r < kMiB) return fillText(base, string(4));
  return fillText(base, fillNumber(string(5), static_cast<long long>((r + kMiB - 1) / kMiB)).c_str());
}

void cFileSelectPanel::onPaint(cCanvas* c) {
  sRect all{0, 0, width(), height()};
  c->drawRect(&all, kWhite, kWhite);
  sPoint at{20, 20};
  if (myPictFolder.raw()) c->drawTransparent(&at, &myPictFolder, nullptr);
  if (!myContext || !myContext->scenario) return;
  sSize drawn;
  if (const char* name = myContext->scenario->getStr("name")) {
    if (cFontObject* f = mkBtnPassFont()) f->apply(c);
    c->setTextColors(kNameColor, kWhite);
    c->drawTextWrapped(60, 25, width() - 80, 44, cCanvas::eAlignJustify, fillText(string(2), name).c_str(), drawn,
                       false, 1.2);
  }
  if (cFontObject* f = mkStdFont()) f->apply(c);
  c->setTextColors(kTextColor, kWhite);
  const std::string size = sizeLine();
  c->drawTextLimited(20, 110, width() - 40, 18, cCanvas::eAlignLeft, false, 0, 0, size.c_str(), -1, nullptr, false);
  if (checking()) return;
  const char* hint = string(6);
  c->drawTextWrapped(20, 140, width() - 40, height() - 100, cCanvas::eAlignJustify, hint ? hint : "", drawn, false,
                     1.2);
}

bool cFileSelectPanel::onAction(cChildElement* sender, cChildAction* a) {
  if (sender == &myCheck && a && a->code == cJobPanel::kJobEnded) {
    onCheckEnd(static_cast<cJobPanel::cJobEndAction*>(a)->endCode);
    return true;
  }
  if (sender == &myBrowse && a && a->code == kButtonClick) browse();
  return cChildElement::onAction(sender, a);
}
