#include "ciom/progressform.h"

#include <cmath>

#include "ciom/themeuse.h"

namespace {

enum { txStop = 0, txStarting = 1, txWithPercent = 2, txOperation = 3, txWithoutPercent = 4 };
constexpr int kStopPicture = 78;
constexpr int kBarHeight = 18;
constexpr int kFormWidth = 600, kFormHeight = 106;

}  // namespace

cPicturesList cStdBasicProgressForm::myToolImages;
cPicturesList cStdBasicProgressChild::myToolImages;

// ---- the fake job ----

int cUnknownProgressFakeJob::job() {
  myT = 0;
  while (!haveToStop() && sink) {
    for (int i = 0; i < 80; ++i) {
      sleep(5);
      if (haveToStop()) return 0;
    }
    sink->notifyProgress(0.6366197723675814 * std::atan(myT.load()) * 100);
    myT = myT.load() + 0.1;
  }
  return 0;
}

// ---- shared parts ----

void cProgressParts::fillImages(cPicturesList& images) {
  if (!images.image(1)) images.refImage(1, themePict(kStopPicture));
}

void cProgressParts::prepare(cChildElement* owner, cPicturesList& images) {
  report.setTexts(owner->string(owner, txWithPercent), owner->string(owner, txWithoutPercent),
                  owner->string(owner, txOperation));
  bar.setRange(cProgressReport::kRange);
  buttons.setTransparent(true);
  buttons.setImageList(cButtonChild::bsNormal, &images);
  buttons.setButton(idStop, owner->string(owner, txStop), 1);
  const unsigned int back = themeColor(0);
  status.setColorSchema(themeColor(4), back, back);
  const char* first = owner->string(owner, txStarting);
  starting = first ? first : "";
  status.setText(first, cCanvas::eAlignLeft, false);
}

bool cProgressParts::progress(cChildElement* owner, cJob* job, double percent) {
  int position = 0;
  std::string text;
  if (report.report(percent, cChildElement::clockMs(), position, text)) {
    bar.setPos(position, false);
    owner->notifyAction(new cStatusTextAction(std::move(text)));
  }
  return !job->haveToStop();
}

void cProgressParts::stage(int number) {
  report.startStage(number, cChildElement::clockMs());
  bar.stopProgress(false);
}

bool cProgressParts::takeStatus(cChildElement* owner, cChildElement* sender, cChildElement::cChildAction* a) {
  auto* s = sender == owner ? dynamic_cast<cStatusTextAction*>(a) : nullptr;
  if (!s) return false;
  status.setText(s->text.c_str(), cCanvas::eAlignLeft, true);
  return true;
}

bool cProgressParts::isStop(cChildElement* sender, cToolBarChild* from, cChildElement::cChildAction* a) {
  auto* b = sender == from ? dynamic_cast<cToolBarChild::cTbButtonAction*>(a) : nullptr;
  return b && b->id == idStop;
}

// ---- the form ----

int cStdBasicProgressForm::runUIJob(cChildElement* parent, cStdBasicProgressForm* form, const char* title) {
  if (!parent || !form) {
    delete form;
    return 0;
  }
  return parent->modal(title, kFormWidth, kFormHeight, form, false);
}

int cStdBasicProgressForm::runUIJob(cChildElement* parent, const char* title) {
  return runUIJob(parent, this, title);
}

cStdBasicProgressForm::~cStdBasicProgressForm() { terminate(); }

// A form that is a window's root is constructed without the data step
// attached elements get, so the form dresses itself here.
void cStdBasicProgressForm::onConstruct() {
  cCustomForm::onConstruct();
  cProgressParts::fillImages(myToolImages);
  myParts.report.setMeasurable(true);
  sRect client;
  clientArea()->clientRect(&client);
  clientArea()->attach(&myParts.bar, 5, 0, client.width - 10, kBarHeight);
  myParts.bar.attach(&myParts.buttons, 0, 0, 1, kBarHeight);
  clientArea()->attach(&myParts.status, 5, 20, client.width - 10, 16);
  myParts.prepare(this, myToolImages);
  const int bw = myParts.buttons.wantsWidth();
  myParts.bar.anchor(&myParts.buttons, -bw - 1, 0, bw, kBarHeight);
  const char* operation = string(this, txOperation);
  myParts.report.restart(operation ? operation : "", clockMs());
  start();
}

bool cStdBasicProgressForm::notifyProgress(double percent) { return myParts.progress(this, this, percent); }

void cStdBasicProgressForm::notifyStage(int stage) { myParts.stage(stage); }

