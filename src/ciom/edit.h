// The single-line text field: typed and pasted text in a buffer of fixed
// capacity, a caret and a selection, the clipboard, a banner while empty,
// read-only and password modes. It tells its parent of Enter (change),
// Escape (activate) and the loss of the focus. Painting draws only the part
// of the line in view, so a field holding a mebibyte stays quick.
#pragma once

#include <vector>

#include "base/guardchar.h"
#include "ciom/child.h"
#include "ciom/editbuffer.h"

class cEditChild : public cChildElement {
 public:
  enum eColorTypes { ctNormal = 0, ctFocused = 1, ctHovered = 2, ctDisabled = 3, ctHighlighted = 4 };

  cEditChild();

  bool setMaxLen(long long n);
  long long maxLen() const { return myBuffer.maxLen(); }
  using cChildElement::setText;
  virtual void setText(const char* utf8, long long n);
  void setText(const char* utf8, long long n, bool) override { setText(utf8, n); }
  const char* text() override;
  void text(char* buf, long long size) override;
  void wipeText() override;
  void setU64(unsigned long long value, bool hex, char separator);
  unsigned long long asU64();
  virtual void setBanner(const char* utf8);
  void setStdFont(int w, int h, const char* face, bool bold, bool underline, bool italic);
  void setStdFont(cFontObject* font) { myFont = font; }
  void setBanFont(int w, int h, const char* face, bool bold, bool underline, bool italic);

  bool readonly() const { return myReadOnly; }
  void setReadonly(bool on) { myReadOnly = on; }
  void setPwdMode(bool on) { myPassword = on; }
  bool pwdMode() const { return myPassword; }
  void setSelectOnFocus(bool on) { mySelectOnFocus = on; }
  void setCursorForRO(bool on);

  void setColors(eColorTypes t, unsigned int background, unsigned int text);
  void setBorderColor(eColorTypes t, unsigned int c);
  unsigned int bgColor(eColorTypes t) const { return t >= 0 && t <= 4 ? myColors[t].background : 0; }
  unsigned int fgColor(eColorTypes t) const { return t >= 0 && t <= 4 ? myColors[t].text : 0; }
  unsigned int borderColor(eColorTypes t) const { return t >= 0 && t <= 4 ? myColors[t].border : 0; }
  void resetColors(unsigned int background, unsigned int text, unsigned int border);
  unsigned int selectionColor() const { return mySelection; }
  void setSelectionColor(unsigned int c) { mySelection = c; }
  unsigned int selectionInactiveColor() const { return mySelectionInactive; }
  void setSelectionInactiveColor(unsigned int c) { mySelectionInactive = c; }

  void cancelSelection();
  bool deleteSelection();
  void processSelectKbd(long long from, long long to);
  long long symbolPos(int x);
  void cb_copy();
  void cb_cut();
  void cb_paste();
  // What a paste of these n bytes of UTF-8 does.
  void pasteText(const char* utf8, long long n);

  // The model, for readers that need the units, caret or selection.
  const cEditBuffer& buffer() const { return myBuffer; }
  long long caret() const { return myBuffer.caret(); }
  long long scroll() const { return myScroll; }
  // Where unit i ends on the line as last painted.
  int glyphEnd(long long i) const { return myBuffer.ruler.end(i); }

  void onConstruct() override;
  void onPaint(cCanvas* c) override;
  void onMouseButton(int x, int y, int button, bool down) override;
  void onMouseMoving(int x, int y) override;
  void onMouseOver() override;
  void onMouseLeft() override;
  void onMouseDoubleClick(int x, int y) override;
  void onChar(unsigned short unit, bool, bool, bool) override;
  void onKey(int key, bool shift, bool mod2, bool mod3) override;
  void onSetFocusEvent(eEventOrigin origin, bool f1, bool f2) override;
  void onLooseFocus(bool f1, bool f2) override;
  bool wantDoubleBuffer() override { return true; }
  bool wantTabStop() override { return true; }
  bool wantFullRepaint() override { return true; }
  bool wantCaptureArrows() override { return true; }
  void onInitData() override;

 private:
  struct sColors {
    unsigned int background, text, border;
  };
  const unsigned short* shown() const { return myPassword ? myMask.ptr : myBuffer.units(); }
  bool caretKey(int key, bool mod2);
  void selectAll();
  void paintText(cCanvas* c, const sColors& set, int y);

  cEditBuffer myBuffer;
  _typebuf<unsigned short> myMask;
  _guardchar<char> myBanner;
  _guardchar<char> myResult;
  cFontObject* myFont = nullptr;
  cFontObject* myBannerFont = nullptr;
  sColors myColors[5];
  bool myBorder = true;
  unsigned int mySelection = 0, mySelectionInactive = 0;
  long long myScroll = 0;
  bool mySelecting = false;
  bool myPointerOver = false;
  bool myReadOnly = false;
  bool myPassword = false;
  bool mySelectOnFocus = true;
  bool myCursorForRO = true;
  // What the glyph ends were measured with; a change measures anew.
  cFontObject* myMeasuredFont = nullptr;
  bool myMeasuredMask = false;
  std::vector<cGlyphRuler::sPiece> myVisible;
};
