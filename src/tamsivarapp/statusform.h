// What the small forms of uninstall and remove share: one status line
// while their job runs, and the questions the job sends them, answered on
// the main thread while the job waits.
#pragma once

#include "ciom/customform.h"
#include "ciom/staticelement.h"
#include "tamsivarapp/cistd.h"

// So that the form is on screen before the job does anything.
inline constexpr int kShowFirstMs = 500;

void attachStatusLine(cCustomForm& form, cStaticElement& line, const char* text);

// The wait for another run of the package: the status line says so and a
// Cancel button appears under it. The button, Escape and the close box all
// reach the form's own cancel, which alone decides what giving up does.
class cRunWaitShow {
 public:
  // Before the form is shown: the button, hidden, under the status line.
  void attach(cCustomForm& form);
  // In the language applied by then, which may be the package's.
  void begin(cStaticElement& line, const char* text, const char* cancel);
  bool waiting() const { return myWaiting; }
  bool pressed(cChildElement* sender, cChildElement::cChildAction* a) const;

 private:
  cWZIButton myCancel;
  bool myWaiting = false;
};

// A Yes/No question with the text of the form's row.
class cYesNoAction : public cChildElement::cSentChildAction {
 public:
  bool* yes;
  int row;
  cYesNoAction(int code, bool* answer, int r) : cSentChildAction(code), yes(answer), row(r) {}
  void answer(cCustomForm& form);
};

// The interface language belongs to the main thread.
class cApplyLangAction : public cChildElement::cSentChildAction {
 public:
  int lang;
  bool* applied;
  cApplyLangAction(int code, int l, bool* done) : cSentChildAction(code), lang(l), applied(done) {}
  void answer();
};

// From the job: a form that went away before answering counts as No, so
// nothing is removed on a question nobody saw.
bool askYesNo(cChildElement& form, cYesNoAction* ask);
bool askApplyLang(cChildElement& form, cApplyLangAction* ask);
