// The base of every interface element. Elements form a tree whose root is
// bound to a window; every request that needs the window walks up to the
// root. Elements live on the main thread; only the action entry points
// (notifyAction, postAction, sendAction) may be called from other threads.
#pragma once

#include <functional>
#include <initializer_list>
#include <vector>

#include "base/btree.h"
#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/list.h"
#include "ciom/geometry.h"

class cCanvas;
class cCiomLangData;
class cEvent;
class cFontObject;
class cWindowRequestTarget;

class cChildElement {
 public:
  // How a child follows its parent's virtual offset (scrolling).
  enum eControlPartType { cptNormal = 0, cptFixedXY = 1, cptFixedY = 2, cptFixedX = 3 };
  enum eEventOrigin { eoPoint = 0, eoButton = 1, eoDirect = 2 };
  enum eMousePointerTypes {
    mptArrow = 0,
    mptIBeam = 1,
    mptCross = 2,
    mptHand = 3,
    mptSizeWE = 4,
    mptSizeNS = 5,
    mptSplitWE = 6,
    mptSplitNS = 7,
    mptGrab = 8,
    mptGrabbing = 9,
  };
  enum eActionCode {
    acDefault = 0,
    acFocus = 1,
    acContextRequest = 2,
    acDoubleClick = 3,
    acFocusRequest = 4,
    acRemoveHint = 5,
    acChange = 6,
    acActivate = 7,
    acEditFocusLost = 8,
  };
  enum eKeyCode {
    kcSpace = 32,
    kcBackspace = 264,
    kcTab = 265,
    kcEscape = 283,
    kcHome = 336,
    kcLeft = 337,
    kcUp = 338,
    kcRight = 339,
    kcDown = 340,
    kcPageUp = 341,
    kcPageDown = 342,
    kcEnd = 343,
    kcInsert = 355,
    kcMenu = 359,
    kcEnter = 397,
    kcF4 = 449,
    kcF10 = 455,
    kcDelete = 511,
  };
  enum eMouseButton { mbLeft = 1, mbRight = 2 };

  // Owned by the queue it is appended to; done and deleted on the main thread.
  class cChildAction : public cListItem {
   public:
    int code;
    explicit cChildAction(int c = acDefault) : code(c) {}
    virtual void actionDone() {}
  };

  // An action whose sender waits. Whether or not the action is ever handled,
  // its end releases the sender: handled when actionDone ran, not done when
  // the action was dropped (its element or window went first).
  class cSentChildAction : public cChildAction {
   public:
    cEvent* doneEvent = nullptr;
    bool* doneFlag = nullptr;
    explicit cSentChildAction(int c = acDefault) : cChildAction(c) {}
    ~cSentChildAction() override;
    void actionDone() override;

   private:
    void release(bool done);
  };

  class cFocusAction : public cChildAction {
   public:
    int origin;
    explicit cFocusAction(int o) : cChildAction(acFocus), origin(o) {}
  };

  class cCtxRequestAction : public cChildAction {
   public:
    int x, y;
    unsigned char flags[3];
    cCtxRequestAction(int px, int py, bool f1, bool f2, bool f3)
        : cChildAction(acContextRequest), x(px), y(py), flags{f1, f2, f3} {}
  };

  class cDoubleClickAction : public cChildAction {
   public:
    int x, y;
    cDoubleClickAction(int px, int py) : cChildAction(acDoubleClick), x(px), y(py) {}
  };

  // Two left presses make a double click within this time and distance.
  static constexpr unsigned int kDoubleClickMs = 499;
  static constexpr int kDoubleClickDistance = 2;
  // The millisecond clock of the double click; tests put their own here.
  static unsigned int (*clockMs)();

  // Every live element, so that a drain can tell a gone element.
  static cFasterTreeList<cChildElement*, int> mValidChilds;
  static bool valid(cChildElement* e);

  cChildElement();
  cChildElement(const cChildElement&) = delete;
  cChildElement& operator=(const cChildElement&) = delete;
  virtual ~cChildElement();

