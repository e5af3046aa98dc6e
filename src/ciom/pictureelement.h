// One picture whose rectangles can be active zones: a click in a zone
// notifies the zone's id, the pointer becomes the hand over one, and a
// rectangle can carry a hint text that pops up under the mouse.
#pragma once

#include "base/btree.h"
#include "base/buffers.h"
#include "ciom/child.h"
#include "ciom/hintmaster.h"
#include "ciom/picture.h"

class cPictureElement : public cChildElement {
 public:
  class cActiveZoneAction : public cChildAction {
   public:
    int zone;
    explicit cActiveZoneAction(int z) : cChildAction(acChange), zone(z) {}
  };
  // Right and bottom inclusive.
  struct sZoneHint {
    int left = 0, top = 0, right = 0, bottom = 0;
    _guardchar<char> text;
  };

  // The picture stays the caller's; false for a null or empty one, which
  // leaves the picture shown before.
  bool refPict(cPicture* p);
  // Owned pictures from a picture resource or from pixels; on failure no
  // picture is shown.
  bool setPict(const unsigned char* data, unsigned int size);
  bool setPict(const unsigned int* pixels, int w, int h);
  cPicture* picture() { return myPicture; }

  bool setActive(int id, int x, int y, int w, int h);
  using cChildElement::setHint;
  bool setHint(int id, int x, int y, int w, int h, const char* text);
  bool setHint(int id, const char* text);
  int currentZone() const { return myCurrentZone; }
  cHintMaster* hintInView() { return myHintWindow.ptr; }

  void onInitData() override;
  void onPaint(cCanvas* c) override;
  bool onBackgroundRequest(cCanvas* c, sRect* r) override;
  void onMouseMoving(int x, int y) override;
  void onMouseButton(int x, int y, int button, bool down) override;
  void onMouseLeft() override;

 private:
  bool zoneAt(int x, int y, int& id);
  void closeHint();

  cPicture* myPicture = nullptr;
  cPtr<cPicture> myOwned;
  cFasterTreeList<int, sArea> myZones;
  cFasterTreeList<int, sZoneHint> myHints;
  int myCurrentZone = -1;
  int myShownHintId = -1;
  cPtr<cHintMaster> myHintWindow;
};
