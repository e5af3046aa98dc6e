#include "tamsivarapp/winlessmsg.h"

#include "base/stringkey.h"
#include "ciom/application.h"
#include "ciom/liblang.h"
#include "ciom/messageform.h"
#include "ciom/windowmaker.h"

namespace {

constexpr unsigned int kTextColor = 0x655654;
constexpr unsigned int kWhite = 0xFFFFFF;

}  // namespace

int cWLMsgForm::modal(int kind, const char* message) {
  cCiomLangData* section = cLibLang::gCiomLang.sections.find(cStringKey("pkgm::resp", -1));
  cCIApplication* app = cCIApplication::appRef();
  if (!section || !app || !app->windowMaker()) return 0;
  auto* form = new cWLMsgForm(kind, message);
  return app->windowMaker()->modal(section->string(0), 350, 110, form, nullptr, false);
}

cWLMsgForm::cWLMsgForm(int kind, const char* message) : myKind(kind), myMessage(message) {}

void cWLMsgForm::onConstruct() {
  cCustomForm::onConstruct();
  clientArea()->attach(&myWaiting, 0, 0, 340, 16);
  myWaiting.setTextColor(kTextColor);
  myWaiting.setBgColor(kWhite);
  myWaiting.setText(string(1), cCanvas::eAlignLeft, false);
  // The box goes up once this form is live in its window, so that it has a
  // window to sit over.
  postAction(new cChildAction(acDefault));
}

bool cWLMsgForm::onAction(cChildElement* sender, cChildAction* a) {
  if (sender != this || !a || a->code != acDefault) return cCustomForm::onAction(sender, a);
  const char* text = myMessage.ptr ? myMessage.ptr : "";
  int answer = 0;
  switch (myKind) {
    case kInfo: cMessageForm::infobox(this, text, nullptr); break;
    case kError: cMessageForm::errorbox(this, text, nullptr); break;
    case kWarning: cMessageForm::warningbox(this, text, nullptr); break;
    case kWarnConfirm: answer = cMessageForm::warnconfirmbox(this, text, nullptr) ? 1 : 0; break;
    default: break;
  }
  end_modal(answer);
  return true;
}
