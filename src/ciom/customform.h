// The base of every form: a root element framed by the theme's skin, with
// its controls on one inner panel kept between the top band, the sides and
// the bottom band. Enter and Escape reach the form before any control; its
// accept and cancel buttons do what they do.
#pragma once

#include "ciom/child.h"
#include "ciom/panel.h"
#include "ciom/toolbar.h"

class cCustomForm : public cChildElement {
 public:
  // Bits of setCustomDraw: parts of the skin a form paints itself.
  enum eCustomDraw : unsigned int { cdRightAndBottom = 1, cdTop = 2, cdLeftAndBottomCorners = 4 };

  cChildElement* clientArea() { return &myPanel; }
  cPanelChild* panel() { return &myPanel; }
  // Limited to the theme's range for the band; answers the re-anchoring.
  bool setTopMargin(int m);
  bool setBottomMargin(int m);
  int topMargin() const { return myTopMargin; }
  int bottomMargin() const { return myBottomMargin; }
  void setCustomDraw(unsigned int flags, bool on);

  virtual void drawSkin(cCanvas* c, int ox, int oy);
  // Runs once the form is live in its window (through its action queue).
  virtual bool onAfterConstruct() { return false; }
  // Enter and Escape, and the accept and cancel buttons; true consumes the key.
  virtual bool onFormCancel() { return false; }
  virtual bool onFormAccept() { return false; }
  // Whether onFormCancel and onFormAccept would end the window now; a wait
  // of the window asks before they run.
  virtual bool cancelEnds() { return false; }
  virtual bool acceptEnds() { return false; }
  // The buttons of `bar` that accept and cancel the form as Enter and Escape do.
  void setFormButtons(cToolBarChild* bar, int acceptId, int cancelId);

  bool processKey(int key, bool shift, bool mod2, bool mod3) override;
  bool endsOnKey(int key, bool shift, bool mod2, bool mod3) override;
  bool endsOnClick(int x, int y, int releaseX, int releaseY) override;
  void onConstruct() override;
  void onPaint(cCanvas* c) override;
  bool onBackgroundRequest(cCanvas* c, sRect* r) override;
  void onSizeChanged() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;

 private:
  // What input does to the form as a whole, named here alone: its handling
  // and a wait's question both read it.
  enum eFormDeed { fdNone, fdAccept, fdCancel };
  // Escape alone cancels and Enter alone accepts: with a modifier each is a control's key.
  static eFormDeed deedOfKey(int key, bool shift, bool mod2, bool mod3);
  eFormDeed deedOfButton(int id) const;
  bool runDeed(eFormDeed d);
  bool deedEnds(eFormDeed d);
  bool anchorPanel();

  cPanelChild myPanel;
  int myTopMargin = 0;
  int myBottomMargin = 0;
  unsigned int myCustomDraw = 0;
  cToolBarChild* myFormButtons = nullptr;
  int myAcceptId = 0, myCancelId = 0;
};
