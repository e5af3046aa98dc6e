#include "tamsivarapp/instwiz.h"

#include "base/memio.h"
#include "base/stringkey.h"
#include "ciom/application.h"
#include "ciom/liblang.h"
#include "ciom/messageform.h"
#include "ciom/windowmaker.h"
#include "picts/pictpng.h"
#include "tamsivarapp/installjob.h"
#include "tamsivarapp/instwiz_art.h"
#include "tamsivarapp/textfill.h"

namespace {

constexpr unsigned int kWhite = 0xFFFFFF;
constexpr unsigned int kTextColor = 0x655654;
constexpr unsigned int kPassColor = 0xA19795;
constexpr unsigned int kHeadingColor = 0x383231;
constexpr unsigned int kPanelColor = 0xE7E7E7;
constexpr int kPageX = 200, kPageY = 72, kPageW = 410, kPageH = 290;
constexpr int kDoneMark = 20, kCurrentMark = 21;
constexpr int kClick = 0;

// Texts of the wizard's section.
enum : int {
  tCaption = 0,
  tNext = 1,
  tClose = 14,
  tCloseQuestion = 15,
  tReadmeAccept = 16,
  tLicenceAccept = 17,
  tKeepAll = 20,
  tKeepSome = 21,
  tPartialRemoval = 22,
  tNothingToRemove = 23,
  tAbort = 24,
  tBusyFile = 25,
};

// As the uninstaller's, the status tells a success that left files of the
// previous version behind from one that left nothing.
int exitStatus(const sPkgInstallContext* ctx) { return ctx && ctx->result == irOk && ctx->kept.empty() ? 0 : 1; }

// The side-panel label and the heading of each kind of step.
constexpr struct {
  int label, heading;
} kStepTexts[] = {{2, 8}, {3, 9}, {4, 10}, {18, 19}, {5, 11}, {6, 12}, {7, 13}};

// A job posts its end just before its thread ends: the answer waits for the
// thread (bounded), so that the step change is not refused as if the job
// still ran.
void waitForEnd(cJob& job) {
  for (int waited = 0; job.runs() && waited < cInstWizard::kJobEndWaitMs; waited += 5) cJob::sleep(5);
}

}  // namespace

cPicture cInstWizard::myPictBg;
cPicturesList cInstWizard::myPictPoints;

bool cInstWizard::loadPictures() {
  if (!myPictBg.raw()) {
    cPictPNG png;
    cBufWrapperIO io(const_cast<unsigned char*>(instwiz_bg), instwiz_bg_size, false);
    if (!png.decode(&io) || !png.raw8Bpp()) return false;
    // The decoder keeps its rows bottom-up.
    if (!myPictBg.create(png.raw8Bpp(), static_cast<int>(png.width()), static_cast<int>(png.height()), true))
      return false;
  }
  if (!myPictPoints.image(1)) {
    const struct {
      int id;
      const unsigned char* pixels;
    } marks[] = {{1, instwiz_step_1}, {2, instwiz_step_2}, {3, instwiz_step_3},
                 {4, instwiz_step_4}, {5, instwiz_step_5}, {6, instwiz_step_6},
                 {7, instwiz_step_7}, {kDoneMark, instwiz_step_done}, {kCurrentMark, instwiz_step_curr}};
    for (const auto& m : marks)
      myPictPoints.storeImage(m.id, reinterpret_cast<const unsigned int*>(m.pixels), kStepMarkW, kStepMarkH, false);
  }
  return true;
}

int cInstWizard::runWizard(sPkgInstallContext& ctx) {
  if (!loadPictures()) return 1;
  cCIApplication* app = cCIApplication::appRef();
  if (!app || !app->windowMaker()) return 1;
  const char* name = ctx.scenario ? ctx.scenario->getStr("name") : nullptr;
  cCiomLangData* section = cLibLang::gCiomLang.sections.find(cStringKey("pkgm::instw", -1));
  const char* format = section ? section->string(tCaption) : nullptr;
  const std::string caption = format && name ? fillText(format, name) : (name ? name : "");
  int outcome = 1;
  app->windowMaker()->modal(caption.c_str(), myPictBg.width(), myPictBg.height(), new cInstWizard(&ctx, &outcome),
                            nullptr, false);
  return outcome;
}

cInstWizard::~cInstWizard() {
  myUninstaller.terminate();
  myInstaller.terminate();
}

void cInstWizard::addStep(int kind, int label, int heading) {
  sStep& s = mySteps[myNumSteps++];
  s.kind = kind;
  s.label = label;
  s.heading = heading;
}

void cInstWizard::attachPage(cChildElement* page) {
  attach(page, kPageX, kPageY, kPageW, kPageH);
  page->hide(false);
}

