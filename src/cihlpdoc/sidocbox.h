// The boxes a rich-text document is made of: text runs, links, pictures and
// flow containers. Each box measures itself (wantsSize) and draws itself at
// the place and within the limits its parent hands it.
#pragma once

#include <vector>

#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/list.h"
#include "ciom/canvas.h"
#include "ciom/fontobject.h"
#include "ciom/picture.h"

class cSiDocActiveTarget;

// Colours are 0x00BBGGRR; kSiDocNoColor means "use what the parent gives".
inline constexpr unsigned int kSiDocNoColor = 0xFFFFFFFF;

struct sSiDocDrawProps {
  cFontObject* font = nullptr;
  unsigned int bgColor = 0xFFFFFF;
  unsigned int textColor = 0;
  int x = 0, y = 0;
  // Absolute coordinates the box should not pass; negative means none.
  int right = -1, bottom = -1;
  cSiDocActiveTarget* active = nullptr;
  // The box is measured as the first on its line: a run of text wider than
  // the room up to the right limit breaks there rather than being cut.
  bool lineStart = false;
};

class cSiDocBox;

// One step of drawing a laid-out document: a box with the place and limits
// its parent gave it and the size it drew, or (box null) a fill of `size` at
// (props.x, props.y) in `colour`. Any band of the document is drawn again
// from these steps without measuring anything.
struct sSiDocPlaced {
  cSiDocBox* box = nullptr;
  sSiDocDrawProps props;
  sSize size;
  unsigned int colour = 0;
};
using tSiDocPlan = std::vector<sSiDocPlaced>;

// Whoever wants to know where links were drawn (the viewer, for hit-testing).
class cSiDocActiveTarget {
 public:
  virtual ~cSiDocActiveTarget() = default;
  virtual void resetActive() = 0;
  virtual bool setActive(char* ref, int x, int y, int w, int h) = 0;
};

class cSiDocBox {
 public:
  // Margins lie outside the size; -1 width or height is the natural size.
  int marginLeft = 0, marginRight = 0, marginTop = 0, marginBottom = 0;
  int width = -1, height = -1;
  unsigned int bgColor = kSiDocNoColor;
  bool lineBreak = false;
  // Written by the parent container while it measures.
  sSize measured;

  cSiDocBox() = default;
  cSiDocBox(const cSiDocBox&) = delete;
  cSiDocBox& operator=(const cSiDocBox&) = delete;
  virtual ~cSiDocBox() = default;

  virtual bool draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) = 0;
  virtual bool wantsSize(cCanvas* canvas, const sSiDocDrawProps& props, sSize& wanted) = 0;
  // Lays the box out as draw would and appends what draw would paint to
  // `plan`; link areas reach the active target here, not when the plan is
  // drawn.
  virtual bool place(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn, tSiDocPlan& plan);
  // Only runs of text are separated by a word gap.
  virtual bool hasText() const { return false; }

  // A negative margin leaves that one unchanged.
  void setMargins(int left, int top, int right, int bottom);
  // -1 restores the natural size; 0 and other negative values are ignored.
  void setWidth(int w);
  void setHeight(int h);
  void setBgColor(unsigned int colour) { bgColor = colour; }
  void setBreak(bool on) { lineBreak = on; }

 protected:
  // The size draw would give and whether it would paint anything at all;
  // by default a box draws at the size it wants.
  virtual bool fit(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) {
    return wantsSize(canvas, props, drawn);
  }
  // The link target the box reports where it is drawn; none by default.
  virtual char* linkTarget() const { return nullptr; }
  bool fixedSize() const { return width > 0 && height > 0; }
  unsigned int background(const sSiDocDrawProps& props) const {
    return bgColor != kSiDocNoColor ? bgColor : props.bgColor;
  }
};

class cSiDocText : public cSiDocBox {
 public:
  cFontObject* font = nullptr;  // null inherits
  unsigned int textColor = kSiDocNoColor;
  _guardchar<char> text;