  // Routing (root side) and requests passed up.
  virtual void notifyHover(cChildElement* e);
  virtual bool processTab(bool forward);
  virtual bool processArrowTab(bool forward, bool f1, bool f2);
  virtual void repaintReq(sArea* area);
  virtual bool pointerCaptureReq(cChildElement* e, bool on);
  virtual void focusReq(cChildElement* e, int x, int y);
  virtual void processPaint(cCanvas* c);
  virtual void processErase(cCanvas*) {}
  virtual void processSizeChanges(int w, int h, bool force);
  virtual void processOSFocus();
  virtual void processFocus(int x, int y, int button, bool f1, bool f2);
  virtual void processFocusDirect(cChildElement* target);
  virtual void processMouseBtn(int x, int y, int button, bool down, bool mod1, bool mod2);
  virtual void processMouseMove(int x, int y);
  virtual bool processMouseWheel(int x, int y, bool f1, bool f2, int delta);
  virtual void processOSFocusLost();
  virtual void processFocusLost(bool f1, bool f2);
  virtual bool processChar(unsigned short ch, bool f1, bool f2, bool f3);
  virtual bool processKey(int key, bool shift, bool mod2, bool mod3);
  // Whether this root's window ends on a key, or on a left click pressed
  // and released at these places, as its handling will take it; a wait of
  // the window asks it of input still queued, so nothing may change.
  virtual bool endsOnKey(int, bool, bool, bool) { return false; }
  virtual bool endsOnClick(int, int, int, int) { return false; }
  virtual bool processAction(cChildElement* sender, cChildAction* a);
  virtual bool processActionFirst(cChildElement* e);
  virtual bool processPostFirst(cChildElement* e);
  virtual bool processActionNotify(cChildElement* e);
  virtual bool processPostNotify(cChildElement* e);
  virtual bool processPosQuery(sPoint& p);
  virtual bool processConstruct();
  virtual bool processClose();
  virtual void processDettach(cChildElement* child);
  virtual void processEnableChange(bool on);
  virtual bool requestCustomBackgroundInt(cCanvas* c, sRect* r);
  virtual bool requestCustomBackground(cCanvas* c, sRect* r);
  virtual bool requestOSWinFocus();

  // Texts.
  virtual const char* text() { return myText.ptr; }
  virtual const char* hint() { return myHint.ptr; }
  virtual void text(char* buf, long long size);
  // len < 0: up to the terminator; a null text removes it.
  virtual void setText(const char* text, long long len, bool repaint);
  virtual void wipeText();
  virtual void setHint(const char* text);

  // Geometry the subclasses shape (scrolling views, frames).
  virtual bool virtualSize(sSize* s);
  virtual bool virtualOffset(sPoint* p);
  virtual bool clientRect(sRect* r);

  // Handlers.
  virtual void onConstruct() {}
  virtual void onErase(cCanvas*) {}
  virtual void onPaint(cCanvas*) {}
  virtual bool onBackgroundRequest(cCanvas*, sRect*) { return false; }
  virtual void onSizeChanged() {}
  virtual void onMouseButton(int, int, int, bool) {}
  virtual void onMouseMoving(int x, int y);
  virtual bool onMouseWheel(int, int, bool, bool, int) { return false; }
  virtual void onMouseOver();
  virtual void onMouseLeft();
  virtual void onMouseDoubleClick(int x, int y);
  virtual void onChar(unsigned short, bool, bool, bool) {}
  virtual void onKey(int, bool, bool, bool) {}
  virtual bool onAction(cChildElement* sender, cChildAction* a);
  virtual bool onClose() { return true; }
  virtual void onEnableChanged(bool) {}
  virtual void onSetFocusEvent(eEventOrigin origin, bool f1, bool f2);
  virtual void onSetFocus(bool, bool) {}
  virtual void onLooseFocus(bool, bool) {}
  virtual void onLooseFocusChild(cChildElement*, bool, bool) {}
  virtual bool onMenuActivate();

  // Tree and geometry.
  virtual bool attach(cChildElement* child, int x, int y, int w, int h, eControlPartType part = cptNormal);
  virtual bool dettach(cChildElement* child);
  virtual bool move(int x, int y, int w, int h);
  virtual void capturePointer(bool forChildren);
  virtual void releasePointer();
  virtual bool canTabStop() { return myTabStop && myAcceptsFocus; }
  virtual void setTabStop(bool on) { myTabStop = on; }
  virtual bool canArrowTabStop() { return myArrowTabStop; }
  virtual void setArrowTabStop(bool on) { myArrowTabStop = on; }
  virtual void focus();
  virtual void setTransparent(bool on);
  virtual cFontObject* createFont(int w, int h, const char* face, bool bold, bool underline, bool italic);

