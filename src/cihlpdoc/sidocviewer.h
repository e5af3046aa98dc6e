// Shows one document tree in a vertically scrolling element and opens a
// link on a click. The document is laid out once per document and width
// into off-screen bands; painting and scrolling only copy from them.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "ciom/scrollable.h"
#include "cihlpdoc/sidocbox.h"

class cSiDocViewer : public cScrollableElement, public cSiDocActiveTarget {
 public:
  // Off-screen canvases are refused past 32,767 rows, and cairo already
  // copies wrong rows out of a surface near that height (white, or the last
  // row lost); taller documents are kept as bands of this height instead.
  static constexpr int kBandHeight = 16384;

  cSiDocViewer() = default;
  ~cSiDocViewer() override;

  // False when `root` is already shown; the background then applies at the
  // next layout.
  bool refSiDoc(cSiDocBox* root, unsigned int background);
  void rebuild();
  char* getRef(int x, int y);
  int documentHeight() const { return myDocHeight; }

  void onSizeChanged() override;
  void onMouseButton(int x, int y, int button, bool down) override;
  void onMouseMoving(int x, int y) override;
  void onKey(int key, bool shift, bool mod2, bool mod3) override;
  bool wantCaptureArrows() override { return true; }
  void onPaintArea(cCanvas* canvas) override;
  virtual void onActiveZone(char* ref);
  void resetActive() override;
  bool setActive(char* ref, int x, int y, int w, int h) override;

 protected:
  void fillPaint(cCanvas* canvas);

 private:
  bool layOut(cCanvas* canvas);
  void dropBands();

  std::vector<std::unique_ptr<cCanvas> > myBands;
  int myBandsWidth = 0;
  int myDocHeight = 0;
  cSiDocBox* myRoot = nullptr;
  unsigned int myBackground = 0xFFFFFF;
  char* myPressed = nullptr;
  // While a band is drawn: its top in the document, and its height, so that
  // each link rectangle is kept once, by the band its top falls in.
  int myBandTop = 0, myBandLimit = 0;
  std::map<char*, std::vector<sArea> > myAreas;
};
