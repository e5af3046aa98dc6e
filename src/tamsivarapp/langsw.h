// The manager window's language button: the current language's flag, and a
// list of the application's languages to switch to.
#pragma once

#include "base/appconfig.h"
#include "ciom/genbutton.h"

class cLangSwitchCtl : public cGenButtonChild {
 public:
  // Shows the stored language (English when none or an unknown one).
  void update(bool repaint);
  int shownLang() const { return myLang; }
  // Applies, shows and stores `lang`, then tells the window (action 6) to be
  // built anew; false and nothing changed when it is the shown language,
  // cannot be applied or cannot be stored (the user is told why then; a
  // wait for another run's save of the store is the window's, which the
  // user may give up).
  bool switchTo(int lang);

  void onInitData() override;
  void onPaint(cCanvas* c) override;
  void onMouseButton(int x, int y, int button, bool down) override;

 private:
  // Stores `lang` as the current language: 0, or the system's reason it
  // could not be saved, nothing of it kept.
  int store(cApplicationConfig& config, int lang);

  int myLang = 11;
};
