// The progress bar's animation through the test platform: the job posts,
// the test drains the window's queue as the main thread would. Deadlines
// only, no timing assertions.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "ciom/progress.h"
#include "support/formplatform.h"

namespace {

class cRecordingBar : public cProgressChild {
 public:
  std::vector<int>* positions;
  std::vector<double>* opacities;
  cRecordingBar(std::vector<int>* p, std::vector<double>* o) : positions(p), opacities(o) {}
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (sender == this && a->code == acChange) positions->push_back(static_cast<cSetProgressRequestAction*>(a)->pos);
    if (sender == this && a->code == acActivate)
      opacities->push_back(static_cast<cSetOpacityRequestAction*>(a)->opacity);
    return cProgressChild::onAction(sender, a);
  }
};

struct sBarWindow {
  cFormTestTarget window;
  cChildElement root;
  std::vector<int> positions;
  std::vector<double> opacities;
  cRecordingBar* bar = new cRecordingBar(&positions, &opacities);
  sBarWindow() {
    window.bind(&root, 300, 100);
    root.attach(bar, 10, 10, 200, 20);
  }
  ~sBarWindow() { delete bar; }
  // Plays the main thread until `done` holds; false after ten seconds.
  bool until(const std::function<bool()>& done) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      window.waitForNote(50);
      window.settle();
    }
    return true;
  }
};

}  // namespace

TEST(Progress, AMoveBackwardsRunsFromTheStartInTenSteps) {
  sBarWindow w;
  w.bar->setRange(100);
  w.bar->setPos(80, false);
  ASSERT_TRUE(w.until([&] { return w.bar->shownPos() == 80 && w.bar->getPos() == 80; }));
  EXPECT_DOUBLE_EQ(w.bar->opacity(), 0.0);
  w.positions.clear();
  w.bar->setPos(40, false);
  ASSERT_TRUE(w.until([&] { return !w.positions.empty() && w.positions.back() == 40; }));
  EXPECT_EQ(w.positions, (std::vector<int>{0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40}));
}

TEST(Progress, RangeAndPositionAreKeptInBounds) {
  sBarWindow w;
  w.bar->setRange(50);
  w.bar->setRange(0);
  w.bar->setRange(-3);
  EXPECT_EQ(w.bar->range(), 50);
  w.bar->setPos(20, true);
  ASSERT_TRUE(w.until([&] { return w.bar->shownPos() == 20; }));
  w.bar->setPos(-5, true);
  ASSERT_TRUE(w.until([&] { return w.bar->getPos() == 0; }));
  w.bar->setPos(500, true);
  ASSERT_TRUE(w.until([&] { return w.bar->getPos() == 50; }));
  // A smaller range cuts the shown position.
  w.bar->setRange(10);
  EXPECT_EQ(w.bar->shownPos(), 10);
}

TEST(Progress, StoppingRunsToTheEndThenFadesToIdle) {
  sBarWindow w;
  w.bar->setRange(100);
  w.bar->setPos(30, false);
  ASSERT_TRUE(w.until([&] { return w.bar->shownPos() == 30; }));
  w.bar->stopProgress(false);
  EXPECT_FALSE(w.bar->job().running());
  ASSERT_TRUE(w.until([&] { return w.bar->opacity() == 1.0; }));
  EXPECT_EQ(w.bar->shownPos(), 100);
  ASSERT_FALSE(w.opacities.empty());
  EXPECT_DOUBLE_EQ(w.opacities.back(), 1.0);
}

TEST(Progress, ABarDestroyedMidMoveGetsNoLaterAction) {
  sBarWindow w;
  w.bar->setRange(1000);
  w.bar->setPos(1000, true);
  ASSERT_TRUE(w.until([&] { return w.positions.size() > 1; }));
  delete w.bar;
  w.bar = nullptr;
  const size_t heard = w.positions.size();
  w.window.waitForNote(100);
  w.window.settle();
  EXPECT_EQ(w.positions.size(), heard);
}
