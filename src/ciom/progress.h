// The progress bar: a position within a range shown as a green fill inside
// a one-pixel frame, moving smoothly and fading between an idle look and the
// active bar. The animation runs on a job that only posts actions; the bar
// takes them on the main thread, rebuilds its picture and repaints.
#pragma once

#include <atomic>

#include "base/job.h"
#include "base/sync.h"
#include "ciom/child.h"
#include "ciom/picture.h"

class cProgressViewUpdateJob : public cJob {
 public:
  enum eCommand { cmdNone = 0, cmdStart = 1, cmdStop = 2, cmdMove = 3 };

  cProgressViewUpdateJob() : cJob(nullptr) {}

  int job() override;
  // Callers may be on any thread.
  void setPos(int pos, bool noWait);
  void startProgress();
  void stopProgress(bool immediately);
  int cmd();
  void setCmd(int c);
  void setPosInt(int p);
  void setRangeInt(int r);
  int position();
  bool running() const { return myRunning.load(); }

  // Set once by the bar before the thread starts; read by the thread.
  cChildElement* owner = nullptr;

 private:
  // One 30 ms step; false when the job has to stop.
  bool tick();
  void postPos(int pos);
  void postOpacity(double o);

  cCriticalSection myLock;
  int myPosition = 0;
  int myRange = 0;
  int myCommand = cmdNone;
  int myMoveTarget = 0;
  int myRequested = 0;
  std::atomic<bool> myRunning{false};
};

class cProgressChild : public cChildElement {
 public:
  class cSetProgressRequestAction : public cChildAction {
   public:
    int pos;
    explicit cSetProgressRequestAction(int p) : cChildAction(acChange), pos(p) {}
  };
  class cSetOpacityRequestAction : public cChildAction {
   public:
    double opacity;
    explicit cSetOpacityRequestAction(double o) : cChildAction(acActivate), opacity(o) {}
  };

  // The job goes first, so no action reaches a bar that is gone and the job
  // reads nothing of it.
  ~cProgressChild() override;

  // Any thread.
  void setRange(int range);
  void setPos(int pos, bool noWait);
  int getPos();
  void startProgress() { myJob.startProgress(); }
  void stopProgress(bool immediately) { myJob.stopProgress(immediately); }
  int range() const { return myRange.load(); }
  int shownPos() const { return myShownPos.load(); }

  // Main thread.
  void setPassiveBgColor(unsigned int c, bool repaint);
  void setPassiveBorderColor(unsigned int c, bool repaint);
  void xIntSetPos(int pos);
  void xIntSetOpacity(double o);
  double opacity() const { return myOpacity; }
  const cPicture& map() const { return myMap; }
  bool buildProgressMap();
  cProgressViewUpdateJob& job() { return myJob; }

  void onPaint(cCanvas* c) override;
  bool onBackgroundRequest(cCanvas* c, sRect* r) override;
  void onSizeChanged() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool wantAcceptFoucs() override { return false; }
  void onInitData() override;

 private:
  void paintAt(cCanvas* c, int x, int y, unsigned int border);

  cProgressViewUpdateJob myJob;
  std::atomic<int> myRange{0};
  std::atomic<int> myShownPos{0};
  double myOpacity = 1.0;
  cPicture myMap;
  cPicture myFillColumn;
  cPicture myTrackColumn;
  unsigned int myPassiveBg = 0xFFFFFF;
  unsigned int myPassiveBorder = 0;
};