void cStdBasicProgressForm::onJobEnd(unsigned long code) { notifyAction(new cProgressAction(acJobDone, code)); }

bool cStdBasicProgressForm::onFormCancel() {
  if (runs())
    stop();
  else
    end_modal(0);
  return true;
}

bool cStdBasicProgressForm::onClose() {
  if (!runs()) return true;
  stop();
  return false;
}

bool cStdBasicProgressForm::onAction(cChildElement* sender, cChildAction* a) {
  if (myParts.takeStatus(this, sender, a)) return true;
  if (cProgressParts::isStop(sender, &myParts.buttons, a)) {
    onFormCancel();
    return true;
  }
  if (auto* done = sender == this ? dynamic_cast<cProgressAction*>(a) : nullptr; done && a->code == acJobDone) {
    end_modal(static_cast<int>(done->value));
    return true;
  }
  return cCustomForm::onAction(sender, a);
}

void cStdUnknownProgressForm::onConstruct() {
  cStdBasicProgressForm::onConstruct();
  myFake.sink = this;
  myParts.report.setMeasurable(false);
  myFake.start();
}

bool cStdUnknownProgressForm::onFormCancel() {
  if (!runs()) myFake.terminate();
  return cStdBasicProgressForm::onFormCancel();
}

bool cStdUnknownProgressForm::onAction(cChildElement* sender, cChildAction* a) {
  if (sender == this && a && a->code == acJobDone && dynamic_cast<cProgressAction*>(a)) myFake.terminate();
  return cStdBasicProgressForm::onAction(sender, a);
}

// ---- the element ----

bool cStdBasicProgressChild::runUIJob(cStdBasicProgressChild* child, const char* title) {
  return child && child->runUIJob(title);
}

bool cStdBasicProgressChild::runUIJob(const char* title) {
  if (!visible_child()) show(true);
  myParts.report.setMeasurable(myMeasurable);
  myParts.report.restart(title, clockMs());
  return start();
}

cStdBasicProgressChild::~cStdBasicProgressChild() { terminate(); }

void cStdBasicProgressChild::onInitData() {
  cChildElement::onInitData();
  cProgressParts::fillImages(myToolImages);
  myMeasurable = true;
  if (!isDirectChild(&myParts.bar)) attach(&myParts.bar, 0, 0, 1, kBarHeight);
  anchor(&myParts.bar, 0, 0, -1, kBarHeight);
  if (!myParts.bar.isDirectChild(&myParts.buttons)) myParts.bar.attach(&myParts.buttons, 0, 0, 1, kBarHeight);
  if (!isDirectChild(&myParts.status)) attach(&myParts.status, 0, kBarHeight + 2, 1, 1);
  // Under the bar, down to the element's bottom and no further.
  anchor(&myParts.status, 0, kBarHeight + 2, -1, -(kBarHeight + 2) - 1);
  myParts.prepare(this, myToolImages);
  const int bw = myParts.buttons.wantsWidth();
  myParts.bar.anchor(&myParts.buttons, -bw - 1, 0, bw, kBarHeight);
}

bool cStdBasicProgressChild::notifyProgress(double percent) { return myParts.progress(this, this, percent); }

void cStdBasicProgressChild::notifyStage(int stage) { myParts.stage(stage); }

void cStdBasicProgressChild::onJobEnd(unsigned long code) {
  myParts.bar.stopProgress(false);
  notifyAction(new cProgressAction(acJobDone, code));
}

bool cStdBasicProgressChild::onClose() { return !runs(); }

bool cStdBasicProgressChild::onAction(cChildElement* sender, cChildAction* a) {
  if (myParts.takeStatus(this, sender, a)) return true;
  if (cProgressParts::isStop(sender, &myParts.buttons, a)) {
    if (runs()) stop();
    return true;
  }
  return cChildElement::onAction(sender, a);
}

void cStdUnknownProgressChild::onInitData() {
  cStdBasicProgressChild::onInitData();
  myFake.sink = this;
  myMeasurable = false;
}

void cStdUnknownProgressChild::onJobStart() {
  notifyAction(new cProgressParts::cStatusTextAction(myParts.starting));
  myFake.start();
}

void cStdUnknownProgressChild::onJobEnd(unsigned long code) {
  cStdBasicProgressChild::onJobEnd(code);
  // Waits, so that the fake job never calls into an element being destroyed.
  myFake.terminate();
}

void cStdUnknownProgressChild::notifyStage(int stage) {
  cStdBasicProgressChild::notifyStage(stage);
  myFake.reset();
}
