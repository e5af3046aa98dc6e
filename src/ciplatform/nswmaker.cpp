#include "ciplatform/nswmaker.h"

#include <cstdio>

#include "ciom/child.h"
#include "ciom/geometry.h"
#include "ciplatform/crbcanvas.h"
#include "nslib/nswnd.h"

void cNSWHolder::dispose(bool keepElement) {
  if (list) list->dettach(this);
  if (keepElement) translator.forgetRoot();
  delete this;
}

bool cNSWMaker::create(void*, void*, unsigned int) {
  cNSWindow::init();
  if (nsapp()) return true;
  // The one word a user started without a display gets before status 1.
  const char* name = XDisplayName(nullptr);
  if (name && *name)
    std::fprintf(stderr, "cannot open display \"%s\"\n", name);
  else
    std::fprintf(stderr, "cannot open display: DISPLAY is not set\n");
  return false;
}

cCanvas* cNSWMaker::offscreen(int w, int h) {
  if (w < 1 || h < 1) return nullptr;
  return cCrbOffscreenCanvas::make(w, h);
}

int cNSWMaker::modal(const char* caption, int w, int h, cChildElement* element, cWindowRequestTarget* parent,
                     bool resizable) {
  if (parent) return parent->_rt_modal(caption, w, h, element, resizable);
  // A translator without a window stands in as the parent, so the form gets
  // a top-level window of its own.
  cNSWTranslator top;
  top.setLangStore(langStore);
  return top._rt_modal(caption, w, h, element, resizable);
}

cWindowHolder* cNSWMaker::asyncwnd(const char* caption, int w, int h, cChildElement* element,
                                   cWindowRequestTarget*, bool resizable, int x, int y) {
  if (!element) return nullptr;
  auto* holder = new cNSWHolder;
  holder->translator.setRoot(element);
  holder->translator.setLangStore(langStore);
  element->setWinTarget(holder->target(), x, y, w, h);
  if (!holder->translator.create_wnd(caption, w, h, resizable, x, y)) {
    delete holder;  // and the element with it
    return nullptr;
  }
  // The maker ends it with the others unless the caller destroys it first.
  windows.add(holder);
  holder->list = &windows;
  return holder;
}

void cNSWMaker::destroy(cWindowHolder* holder) {
  if (!holder)
    windows.destroy();
  else
    windows.remove(holder);  // a holder that is not ours is left alone
}

int cNSWMaker::msgloop() {
  nswnd_msgloop();
  return 0;
}

bool cNSWMaker::recommendMainWindowSize(sRect& r) {
  return nswnd_main_optimal(&r.x, &r.y, &r.width, &r.height);
}

bool cNSWMaker::desktopSize(sSize& s) { return nswnd_desktop_size(&s.cx, &s.cy); }

cWindowMaker* __newPlatformWindowMaker() { return new cNSWMaker; }
