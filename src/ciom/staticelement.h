// The label: a text with an optional picture to its left, over an optional
// background and frame, in one of three display modes.
#pragma once

#include "ciom/canvas.h"
#include "ciom/child.h"

class cFontObject;

class cStaticElement : public cChildElement {
 public:
  // Other values draw no text.
  enum eTextDisplayModes : int { tdmEllipsis = 0, tdmClipped = 1, tdmWrapped = 2 };

  cStaticElement() = default;

  void onInitData() override;
  void onPaint(cCanvas* c) override;
  bool wantAcceptFoucs() override { return false; }

  void setText(const char* text, cCanvas::eTextAlign align, bool repaint);
  using cChildElement::setText;
  // The picture stays the caller's.
  virtual void setImage(cPicture* image, bool repaint);
  cPicture* shownImage() { return myImage; }
  // Null: the standard font.
  void setFont(cFontObject* font);
  void setTextColor(unsigned int c);
  void setBgColor(unsigned int c);
  void setFrameColor(unsigned int c);
  void setColorSchema(unsigned int text, unsigned int bg, unsigned int frame);
  void setTextDispMode(eTextDisplayModes m);
  void setTextMargin(int m);
  // The wrapped mode's line spacing becomes 1 + add; a negative add is ignored.
  void setYWrapAddSpacing(double add);
  double lineFactor() const { return myLineFactor; }
  unsigned int textColor() const { return myTextColor; }
  unsigned int bgColor() const { return myBgColor; }
  unsigned int frameColor() const { return myFrameColor; }
  // The size that shows the picture and the whole text on one line.
  bool wantsSize(sSize* out);

 protected:
  cPicture* myImage = nullptr;
  unsigned int myTextColor = 0, myBgColor = 0xFFFFFF, myFrameColor = 0xFFFFFF;
  cFontObject* myFont = nullptr;
  eTextDisplayModes myMode = tdmEllipsis;
  cCanvas::eTextAlign myAlign = cCanvas::eAlignLeft;
  int myTextMargin = 0;
  double myLineFactor = 1.2;
};

// Each of B, G and R half-way to light grey; how disabled text shows.
unsigned int disabledTextColor(unsigned int c);