void cInstWizard::attachAcceptBox(cCheckBoxChild& box, int text) {
  // Attached first so that it measures in the window's fonts.
  attach(&box, 1, 1, 1, 18);
  box.setText(string(text), cCanvas::eAlignLeft, false);
  sSize wanted;
  if (!box.wantsSize(&wanted)) wanted = {kPageW, 18};
  box.move(193, 369, wanted.cx, wanted.cy);
  box.setTransparent(true);
  box.setTextColor(kTextColor);
  box.hide(false);
}

void cInstWizard::onConstruct() {
  cChildElement::onConstruct();
  loadPictures();
  anchor(&myNext, -126, -52, 100, 26);
  cSoftPkgScenario* scen = myContext ? myContext->scenario : nullptr;
  auto add = [this](int kind) { addStep(kind, kStepTexts[kind].label, kStepTexts[kind].heading); };
  if (scen && scen->welcome()) {
    add(skWelcome);
    attachPage(&myWelcome);
  }
  if (scen && scen->readme()) {
    add(skReadme);
    attachPage(&myReadme);
    attachAcceptBox(myReadmeAccept, tReadmeAccept);
  }
  if (scen && scen->eula()) {
    add(skLicence);
    attachPage(&myLicence);
    attachAcceptBox(myLicenceAccept, tLicenceAccept);
  }
  if (myContext && myContext->removals.head) {
    add(skDeprecated);
    attach(&myDeprecated, 210, 82, 390, 270);
    myDeprecated.showHeader(false);
    myDeprecated.setColumn(1, "", myDeprecated.width() - 25, cCanvas::eAlignLeft);
    myDeprecated.setCheckMode(true);
    myDeprecated.setBorderColor(kWhite, false);
    myDeprecated.setColumnFont(1, mkBtnPassFont());
    myDeprecated.setColumnTextColor(1, kTextColor, false);
    myDeprecated.setText(string(tNothingToRemove), -1, false);
    myDeprecated.hide(false);
    attachPage(&myUninstaller);
  }
  // Only a previous installation chooses the folder; whatever else set the
  // folder's variable does not.
  if (scen && !(myContext && myContext->installedFolder.ptr && *myContext->installedFolder.ptr)) {
    add(skTarget);
    attachPage(&myTarget);
  }
  add(skInstall);
  attachPage(&myInstaller);
  add(skFinish);
  attachPage(&myFinish);

  myTitleFont = mkWizTitleFont();
  myCurrentFont = mkBtnFont(false);
  myOtherFont = mkBtnPassFont();
  mySideLeft = kSideLeft;
  mySideTop = kSideTop;
  mySideBottom = myNumSteps * kSideRow + kSideTop;
  myPressed = -1;
  for (int i = 0; i < myNumSteps; ++i) {
    sSize size;
    const char* label = string(mySteps[i].label);
    if (!label || !sizeOf(label, size, myOtherFont)) size.cx = 0;
    mySteps[i].right = kSideLeft + size.cx + 25;
  }
  myCurrent = -1;
  setStep(0);
}

void cInstWizard::hidePages() {
  cChildElement* pages[] = {&myWelcome, &myReadme,  &myReadmeAccept, &myLicence,   &myLicenceAccept,
                            &myDeprecated, &myUninstaller, &myTarget, &myInstaller, &myFinish};
  for (cChildElement* p : pages) p->hide(false);
}

bool cInstWizard::showStep(int i) {
  cSoftPkgScenario* scen = myContext->scenario;
  switch (mySteps[i].kind) {
    case skWelcome:
      myWelcome.refSiDoc(scen->welcome(), kWhite);
      myWelcome.show(false);
      // The document is what the page is for: Page Down, Home and End
      // scroll it without a click first, and Tab goes on to the accept box.
      myWelcome.focus();
      break;
    case skReadme:
      myReadme.refSiDoc(scen->readme(), kWhite);
      myReadme.show(false);
      myReadme.focus();
      if (scen->readme_needs_accept()) {
        myReadmeAccept.setChecked(false, false);
        myReadmeAccept.show(false);
        myNext.disable(false);
      }
      break;
    case skLicence:
      myLicence.refSiDoc(scen->eula(), kWhite);
      myLicence.show(false);
      myLicence.focus();
      myLicenceAccept.setChecked(false, false);
      myLicenceAccept.show(false);
      myNext.disable(false);
      break;
    case skDeprecated:
      fillDeprecated();
      myDeprecated.show(false);
      break;
    case skTarget:
      myTarget.init(myContext);
      myTarget.show(false);
      break;
    case skInstall:
      if (!myInstaller.startInstall(myContext)) {
        // The finish page then tells of a failure, never of a success.
        if (myContext) myContext->fail(irCannotApply, nullptr);
        return false;
      }
      myNext.disable(false);
      myInstaller.show(false);
      break;
    case skFinish:
      myFinish.init(myContext);
      myFinish.show(false);
      break;
  }
  return true;
}

