// The scroll bars: a 64-bit position between 0 and a maximum, painted from
// theme pictures and moved by the mouse and the navigation keys. The two
// bars are one implementation along a chosen axis; every change the bar
// makes itself reaches the parent as a change action with the new position.
#pragma once

#include "ciom/child.h"
#include "ciom/pictureslist.h"

class cScrollBar : public cChildElement {
 public:
  enum eSubElements {
    seStartCap = 0,
    seTrack = 1,
    seThumbStart = 2,
    seThumbEnd = 3,
    seThumbMiddle = 4,
    seDecArrow = 5,
    seIncArrow = 6,
    seDecFiller = 7,
    seIncFiller = 8,
    seArrowSeparator = 9,
    seSmallDecArrow = 10,
    seSmallIncArrow = 11,
    seCount = 12,
  };
  enum eHitRegion { hrNone = 0, hrPageBack = 1, hrPageForward = 2, hrThumb = 3, hrDecrease = 4, hrIncrease = 5 };
  enum eState { stNormal = 0, stHover = 1, stPressed = 2 };

  unsigned long long maxval() const { return myMax; }
  unsigned long long pos() const { return myPos; }
  unsigned int visQuantum() const { return myVisQuantum; }
  unsigned int valQuantum() const { return myValQuantum; }
  unsigned int pageQuantum() const { return myPageQuantum; }

  void setMax(unsigned long long m);
  void setVisQuantum(unsigned int q);
  void setValQuantum(unsigned int q);
  void setPageQuantum(unsigned int q);
  void valUp();
  void valDown();
  void pageUp();
  void pageDown();
  cPicture* image(eSubElements e);
  int hit(int coordinate);

  void onPaint(cCanvas* c) override;
  void onMouseButton(int x, int y, int button, bool down) override;
  void onMouseMoving(int x, int y) override;
  void onMouseLeft() override;
  void onKey(int key, bool shift, bool mod2, bool mod3) override;
  bool wantDoubleBuffer() override { return true; }
  bool wantTabStop() override { return false; }
  bool wantFullRepaint() override { return true; }
  bool wantCaptureArrows() override { return true; }
  void onInitData() override;

 protected:
  struct sLooks {
    cPicturesList dft, hov, press;
    int firstPicture;  // the theme number of the start cap
  };
  cScrollBar(bool vertical, sLooks& looks) : myVertical(vertical), myLooks(looks) {}
  // Stores p (clamped) and tells the parent when it differs.
  bool moveTo(unsigned long long p, bool notify);
  virtual cChildAction* makeAction(unsigned long long p) = 0;

 private:
  struct sThumb {
    int offset, length;
  };
  int length() { return myVertical ? height() : width(); }
  int along(int x, int y) const { return myVertical ? y : x; }
  int across(int x, int y) const { return myVertical ? x : y; }
  int pictLength(eSubElements e);
  int minThumb();
  // The thumb's length for a track of `track` pixels, and the factor from
  // position to (scaled) pixels.
  int thumbLength(long long scaledTrack);
  double thumbFactor(long long scaledTrack, int thumb);
  // The full bar's pieces: the start cap's length and the arrow block's.
  int startCap() { return pictLength(seStartCap); }
  sThumb thumb();
  void draw(cCanvas* c, eSubElements e, int at, int len);
  bool setStates(unsigned int track, unsigned int thumb, unsigned int dec, unsigned int inc);
  bool allNormal() const { return !myTrackState && !myThumbState && !myDecState && !myIncState; }
  void hoverRegion(int region);
  void loadPictures();

  bool myVertical;
  sLooks& myLooks;
  unsigned long long myPos = 0;
  unsigned long long myMax = 100;
  unsigned int myVisQuantum = 1, myValQuantum = 1, myPageQuantum = 10;
  int myDragStart = 0;
  unsigned long long myDragStartPos = 0;
  bool myDragging = false;
  bool myDecPending = false, myIncPending = false, myPageBackPending = false, myPageForwardPending = false;
  unsigned int myTrackState = 0, myThumbState = 0, myDecState = 0, myIncState = 0;
};

class cHScroll : public cScrollBar {
 public:
  class cHScrollAction : public cChildAction {
   public:
    unsigned long long pos;
    explicit cHScrollAction(unsigned long long p) : cChildAction(acChange), pos(p) {}
  };
  static sLooks looks;
  static cPicturesList& myImgListDft;
  static cPicturesList& myImgListHov;
  static cPicturesList& myImgListPress;

  cHScroll() : cScrollBar(false, looks) {}
  // The horizontal bar never has an empty range.
  void setMax(unsigned long long m) {
    if (m) cScrollBar::setMax(m);
  }
  void setPos(unsigned long long p) { moveTo(p, true); }

 protected:
  cChildAction* makeAction(unsigned long long p) override { return new cHScrollAction(p); }
};

class cVScroll : public cScrollBar {
 public:
  class cVScrollAction : public cChildAction {
   public:
    unsigned long long pos;
    explicit cVScrollAction(unsigned long long p) : cChildAction(acChange), pos(p) {}
  };
  static sLooks looks;
  static cPicturesList& myImgListDft;
  static cPicturesList& myImgListHov;
  static cPicturesList& myImgListPress;

  cVScroll() : cScrollBar(true, looks) {}
  void setPos(unsigned long long p, bool notify) { moveTo(p, notify); }
  void onConstruct() override {}

 protected:
  cChildAction* makeAction(unsigned long long p) override { return new cVScrollAction(p); }
};
