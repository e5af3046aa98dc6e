#include "ciplatform/nswtranslator.h"

#include <cairo-xlib.h>

#include <cstdlib>
#include <cstring>

#include "base/stringkey.h"
#include "base/textconv.h"
#include "ciom/child.h"
#include "ciom/ciomlang.h"
#include "ciom/fontobject.h"
#include "ciom/geometry.h"
#include "ciplatform/crbcanvas.h"
#include "ciplatform/nswmaker.h"
#include "nslib/nswnd.h"

cNSWTranslator::~cNSWTranslator() {
  close();
  delete myRoot;
}

void cNSWTranslator::onInit() {
  if (myRoot) myRoot->processConstruct();
}

bool cNSWTranslator::onClose() { return myRoot ? myRoot->processClose() : true; }

void cNSWTranslator::onSize(int width, int height) {
  if (myRoot) myRoot->processSizeChanges(width, height, false);
}

// The Control key plays the toolkit's Control role, Alt its Alt role. The
// root moves the focus for a left press itself.
void cNSWTranslator::onMouseButton(int x, int y, int button, bool down, bool, bool, bool shift,
                                   bool command) {
  if (myRoot) myRoot->processMouseBtn(x, y, button, down, command, shift);
}

void cNSWTranslator::onMouseMove(int x, int y, int, bool, bool, bool, bool) {
  if (myRoot) myRoot->processMouseMove(x, y);
}

// A negative dy is the wheel turned away from the user (X button 4), which
// scrolls towards the start; a desktop's natural scrolling swaps the buttons
// itself, so nothing here turns it round.
void cNSWTranslator::onMouseWheel(int x, int y, int, int dy, int, bool, bool, bool, bool command) {
  if (myRoot) myRoot->processMouseWheel(x, y, dy < 0, command, std::abs(dy));
}

void cNSWTranslator::onKey(int key, bool down, bool option, bool, bool shift, bool command) {
  if (myRoot && down) myRoot->processKey(key, shift, command, option);
}

// The root answers as its processKey will take the key, modifiers mapped alike.
bool cNSWTranslator::endsOnKey(int key, bool option, bool, bool shift, bool command) {
  return myRoot && myRoot->endsOnKey(key, shift, command, option);
}

bool cNSWTranslator::endsOnClick(int x, int y, int releaseX, int releaseY) {
  return myRoot && myRoot->endsOnClick(x, y, releaseX, releaseY);
}

void cNSWTranslator::onChar(unsigned short unit, bool shift, bool option) {
  // Control characters come as keys; Return and Escape never type.
  if (!myRoot || unit < 32 || unit == 127) return;
  myRoot->processChar(unit, shift, false, option);
}

void cNSWTranslator::onAction(void* action) {
  if (myRoot) myRoot->processActionFirst(static_cast<cChildElement*>(action));
}

void cNSWTranslator::onPostAction(void* action) {
  if (myRoot) myRoot->processPostFirst(static_cast<cChildElement*>(action));
}

void cNSWTranslator::onPaint(void* context, int, int, int, int) {
  auto* target = static_cast<sNSWDrawable*>(context);
  int w = 0, h = 0;
  if (!myRoot || !target || !clientArea(w, h)) return;
  cairo_surface_t* surface = cairo_xlib_surface_create(target->display, target->drawable, target->visual,
                                                       target->width, target->height);
  cairo_t* cr = cairo_create(surface);
  {
    cCrbCanvas canvas;
    if (canvas.create(cr, w, h)) myRoot->processPaint(&canvas);
  }
  cairo_destroy(cr);
  // The layer copies the drawable to the screen once the paint returns.
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
}

void cNSWTranslator::onFocus() {
  if (myRoot) myRoot->processOSFocus();
}

void cNSWTranslator::onFocusLost() {
  if (myRoot) myRoot->processOSFocusLost();
}

void cNSWTranslator::_rt_destroy() { close(); }
void cNSWTranslator::_rt_modalresult(int code) { endModal(code); }
void cNSWTranslator::_rt_minimize() { minimize(); }
void cNSWTranslator::_rt_maximize() { maximize(); }
bool cNSWTranslator::_rt_changepos(int x, int y, int w, int h) { return move(x, y, w, h); }
void* cNSWTranslator::_rt_rawhandle() { return handle(); }

void cNSWTranslator::_rt_repaint(sArea* area) {
  if (!area)
    requestRepaint(0, 0, 0, 0);
  else
    requestRepaint(area->left, area->top, area->right - area->left, area->bottom - area->top);
}

bool cNSWTranslator::_rt_send_action(void* element) { return notifyAction(element); }
bool cNSWTranslator::_rt_receive_action(void* element) { return notifyPostAction(element); }

bool cNSWTranslator::_rt_capturepointer(bool on) {
  if (on) return captureMouse();
  cancelCaptureMouse();
  return true;
}

bool cNSWTranslator::_rt_setpointer(int type) {
  if (type == myPointer) return true;
  if (!setPointer(type)) return false;
  myPointer = type;
  return true;
}

