// What the toolkit asks of the platform. The element tree never talks to the
// window system itself: a root element reaches its window through a
// cWindowRequestTarget, forms are opened through the one cWindowMaker, and
// each non-modal window is kept as a cWindowHolder in the maker's list. The
// platform layer implements all three.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "base/buffers.h"
#include "base/list.h"
#include "base/sync.h"

class cCanvas;
class cChildElement;
class cCiomLang;
class cCiomLangData;
class cFontObject;

// A wait with no window to paint: the work it waits on is short.
inline bool waitWithoutWindow(const std::function<bool()>& done) {
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

class cWindowRequestTarget;
struct sArea;
struct sRect;
struct sSize;

// Guards the action queues of every element. It is held only while an
// action is appended or a queue is moved out, never while an action runs, so
// handlers may queue new actions.
extern cCriticalSection gActionSync;

// A handle to one platform window.
class cWindowHolder : public cListItem {
 public:
  virtual int typeOf() { return 0; }
  virtual void destroy() {}
  virtual cWindowRequestTarget* target() = 0;
  virtual void dispose(bool) = 0;
};

class cWindowMaker {
 public:
  // The store every window answers its language sections from.
  cCiomLang* langStore = nullptr;
  // The non-modal windows made by asyncwnd; owned.
  cList windows;

  cWindowMaker() = default;
  cWindowMaker(const cWindowMaker&) = delete;
  cWindowMaker& operator=(const cWindowMaker&) = delete;
  virtual ~cWindowMaker() = default;

  // Prepares the platform; false makes newWindowMaker delete the maker.
  virtual bool create(void* instance, void* iconData, unsigned int iconDim) = 0;
  // A canvas of w by h owned by the caller; null when w or h is below 1.
  virtual cCanvas* offscreen(int, int) { return nullptr; }
  // Runs the element as the root of a window until it ends with a code.
  // With a parent the window opens over the parent's.
  virtual int modal(const char* caption, int w, int h, cChildElement* element, cWindowRequestTarget* parent,
                    bool resizable) = 0;
  // A non-modal window kept in `windows`; (-1, -1) centres it. Null for a
  // null element or when the window cannot be made.
  virtual cWindowHolder* asyncwnd(const char* caption, int w, int h, cChildElement* element,
                                  cWindowRequestTarget* parent, bool resizable, int x, int y) = 0;
  // Removes and deletes the holder; a null holder deletes all of them.
  virtual void destroy(cWindowHolder* holder) = 0;
  virtual int msgloop() = 0;
  virtual bool recommendMainWindowSize(sRect&) { return false; }
  virtual bool desktopSize(sSize&) { return false; }

  // Appends under gActionSync; any thread.
  static void gaSyncAdd(cList& list, cListItem* item);
  // Moves every item of `from`, in order, into `to` (whose former items are
  // deleted) under gActionSync.
  static void gaSyncMove(cList& from, cList& to);

  // Makes the platform's maker when `maker` is null and prepares it; on the
  // first success in the process the toolkit's own texts are registered and
  // the applied language is applied again so that they join it.
  static cWindowMaker* newWindowMaker(void* instance, void* iconData, unsigned int iconDim,
                                      cWindowMaker* maker);
};

// The requests a root element makes of its window. Every operation but those
// with bodies is the platform's.
class cWindowRequestTarget {
 public:
  virtual void _rt_destroy() = 0;
  virtual void _rt_modalresult(int code) = 0;
  virtual void _rt_minimize() = 0;
  virtual void _rt_maximize() = 0;
  virtual bool _rt_changepos(int x, int y, int w, int h) = 0;
  virtual void* _rt_rawhandle() = 0;
  // The area (right and bottom exclusive) is painted later, on the main
  // thread, through the root's processPaint.
  virtual void _rt_repaint(sArea* area) = 0;
  // Both may be called from any thread: the window brings the element's
  // notify (send) or post (receive) queue to the main thread.
  virtual bool _rt_send_action(void* element) = 0;
  virtual bool _rt_receive_action(void* element) = 0;
  virtual bool _rt_capturepointer(bool on) = 0;
  // Setting the shape already shown answers true; a type above 9 false.
  virtual bool _rt_setpointer(int type) = 0;
  virtual bool _rt_copy_text(const void* text, long long len) = 0;
  virtual bool _rt_request_copied_text(_typebuf<unsigned char>& out) = 0;
  virtual bool _rt_copy_raw(const void* data, long long len) = 0;
  virtual bool _rt_request_copied_raw(_typebuf<unsigned char>& out) = 0;
  virtual bool _rt_request_has_copied(bool) = 0;
  virtual bool _rt_setminsize(int w, int h) = 0;
  virtual bool _rt_setmaxsize(int w, int h) = 0;
  virtual bool _rt_winpossize(int& x, int& y, int& w, int& h) = 0;
  virtual bool _rt_desktopsize(int& w, int& h) = 0;
  virtual bool _rt_maxwinsize(int& w, int& h) { return _rt_desktopsize(w, h); }
  // The part of the screen, origin included, that windows without a frame
  // (pop-ups) may cover.
  virtual bool _rt_workarea(int& x, int& y, int& w, int& h) {
    x = y = 0;
    return _rt_maxwinsize(w, h);
  }
  virtual int _rt_screen_dpi() { return 96; }
  virtual bool _rt_setcaption(const char* text) = 0;
  virtual cFontObject* _rt_createfont(int w, int h, const char* face, bool bold, bool underline,
                                      bool italic) = 0;
  virtual cCiomLangData* _rt_getnamedlangsection(const char* name) = 0;
  virtual bool _rt_textbox(cFontObject* font, const char* text, sSize& size) = 0;
  virtual void* _rt_popup(int x, int y, int w, int h, cChildElement* element, bool focus) = 0;
  // Runs the element modally over this window; -1 for a null element.
  virtual int _rt_modal(const char* caption, int w, int h, cChildElement* element, bool resizable) = 0;
  virtual int _rt_modal_popup(int x, int y, int w, int h, cChildElement* element) = 0;
  virtual bool _rt_focus() = 0;
  // Waits until `done` holds while the window repaints what is uncovered;
  // false as soon as the user asks the window to end (Escape, its close
  // box), which then comes in order with the rest of the input.
  virtual bool _rt_wait(const std::function<bool()>& done) { return waitWithoutWindow(done); }
  virtual ~cWindowRequestTarget() = default;
};

// Supplied by the platform layer: a new, not yet created maker owned by the
// caller.
cWindowMaker* __newPlatformWindowMaker();
