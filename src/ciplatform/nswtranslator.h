// Binds one window to one root element: window events go to the element
// tree, and the tree's requests are answered by the window.
#pragma once

#include "ciom/windowmaker.h"
#include "ciplatform/nswindow.h"

class cNSWTranslator : public cNSWindow, public cWindowRequestTarget {
 public:
  cNSWTranslator() = default;
  // Closes the window before the root goes, so no event reaches a deleted
  // element.
  ~cNSWTranslator() override;

  void setRoot(cChildElement* root) { myRoot = root; }
  // The root survives the translator.
  void forgetRoot() { myRoot = nullptr; }
  void setLangStore(cCiomLang* store) { myLang = store; }

  void onInit() override;
  bool onClose() override;
  void onSize(int width, int height) override;
  void onMouseButton(int x, int y, int button, bool down, bool option, bool control, bool shift,
                     bool command) override;
  void onMouseMove(int x, int y, int buttons, bool option, bool control, bool shift, bool command) override;
  void onMouseWheel(int x, int y, int dx, int dy, int dz, bool option, bool control, bool shift,
                    bool command) override;
  void onKey(int key, bool down, bool option, bool control, bool shift, bool command) override;
  bool endsOnKey(int key, bool option, bool control, bool shift, bool command) override;
  bool endsOnClick(int x, int y, int releaseX, int releaseY) override;
  void onChar(unsigned short unit, bool shift, bool option) override;
  void onAction(void* action) override;
  void onPostAction(void* action) override;
  void onPaint(void* context, int x, int y, int width, int height) override;
  void onFocus() override;
  void onFocusLost() override;

  void _rt_destroy() override;
  void _rt_modalresult(int code) override;
  void _rt_minimize() override;
  void _rt_maximize() override;
  bool _rt_changepos(int x, int y, int w, int h) override;
  void* _rt_rawhandle() override;
  void _rt_repaint(sArea* area) override;
  bool _rt_send_action(void* element) override;
  bool _rt_receive_action(void* element) override;
  bool _rt_capturepointer(bool on) override;
  bool _rt_setpointer(int type) override;
  bool _rt_copy_text(const void* text, long long len) override;
  bool _rt_request_copied_text(_typebuf<unsigned char>& out) override;
  bool _rt_copy_raw(const void* data, long long len) override;
  bool _rt_request_copied_raw(_typebuf<unsigned char>& out) override;
  bool _rt_request_has_copied(bool) override;
  bool _rt_wait(const std::function<bool()>& done) override;
  bool _rt_setminsize(int w, int h) override;
  bool _rt_setmaxsize(int w, int h) override;
  bool _rt_winpossize(int& x, int& y, int& w, int& h) override;
  bool _rt_desktopsize(int& w, int& h) override;
  // The work area: no window of ours is made larger.
  bool _rt_maxwinsize(int& w, int& h) override;
  bool _rt_workarea(int& x, int& y, int& w, int& h) override;
  bool _rt_setcaption(const char* text) override;
  cFontObject* _rt_createfont(int w, int h, const char* face, bool bold, bool underline,
                              bool italic) override;
  cCiomLangData* _rt_getnamedlangsection(const char* name) override;
  bool _rt_textbox(cFontObject* font, const char* text, sSize& size) override;
  void* _rt_popup(int x, int y, int w, int h, cChildElement* element, bool focus) override;
  int _rt_modal(const char* caption, int w, int h, cChildElement* element, bool resizable) override;
  int _rt_modal_popup(int x, int y, int w, int h, cChildElement* element) override;
  bool _rt_focus() override;

 private:
  cChildElement* myRoot = nullptr;
  int myPointer = 0;
  cCiomLang* myLang = nullptr;
};