void cInstWizard::setStep(int i) {
  if (jobRuns()) return;
  myTarget.cancelCheck();
  while (i != myCurrent && i >= 0 && i < myNumSteps) {
    const bool last = mySteps[i].kind == skFinish;
    const char* label = string(last ? tClose : tNext);
    myNext.setText(label ? label : "", -1, true);
    hidePages();
    myNext.enable();
    if (showStep(i)) {
      myCurrent = i;
      break;
    }
    // The installation could not start: its outcome is the finish page's.
    if (myUninstaller.runs()) return;
    ++i;
  }
  repaint(nullptr);
}

void cInstWizard::fillDeprecated() {
  myDeprecated.clear();
  int row = 0;
  for (auto* p = myContext->removals.head; p; p = p->next, ++row) {
    myDeprecated.setItem(row, 1, p->value.name.ptr ? p->value.name.ptr : "", -1, &p->value);
    myDeprecated.setChecked(row, true, false);
  }
}

void cInstWizard::startRemoval() {
  myDeprecated.hide(false);
  // The rows point into the context's list, which the removal shortens.
  myDeprecated.clear();
  if (myUninstaller.startRemoval(myContext->removals)) {
    myUninstaller.show(false);
    myNext.disable(true);
  } else {
    setStep(myCurrent + 1);
  }
}

void cInstWizard::acceptDeprecated() {
  bool anyChecked = false, anyUnchecked = false;
  for (int row = 0; myDeprecated.association(row, 1); ++row) {
    auto* pkg = static_cast<sPackageForRemoval*>(myDeprecated.association(row, 1));
    // What the user unchecked is kept, as the question promises.
    pkg->selected = myDeprecated.checked(row) ? 1 : 0;
    (pkg->selected ? anyChecked : anyUnchecked) = true;
  }
  if (!anyChecked && !anyUnchecked) {
    setStep(myCurrent + 1);
    return;
  }
  if (!anyChecked) {
    if (cMessageForm::warnconfirmbox(this, string(tKeepAll), nullptr)) {
      setStep(myCurrent + 1);
      return;
    }
    // "No" to keeping them all removes them all.
    for (auto* p = myContext->removals.head; p; p = p->next) p->value.selected = 1;
  } else if (anyUnchecked && !cMessageForm::warnconfirmbox(this, string(tKeepSome), nullptr)) {
    return;
  }
  startRemoval();
}

void cInstWizard::finish() {
  // The package is installed whatever its programs do: a run option that
  // did not start is told, and the status stays that of the installation.
  const std::string notStarted = myFinish.finalize();
  if (!notStarted.empty()) cMessageForm::errorbox(this, notStarted.c_str(), nullptr);
  const int status = exitStatus(myContext);
  if (myOutcome) *myOutcome = status;
  end_modal(status);
}

void cInstWizard::onFormAccept() {
  if (jobRuns() || myCurrent < 0) return;
  switch (mySteps[myCurrent].kind) {
    case skWelcome:
      setStep(myCurrent + 1);
      break;
    case skReadme:
      if (!myContext->scenario->readme_needs_accept() || myReadmeAccept.checked()) setStep(myCurrent + 1);
      break;
    case skLicence:
      if (myLicenceAccept.checked()) setStep(myCurrent + 1);
      break;
    case skDeprecated:
      acceptDeprecated();
      break;
    case skTarget:
      // The check's end goes on (kAccepted) or keeps the page; a second
      // "Next" while it runs is refused by the page.
      myTarget.accept();
      break;
    case skFinish:
      finish();
      break;
    default:
      break;
  }
}

void cInstWizard::onFormCancel() {
  if (myTarget.checking()) {
    myTarget.cancelCheck();
    return;
  }
  if (!myInstaller.runs()) return;
  // The copy waits for the answer: an abort the user confirms is never
  // overtaken by the end of the installation.
  myInstaller.hold();
  if (cMessageForm::warnconfirmbox(this, string(tAbort), nullptr)) myInstaller.stop();
  myInstaller.release();
}

bool cInstWizard::onClose() {
  if (jobRuns()) return false;
  // A check that passed while the question is open would start the
  // installation under it.
  myTarget.cancelCheck();
  if (currentKind() == skFinish) {
    if (myOutcome) *myOutcome = exitStatus(myContext);
    return true;
  }
  return cMessageForm::confirmbox(this, string(tCloseQuestion), nullptr);
}

void cInstWizard::onRemovalEnd() {
  waitForEnd(myUninstaller);
  bool failed = false;
  for (auto* p = myContext->removals.head; p; p = p->next) failed = failed || (p->value.selected && p->value.result);
  if (failed && !cMessageForm::warnconfirmbox(this, string(tPartialRemoval), nullptr)) --myCurrent;
  setStep(myCurrent + 1);
}