  // Wishes, read when the element is attached.
  virtual bool wantDoubleBuffer() { return false; }
  virtual bool wantTabStop() { return false; }
  virtual bool wantFullRepaint() { return false; }
  virtual bool wantCaptureArrows() { return false; }
  virtual bool wantAcceptFoucs() { return true; }
  virtual bool wantCyclicArrowTabStop() { return false; }
  virtual int wantBorderWidth() { return 0; }
  virtual const char* wantLangResource() { return nullptr; }
  // A root that only holds boxes up: its window is not shown while one is.
  virtual bool wantHiddenUnderBoxes() { return false; }
  virtual eMousePointerTypes defaultPointer() { return mptArrow; }
  virtual bool changePointerReq(eMousePointerTypes type);
  virtual void onInitData();

  // Tree.
  cChildElement* getFirstChild();
  cChildElement* getNextChild(cChildElement* child);
  cChildElement* parent() { return myParent; }
  bool isChild(cChildElement* e);
  bool isDirectChild(cChildElement* e);
  void setWinTarget(cWindowRequestTarget* target, int x, int y, int w, int h);
  cWindowRequestTarget* winTarget() { return myTarget; }
  void setLangData(cCiomLangData* section) { myLangData = section; }

  // Geometry.
  int width() { return myRect.width; }
  int height() { return myRect.height; }
  bool childRect(sRect* r);
  bool childRect(cChildElement* c, sRect* r);
  bool anchor(cChildElement* child, int x, int y, int w, int h);
  bool setMinSize(int w, int h);
  bool setMaxSize(int w, int h);
  int minWidth() { return myMinW < 0 ? 0 : myMinW; }
  int minHeight() { return myMinH < 0 ? 0 : myMinH; }
  bool inme(int x, int y) { return x >= 0 && x < myRect.width && y >= 0 && y < myRect.height; }
  bool absPos(sPoint& p);
  bool desktopSize(sSize& s);
  bool maxWinSize(sSize& s);
  bool workArea(sRect& r);
  int screenDPI();

  // Painting.
  void repaint(sRect* r);
  void show(bool repaint);
  void hide(bool repaint);
  bool visible();
  bool visible_child() { return myVisible; }
  void setDoubleBuffer(bool on) { myDoubleBuffer = on; }
  bool doubleBuffer() { return myDoubleBuffer; }
  bool transparent() { return myTransparent; }
  void setDefaultBackgroundColor(unsigned int c) { myBackground = c & 0xFFFFFF; }
  unsigned int defaultBackgroundColor() { return myBackground; }

  // Fonts.
  cFontObject* stdFont();
  cFontObject* stdFontUnderlined();
  cFontObject* stdFontItalic();
  cFontObject* stdFontBold();

  // Modal runs and pop-ups over this element's window. The element handed
  // over belongs to the window (a modal run deletes it when it ends, and at
  // once when there is no window); a pop-up that fails leaves it to the
  // caller. -1 or null without a window.
  int modal(const char* caption, int w, int h, cChildElement* form, bool resizable);
  int modal_popup(int x, int y, int w, int h, cChildElement* e);
  void* popup(int x, int y, int w, int h, cChildElement* e, bool focus);
  void end_modal(int code);

  // Opens the hint window for the hint text and makes it the shown hint.
  void displayHint();
  bool hasHintText() { return myHint.ptr && *myHint.ptr; }

  // Window texts.
  bool setCaption(const char* text, long long len);
  bool sizeOf(const char* text, sSize& size, cFontObject* font);
  // The window's wait (see cWindowRequestTarget::_rt_wait).
  bool waitPainting(const std::function<bool()>& done);

  // Language.
  const char* string(int i);
  const char* string(cChildElement* from, int i);
  cCiomLangData* requestNamedLangResource(const char* name);

  // Clipboard.
  bool clipboardCopyText(const char* text, long long len);
  bool clipboardCopy(const void* data, long long len);
  bool clipboardRequestText(_typebuf<char>& out);
  bool clipboardRequestText(_guardchar<char>& out);
  bool clipboardRequest(_typebuf<unsigned char>& out);
  bool clipboardTest(bool any);

