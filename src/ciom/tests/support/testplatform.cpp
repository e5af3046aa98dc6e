#include "support/testplatform.h"

#include <chrono>
#include <cstring>

void cTestRequestTarget::bind(cChildElement* root, int w, int h) {
  myRoot = root;
  root->setWinTarget(this, x, y, w, h);
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

bool cTestRequestTarget::_rt_setpointer(int type) {
  if (type > 9) return false;
  if (pointers.empty() || pointers.back() != type) pointers.push_back(type);
  return true;
}

namespace {

bool copyOut(const std::string& from, _typebuf<unsigned char>& out) {
  out.set(static_cast<long long>(from.size()));
  if (out.count) std::memcpy(out.ptr, from.data(), from.size());
  return true;
}

}  // namespace

bool cTestRequestTarget::_rt_copy_text(const void* text, long long len) {
  clipboardText.assign(static_cast<const char*>(text), static_cast<size_t>(len));
  return true;
}

bool cTestRequestTarget::_rt_request_copied_text(_typebuf<unsigned char>& out) {
  return copyOut(clipboardText, out);
}

bool cTestRequestTarget::_rt_copy_raw(const void* data, long long len) {
  clipboardRaw.assign(static_cast<const char*>(data), static_cast<size_t>(len));
  return true;
}

bool cTestRequestTarget::_rt_request_copied_raw(_typebuf<unsigned char>& out) {
  return copyOut(clipboardRaw, out);
}

bool cTestRequestTarget::_rt_setminsize(int w, int h) {
  minSize = {w, h};
  return true;
}

bool cTestRequestTarget::_rt_setmaxsize(int w, int h) {
  maxSize = {w, h};
  return true;
}

bool cTestRequestTarget::_rt_winpossize(int& px, int& py, int& w, int& h) {
  px = x;
  py = y;
  w = myRoot ? myRoot->width() : 0;
  h = myRoot ? myRoot->height() : 0;
  return true;
}

bool cTestRequestTarget::_rt_desktopsize(int& w, int& h) {
  w = 1920;
  h = 1080;
  return true;
}

bool cTestRequestTarget::_rt_setcaption(const char* text) {
  caption = text ? text : "";
  return true;
}

int cTestRequestTarget::_rt_modal(const char*, int, int, cChildElement* element, bool) {
  if (!element) return -1;
  if (myRoot) myRoot->processMouseMove(-1, -1);
  return modalScript ? modalScript(element) : 0;
}

int cTestRequestTarget::_rt_modal_popup(int, int, int, int, cChildElement* element) {
  return element && modalScript ? modalScript(element) : -1;
}

int cTestWindowMaker::made = 0;
bool cTestWindowMaker::createAnswer = true;

int cTestWindowMaker::modal(const char* caption, int w, int h, cChildElement* element,
                            cWindowRequestTarget* parent, bool flag) {
  if (parent) return parent->_rt_modal(caption, w, h, element, flag);
  cTestRequestTarget window;
  return window._rt_modal(caption, w, h, element, flag);
}

void cTestWindowMaker::destroy(cWindowHolder* holder) {
  if (!holder)
    windows.destroy();
  else
    windows.remove(holder);
}

cWindowMaker* __newPlatformWindowMaker() {
  ++cTestWindowMaker::made;
  return new cTestWindowMaker;
}

size_t cTestRequestTarget::pending() {
  std::lock_guard<std::mutex> hold(myLock);
  return myNotes.size();
}
