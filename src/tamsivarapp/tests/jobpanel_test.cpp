#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>

#include "tamsivarapp/jobpanel.h"

namespace {

unsigned long long gNow = 0;
unsigned long long fakeClock() { return gNow; }

struct IdlePanel : cJobPanel {
  int job() override { return 0; }
};

// Steps on one panel with a clock the test moves: stage shares, the 100 ms
// throttle, out-of-range stages and the stop answer.
TEST(JobPanel, BarFollowsStagesAndRefreshesAtMostEvery100ms) {
  enum Op { kStages, kStage, kLast, kProgress, kStop };
  struct Step {
    const char* what;
    Op op;
    double arg;
    unsigned long long at;
    int pos;
    int stage;
    bool goOn;
  } steps[] = {
      {"no stages: straight percent, half up", kProgress, 49.5, 200000, 50, 0, true},
      {"last stage without stages changes nothing", kLast, 0, 400000, 50, 0, true},
      {"four stages", kStages, 4, 400000, 50, 0, true},
      {"stage 2 at 50% is 62", kStage, 2, 600000, 50, 2, true},
      {"", kProgress, 50, 800000, 62, 2, true},
      {"within 100 ms nothing moves", kProgress, 100, 850000, 62, 2, true},
      {"exactly 100 ms is still too soon", kProgress, 100, 900000, 62, 2, true},
      {"one microsecond later it moves", kProgress, 100, 900001, 75, 2, true},
      {"a stage out of range keeps the stage, refreshes at 0%", kStage, 7, 1100000, 50, 2, true},
      {"last stage", kLast, 0, 1300000, 75, 3, true},
      {"a stop is answered even inside the window", kStop, 0, 1300001, 75, 3, false},
  };
  auto* saved = cJobPanel::clockUs;
  cJobPanel::clockUs = fakeClock;
  IdlePanel panel;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    gNow = s.at;
    bool goOn = true;
    switch (s.op) {
      case kStages:
        panel.setNumStages(static_cast<int>(s.arg));
        break;
      case kStage:
        panel.notifyStage(static_cast<int>(s.arg));
        break;
      case kLast:
        panel.notifyLastStage();
        break;
      case kProgress:
        goOn = panel.notifyProgress(s.arg);
        break;
      case kStop:
        panel.stop();
        goOn = panel.notifyProgress(100);
        break;
    }
    EXPECT_EQ(goOn, s.goOn);
    EXPECT_EQ(panel.barPos(), s.pos);
    EXPECT_EQ(panel.currentStage(), s.stage);
  }
  cJobPanel::clockUs = saved;
}

TEST(JobPanel, SameStageCountKeepsDescriptionsAnotherClearsThem) {
  IdlePanel panel;
  panel.setNumStages(2);
  panel.setStageDescr(1, "kept");
  panel.setStageDescr(2, "ignored");
  panel.setStageDescr(-1, "ignored");
  panel.setNumStages(2);
  EXPECT_EQ(panel.numStages(), 2);
  panel.setNumStages(3);
  EXPECT_EQ(panel.numStages(), 3);
  EXPECT_EQ(cJobPanel::barPosition(3, 1, 0), 33);
}

// While the owner asks whether to stop, the job waits at its next report:
// a stop given meanwhile is that very report's answer, a release lets it on.
TEST(JobPanel, AHeldJobWaitsForTheAnswer) {
  struct Reporting : cJobPanel {
    std::atomic<int> reports{0};
    int job() override {
      while (++reports < 1000 && notifyProgress(1)) {
      }
      return 0;
    }
    void onJobEnd(unsigned long) override {}
  };
  for (bool stop : {true, false}) {
    SCOPED_TRACE(stop ? "stopped" : "released");
    Reporting panel;
    panel.hold();
    ASSERT_TRUE(panel.start());
    while (panel.reports.load() == 0) sched_yield();
    if (stop)
      panel.stop();
    else
      panel.release();
    while (panel.runs()) sched_yield();
    EXPECT_EQ(panel.reports.load(), stop ? 1 : 1000);
  }
}

}  // namespace
