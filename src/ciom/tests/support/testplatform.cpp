#include "support/testplatform.h"

#include <chrono>

void cTestRequestTarget::bind(cChildElement* root, int w, int h) {
  myRoot = root;
  root->setWinTarget(this, 100, 50, w, h);
  root->processConstruct();
}

bool cTestRequestTarget::queue(void* element, bool notify) {
  if (!acceptActions) return false;
  {
    std::lock_guard<std::mutex> hold(myLock);
    myNotes.push_back({element, notify});
  }
  myArrived.notify_all();
  return true;
}

int cTestRequestTarget::drain() {
  std::vector<sNote> notes;
  {
    std::lock_guard<std::mutex> hold(myLock);
    notes.swap(myNotes);
  }
  for (const sNote& n : notes) {
    auto* e = static_cast<cChildElement*>(n.element);
    if (n.notify)
      myRoot->processActionFirst(e);
    else
      myRoot->processPostFirst(e);
  }
  return static_cast<int>(notes.size());
}

bool cTestRequestTarget::waitForNote(int ms) {
  std::unique_lock<std::mutex> hold(myLock);
  return myArrived.wait_for(hold, std::chrono::milliseconds(ms), [this] { return !myNotes.empty(); });
}

size_t cTestRequestTarget::pending() {
  std::lock_guard<std::mutex> hold(myLock);
  return myNotes.size();
}

bool cTestRequestTarget::_rt_winpossize(int& px, int& py, int& w, int& h) {
  px = 100;
  py = 50;
  w = myRoot ? myRoot->width() : 0;
  h = myRoot ? myRoot->height() : 0;
  return true;
}

int cTestWindowMaker::made = 0;
bool cTestWindowMaker::createAnswer = true;

cWindowMaker* __newPlatformWindowMaker() {
  ++cTestWindowMaker::made;
  return new cTestWindowMaker;
}
