#include "tamsivarapp/statusform.h"

#include "ciom/liblang.h"
#include "ciom/messageform.h"

namespace {

constexpr unsigned int kTextColor = 0x655654;
constexpr unsigned int kWhite = 0xFFFFFF;

}  // namespace

void attachStatusLine(cCustomForm& form, cStaticElement& line, const char* text) {
  form.clientArea()->attach(&line, 0, 0, 340, 16);
  line.setColorSchema(kTextColor, kWhite, kWhite);
  line.setText(text, cCanvas::eAlignCenter, false);
}

void cRunWaitShow::attach(cCustomForm& form) {
  form.clientArea()->attach(&myCancel, 125, 18, 90, 20);
  myCancel.hide(false);
}

void cRunWaitShow::begin(cStaticElement& line, const char* text, const char* cancel) {
  myWaiting = true;
  line.setText(text, cCanvas::eAlignCenter, true);
  myCancel.setText(cancel, -1, false);
  myCancel.show(true);
}

bool cRunWaitShow::pressed(cChildElement* sender, cChildElement::cChildAction* a) const {
  return sender == &myCancel && a && a->code == cChildElement::acDefault;
}

void cYesNoAction::answer(cCustomForm& form) { *yes = cMessageForm::confirmbox(&form, form.string(row), nullptr); }

void cApplyLangAction::answer() { *applied = cLibLang::applyLang(static_cast<eCIOMStdLangs>(lang)); }

bool askYesNo(cChildElement& form, cYesNoAction* ask) {
  bool* yes = ask->yes;
  *yes = false;
  return form.sendAction(ask) && *yes;
}

bool askApplyLang(cChildElement& form, cApplyLangAction* ask) {
  bool* applied = ask->applied;
  *applied = false;
  return form.sendAction(ask) && *applied;
}