  bool draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) override;
  bool wantsSize(cCanvas* canvas, const sSiDocDrawProps& props, sSize& wanted) override;
  bool hasText() const override { return text.ptr && *text.ptr; }

  void refFont(cFontObject* f) { font = f; }
  void setColor(unsigned int colour) { textColor = colour; }
  void setText(char* utf8) {
    text.set(utf8);
    forget();
  }
  // Takes exactly n bytes, which need no terminator.
  void setText(const char* utf8, long long n) {
    text.set(utf8, n);
    forget();
  }

 protected:
  bool fit(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) override;

 private:
  // The line height of the selected font, and the measured text when there is
  // text: (0, line height) for an empty run.
  void measure(cCanvas* canvas, const sSiDocDrawProps& props, sSize& out, sSize& textOnly);
  bool fitText(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn, sSize& textOnly);
  // Breaks the text into lines of at most `room` pixels; false when the
  // canvas cannot say where its characters end.
  bool wrap(cCanvas* canvas, cFontObject* f, int room);
  // Whether the last wantsSize broke the run, in this font.
  bool broken(cFontObject* f) const;
  void forget();

  // A run is measured once per font, however often it is laid out: a long
  // document would otherwise be measured again for each level of nesting.
  cFontObject* myMeasuredWith = nullptr;
  sSize myLine, myGlyphs;
  // The run as broken into lines: its UTF-16 text, where each line starts,
  // and the room and font it was broken for. Drawing follows
  // what the last wantsSize decided, as the container measures a box right
  // before it places it.
  bool myWrapped = false;
  cFontObject* myWrappedWith = nullptr;
  int myPiecesRoom = 0;
  _typebuf<unsigned short> myWide;
  std::vector<long long> myPieces;
};

class cSiDocLink : public cSiDocText {
 public:
  char* ref = nullptr;  // not owned

  cSiDocLink() { textColor = 0xFF0000; }
  bool draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) override;
  void refRef(char* target) { ref = target; }

 protected:
  char* linkTarget() const override { return ref; }
};

class cSiDocImage : public cSiDocBox {
 public:
  enum eImagePlacement : int { eNatural = 0, eScaled = 1 };

  cPicture* picture = nullptr;  // not owned
  eImagePlacement placement = eNatural;

  bool draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) override;
  bool wantsSize(cCanvas* canvas, const sSiDocDrawProps& props, sSize& wanted) override;

  void refImage(cPicture* p) { picture = p; }
  void setPlacement(eImagePlacement p) { placement = p; }

 protected:
  bool fit(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) override;
};

class cSiDocImageLink : public cSiDocImage {
 public:
  char* ref = nullptr;  // not owned

  bool draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) override;
  void refRef(char* target) { ref = target; }

 protected:
  char* linkTarget() const override { return ref; }
};

class cSiDocContainer : public cSiDocBox {
 public:
  // Not the canvas's text alignment: here 1 is right and 2 is centre.
  enum eAlign : int { eLeft = 0, eRight = 1, eCentre = 2, eJustify = 3 };

  cFontObject* font = nullptr;  // null inherits
  unsigned int textColor = kSiDocNoColor;
  _List<cPtr<cSiDocBox> > children;
  eAlign align = eLeft;

  cSiDocContainer() = default;
  ~cSiDocContainer() override { children.destroy(); }

  bool draw(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn) override;
  bool wantsSize(cCanvas* canvas, const sSiDocDrawProps& props, sSize& wanted) override;
  bool place(cCanvas* canvas, const sSiDocDrawProps& props, sSize& drawn, tSiDocPlan& plan) override;

  void refFont(cFontObject* f) { font = f; }
  void setColor(unsigned int colour) { textColor = colour; }
  void setAlign(eAlign a) { align = a; }
  // Takes ownership; false for null.
  bool addChild(cSiDocBox* child);

 protected:
  // Never asked: a container is drawn and placed through its layout.
  bool fit(cCanvas*, const sSiDocDrawProps&, sSize&) override { return false; }

 private:
  // Measures (no canvas work beyond measuring), draws, or, with a plan,
  // records what it would draw.
  bool layout(cCanvas* canvas, const sSiDocDrawProps& props, sSize& out, bool drawing, tSiDocPlan* plan);
};
