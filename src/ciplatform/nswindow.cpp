#include "ciplatform/nswindow.h"

#include <memory>

#include "nslib/nswnd.h"

cNSWindow::~cNSWindow() { close(); }

bool cNSWindow::create_wnd(const char* caption, int width, int height, bool resizable, int x, int y) {
  close();
  cNSWndWrapper* w = nswnd_create_wnd(wndCallbackProc, this, caption, width, height, resizable, x, y);
  if (!w) return false;
  {
    cSafeCriticalSectionAccess hold(&myQueueLock);
    myWnd = w;
    myWakeSent = false;
  }
  onInit();
  // The layer keeps a window inside the screen; the root learns the size
  // it really got.
  int cw = width, ch = height;
  if (nswnd_client_area(w, &cw, &ch) && (cw != width || ch != height)) onSize(cw, ch);
  return true;
}

bool cNSWindow::create_popup(int x, int y, int width, int height) {
  close();
  cNSWndWrapper* w = nswnd_create_popup(wndCallbackProc, this, x, y, width, height);
  if (!w) return false;
  {
    cSafeCriticalSectionAccess hold(&myQueueLock);
    myWnd = w;
    myWakeSent = false;
  }
  onInit();
  return true;
}

void cNSWindow::close() {
  cNSWndWrapper* w;
  {
    cSafeCriticalSectionAccess hold(&myQueueLock);
    w = myWnd;
    myWnd = nullptr;
    myWakeSent = false;
  }
  if (!w) return;
  nswnd_cancel_capture(w);
  nswnd_destroy(w);
}

int cNSWindow::modal(cNSWindow* parent) {
  if (!myWnd) return 0;
  return nswnd_modal(myWnd, parent ? parent->myWnd : nullptr);
}

bool cNSWindow::show() { return nswnd_show_floating(myWnd); }
void cNSWindow::hideUnderSheets() { nswnd_hide_under_sheets(myWnd); }
bool cNSWindow::captureMouse() { return nswnd_capture_mouse(myWnd); }
bool cNSWindow::cancelCaptureMouse() { return nswnd_cancel_capture(myWnd); }
int cNSWindow::endModal(int result) { return nswnd_modal_result(myWnd, result); }
bool cNSWindow::minimize() { return nswnd_minimize(myWnd); }

bool cNSWindow::maximize() {
  if (!nswnd_maximize(myWnd)) return false;
  requestRepaint(0, 0, 0, 0);
  return true;
}

bool cNSWindow::move(int x, int y, int width, int height) {
  if (!nswnd_move(myWnd, x, y, width, height)) return false;
  requestRepaint(0, 0, 0, 0);
  return true;
}

bool cNSWindow::setPointer(int type) { return nswnd_setpointer(myWnd, type); }
bool cNSWindow::setMinSize(int width, int height) { return nswnd_setminsize(myWnd, width, height); }
bool cNSWindow::setMaxSize(int width, int height) { return nswnd_setmaxsize(myWnd, width, height); }
bool cNSWindow::getPosSize(int& x, int& y, int& width, int& height) {
  return nswnd_getpossize(myWnd, &x, &y, &width, &height);
}
void* cNSWindow::cgctx() { return nswnd_cgctx(myWnd); }
bool cNSWindow::clientArea(int& width, int& height) { return nswnd_client_area(myWnd, &width, &height); }
bool cNSWindow::focus() { return nswnd_focus(myWnd); }
bool cNSWindow::setCaption(const char* text) { return nswnd_set_caption(myWnd, text); }

bool cNSWindow::enqueue(cActionItem* item) {
  cSafeCriticalSectionAccess hold(&myQueueLock);
  myQueue.add(item);
  return wake();
}

bool cNSWindow::wake() {
  if (myWakeSent) return true;
  // Woken under the lock, so the handle cannot be destroyed meanwhile.
  myWakeSent = nswnd_notify_action(myWnd);
  return myWakeSent;
}

bool cNSWindow::notifyAction(void* action) { return enqueue(new cSentActionItem(action)); }
bool cNSWindow::notifyPostAction(void* action) { return enqueue(new cPostActionItem(action)); }
bool cNSWindow::asyncOnFocus() { return enqueue(new cFocusAction); }
bool cNSWindow::asyncOnFocusLost() { return enqueue(new cFocusLostAction); }

bool cNSWindow::requestRepaint(int x, int y, int width, int height) {
  cSafeCriticalSectionAccess hold(&myQueueLock);
  // A repaint already waiting grows to the whole view instead of queueing
  // another, and needs no second wake-up.
  for (cListItem* it = myQueue.head; it; it = it->next) {
    auto* item = static_cast<cActionItem*>(it);
    if (item->typeOf() != 3) continue;
    auto* repaint = static_cast<cRepaintAction*>(item);
    repaint->x = repaint->y = repaint->width = repaint->height = 0;
    return true;
  }
  myQueue.add(new cRepaintAction(x, y, width, height));
  return wake();
}