bool cInstWizard::onAction(cChildElement* sender, cChildAction* a) {
  if (!a) return cChildElement::onAction(sender, a);
  if (a->code == kClick && (sender == &myReadmeAccept || sender == &myLicenceAccept)) {
    if (static_cast<cCheckBoxChild*>(sender)->checked()) {
      myNext.enable();
    } else {
      myNext.disable(true);
    }
    return true;
  }
  if (a->code == kClick && sender == &myNext) {
    onFormAccept();
    return true;
  }
  if (a->code == cFileSelectPanel::kAccepted && sender == &myTarget) {
    if (currentKind() == skTarget) setStep(myCurrent + 1);
    return true;
  }
  if (a->code == cJobPanel::kJobEnded && sender == &myUninstaller) {
    onRemovalEnd();
    return true;
  }
  if (a->code == cJobPanel::kJobEnded && sender == &myInstaller) {
    waitForEnd(myInstaller);
    setStep(myCurrent + 1);
    return true;
  }
  if (a->code == cInstallerJobPanel::kAskRelease && sender == this) {
    auto* ask = static_cast<cInstallerJobPanel::cAskReleaseAction*>(a);
    if (!ask->giveUp) return true;
    if (!ask->path.ptr) {
      *ask->giveUp = true;
      return true;
    }
    const std::string path = visibleText(ask->path.ptr);
    *ask->giveUp =
        !cMessageForm::warnconfirmbox(this, fillText(string(tBusyFile), path.c_str()).c_str(), nullptr);
    return true;
  }
  return cChildElement::onAction(sender, a);
}

void cInstWizard::onPaint(cCanvas* c) {
  if (myPictBg.raw()) c->drawBitmap(0, 0, &myPictBg, -1, -1);
  if (myCurrent < 0) return;
  if (myTitleFont) myTitleFont->apply(c);
  c->setTextColors(kHeadingColor, kPanelColor);
  const char* heading = string(mySteps[myCurrent].heading);
  c->drawTextLimited(195, 25, width() - 220, 25, cCanvas::eAlignLeft, true, 0, 0, heading ? heading : "", -1,
                     nullptr, false);
  for (int i = 0; i < myNumSteps; ++i) {
    const int y = kSideTop + kSideRow * i;
    int mark = i + 1;
    cFontObject* font = myOtherFont;
    unsigned int colour = kPassColor;
    if (i < myCurrent) {
      mark = kDoneMark;
    } else if (i == myCurrent) {
      mark = kCurrentMark;
      font = myCurrentFont;
      colour = kTextColor;
    }
    sPoint at{kSideLeft, y};
    if (cPicture* p = myPictPoints.image(mark)) c->drawTransparent(&at, p, nullptr);
    if (font) font->apply(c);
    c->setTextColors(colour, kPanelColor);
    const char* label = string(mySteps[i].label);
    c->drawTextLimited(kLabelX, y, kLabelW, 14, cCanvas::eAlignLeft, true, 0, 0, label ? label : "", -1, nullptr, false);
  }
}

bool cInstWizard::onBackgroundRequest(cCanvas* c, sRect* r) {
  if (!c || !r || !myPictBg.raw()) return false;
  return c->drawBitmap(-r->x, -r->y, &myPictBg, -1, -1);
}

int cInstWizard::active(int x, int y) {
  if (myCurrent < 0 || mySteps[myCurrent].kind == skFinish) return -1;
  if (x < mySideLeft || y < mySideTop || y >= mySideBottom) return -1;
  const int i = (y - mySideTop) / kSideRow;
  if (i >= myCurrent || x >= mySteps[i].right || mySteps[i].kind == skInstall) return -1;
  return i;
}

void cInstWizard::onMouseButton(int x, int y, int button, bool pressed) {
  if (button != mbLeft) return;
  if (pressed) {
    myPressed = active(x, y);
    if (myPressed >= 0) capturePointer(false);
    return;
  }
  if (myPressed < 0) return;
  releasePointer();
  const int was = myPressed;
  myPressed = -1;
  if (active(x, y) == was) setStep(was);
}

void cInstWizard::onMouseMoving(int x, int y) {
  changePointerReq(active(x, y) >= 0 && !jobRuns() ? mptHand : mptArrow);
}

bool cInstWizard::processKey(int key, bool shift, bool ctrl, bool alt) {
  if (!shift && !ctrl && !alt && (key == kcEnter || key == kcEscape)) {
    if (key == kcEnter) {
      onFormAccept();
    } else {
      onFormCancel();
    }
    return true;
  }
  return cChildElement::processKey(key, shift, ctrl, alt);
}
