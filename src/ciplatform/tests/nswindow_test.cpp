// The window object's queue: order across threads, inside nested loops, and
// the folding of repaints. Opens windows, so it runs under an X server.
#include "ciplatform/nswindow.h"

#include <cstdint>

#include "nslib/tests/x11_driver.h"

namespace {

constexpr intptr_t kSent = 1 << 20;
constexpr intptr_t kEnd = 1 << 21;

// Records every action in arrival order; a sent one is answered by setting
// `answered`, which its sender waits for.
class cProbe : public cNSWindow {
 public:
  std::vector<intptr_t> arrived;
  std::atomic<intptr_t> answered{-1};
  std::vector<std::vector<int>> paints;
  cNSWindow* ends = this;

  void onAction(void* a) override {
    arrived.push_back(reinterpret_cast<intptr_t>(a));
    answered = reinterpret_cast<intptr_t>(a);
  }
  void onPostAction(void* a) override {
    arrived.push_back(reinterpret_cast<intptr_t>(a));
    if (reinterpret_cast<intptr_t>(a) == kEnd) ends->endModal(1);
  }
  void onPaint(void*, int x, int y, int w, int h) override { paints.push_back({x, y, w, h}); }
};

// 1,000 posted actions with a sent one after every hundredth; a sent action
// returns only once the main thread has answered it.
std::thread job(cProbe& target, std::atomic<bool>& answersInOrder) {
  return std::thread([&] {
    answersInOrder = true;
    for (intptr_t i = 0; i < 1000; ++i) {
      target.notifyPostAction(reinterpret_cast<void*>(i));
      if (i % 100 != 99) continue;
      target.notifyAction(reinterpret_cast<void*>(i | kSent));
      auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (target.answered != (i | kSent) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      if (target.answered != (i | kSent)) answersInOrder = false;
    }
    target.notifyPostAction(reinterpret_cast<void*>(kEnd));
  });
}

std::vector<intptr_t> expectedOrder() {
  std::vector<intptr_t> order;
  for (intptr_t i = 0; i < 1000; ++i) {
    order.push_back(i);
    if (i % 100 == 99) order.push_back(i | kSent);
  }
  order.push_back(kEnd);
  return order;
}

}  // namespace

// The job talks to the parent while it is idle, and while a sheet opened by
// its first action runs a nested loop that dispatches the parent's events.
TEST(WindowQueue, AJobsActionsArriveInOrderIdleOrUnderANestedLoop) {
  nstest::requireDisplay();
  class cOpener : public cProbe {
   public:
    cProbe sheet;
    void onPostAction(void* a) override {
      if (reinterpret_cast<intptr_t>(a) == -1) {
        sheet.create_wnd("Sheet", 100, 60, false, -1, -1);
        ends = &sheet;
        endModal(sheet.modal(this) + 1);
        return;
      }
      cProbe::onPostAction(a);
    }
  };
  for (bool nested : {false, true}) {
    SCOPED_TRACE(nested ? "nested" : "idle");
    cOpener parent;
    ASSERT_TRUE(parent.create_wnd("Parent", 300, 200, false, -1, -1));
    if (nested) parent.notifyPostAction(reinterpret_cast<void*>(-1));
    std::atomic<bool> answers{false};
    std::thread t = job(parent, answers);
    EXPECT_EQ(parent.modal(nullptr), nested ? 2 : 1);
    t.join();
    EXPECT_TRUE(answers);
    EXPECT_EQ(parent.arrived, expectedOrder());
    EXPECT_TRUE(parent.sheet.arrived.empty());
  }
}

TEST(WindowQueue, RepaintsWaitingTogetherBecomeOneOfTheWholeView) {
  nstest::requireDisplay();
  cProbe w;
  ASSERT_TRUE(w.create_wnd("Repaint", 160, 90, false, 0, 0));
  auto pumpForPaint = [&] { nstest::pumpUntil([&] { return !w.paints.empty(); }); };
  w.show();
  pumpForPaint();
  w.paints.clear();
  EXPECT_TRUE(w.requestRepaint(1, 1, 5, 5));
  EXPECT_TRUE(w.requestRepaint(40, 30, 10, 10));
  pumpForPaint();
  cNSWindow::msgloop();
  EXPECT_EQ(w.paints, (std::vector<std::vector<int>>{{0, 0, 160, 90}}));
  w.close();
  EXPECT_FALSE(w.notifyPostAction(nullptr));  // no window to wake
}

// Work split into a chain of actions, each queueing the next, leaves the
// window answering: an event that comes while the chain runs is handled
// before the chain ends, which without it would go on for a long time.
TEST(WindowQueue, AChainOfActionsLetsTheWindowsEventsIn) {
  nstest::requireDisplay();
  class cChain : public cProbe {
   public:
    nstest::cPeer peer;
    bool closed = false;
    void onPostAction(void* a) override {
      const intptr_t n = reinterpret_cast<intptr_t>(a);
      // The close box is pressed while the first link runs.
      if (n == 0) peer.closeBox(nstest::xidOf(handle()));
      if (!closed && n < 100000)
        notifyPostAction(reinterpret_cast<void*>(n + 1));
      else
        endModal(1);
    }
    bool onClose() override {
      closed = true;
      return false;
    }
  };
  cChain w;
  ASSERT_TRUE(w.create_wnd("Chain", 160, 90, false, -1, -1));
  w.notifyPostAction(reinterpret_cast<void*>(0));
  EXPECT_EQ(w.modal(nullptr), 1);
  EXPECT_TRUE(w.closed) << "the close box was heard only after the whole chain";
}

// The same with each link asking for a repaint, as a view filled in
// batches does: the wake-ups of the two must not pile up ahead of the
// user's events, which would then wait for ever more links.
TEST(WindowQueue, AChainThatRepaintsHearsTheCloseBoxWithinAFewLinks) {
  nstest::requireDisplay();
  class cChain : public cProbe {
   public:
    nstest::cPeer peer;
    intptr_t pressedAt = 200, heardAt = -1, link = 0;
    void onPostAction(void* a) override {
      const intptr_t n = link = reinterpret_cast<intptr_t>(a);
      // Let a backlog form first, if one would.
      if (n == pressedAt) peer.closeBox(nstest::xidOf(handle()));
      requestRepaint(0, 0, 0, 0);
      if (heardAt < 0 && n < 100000)
        notifyPostAction(reinterpret_cast<void*>(n + 1));
      else
        endModal(1);
    }
    bool onClose() override {
      if (heardAt < 0) heardAt = link;
      return false;
    }
    void onPaint(void*, int, int, int, int) override {}
  };
  cChain w;
  ASSERT_TRUE(w.create_wnd("Chain", 160, 90, false, -1, -1));
  w.show();
  w.notifyPostAction(reinterpret_cast<void*>(0));
  EXPECT_EQ(w.modal(nullptr), 1);
  ASSERT_GE(w.heardAt, 0) << "the close box was never heard";
  EXPECT_LE(w.heardAt - w.pressedAt, 5) << "links run between the press and its answer";
}
