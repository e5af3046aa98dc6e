// Progress reports and the progress form: the status line's wording and
// throttle on a settable clock, a job reporting every millisecond for three
// seconds, Stop that waits for the job, and the status text reaching the
// screen only on the main thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/utils.h"
#include "ciom/progressform.h"
#include "support/formfixture.h"

namespace {

const char* kWith = "%s progress: %.01f%%. Elapsed time: %02d:%02d:%02d. Estimated time left: %02d:%02d:%02d.";
const char* kWithout = "%s is in progress: elapsed time: %02d:%02d:%02d.";

std::vector<int> box(const sRect& r) { return {r.x, r.y, r.width, r.height}; }

}  // namespace

TEST(ProgressReport, WordingAndThrottle) {
  struct {
    const char* name;
    bool measurable;
    std::vector<std::pair<unsigned int, double>> reports;  // time, percent
    int shown;                                             // reports that changed the display
    int position;
    const char* status;
  } cases[] = {
      {"0 % changes nothing", true, {{1000, 0}}, 0, -1, ""},
      {"150 % is the end", true, {{1000, 150}}, 1, 1000,
       "Operation progress: 100.0%. Elapsed time: 00:00:01. Estimated time left: 00:00:00."},
      {"a quarter after 30 s", true, {{30000, 25}}, 1, 250,
       "Operation progress: 25.0%. Elapsed time: 00:00:30. Estimated time left: 00:01:30."},
      {"300 ms apart: only the first", true, {{1000, 10}, {1300, 20}}, 1, 100,
       "Operation progress: 10.0%. Elapsed time: 00:00:01. Estimated time left: 00:00:09."},
      {"501 ms apart: both", true, {{1000, 10}, {1501, 20}}, 2, 200,
       "Operation progress: 20.0%. Elapsed time: 00:00:01. Estimated time left: 00:00:06."},
      {"500 ms after the start is too soon", true, {{500, 10}}, 0, -1, ""},
      {"hours are not reduced", false, {{90061000, 50}}, 1, 500, "Operation is in progress: elapsed time: 25:01:01."},
      {"a NaN is nothing", true, {{1000, std::nan("")}}, 0, -1, ""},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    cProgressReport r;
    r.setTexts(kWith, kWithout, "Operation");
    r.setMeasurable(k.measurable);
    r.restart(nullptr, 0);
    int shown = 0, position = -1;
    std::string status;
    for (auto [t, p] : k.reports) shown += r.report(p, t, position, status);
    EXPECT_EQ(shown, k.shown);
    EXPECT_EQ(position, k.position);
    EXPECT_EQ(status, k.status);
  }
  cProgressReport r;
  r.setTexts(kWith, kWithout, "Operation");
  r.setStageName(2, "Download");
  r.setStageName(3, nullptr);
  int position;
  std::string status;
  for (auto [stage, name] : {std::pair{2, "Download"}, {3, "Operation"}, {4, "Operation"}}) {
    r.startStage(stage, 10000);
    ASSERT_TRUE(r.report(50, 12000 + 1000 * stage, position, status));
    EXPECT_EQ(status.substr(0, status.find(' ')), name);
  }
}

namespace {

class cCountingForm : public cStdBasicProgressForm {
 public:
  int reportMs = 3000, result = 42;
  bool untilStopped = false;
  std::atomic<int> reports{0};
  ~cCountingForm() override { terminate(); }
  int job() override {
    const unsigned int start = ticks_ms();
    while (untilStopped ? !haveToStop() : ticks_ms() - start < static_cast<unsigned int>(reportMs)) {
      ++reports;
      if (!notifyProgress(100.0 * (ticks_ms() - start) / reportMs) && !untilStopped) break;
      sleep(1);
    }
    return result;
  }
};

class ProgressForm : public cFormFixture {};

// Runs the window's queue until the form ends, noting each status text.
std::set<std::string> runToEnd(cFormTestTarget& w, cStdBasicProgressForm* form) {
  std::set<std::string> seen;
  while (!w.ended()) {
    w.waitForNote(50);
    w.settle();
    if (const char* t = form->statusLine().text()) seen.insert(t);
  }
  return seen;
}

}  // namespace

TEST_F(ProgressForm, ReportsEveryMillisecondShowAtMostEvery501) {
  auto* form = new cCountingForm;
  std::set<std::string> seen;
  int reports = 0;
  cFormTestTarget::scripts.push_back([&](cFormTestTarget& w) {
    seen = runToEnd(w, form);
    reports = form->reports;
  });
  EXPECT_EQ(cStdBasicProgressForm::runUIJob(&parent, form, "Counting"), 42);
  ASSERT_EQ(cFormTestTarget::runs.size(), 1u);
  EXPECT_EQ(cFormTestTarget::runs[0].w, 600);
  EXPECT_EQ(cFormTestTarget::runs[0].h, 106);
  EXPECT_GT(reports, 500);
  // "Starting..." and at most one text per 501 ms of the three seconds.
  EXPECT_GE(seen.size(), 3u);
  EXPECT_LE(seen.size(), 1u + 3000 / 501 + 1);
  EXPECT_TRUE(seen.count("Starting..."));
}