void cNSWindow::askRepaints() {
  // The repaint waiting, there is at most one, leaves the queue alone: the
  // actions around it keep their turn.
  std::unique_ptr<cRepaintAction> r;
  {
    cSafeCriticalSectionAccess hold(&myQueueLock);
    for (cListItem* it = myQueue.head; it; it = it->next) {
      if (static_cast<cActionItem*>(it)->typeOf() != 3) continue;
      myQueue.dettach(it);
      r.reset(static_cast<cRepaintAction*>(it));
      break;
    }
  }
  if (r) nswnd_invalidate_view(myWnd, r->x, r->y, r->width, r->height);
}

void cNSWindow::drain() {
  // Only what was queued before the drain began: what a handler queues waits
  // for its own wake-up, behind the window's events that came meanwhile, so
  // that work split into a chain of actions leaves the window answering.
  // The items stay in the queue until taken, for a nested loop to run them.
  size_t left = 0;
  {
    cSafeCriticalSectionAccess hold(&myQueueLock);
    for (cListItem* it = myQueue.head; it; it = it->next) ++left;
  }
  for (; left > 0; --left) {
    std::unique_ptr<cActionItem> item;
    {
      cSafeCriticalSectionAccess hold(&myQueueLock);
      if (!myQueue.head) return;
      item.reset(static_cast<cActionItem*>(myQueue.head));
      myQueue.dettach(myQueue.head);
    }
    switch (item->typeOf()) {
      case 1:
        onAction(static_cast<cSentActionItem*>(item.get())->action);
        break;
      case 2:
        onPostAction(static_cast<cPostActionItem*>(item.get())->action);
        break;
      case 3: {
        auto* r = static_cast<cRepaintAction*>(item.get());
        nswnd_invalidate_view(myWnd, r->x, r->y, r->width, r->height);
        break;
      }
      case 4:
        onFocus();
        break;
      case 5:
        onFocusLost();
        break;
      default:
        break;
    }
  }
}

int cNSWindow::wndProc(int code, void* record) {
  if (code == nsweWakeUp) {
    cSafeCriticalSectionAccess hold(&myQueueLock);
    myWakeSent = false;
  }
  // Asked from inside a wait, in the middle of another handler.
  if (code == nsweKeyEnds) {
    auto* r = static_cast<sNSWKey*>(record);
    return endsOnKey(r->key, r->option, r->control, r->shift, r->command) ? 1 : 0;
  }
  if (code == nsweClickEnds) {
    auto* r = static_cast<sNSWClick*>(record);
    return endsOnClick(r->x, r->y, r->releaseX, r->releaseY) ? 1 : 0;
  }
  if (code == nsweRepaintsAsked) {
    askRepaints();
    return 0;
  }
  // A paint inside a wait comes in the middle of another handler too.
  if (code != nswePaint || !nswnd_waiting()) drain();
  switch (code) {
    case nsweClose:
      return onClose() ? 0 : 1;
    case nsweMouseBtn: {
      auto* r = static_cast<sNSWMouseBtn*>(record);
      onMouseButton(r->x, r->y, r->button, r->down != 0, r->option, r->control, r->shift, r->command);
      break;
    }
    case nsweMouseMove: {
      auto* r = static_cast<sNSWMouseMove*>(record);
      onMouseMove(r->x, r->y, r->left ? 1 : r->right ? 2 : 0, r->option, r->control, r->shift, r->command);
      break;
    }
    case nsweWheel: {
      auto* r = static_cast<sNSWWheel*>(record);
      onMouseWheel(r->x, r->y, r->dx, r->dy, r->dz, r->option, r->control, r->shift, r->command);
      break;
    }
    case nsweKey: {
      // The layer already gives the toolkit's key code.
      auto* r = static_cast<sNSWKey*>(record);
      onKey(r->key, r->down != 0, r->option, r->control, r->shift, r->command);
      break;
    }
    case nsweChar: {
      auto* r = static_cast<sNSWChar*>(record);
      onChar(r->unit, r->shift, r->option);
      break;
    }
    case nswePaint: {
      auto* r = static_cast<sNSWPaint*>(record);
      onPaint(r->context, r->x, r->y, r->width, r->height);
      break;
    }
    case nsweSize: {
      auto* r = static_cast<sNSWSize*>(record);
      onSize(r->width, r->height);
      break;
    }
    // The focus change waits behind the actions already queued.
    case nsweFocus:
      asyncOnFocus();
      break;
    case nsweFocusLost:
      asyncOnFocusLost();
      break;
    default:
      break;
  }
  return 0;
}

int cNSWindow::wndCallbackProc(int code, void* record, void* param) {
  if (!param) return 0;
  return static_cast<cNSWindow*>(param)->wndProc(code, record);
}

void cNSWindow::init() { nswnd_init(); }
void cNSWindow::msgloop() { nswnd_msgloop(); }
bool cNSWindow::desktopSize(int& width, int& height) { return nswnd_desktop_size(&width, &height); }
bool cNSWindow::recommendMainWindowSize(int& x, int& y, int& width, int& height) {
  return nswnd_main_optimal(&x, &y, &width, &height);
}
