#include "support/testplatform.h"

#include <chrono>
#include <cstring>

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

std::string cTestRequestTarget::clipboard;

bool cTestRequestTarget::_rt_copy_text(const void* text, long long len) {
  const char* bytes = static_cast<const char*>(text);
  if (!bytes || len < 0) return false;
  while (len > 0 && !bytes[len - 1]) --len;
  clipboard.assign(bytes, static_cast<size_t>(len));
  return true;
}

bool cTestRequestTarget::_rt_request_copied_text(_typebuf<unsigned char>& out) {
  out.set(static_cast<long long>(clipboard.size()));
  if (out.count) std::memcpy(out.ptr, clipboard.data(), clipboard.size());
  return out.count > 0;
}
