// The application's shared look: fixed fonts over the toolkit's standard
// face, the flat push button and the tab-like selection button.
#pragma once

#include "ciom/fontobject.h"
#include "ciom/genbutton.h"

cFontObject* mkTitleFont();
cFontObject* mkWizTitleFont();
cFontObject* mkStdFont();
cFontObject* mkBtnFont(bool underline);
cFontObject* mkBtnPassFont();
cFontObject* mkSelectHdrFont();

// Mixes two colours channel by channel: a * wa / 255 + b * wb / 255.
unsigned int mixColors(unsigned int a, int wa, unsigned int b, int wb);

class cWZIButton : public cGenButtonChild {
 public:
  // Stored for the next paint; nothing is repainted here.
  void setColorSchema(unsigned int text, unsigned int face, unsigned int frame, unsigned int highlight);
  void onInitData() override;
  void onPaint(cCanvas* c) override;

 private:
  unsigned int myFrame = 0xA79997;
  unsigned int myFace = 0xE7E7E7;
  unsigned int myText = 0x655654;
  unsigned int myHighlight = 0xFFFFFF;
};

class cWZISelButton : public cGenButtonChild {
 public:
  // The text's width in `font` as `e` measures it, plus the margins; 0 when
  // anything is missing or cannot be measured.
  static int requiredWidth(cChildElement* e, const char* text, cFontObject* font);
  int requiredWidth();

  void onInitData() override;
  void onPaint(cCanvas* c) override;
  void onMouseMoving(int x, int y) override;

 private:
  cFontObject* myFont = nullptr;
};
