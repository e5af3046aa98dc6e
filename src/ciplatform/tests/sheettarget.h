// A window target without a window for the pixel tests: real fonts and
// text measures from the platform, pop-ups that only bind their element,
// and no repaints or actions to deliver.
#pragma once

#include "ciom/child.h"
#include "ciplatform/nswtranslator.h"
#include "support.h"

class cSheetTarget : public cNSWTranslator {
 public:
  void _rt_repaint(sArea*) override {}
  bool _rt_send_action(void*) override { return false; }
  bool _rt_receive_action(void*) override { return false; }
  bool _rt_capturepointer(bool) override { return true; }
  bool _rt_setpointer(int) override { return true; }
  bool _rt_winpossize(int& x, int& y, int& w, int& h) override {
    x = y = w = h = 0;
    return true;
  }
  void* _rt_popup(int x, int y, int w, int h, cChildElement* element, bool) override;
};

class cSheetHolder : public cWindowHolder {
 public:
  cSheetTarget window;
  cChildElement* element = nullptr;
  cWindowRequestTarget* target() override { return &window; }
  void dispose(bool keepElement) override {
    if (!keepElement) delete element;
    delete this;
  }
};

inline void* cSheetTarget::_rt_popup(int x, int y, int w, int h, cChildElement* element, bool) {
  if (!element) return nullptr;
  auto* holder = new cSheetHolder;
  holder->element = element;
  element->setWinTarget(&holder->window, x, y, w, h);
  return holder;
}

// A root of w x h bound to a window target without a window, painted over
// magenta so that what no element paints shows.
struct sScene {
  static constexpr unsigned int kMagenta = 0xFF00FF;
  cSheetTarget target;
  cChildElement root;
  cCrbOffscreenCanvas canvas;
  sScene(int w, int h) { root.setWinTarget(&target, 0, 0, w, h); }
  void paint() {
    canvas.close();
    ASSERT_TRUE(canvas.create(root.width(), root.height()));
    sRect all{0, 0, root.width(), root.height()};
    canvas.drawRect(&all, kMagenta, kMagenta);
    root.processPaint(&canvas);
  }
  unsigned int at(int x, int y) { return pixelAt(canvas, x, y); }
};
