// Message boxes for modes that have no window of their own: a small top
// window that waits for the answer while the toolkit's box sits over it.
#pragma once

#include "base/guardchar.h"
#include "ciom/customform.h"
#include "ciom/staticelement.h"

class cWLMsgForm : public cCustomForm {
 public:
  enum eKind { kInfo = 1, kError = 2, kWarning = 3, kWarnConfirm = 4 };

  // The box's answer; 0 without showing anything while the application's
  // texts are not loaded.
  static int modal(int kind, const char* message);
  static int info(const char* message) { return modal(kInfo, message); }
  static int error(const char* message) { return modal(kError, message); }
  static int warning(const char* message) { return modal(kWarning, message); }
  static bool warnconfirm(const char* message) { return modal(kWarnConfirm, message) == 1; }

  cWLMsgForm(int kind, const char* message);

  const char* wantLangResource() override { return "pkgm::resp"; }
  bool wantHiddenUnderBoxes() override { return true; }
  void onConstruct() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;

 private:
  cStaticElement myWaiting;
  int myKind;
  _guardchar<char> myMessage;
};
