// The base of every form: a root element framed by the theme's skin, with
// its controls on one inner panel kept between the top band, the sides and
// the bottom band. Enter and Escape reach the form before any control.
#pragma once

#include "ciom/child.h"
#include "ciom/panel.h"

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
  // Enter and Escape; true consumes the key.
  virtual bool onFormCancel() { return false; }
  virtual bool onFormAccept() { return false; }

  bool processKey(int key, bool shift, bool mod2, bool mod3) override;
  // Escape alone: with a modifier it is a control's key.
  bool cancelledBy(int key, bool shift, bool mod2, bool mod3) override;
  void onConstruct() override;
  void onPaint(cCanvas* c) override;
  bool onBackgroundRequest(cCanvas* c, sRect* r) override;
  void onSizeChanged() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;

 private:
  bool anchorPanel();

  cPanelChild myPanel;
  int myTopMargin = 0;
  int myBottomMargin = 0;
  unsigned int myCustomDraw = 0;
};
