// The page element that runs one background job and shows its progress: a
// line naming the current stage above a progress bar. The job reports from
// its own thread; the start and the end of the job reach the owner as
// actions of the panel (6 started, 7 ended with the end code).
#pragma once

#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/job.h"
#include "base/progress.h"
#include "ciom/panel.h"
#include "ciom/progress.h"
#include "ciom/staticelement.h"

class cJobPanel : public cPanelChild, public cProgressNotifyTarget, public cJob {
 public:
  static constexpr int kJobStarted = 6;
  static constexpr int kJobEnded = 7;
  // The bar is redrawn at most once in this many microseconds.
  static constexpr unsigned long long kRefreshUs = 100001;

  class cJobEndAction : public cChildAction {
   public:
    int endCode;
    explicit cJobEndAction(int c) : cChildAction(kJobEnded), endCode(c) {}
  };

  // The microsecond clock of the refresh throttle; tests put their own here.
  static unsigned long long (*clockUs)();

  cJobPanel() : cJob(nullptr) { myGo.create(nullptr, true, true); }
  // The job reads the panel: it is gone before the panel is.
  ~cJobPanel() override;

  // Another count drops every description.
  void setNumStages(int n);
  void setStageDescr(int i, const char* text);
  int numStages() const { return static_cast<int>(myDescr.count); }
  int currentStage() const { return myStage; }

  void notifyStage(int i) override;
  void notifyLastStage();
  bool notifyProgress(double percent) override;
  void onJobStart() override;
  void onJobEnd(unsigned long code) override;
  void onJobStopSignal() override;

  // Holds the job at its next progress report until release() or stop():
  // while the owner asks whether to stop it, the job cannot finish and
  // overtake the answer.
  void hold() { myGo.reset(); }
  void release() { myGo.set(); }
  void onInitData() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;

  // Each stage takes an equal share of the bar; `percent` is the progress
  // within the stage.
  static int barPosition(int stages, int stage, double percent);
  // The position last handed to the bar, which draws it in its own time.
  int barPos() const { return myBarPos; }
  cStaticElement& label() { return myLabel; }
  cProgressChild& bar() { return myBar; }

 private:
  // The label belongs to the main thread: the job asks for the change.
  void showStage(int i);

  cStaticElement myLabel;
  cProgressChild myBar;
  _classbuf<_guardchar<char>> myDescr;
  int myStage = 0;
  int myBarPos = 0;
  unsigned long long myLastRefresh = 0;
  cEvent myGo;  // signalled while the job may go on
};
