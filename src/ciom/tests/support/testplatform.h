// The toolkit tests' platform: a window that records what the element tree
// asks of it and queues action notifications for the test to drain; and a
// window maker that makes such windows.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "ciom/child.h"
#include "ciom/windowmaker.h"

class cTestRequestTarget : public cWindowRequestTarget {
 public:
  std::vector<sArea> repaints;
  bool captured = false;
  int osFocusRequests = 0;
  // False makes every action notification fail, as a window that is gone.
  bool acceptActions = true;

  // Makes `root` the window's root element of w by h, placed at 100, 50.
  void bind(cChildElement* root, int w, int h);
  // Hands every queued notification to the root on this thread; answers how
  // many there were.
  int drain();
  // Waits until a notification is queued or the time passes.
  bool waitForNote(int ms);
  size_t pending();

  void _rt_destroy() override {}
  void _rt_modalresult(int) override {}
  void _rt_minimize() override {}
  void _rt_maximize() override {}
  bool _rt_changepos(int, int, int, int) override { return true; }
  void* _rt_rawhandle() override { return nullptr; }
  void _rt_repaint(sArea* area) override { repaints.push_back(*area); }
  bool _rt_send_action(void* element) override { return queue(element, true); }
  bool _rt_receive_action(void* element) override { return queue(element, false); }
  bool _rt_capturepointer(bool on) override {
    captured = on;
    return true;
  }
  int pointer = 0;  // the shape shown last
  bool _rt_setpointer(int type) override {
    pointer = type;
    return true;
  }
  // The clipboard in memory, shared by every test window as a desktop's is;
  // like the real one it keeps the text without its terminator, and a
  // paste of an empty one brings nothing.
  static std::string clipboard;
  bool _rt_copy_text(const void* text, long long len) override;
  bool _rt_request_copied_text(_typebuf<unsigned char>& out) override;
  bool _rt_copy_raw(const void*, long long) override { return false; }
  bool _rt_request_copied_raw(_typebuf<unsigned char>&) override { return false; }
  bool _rt_request_has_copied(bool) override { return false; }
  bool _rt_setminsize(int, int) override { return true; }
  bool _rt_setmaxsize(int, int) override { return true; }
  bool _rt_winpossize(int& px, int& py, int& w, int& h) override;
  bool _rt_desktopsize(int&, int&) override { return false; }
  bool _rt_setcaption(const char*) override { return true; }
  cFontObject* _rt_createfont(int, int, const char*, bool, bool, bool) override { return nullptr; }
  cCiomLangData* _rt_getnamedlangsection(const char*) override { return nullptr; }
  bool _rt_textbox(cFontObject*, const char*, sSize&) override { return false; }
  void* _rt_popup(int, int, int, int, cChildElement*, bool) override { return nullptr; }
  int _rt_modal(const char*, int, int, cChildElement*, bool) override { return -1; }
  int _rt_modal_popup(int, int, int, int, cChildElement*) override { return -1; }
  bool _rt_focus() override {
    ++osFocusRequests;
    return true;
  }

 private:
  struct sNote {
    void* element;
    bool notify;
  };
  bool queue(void* element, bool notify);

  cChildElement* myRoot = nullptr;
  std::mutex myLock;
  std::condition_variable myArrived;
  std::vector<sNote> myNotes;
};

class cTestWindowMaker : public cWindowMaker {
 public:
  // How many makers the platform factory made in this process.
  static int made;
  // What create answers, for every maker.
  static bool createAnswer;

  bool create(void*, void*, unsigned int) override { return createAnswer; }
  int modal(const char*, int, int, cChildElement*, cWindowRequestTarget*, bool) override { return -1; }
  cWindowHolder* asyncwnd(const char*, int, int, cChildElement*, cWindowRequestTarget*, bool, int,
                          int) override {
    return nullptr;
  }
  void destroy(cWindowHolder*) override {}
  int msgloop() override { return 0; }
};
