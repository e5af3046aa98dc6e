// The test platform for forms: a window with fixed-metric fonts, the shared
// language store's sections, a desktop, a recorder of pop-up windows, and
// modal runs played by the test. A modal run binds the element to a fresh
// window, constructs it, plays the next script the test queued until the
// form ends its run, and deletes the element, as a real window would.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ciom/langids.h"
#include "support/canvaslog.h"
#include "support/testplatform.h"

class cFormTestTarget;

// One pop-up window; disposing of it deletes its element unless asked not to.
class cTestPopupHolder : public cWindowHolder {
 public:
  static int alive;
  cTestPopupHolder();
  ~cTestPopupHolder() override;
  cWindowRequestTarget* target() override;
  void dispose(bool keepElement) override;

  cFormTestTarget* window;
  cChildElement* element = nullptr;
};

class cFormTestTarget : public cTestRequestTarget {
 public:
  using tScript = std::function<void(cFormTestTarget& window)>;
  struct sRun {
    std::string caption;
    int w, h;
    int x = -1, y = -1;  // where a pop-up run was placed
  };
  struct sPopup {
    int x, y, w, h;
    cChildElement* element;
  };

  // Shared by every window: nested runs take scripts in order.
  static std::deque<tScript> scripts;
  static std::vector<sRun> runs;
  static std::vector<sPopup> popups;
  static bool failPopups;
  // Turns of its queue a window runs as it opens, before its script: as
  // many as settle() by default. A test that acts at a chosen step of what
  // the form queued as it opened asks for fewer; reset() restores it.
  static int turnsAsOpened;
  // Called at each turn of a window's wait, between the slices of what it
  // waits for, where a screen's window would repaint.
  static std::function<void(cFormTestTarget&)> waitTurn;
  static void reset();
  // Registers the toolkit's texts once and applies the language.
  static void useLanguage(eCIOMStdLangs lang);

  int result = 0;
  bool hasResult = false;  // any int, the platform's running marker too, is a result
  cChildElement* form = nullptr;
  sCanvasLog firstPaint;  // what the window showed before its queue first ran

  void bind(cChildElement* root, int w, int h);
  // Drains the queue until no action is left.
  void settle() { turns(kSettleTurns); }
  // Runs at most `count` turns of the queue, fewer when it empties.
  void turns(int count);
  // Events as the window would deliver them, each followed by the queue.
  void key(int code, bool shift = false);
  void press(int x, int y, bool down);
  void click(int x, int y);
  void move(int x, int y);
  bool ended() const { return hasResult; }

  bool _rt_wait(const std::function<bool()>& done) override;
  void _rt_modalresult(int code) override {
    result = code;
    hasResult = true;
  }
  bool _rt_desktopsize(int& w, int& h) override;
  cFontObject* _rt_createfont(int w, int h, const char* face, bool bold, bool underline, bool italic) override;
  cCiomLangData* _rt_getnamedlangsection(const char* name) override;
  bool _rt_textbox(cFontObject* font, const char* text, sSize& size) override;
  void* _rt_popup(int x, int y, int w, int h, cChildElement* element, bool focus) override;
  int _rt_modal(const char* caption, int w, int h, cChildElement* element, bool resizable) override;
  int _rt_modal_popup(int x, int y, int w, int h, cChildElement* element) override;

 private:
  // Handling an action may queue the next one, as a button's click becomes
  // its bar's; a bound keeps a loop of actions from hanging the test.
  static constexpr int kSettleTurns = 100;
  int run(const char* caption, int x, int y, int w, int h, cChildElement* element);
};
