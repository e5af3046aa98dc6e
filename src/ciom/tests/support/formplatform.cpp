#include "support/formplatform.h"

#include "base/stringkey.h"
#include "ciom/ciomlangs.h"
#include "ciom/fontobject.h"
#include "support/canvaslog.h"
#include "support/fixedcanvas.h"

namespace {

// Paints through to every child; what each part draws joins one log when
// that part is done.
class cWindowPaint : public cLoggingCanvas<cFixedMetricCanvas> {
 public:
  cWindowPaint(int w, int h, sCanvasLog& log) : cLoggingCanvas(w, h), myLog(log) {}
  ~cWindowPaint() override {
    myLog.texts.insert(myLog.texts.end(), texts.begin(), texts.end());
    myLog.fills.insert(myLog.fills.end(), fills.begin(), fills.end());
  }
  bool canDrawAt(sRect*) override { return true; }
  cCanvas* subCanvas(sRect* r) override { return new cWindowPaint(r->width, r->height, *this); }

 private:
  sCanvasLog& myLog;
};

}  // namespace

int cTestPopupHolder::alive = 0;
std::deque<cFormTestTarget::tScript> cFormTestTarget::scripts;
std::vector<cFormTestTarget::sRun> cFormTestTarget::runs;
std::vector<cFormTestTarget::sPopup> cFormTestTarget::popups;
bool cFormTestTarget::failPopups = false;
int cFormTestTarget::turnsAsOpened = cFormTestTarget::kSettleTurns;
std::function<void(cFormTestTarget&)> cFormTestTarget::waitTurn;

cTestPopupHolder::cTestPopupHolder() : window(new cFormTestTarget) { ++alive; }

cTestPopupHolder::~cTestPopupHolder() {
  delete window;
  --alive;
}

cWindowRequestTarget* cTestPopupHolder::target() { return window; }

void cTestPopupHolder::dispose(bool keepElement) {
  if (!keepElement) delete element;
  delete this;
}

void cFormTestTarget::reset() {
  scripts.clear();
  runs.clear();
  popups.clear();
  failPopups = false;
  turnsAsOpened = kSettleTurns;
  waitTurn = nullptr;
}

bool cFormTestTarget::_rt_wait(const std::function<bool()>& done) {
  return waitWithoutWindow([&] {
    if (waitTurn) waitTurn(*this);
    return done();
  });
}

void cFormTestTarget::useLanguage(eCIOMStdLangs lang) {
  static cCIOMLang* toolkit = new cCIOMLang;
  cLibLang::ref(toolkit);
  cLibLang::applyLang(lang);
}

void cFormTestTarget::bind(cChildElement* root, int w, int h) {
  form = root;
  cTestRequestTarget::bind(root, w, h);
  // A window paints as it is mapped, before its queue first runs.
  firstPaint.clear();
  cWindowPaint canvas(w, h, firstPaint);
  root->processPaint(&canvas);
  turns(turnsAsOpened);
}

void cFormTestTarget::turns(int count) {
  for (int turn = 0; turn < count && drain() > 0; ++turn) {
  }
}

void cFormTestTarget::key(int code, bool shift) {
  form->processKey(code, shift, false, false);
  settle();
}

void cFormTestTarget::press(int x, int y, bool down) {
  form->processMouseBtn(x, y, cChildElement::mbLeft, down, false, false);
  settle();
}

void cFormTestTarget::click(int x, int y) {
  press(x, y, true);
  press(x, y, false);
}

void cFormTestTarget::move(int x, int y) {
  form->processMouseMove(x, y);
  settle();
}

bool cFormTestTarget::_rt_desktopsize(int& w, int& h) {
  w = 1280;
  h = 1024;
  return true;
}

cFontObject* cFormTestTarget::_rt_createfont(int w, int h, const char* face, bool bold, bool underline,
                                             bool italic) {
  return cFontObject::get(w, h, face, bold, underline, italic);
}

cCiomLangData* cFormTestTarget::_rt_getnamedlangsection(const char* name) {
  return name ? cLibLang::gCiomLang.sections.find(cStringKey(name, -1)) : nullptr;
}

bool cFormTestTarget::_rt_textbox(cFontObject* font, const char* text, sSize& size) {
  cFixedMetricCanvas measure(0, 0);
  return font && text && measure.textSize(text, -1, size);
}

void* cFormTestTarget::_rt_popup(int x, int y, int w, int h, cChildElement* element, bool) {
  if (!element) return nullptr;
  popups.push_back({x, y, w, h, element});
  if (failPopups) return nullptr;
  auto* holder = new cTestPopupHolder;
  holder->element = element;
  holder->window->form = element;
  holder->window->cTestRequestTarget::bind(element, w, h);
  return holder;
}

int cFormTestTarget::run(const char* caption, int x, int y, int w, int h, cChildElement* element) {
  if (!element) return -1;
  runs.push_back({caption ? caption : "", w, h, x, y});
  int code;
  {
    cFormTestTarget window;
    window.bind(element, w, h);
    if (!scripts.empty()) {
      tScript script = std::move(scripts.front());
      scripts.pop_front();
      script(window);
    }
    code = window.ended() ? window.result : 0;  // a run nobody ended was closed
    delete element;
  }
  return code;
}

int cFormTestTarget::_rt_modal(const char* caption, int w, int h, cChildElement* element, bool) {
  return run(caption, -1, -1, w, h, element);
}

int cFormTestTarget::_rt_modal_popup(int x, int y, int w, int h, cChildElement* element) {
  return run(nullptr, x, y, w, h, element);
}

// The platform's face names; the fixed metrics ignore them.
const char* _glbalStdFont() { return "Tahoma"; }
const char* _glbalFixedFont() { return "Courier"; }