TEST_F(ProgressForm, StopWaitsForTheJobsResult) {
  auto* form = new cCountingForm;
  form->untilStopped = true;
  form->result = 7;
  bool endedAtPress = true;
  cFormTestTarget::scripts.push_back([&](cFormTestTarget& w) {
    // Fixed places in the form: the bar and the status line 5 pixels in,
    // Stop at the bar's right end.
    sRect client, bar, status, stopAt;
    form->clientArea()->clientRect(&client);
    form->clientArea()->childRect(&form->bar(), &bar);
    form->clientArea()->childRect(&form->statusLine(), &status);
    form->bar().childRect(form->buttons(), &stopAt);
    const int bw = form->buttons()->wantsWidth();
    EXPECT_EQ(box(bar), (std::vector<int>{5, 0, client.width - 10, 18}));
    EXPECT_EQ(box(status), (std::vector<int>{5, 20, client.width - 10, 16}));
    EXPECT_EQ(box(stopAt), (std::vector<int>{client.width - 10 - bw, 0, bw, 18}));

    cToolBarChild::cTbButtonAction other(2);
    form->onAction(form->buttons(), &other);
    cToolBarChild::cTbButtonAction stop(cProgressParts::idStop);
    form->onAction(form->buttons(), &stop);
    endedAtPress = w.ended();
    EXPECT_FALSE(form->onClose()) << "a running job keeps the form open";
    runToEnd(w, form);
  });
  EXPECT_EQ(cStdBasicProgressForm::runUIJob(&parent, form, "Stop"), 7);
  EXPECT_FALSE(endedAtPress);
}

TEST_F(ProgressForm, CancelAfterTheJobEndedGivesZero) {
  auto* form = new cCountingForm;
  form->reportMs = 0;
  cFormTestTarget::scripts.push_back([&](cFormTestTarget&) {
    while (form->runs()) cJob::sleep(1);
    EXPECT_TRUE(form->onClose());
    form->onFormCancel();
  });
  EXPECT_EQ(cStdBasicProgressForm::runUIJob(&parent, form, "Cancel"), 0);
  EXPECT_EQ(cStdBasicProgressForm::runUIJob(nullptr, new cCountingForm, "No parent"), 0);
  EXPECT_EQ(cFormTestTarget::runs.size(), 1u);
}

TEST_F(ProgressForm, UnknownProgressShowsElapsedTimeOnly) {
  class cWaiting : public cStdUnknownProgressForm {
   public:
    ~cWaiting() override { terminate(); }
    int job() override {
      while (!haveToStop()) sleep(2);
      return 5;
    }
  };
  auto* form = new cWaiting;
  std::string status;
  cFormTestTarget::scripts.push_back([&](cFormTestTarget& w) {
    const unsigned int until = ticks_ms() + 1500;
    while (ticks_ms() < until) {
      w.waitForNote(50);
      w.settle();
    }
    status = form->statusLine().text() ? form->statusLine().text() : "";
    form->onFormCancel();
    runToEnd(w, form);
  });
  EXPECT_EQ(cStdBasicProgressForm::runUIJob(&parent, form, "Waiting"), 5);
  EXPECT_EQ(status.rfind("Operation is in progress: elapsed time: 00:00:0", 0), 0u) << status;
}

namespace {

class cCopyChild : public cStdUnknownProgressChild {
 public:
  ~cCopyChild() override { terminate(); }
  int job() override {
    sleep(700);
    return 9;
  }
};

class cEndRecorder : public cChildElement {
 public:
  std::vector<std::pair<int, unsigned long>> ends;
  bool onAction(cChildElement*, cChildAction* a) override {
    if (auto* p = dynamic_cast<cProgressParts::cProgressAction*>(a)) ends.push_back({a->code, p->value});
    return true;
  }
};

// A copy job's child under an element that records its ends.
class ProgressChild : public cFormFixture {
 protected:
  void SetUp() override {
    cFormFixture::SetUp();
    parent.attach(&recorder, 0, 0, 1000, 400);
    recorder.attach(&child, 10, 10, 600, 60);
  }
  void TearDown() override {
    recorder.dettach(&child);
    parent.dettach(&recorder);
    cFormFixture::TearDown();
  }
  cEndRecorder recorder;
  cCopyChild child;
};

}  // namespace

TEST_F(ProgressChild, TellsItsParentTheEndAndShowsTextsOnTheMainThread) {
  EXPECT_FALSE(cStdBasicProgressChild::runUIJob(nullptr, "Copy"));
  child.statusLine().setText("before", cCanvas::eAlignLeft, false);
  ASSERT_TRUE(cStdBasicProgressChild::runUIJob(&child, "Copy"));
  EXPECT_FALSE(child.onClose()) << "the job runs";
  std::set<std::string> seen;
  const unsigned int until = ticks_ms() + 5000;
  while (recorder.ends.empty() && ticks_ms() < until) {
    window.waitForNote(50);
    window.settle();
    seen.insert(child.statusLine().text() ? child.statusLine().text() : "");
  }
  EXPECT_EQ(recorder.ends, (std::vector<std::pair<int, unsigned long>>{{6, 9}}));
  EXPECT_TRUE(seen.count("Starting...")) << "posted by the job's start, shown by the main thread";
  while (child.runs()) cJob::sleep(1);
  EXPECT_TRUE(child.onClose());
}

TEST_F(ProgressChild, BarAcrossTheTopStopAtItsEndStatusBelow) {
  const int bw = child.buttons()->wantsWidth();
  ASSERT_GT(bw, 0);
  const struct {
    int w, h;
  } sizes[] = {{600, 60}, {300, 40}, {900, 120}};
  for (const auto& k : sizes) {
    SCOPED_TRACE(k.w);
    child.move(10, 10, k.w, k.h);
    sRect bar, status, stop;
    child.childRect(&child.bar(), &bar);
    child.childRect(&child.statusLine(), &status);
    child.bar().childRect(child.buttons(), &stop);
    EXPECT_EQ(box(bar), (std::vector<int>{0, 0, k.w, 18}));
    EXPECT_EQ(box(status), (std::vector<int>{0, 20, k.w, k.h - 20}));
    EXPECT_EQ(box(stop), (std::vector<int>{k.w - bw, 0, bw, 18}));
  }
}
