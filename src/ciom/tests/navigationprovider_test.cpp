// The file chooser's backend run for real on its job thread: what it accepts,
// what it lists, the end codes it reports, and that a second request while a
// navigation runs is refused without disturbing the first.
#include "ciom/navigationprovider.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "base/tests/scratch_dir.h"

namespace {

struct sDone : cNavigationPostTarget {
  std::atomic<int> code{-1};
  std::mutex lock;
  std::vector<double> progress;
  void postNavigationDone(int c) override { code = c; }
  void postNavigationProgress(double p) override {
    std::lock_guard<std::mutex> hold(lock);
    progress.push_back(p);
  }
  std::vector<double> seen() {
    std::lock_guard<std::mutex> hold(lock);
    return progress;
  }
  // Bounded: a lost signal fails the test instead of hanging it.
  bool wait(cJob& job) {
    for (int i = 0; i < 1000 && (code < 0 || job.runs()); ++i) cJob::sleep(5);
    return code >= 0 && !job.runs();
  }
};

struct sTree : ScratchDir {
  sTree() {
    mkdir((root + "/sub").c_str(), 0755);
    mkfifo((root + "/pipe").c_str(), 0644);
  }
};

TEST(FileChooseListFolder, AcceptsFoldersDrivesAndTheEmptyPath) {
  sTree t;
  cFileChooseListFolder p;
  struct {
    std::string path;
    bool want;
  } cases[] = {
      {t.root, true},
      {t.root + "/sub", true},
      {"", true},
      {"c:", true},
      {"Z:", true},
      {"1:", false},
      {"c:/", false},
      {t.root + "/pipe", false},
      {t.root + "/none", false},
  };
  for (auto& c : cases) EXPECT_EQ(p.canAcceptPath(c.path.c_str()), c.want) << c.path;
  EXPECT_TRUE(p.canAcceptPath(nullptr));
}

TEST(FileChooseListFolder, ListsOnItsThreadAndReportsTheEndCode) {
  sTree t;
  cFileChooseListFolder p;
  struct {
    std::string path;
    int code;
    int count;  // -1: any
  } cases[] = {
      {t.root, 0, 1},  // the FIFO is left out of a chooser's listing
      {t.root + "/missing", 1, -1},
      {"", 0, -1},
  };
  for (auto& c : cases) {
    sDone done;
    ASSERT_TRUE(p.asyncNavigate(&done, c.path.c_str()));
    ASSERT_TRUE(done.wait(p)) << c.path;
    EXPECT_EQ(done.code, c.code) << c.path;
    if (c.count >= 0) {
      EXPECT_EQ(p.listing().count(), c.count);
    }
  }
  EXPECT_GE(p.listing().count(), 1);  // the special locations hold at least "/"
  sDone none;
  EXPECT_FALSE(p.asyncNavigate(&none, nullptr));
}

struct sSlowProvider : cNavigationProvider {
  std::atomic<bool> release{false};
  std::string opened;
  ~sSlowProvider() override { terminate(); }
  bool canAcceptPath(const char*) override { return true; }
  int navigationProc(const char* path) override {
    while (!release && !haveToStop()) sleep(1);
    opened = path;
    return 7;
  }
  // Keeps the thread a while after its end was reported.
  void onNavigationDone(int) override { sleep(100); }
};

TEST(NavigationProvider, RefusesWhileRunningAndKeepsTheFirstRequest) {
  sSlowProvider p;
  sDone first, second, third;
  ASSERT_TRUE(p.asyncNavigate(&first, "/first"));
  EXPECT_FALSE(p.asyncNavigate(&second, "/second"));
  p.release = true;
  for (int i = 0; i < 1000 && first.code < 0; ++i) cJob::sleep(1);
  EXPECT_EQ(first.code, 7);
  EXPECT_EQ(p.opened, "/first");
  // Its end reported, the thread still runs; the next request waits for it.
  EXPECT_TRUE(p.runs());
  ASSERT_TRUE(p.asyncNavigate(&third, "/third"));
  ASSERT_TRUE(third.wait(p));
  EXPECT_EQ(p.opened, "/third");
  EXPECT_EQ(second.code, -1);
}

TEST(FakeNavigationProgress, StartsAtZeroRisesBelowOneAndEndsAtOne) {
  sDone bar;
  cFakeNavigationProgressJob animator;
  animator.startProgress(&bar);
  // The first value comes after about 1.2 s; allow ten times that.
  for (int i = 0; i < 2400 && bar.seen().size() < 3; ++i) cJob::sleep(5);
  animator.endProgress();
  std::vector<double> got = bar.seen();
  ASSERT_GE(got.size(), 4u);
  EXPECT_EQ(got.front(), 0.0);
  for (size_t i = 1; i + 1 < got.size(); ++i) {
    EXPECT_GT(got[i], got[i - 1]);
    EXPECT_LT(got[i], 1.0);
  }
  EXPECT_EQ(got.back(), 1.0);
  EXPECT_TRUE(animator.runs());  // idles for the next navigation
}

}  // namespace