// The clipboard keeps text as UTF-16; the toolkit speaks UTF-8.
// Callers count the terminator in the length; other programs must paste
// exactly the text, so it never reaches the selection.
bool cNSWTranslator::_rt_copy_text(const void* text, long long len) {
  const char* bytes = static_cast<const char*>(text);
  if (bytes && len > 0)
    while (len > 0 && !bytes[len - 1]) --len;
  _typebuf<unsigned short> units;
  if (bytes) _pc2w(bytes, len, units);
  return nswnd_clip_put(units.ptr, units.count, nullptr, 0);
}

bool cNSWTranslator::_rt_request_copied_text(_typebuf<unsigned char>& out) {
  out.set(0);
  _typebuf<unsigned short> units;
  if (!nswnd_clip_text(units)) return false;
  _typebuf<char> utf8;
  _w2pc(units, utf8);
  out.set(utf8.count);
  if (out.count) std::memcpy(out.ptr, utf8.ptr, static_cast<size_t>(utf8.count));
  return true;
}

bool cNSWTranslator::_rt_copy_raw(const void* data, long long len) {
  return nswnd_clip_put(nullptr, 0, static_cast<const unsigned char*>(data), len);
}

bool cNSWTranslator::_rt_request_copied_raw(_typebuf<unsigned char>& out) { return nswnd_clip_raw(out); }

bool cNSWTranslator::_rt_request_has_copied(bool) {
  _typebuf<unsigned short> units;
  return nswnd_clip_text(units) && units.count > 0;
}

bool cNSWTranslator::_rt_setminsize(int w, int h) { return setMinSize(w, h); }
bool cNSWTranslator::_rt_setmaxsize(int w, int h) { return setMaxSize(w, h); }
bool cNSWTranslator::_rt_winpossize(int& x, int& y, int& w, int& h) { return getPosSize(x, y, w, h); }
bool cNSWTranslator::_rt_desktopsize(int& w, int& h) { return desktopSize(w, h); }

bool cNSWTranslator::_rt_maxwinsize(int& w, int& h) { return nswnd_max_size(handle(), &w, &h); }

bool cNSWTranslator::_rt_workarea(int& x, int& y, int& w, int& h) {
  nswnd_work_area(&x, &y, &w, &h);
  return w > 0 && h > 0;
}
bool cNSWTranslator::_rt_setcaption(const char* text) { return setCaption(text); }

cFontObject* cNSWTranslator::_rt_createfont(int w, int h, const char* face, bool bold, bool underline,
                                            bool italic) {
  return cFontObject::get(w, h, face, bold, underline, italic);
}

cCiomLangData* cNSWTranslator::_rt_getnamedlangsection(const char* name) {
  if (!myLang || !name) return nullptr;
  return myLang->sections.find(cStringKey(name, -1));
}

bool cNSWTranslator::_rt_textbox(cFontObject* font, const char* text, sSize& size) {
  if (!font || !text) return false;
  return font->getTextDim(nullptr, text, -1, size);
}

void* cNSWTranslator::_rt_popup(int x, int y, int w, int h, cChildElement* element, bool focus) {
  if (!element) return nullptr;
  auto* holder = new cNSWHolder;
  holder->translator.setRoot(element);
  holder->translator.setLangStore(myLang);
  element->setWinTarget(holder->target(), x, y, w, h);
  if (!holder->translator.create_popup(x, y, w, h)) {
    // The element stays its caller's, who may try again or delete it.
    element->setWinTarget(nullptr, x, y, w, h);
    holder->dispose(true);
    return nullptr;
  }
  holder->translator.show();
  if (focus) holder->translator.focus();
  return holder;
}

int cNSWTranslator::_rt_modal(const char* caption, int w, int h, cChildElement* element, bool resizable) {
  if (!element) return -1;
  // The parent's elements lose the hover while the form is up.
  if (myRoot) myRoot->processMouseMove(-1, -1);
  cNSWHolder holder;
  holder.translator.setRoot(element);
  holder.translator.setLangStore(myLang);
  element->setWinTarget(holder.target(), 0, 0, w, h);
  if (!holder.translator.create_wnd(caption, w, h, resizable, -1, -1)) return 0;
  if (element->wantHiddenUnderBoxes()) holder.translator.hideUnderSheets();
  return holder.translator.modal(this);
}

int cNSWTranslator::_rt_modal_popup(int x, int y, int w, int h, cChildElement* element) {
  if (!element) return -1;
  if (myRoot) myRoot->processMouseMove(-1, -1);
  cNSWHolder holder;
  holder.translator.setRoot(element);
  holder.translator.setLangStore(myLang);
  element->setWinTarget(holder.target(), x, y, w, h);
  if (!holder.translator.create_popup(x, y, w, h)) return 0;
  return holder.translator.modal(this);
}

bool cNSWTranslator::_rt_focus() { return focus(); }

bool cNSWTranslator::_rt_wait(const std::function<bool()>& done) {
  return handle() ? nswnd_wait(handle(), done) : waitWithoutWindow(done);
}
