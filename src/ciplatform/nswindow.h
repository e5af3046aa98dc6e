// One window of the window layer as an object: its events arrive as calls
// of the virtual handlers, and other threads reach it through its queue of
// actions, which is drained on the main thread before every event.
#pragma once

#include "base/list.h"
#include "base/sync.h"

struct cNSWndWrapper;

class cNSWindow {
 public:
  class cActionItem : public cListItem {
   public:
    virtual int typeOf() = 0;
  };
  class cSentActionItem : public cActionItem {
   public:
    explicit cSentActionItem(void* a) : action(a) {}
    int typeOf() override { return 1; }
    void* action;
  };
  class cPostActionItem : public cActionItem {
   public:
    explicit cPostActionItem(void* a) : action(a) {}
    int typeOf() override { return 2; }
    void* action;
  };
  class cRepaintAction : public cActionItem {
   public:
    cRepaintAction(int x0, int y0, int w, int h) : x(x0), y(y0), width(w), height(h) {}
    int typeOf() override { return 3; }
    int x, y, width, height;  // all 0: the whole view
  };
  class cFocusAction : public cActionItem {
   public:
    int typeOf() override { return 4; }
  };
  class cFocusLostAction : public cActionItem {
   public:
    int typeOf() override { return 5; }
  };

  cNSWindow() = default;
  cNSWindow(const cNSWindow&) = delete;
  cNSWindow& operator=(const cNSWindow&) = delete;
  virtual ~cNSWindow();

  virtual void onInit() {}
  virtual bool onClose() { return true; }
  virtual void onSize(int, int) {}
  virtual void onMouseButton(int, int, int, bool, bool, bool, bool, bool) {}
  virtual void onMouseMove(int, int, int, bool, bool, bool, bool) {}
  virtual void onMouseWheel(int, int, int, int, int, bool, bool, bool, bool) {}
  virtual void onKey(int, bool, bool, bool, bool, bool) {}
  // Whether the window ends on this key, or on a left click pressed and
  // released at these places, once it reaches it; asked of input still
  // queued while the window waits, so the answer changes nothing.
  virtual bool endsOnKey(int, bool, bool, bool, bool) { return false; }
  virtual bool endsOnClick(int, int, int, int) { return false; }
  virtual void onChar(unsigned short, bool, bool) {}
  virtual void onAction(void*) {}
  virtual void onPostAction(void*) {}
  virtual void onPaint(void*, int, int, int, int) {}
  virtual void onFocus() {}
  virtual void onFocusLost() {}

  bool create_wnd(const char* caption, int width, int height, bool resizable, int x, int y);
  bool create_popup(int x, int y, int width, int height);
  void close();
  int modal(cNSWindow* parent);
  bool show();
  // The window only holds boxes up: it stays off the screen while one is up.
  void hideUnderSheets();
  bool captureMouse();
  bool cancelCaptureMouse();
  int endModal(int result);
  bool minimize();
  bool maximize();
  bool move(int x, int y, int width, int height);
  bool setPointer(int type);
  bool setMinSize(int width, int height);
  bool setMaxSize(int width, int height);
  bool getPosSize(int& x, int& y, int& width, int& height);
  void* cgctx();
  bool clientArea(int& width, int& height);
  bool focus();
  bool setCaption(const char* text);
  cNSWndWrapper* handle() const { return myWnd; }

  // Any thread.
  bool notifyAction(void* action);
  bool notifyPostAction(void* action);
  bool requestRepaint(int x, int y, int width, int height);
  bool asyncOnFocus();
  bool asyncOnFocusLost();

  static void init();
  static void msgloop();
  static bool desktopSize(int& width, int& height);
  static bool recommendMainWindowSize(int& x, int& y, int& width, int& height);
  static int wndCallbackProc(int code, void* record, void* param);

 protected:
  int wndProc(int code, void* record);

 private:
  bool enqueue(cActionItem* item);
  // Asks for a wake-up unless one is on its way; under the queue's lock.
  bool wake();
  void drain();
  // Inside a wait: only the repaint waiting is sent on.
  void askRepaints();

  cNSWndWrapper* myWnd = nullptr;
  cList myQueue;
  // Guards the queue and the handle: a job thread never wakes a window that
  // the main thread is closing.
  cCriticalSection myQueueLock;
  // A wake-up sent and not yet come back. One is enough for all that is
  // queued meanwhile: a wake-up for each would pile up behind the work it
  // starts, and the user's keys would wait behind them all.
  bool myWakeSent = false;
};
