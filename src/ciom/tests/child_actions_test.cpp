#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "ciom/child.h"
#include "support/probe.h"

namespace {

using K = cChildElement;

class cValueAction : public cChildElement::cChildAction {
 public:
  int value;
  explicit cValueAction(int v) : cChildAction(K::acChange), value(v) {}
};

// Records the values of the actions it handles, and when it handled them.
class cReceiver : public cChildElement {
 public:
  std::vector<int> values;
  std::atomic<int>* clock = nullptr;
  int handledAt = -1;
  bool destroySelfOnValue = false;

  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (clock) handledAt = ++*clock;
    if (a->code == K::acChange) values.push_back(static_cast<cValueAction*>(a)->value);
    if (destroySelfOnValue && a->code == K::acChange) delete this;
    return sender == this;
  }
};

}  // namespace

TEST(ChildActions, NotifiedActionsBubbleAndPostedOnesStayWithTheirElement) {
  sProbeWindow w;
  cProbe panel("panel", &w.log), button("button", &w.log);
  w.form.attach(&panel, 0, 0, 100, 100);
  panel.attach(&button, 0, 0, 10, 10);
  w.form.handles = true;
  EXPECT_TRUE(button.notifyAction(nullptr));
  button.notifyAction(new cValueAction(1));
  button.postAction(new cValueAction(2));
  w.target.drain();
  EXPECT_EQ(w.log.joined(),
            "button:action0<button panel:action0<button form:action0<button "
            "button:action6<button panel:action6<button form:action6<button button:action6<button");

  panel.handles = true;
  w.log.lines.clear();
  button.notifyAction(nullptr);
  w.target.drain();
  EXPECT_EQ(w.log.joined(), "button:action0<button panel:action0<button");

  // Without a window nothing can be notified; the action waits in its queue.
  cProbe loose("loose", &w.log);
  EXPECT_FALSE(loose.postAction(new cValueAction(3)));
  EXPECT_FALSE(loose.postAction(nullptr));
}

TEST(ChildActions, AFocusRequestMovesTheFocusWhenHandled) {
  sProbeWindow w;
  cProbe a("a", &w.log), b("b", &w.log);
  w.form.attach(&a, 0, 0, 10, 10);
  w.form.attach(&b, 10, 0, 10, 10);
  b.focus();
  EXPECT_EQ(w.form.getFocused(), nullptr);
  EXPECT_EQ(w.target.osFocusRequests, 1);
  w.target.drain();
  EXPECT_EQ(w.form.getFocused(), &b);
}

TEST(ChildActions, AJobSendingAnActionReturnsOnlyAfterItWasHandled) {
  sProbeWindow w;
  cReceiver receiver;
  std::atomic<int> clock{0};
  receiver.clock = &clock;
  w.form.attach(&receiver, 0, 0, 10, 10);
  std::atomic<int> returnedAt{-1};
  std::atomic<bool> answer{false};
  std::thread job([&] {
    answer = receiver.sendAction(new cChildElement::cSentChildAction(K::acActivate));
    returnedAt = ++clock;
  });
  ASSERT_TRUE(w.target.waitForNote(5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(returnedAt.load(), -1);
  EXPECT_EQ(w.target.drain(), 1);
  job.join();
  EXPECT_TRUE(answer.load());
  EXPECT_EQ(receiver.handledAt, 1);
  EXPECT_EQ(returnedAt.load(), 2);
}

TEST(ChildActions, PostedActionsArriveInOrder) {
  sProbeWindow w;
  cReceiver receiver;
  w.form.attach(&receiver, 0, 0, 10, 10);
  std::thread job([&] {
    for (int i = 0; i < 100; ++i) receiver.postAction(new cValueAction(i));
  });
  // Drained while the job still posts.
  while (receiver.values.size() < 100 && w.target.waitForNote(5000)) w.target.drain();
  job.join();
  ASSERT_EQ(receiver.values.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(receiver.values[i], i);
}

TEST(ChildActions, ASentActionThatCannotBeHandledReleasesItsJob) {
  sProbeWindow w;
  auto* receiver = new cReceiver;
  w.form.attach(receiver, 0, 0, 10, 10);

  // On the main thread the wait could never end: refused at once.
  EXPECT_FALSE(receiver->sendAction(new cChildElement::cSentChildAction(K::acActivate)));
  EXPECT_FALSE(w.target.waitForNote(0));

  // The window refuses the notification: the action is withdrawn.
  w.target.acceptActions = false;
  std::thread refused(
      [&] { EXPECT_FALSE(receiver->sendAction(new cChildElement::cSentChildAction(K::acChange))); });
  refused.join();
  w.target.acceptActions = true;
  receiver->postAction(new cValueAction(9));
  w.target.drain();
  EXPECT_EQ(receiver->values, std::vector<int>{9});

  // A job cancelled in its wait leaves the action pointing at nothing of its
  // stack; the action is handled later without an answer.
  struct sSend {
    cReceiver* receiver;
    cChildElement::cSentChildAction* action;
  } send{receiver, new cChildElement::cSentChildAction(K::acActivate)};
  pthread_t cancelled;
  ASSERT_EQ(pthread_create(
                &cancelled, nullptr,
                [](void* p) -> void* {
                  auto* s = static_cast<sSend*>(p);
                  s->receiver->sendAction(s->action);
                  return nullptr;
                },
                &send),
            0);
  ASSERT_TRUE(w.target.waitForNote(5000));
  pthread_cancel(cancelled);
  pthread_join(cancelled, nullptr);
  EXPECT_EQ(send.action->doneEvent, nullptr);
  EXPECT_EQ(w.target.drain(), 1);

  // The element goes while the action waits in its queue.
  std::atomic<bool> answer{true};
  std::thread job([&] { answer = receiver->sendAction(new cChildElement::cSentChildAction(K::acActivate)); });
  ASSERT_TRUE(w.target.waitForNote(5000));
  delete receiver;
  job.join();
  EXPECT_FALSE(answer.load());
  EXPECT_EQ(w.target.drain(), 1);
}

TEST(ChildActions, AnElementDestroyedByItsHandlerDropsTheRestOfItsQueue) {
  sProbeWindow w;
  auto* receiver = new cReceiver;
  receiver->destroySelfOnValue = true;
  w.form.attach(receiver, 0, 0, 10, 10);
  receiver->postAction(new cValueAction(1));
  std::atomic<bool> answer{true};
  std::thread job([&] { answer = receiver->sendAction(new cChildElement::cSentChildAction(K::acActivate)); });
  // The post and the send each notified the window.
  for (int i = 0; i < 1000 && w.target.pending() < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  w.target.drain();
  job.join();
  EXPECT_FALSE(answer.load());
  EXPECT_EQ(w.form.getFirstChild(), nullptr);
}
