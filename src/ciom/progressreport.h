// What the standard progress form and element share: stage names, the
// stage's start, the throttle that lets a job report as often as it likes,
// and the status line's wording. It runs on the job threads; its result is
// a bar position and a finished text that the main thread puts on screen.
#pragma once

#include <string>

#include "base/btree.h"
#include "base/guardchar.h"
#include "base/sync.h"

class cProgressReport {
 public:
  static constexpr unsigned int kThrottleMs = 501;
  static constexpr int kRange = 1000;

  // The section's wording, read once on the main thread before any job runs.
  void setTexts(const char* withPercent, const char* withoutPercent, const char* operation);
  void setStageName(int stage, const char* name);
  // A new stage under its registered name, or the section's word for an
  // operation.
  void startStage(int stage, unsigned int now);
  // A new run: the title (when given) names it, and the next report shows.
  void restart(const char* title, unsigned int now);
  void setMeasurable(bool on) { myMeasurable = on; }
  bool measurable() const { return myMeasurable; }

  // False when the report is throttled or says nothing; else the bar's new
  // position and the status line.
  bool report(double percent, unsigned int now, int& position, std::string& status);

 private:
  std::string format(double shownPercent, unsigned int elapsedMs, unsigned int leftMs);

  cCriticalSection myLock;
  cFasterTreeList<int, _guardchar<char>> myNames;
  std::string myStage;
  std::string myWithPercent, myWithoutPercent, myOperation;
  unsigned int myStageStart = 0;
  unsigned int myLastUpdate = 0;
  bool myMeasurable = true;
};
