// An off-screen window for the application's forms: real fonts measured on
// the platform's off-screen canvas, the application's and the toolkit's
// language tables, actions queued for the test to hand over, and modal runs
// (message boxes) played by scripts the test queues.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/stringkey.h"
#include "ciom/ciomlangs.h"
#include "ciom/customform.h"
#include "ciom/fontobject.h"
#include "ciom/windowmaker.h"
#include "ciplatform/crbcanvas.h"
#include "tamsivarapp/lang.h"

class cWizTestWindow : public cWindowRequestTarget {
 public:
  using tScript = std::function<void(cWizTestWindow&)>;
  static constexpr int kNoResult = -12345;

  static inline std::deque<tScript> scripts;
  // The texts of the modal runs in order, lines joined by "\n".
  static inline std::vector<std::string> shown;

  static void useLanguage(eCIOMStdLangs lang) {
    static bool registered = (cLibLang::ref(new cCIOMLang), cSOPKGLang::init(), true);
    (void)registered;
    cLibLang::applyLang(lang);
  }

  cChildElement* root = nullptr;
  int result = kNoResult;

  void bind(cChildElement* e, int w, int h) {
    root = e;
    e->setWinTarget(this, 0, 0, w, h);
    e->processConstruct();
    settle();
  }
  // Hands over every queued action until none is left (bounded).
  void settle() {
    for (int round = 0; round < 100; ++round) {
      std::vector<std::pair<void*, bool>> notes;
      {
        std::lock_guard<std::mutex> hold(myLock);
        notes.swap(myNotes);
      }
      if (notes.empty()) return;
      for (auto& [element, notify] : notes) {
        auto* e = static_cast<cChildElement*>(element);
        notify ? root->processActionFirst(e) : root->processPostFirst(e);
      }
    }
  }
  // Waits until an action arrives or the time passes, then settles.
  bool waitAndSettle(int ms) {
    bool arrived;
    {
      std::unique_lock<std::mutex> hold(myLock);
      arrived = myArrived.wait_for(hold, std::chrono::milliseconds(ms), [this] { return !myNotes.empty(); });
    }
    settle();
    return arrived;
  }
  void key(int code) {
    root->processKey(code, false, false, false);
    settle();
  }

  void _rt_destroy() override {}
  void _rt_modalresult(int code) override { result = code; }
  void _rt_minimize() override {}
  void _rt_maximize() override {}
  bool _rt_changepos(int, int, int, int) override { return true; }
  void* _rt_rawhandle() override { return nullptr; }
  void _rt_repaint(sArea*) override {}
  bool _rt_send_action(void* e) override { return queue(e, true); }
  bool _rt_receive_action(void* e) override { return queue(e, false); }
  bool _rt_capturepointer(bool) override { return true; }
  bool _rt_setpointer(int type) override {
    pointer = type;
    return true;
  }
  bool _rt_copy_text(const void*, long long) override { return false; }
  bool _rt_request_copied_text(_typebuf<unsigned char>&) override { return false; }
  bool _rt_copy_raw(const void*, long long) override { return false; }
  bool _rt_request_copied_raw(_typebuf<unsigned char>&) override { return false; }
  bool _rt_request_has_copied(bool) override { return false; }
  bool _rt_setminsize(int, int) override { return true; }
  bool _rt_setmaxsize(int, int) override { return true; }
  bool _rt_winpossize(int& x, int& y, int& w, int& h) override {
    x = y = 0;
    w = root ? root->width() : 0;
    h = root ? root->height() : 0;
    return true;
  }
  bool _rt_desktopsize(int& w, int& h) override {
    w = 1280;
    h = 1024;
    return true;
  }
  bool _rt_setcaption(const char*) override { return true; }
  cFontObject* _rt_createfont(int w, int h, const char* face, bool bold, bool underline, bool italic) override {
    return cFontObject::get(w, h, face, bold, underline, italic);
  }
  cCiomLangData* _rt_getnamedlangsection(const char* name) override {
    return name ? cLibLang::gCiomLang.sections.find(cStringKey(name, -1)) : nullptr;
  }
  bool _rt_textbox(cFontObject* font, const char* text, sSize& size) override {
    cCrbOffscreenCanvas c;
    return font && text && c.create(1, 1) && font->apply(&c) && c.textSize(text, -1, size);
  }
  void* _rt_popup(int, int, int, int, cChildElement*, bool) override { return nullptr; }
  int _rt_modal(const char*, int w, int h, cChildElement* e, bool) override {
    int code;
    {
      cWizTestWindow window;
      window.bind(e, w, h);
      shown.push_back(linesOf(e));
      if (!scripts.empty()) {
        tScript script = std::move(scripts.front());
        scripts.pop_front();
        script(window);
      }
      code = window.result == kNoResult ? 0 : window.result;
      // Gone while its window still is, as a real window deletes it.
      delete e;
    }
    return code;
  }
  int _rt_modal_popup(int, int, int, int, cChildElement*) override { return -1; }
  bool _rt_focus() override { return true; }

  int pointer = 0;

 private:
  static std::string linesOf(cChildElement* e) {
    auto* form = dynamic_cast<cCustomForm*>(e);
    std::string out;
    if (!form) return out;
    // Children are kept in no particular order: the lines go top down.
    std::vector<std::pair<int, std::string>> lines;
    cChildElement* area = form->clientArea();
    for (cChildElement* c = area->getFirstChild(); c; c = area->getNextChild(c)) {
      const char* t = c->text();
      sRect r;
      if (t && *t && area->childRect(c, &r)) lines.emplace_back(r.y, t);
    }
    std::sort(lines.begin(), lines.end());
    for (const auto& line : lines) out += (out.empty() ? "" : "\n") + line.second;
    return out;
  }
  bool queue(void* e, bool notify) {
    {
      std::lock_guard<std::mutex> hold(myLock);
      myNotes.emplace_back(e, notify);
    }
    myArrived.notify_all();
    return true;
  }

  std::mutex myLock;
  std::condition_variable myArrived;
  std::vector<std::pair<void*, bool>> myNotes;
};