  // Input and focus.
  bool hasFocus() { return myFocused || myFocusedChild; }
  bool focused() { return myFocused; }
  cChildElement* getFocused();
  // While the window is away, the element the focus comes back to.
  cChildElement* heldFocus();
  void setPointer(eMousePointerTypes type) { myPointer = type; }
  void enable();
  void disable(bool repaint);
  bool enabled();
  bool enabled_child() { return myEnabled; }
  void setNotifyDoubleClick(bool on) { myNotifyDoubleClick = on; }
  void setAcceptFocus(bool on) { myAcceptsFocus = on; }
  bool acceptsFocus() { return myAcceptsFocus; }

  // Actions: any thread.
  bool notifyAction(cChildAction* a);
  bool postAction(cChildAction* a);
  // Blocks until the main thread handled the action; false when it was not
  // handled, and at once on the main thread itself.
  bool sendAction(cSentChildAction* a);
  // Whether the caller runs on the thread that runs the windows.
  static bool onMainThread();

 protected:
  cChildElement* root();
  cChildElement* windowed();
  // Repaints the parts of this element that a child's move from `before` to
  // `after` changed.
  void repaintMoved(const sRect& before, const sRect& after);
  bool fixedX() { return myFixedX != nullptr; }
  bool fixedY() { return myFixedY != nullptr; }
  // The child's rect in this element's coordinates, with the virtual offset
  // in the directions it follows.
  sRect placeOf(cChildElement* child, const sPoint& offset);
  // Whether the point lies inside the client area in each direction in
  // which the child scrolls with the content.
  bool reachable(cChildElement* child, int x, int y);
  // The first visible child under the point, and the point in its coordinates.
  cChildElement* childAt(int& x, int& y, bool needEnabled);
  // The element a left press at the point reaches as processMouseBtn routes
  // it, the holder of the pointer first, and the point in its coordinates.
  cChildElement* pressedAt(int& x, int& y);
  // The children a paint or the pointer may reach: every child, or those
  // that childrenInView names and then those of `also` it left out.
  void reachableChildren(std::vector<cChildElement*>& out, std::initializer_list<cChildElement*> also = {});
  // An element of very many children placed one below another names those
  // in its view, so that a paint or a pointer costs the same at any count;
  // false leaves every child reachable.
  virtual bool childrenInView(std::vector<cChildElement*>&) { return false; }

  cChildElement* myShownHint = nullptr;
  _guardchar<char> myHint;
  cList myNotifyQueue;
  cList myPostQueue;
  cCiomLangData* myLangData = nullptr;
  cWindowRequestTarget* myTarget = nullptr;
  _guardchar<char> myText;
  int myMinW = -1, myMinH = -1, myMaxW = -1, myMaxH = -1;
  cChildElement* myFocusedChild = nullptr;
  bool myFocused = false;
  cChildElement* myRememberedFocus = nullptr;
  cFasterTreeList<cChildElement*, int> myChildren;
  // Where a walk over the children stands, so that each step is one move
  // in the tree rather than a search: a view of many rows walks them on
  // every paint. Any change to the children forgets it.
  cFasterTreeList<cChildElement*, int>::cTreeItem* myWalked = nullptr;
  cFasterTreeList<int, cChildElement*> myOrdinals;
  cFasterTreeList<cChildElement*, sRect> myAnchors;
  cChildElement* myParent = nullptr;
  sRect myRect;
  bool myTransparent = false;
  bool myEnabled = true;
  bool myTabStop = false;
  bool myArrowTabStop = false;
  bool myCyclicArrowTabStop = false;
  bool myDoubleBuffer = false;
  bool myFullRepaint = false;
  bool myVisible = true;
  bool myAttached = false;
  bool myAcceptsFocus = true;
  bool myCapturesForItself = false;
  int myBorderWidth = 0;
  bool myNotifyDoubleClick = false;
  cChildElement* myCapturingChild = nullptr;
  cChildElement* myHovered = nullptr;
  cChildElement* myFixedY = nullptr;
  cChildElement* myFixedX = nullptr;
  unsigned int myLastPressTime = 0;
  int myLastPressX = -1, myLastPressY = -1;
  unsigned int myBackground = 0xFFFFFF;
  eMousePointerTypes myPointer = mptArrow;

 private:
  bool inSubtree(cChildElement* e, cChildElement* top);
  // Steps through the ordinals from `from` (exclusive) in the direction.
  cFasterTreeList<int, cChildElement*>::cTreeItem* stepOrdinal(
      cFasterTreeList<int, cChildElement*>::cTreeItem* from, bool forward);
  bool drainQueue(cList& queue, cChildElement* e, bool bubble);
};
