#include "tamsivarapp/jobpanel.h"

#include "base/utils.h"

namespace {

// Private to the panel: posted to itself, never seen by the owner.
constexpr int kShowStage = 9;

class cShowStageAction : public cChildElement::cChildAction {
 public:
  int stage;
  explicit cShowStageAction(int s) : cChildAction(kShowStage), stage(s) {}
};

constexpr unsigned int kTextColor = 0x655654;
constexpr unsigned int kWhite = 0xFFFFFF;

}  // namespace

unsigned long long (*cJobPanel::clockUs)() = ticks_us;

cJobPanel::~cJobPanel() { terminate(); }

void cJobPanel::setNumStages(int n) {
  if (n < 0 || n == numStages()) return;
  myDescr.set(n);
}

void cJobPanel::setStageDescr(int i, const char* text) {
  if (i < 0 || i >= numStages()) return;
  myDescr[i].set(text);
}

void cJobPanel::showStage(int i) { postAction(new cShowStageAction(i)); }

void cJobPanel::notifyStage(int i) {
  if (i >= 0 && i < numStages()) {
    myStage = i;
    showStage(i);
  }
  notifyProgress(0.0);
}

void cJobPanel::notifyLastStage() {
  if (numStages() > 0) notifyStage(numStages() - 1);
}

int cJobPanel::barPosition(int stages, int stage, double percent) {
  if (stages > 0) return static_cast<int>(stage * 100.0 / stages + percent / stages);
  return static_cast<int>(percent + 0.5);
}

bool cJobPanel::notifyProgress(double percent) {
  myGo.wait();
  unsigned long long now = clockUs();
  if (now - myLastRefresh >= kRefreshUs) {
    myBarPos = barPosition(numStages(), myStage, percent);
    myBar.setPos(myBarPos, true);
    myLastRefresh = now;
  }
  return !haveToStop();
}

void cJobPanel::onJobStart() {
  myStage = 0;
  showStage(0);
  myLastRefresh = clockUs();
  notifyAction(new cChildAction(kJobStarted));
}

void cJobPanel::onJobEnd(unsigned long code) { notifyAction(new cJobEndAction(static_cast<int>(code))); }

// A job asked to stop is never kept waiting: its owner may be waiting for it.
void cJobPanel::onJobStopSignal() { myGo.set(); }

void cJobPanel::onInitData() {
  cPanelChild::onInitData();
  myStage = 0;
  myLabel.setColorSchema(kTextColor, kWhite, kWhite);
  anchor(&myLabel, 20, 50, -40, 18);
  anchor(&myBar, 20, 80, -40, 22);
  myBar.setRange(100);
}

bool cJobPanel::onAction(cChildElement* sender, cChildAction* a) {
  if (sender == this && a->code == kShowStage) {
    int i = static_cast<cShowStageAction*>(a)->stage;
    const char* text = i >= 0 && i < numStages() ? myDescr[i].ptr : nullptr;
    myLabel.setText(text ? text : "", cCanvas::eAlignLeft, true);
    return true;
  }
  return cPanelChild::onAction(sender, a);
}
