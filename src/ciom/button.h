// The push button: a text with per-state pictures and background pictures,
// colours, seven border styles and two arrangements of picture and text.
#pragma once

#include "base/btree.h"
#include "ciom/buttonpress.h"
#include "ciom/canvas.h"
#include "ciom/pictureslist.h"

class cFontObject;

class cButtonChild : public cChildElement {
 public:
  // Fixed types: callers pass values outside the named ones.
  enum eButtonStates : int { bsNormal = 0, bsFocused = 1, bsHovered = 2, bsPressed = 3, bsDisabled = 4 };
  // Other values draw no background.
  enum eBorderStyle : int { bs3DFramed = 0, bsPicture = 1, bsDarkFrame = 2, bs3D = 3, bs3DFilled = 4, bsFlatHover = 5,
                      bsFlat = 6 };
  // 0: picture left of the text; 1: picture above it.
  enum eDispStyle : int { dsSideBySide = 0, dsStacked = 1 };

  void onInitData() override;
  void onPaint(cCanvas* c) override;
  bool wantDoubleBuffer() override { return true; }
  bool wantTabStop() override { return true; }
  bool wantFullRepaint() override { return true; }
  void onMouseButton(int x, int y, int button, bool down) override;
  void onKey(int key, bool shift, bool mod2, bool mod3) override;
  void onMouseOver() override;
  void onMouseLeft() override;
  void onSetFocus(bool f1, bool f2) override;
  void onLooseFocus(bool f1, bool f2) override;

  using cChildElement::setText;
  void setText(const char* text);
  cCanvas::eTextAlign align() const { return myAlign; }
  void setAlign(cCanvas::eTextAlign a, bool repaint);
  eBorderStyle border() const { return myBorder; }
  void setBorder(eBorderStyle b, bool repaint);
  eDispStyle style() const { return myStyle; }
  void setStyle(eDispStyle s, bool repaint);
  void setFont(cFontObject* font);
  cFontObject* font() const { return myFont; }
  void setBgColor(unsigned int c, bool repaint);
  void setDsbBgColor(unsigned int c, bool repaint);
  void setDsbTextColor(unsigned int c, bool repaint);
  // States 0 to 3.
  void setTextColor(unsigned int c, bool repaint);
  void setTextColor(eButtonStates s, unsigned int c, bool repaint);
  // 0xFFFFFFFF leaves that colour as it is.
  void setBorderColors(eButtonStates s, unsigned int light, unsigned int dark);

  cChildPicture& image(eButtonStates s);
  cPicture* forDraw(eButtonStates s);
  // Background pictures stay the caller's.
  void refStateBackImage(eButtonStates s, cPicture* p);
  cPicture* stateBackImage(eButtonStates s);
  eButtonStates state();
  bool pressed() const { return myPress.pressed; }

  static int requiredWidth(cChildElement* el, const char* text, cPicture* pict, eDispStyle style, cFontObject* font);
  static int requiredHeight(cChildElement* el, const char* text, cPicture* pict, eDispStyle style,
                            cFontObject* font);
  int requiredWidth();
  int requiredHeight();

 private:
  void paintFrame(cCanvas* c, eButtonStates s, int w, int h);

  cChildPicture myPictures[4];
  cFontObject* myFont = nullptr;
  cCanvas::eTextAlign myAlign = cCanvas::eAlignLeft;
  sButtonPress myPress;
  unsigned int myBgColor = 0, myDsbBgColor = 0xFFFFFFFF;
  unsigned int myTextColor[5] = {};
  unsigned int myBorderLight[5] = {}, myBorderDark[5] = {};
  eBorderStyle myBorder = bs3DFramed;
  eDispStyle myStyle = dsSideBySide;
  int myRequiredWidth = -1, myRequiredHeight = -1;
  cFasterTreeList<eButtonStates, cPicture*> myBackImages;
};
