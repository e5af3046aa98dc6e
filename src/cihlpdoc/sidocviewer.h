// Shows one document tree in a vertically scrolling element and opens a
// link on a click. The document is laid out once per document and width,
// then drawn from that one layout into off-screen bands; painting and
// scrolling only copy from them.
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
  // How often a document was laid out, for the tests of its cost.
  int layouts() const { return myLayouts; }

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
  // Lays the document out for the right limit `right` into `plan`.
  bool place(cCanvas* canvas, int right, sSize& size, tSiDocPlan& plan);
  // What the vertical bar takes from the element's width when it shows.
  int barRoom();
  void dropBands();

  std::vector<std::unique_ptr<cCanvas> > myBands;
  int myBandsWidth = 0;
  int myDocHeight = 0;
  cSiDocBox* myRoot = nullptr;
  unsigned int myBackground = 0xFFFFFF;
  char* myPressed = nullptr;
  bool myWithBar = false;
  int myLayouts = 0;
  std::map<char*, std::vector<sArea> > myAreas;
};
