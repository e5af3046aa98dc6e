// Actions: queued on the element that raised them, from any thread, and
// handled on the main thread when the window drains the element's queues.
#include <thread>

#include "base/sync.h"
#include "ciom/child.h"
#include "ciom/windowmaker.h"

namespace {

// Static initialisation runs on the thread that later runs every window.
const std::thread::id gMainThread = std::this_thread::get_id();

}  // namespace

bool cChildElement::onMainThread() { return std::this_thread::get_id() == gMainThread; }

cChildElement::cSentChildAction::~cSentChildAction() { release(false); }

void cChildElement::cSentChildAction::actionDone() { release(true); }

void cChildElement::cSentChildAction::release(bool done) {
  // Under the lock, so that a sender leaving its wait early either sees the
  // answer given or finds the action still pointing at its stack.
  cSafeCriticalSectionAccess hold(&gActionSync);
  if (!doneEvent) return;
  // The sender's event and flag live on its stack and may be gone as soon as
  // the event is set, so nothing of them is touched after that.
  cEvent* event = doneEvent;
  bool* flag = doneFlag;
  doneEvent = nullptr;
  doneFlag = nullptr;
  if (flag) *flag = done;
  event->set();
}

bool cChildElement::notifyAction(cChildAction* a) {
  if (!a) a = new cChildAction(acDefault);
  cWindowMaker::gaSyncAdd(myNotifyQueue, a);
  return processActionNotify(this);
}

bool cChildElement::postAction(cChildAction* a) {
  if (!a) return false;
  cWindowMaker::gaSyncAdd(myPostQueue, a);
  return processPostNotify(this);
}

namespace {

// A sender that leaves its wait without an answer, a cancelled job unwinding
// out of it, cuts the action loose from its stack; the action stays where it
// is and is handled, or dropped with its element, answering no one.
struct sSendAbandon {
  cChildElement::cSentChildAction* action;
  cEvent& event;
  bool armed = true;

  ~sSendAbandon() {
    if (!armed) return;
    cSafeCriticalSectionAccess hold(&gActionSync);
    // Answered already: the action may be gone, and no longer refers here.
    if (event.try_wait()) return;
    action->doneEvent = nullptr;
    action->doneFlag = nullptr;
  }
};

}  // namespace

bool cChildElement::sendAction(cSentChildAction* a) {
  if (!a) return false;
  cEvent event;
  // Waiting on the thread that must handle the action would never end.
  if (onMainThread() || !event.create(nullptr, false, false)) {
    delete a;
    return false;
  }
  bool done = false;
  a->doneEvent = &event;
  a->doneFlag = &done;
  sSendAbandon abandon{a, event};
  cWindowMaker::gaSyncAdd(myPostQueue, a);
  if (!processPostNotify(this)) {
    cSafeCriticalSectionAccess hold(&gActionSync);
    // Unless a drain already took it (and will answer), the action is
    // withdrawn before its event goes out of scope.
    if (myPostQueue.dettach(a)) {
      abandon.armed = false;
      a->doneEvent = nullptr;
      a->doneFlag = nullptr;
      delete a;
      return false;
    }
  }
  event.wait();
  abandon.armed = false;
  return done;
}

bool cChildElement::processActionNotify(cChildElement* e) {
  if (myParent) return myParent->processActionNotify(e);
  return myTarget && myTarget->_rt_send_action(e);
}

bool cChildElement::processPostNotify(cChildElement* e) {
  if (myParent) return myParent->processPostNotify(e);
  return myTarget && myTarget->_rt_receive_action(e);
}

bool cChildElement::drainQueue(cList& queue, cChildElement* e, bool bubble) {
  // Whatever is left in the local list when this ends, by a handler that
  // destroyed the element or by an exception, is deleted with it, which
  // releases waiting senders as not done.
  cList local;
  cWindowMaker::gaSyncMove(queue, local);
  bool all = true;
  while (cListItem* item = local.head) {
    if (!valid(e)) return false;
    local.dettach(item);
    cPtr<cChildAction> a(static_cast<cChildAction*>(item));
    all &= bubble ? e->processAction(e, a.ptr) : e->onAction(e, a.ptr);
    a->actionDone();
  }
  return all;
}

bool cChildElement::processActionFirst(cChildElement* e) {
  return valid(e) && drainQueue(e->myNotifyQueue, e, true);
}

bool cChildElement::processPostFirst(cChildElement* e) {
  return valid(e) && drainQueue(e->myPostQueue, e, false);
}

bool cChildElement::processAction(cChildElement* sender, cChildAction* a) {
  if (onAction(sender, a)) return true;
  return myParent && myParent->processAction(sender, a);
}

bool cChildElement::onAction(cChildElement* sender, cChildAction* a) {
  if (!a) return false;
  if (sender == this && a->code == acRemoveHint) {
    delete myShownHint;
    myShownHint = nullptr;
    return true;
  }
  if (a->code == acFocusRequest) {
    // Asked for while the window is away, it is where the focus comes back.
    root()->myRememberedFocus = nullptr;
    root()->processFocusDirect(sender);
    return true;
  }
  return false;
}
