// The one-line path bar: the path as a row of segment buttons, an edit field
// with the visited paths in its drop-down, and a progress fill while a path
// opens. The opening itself is a provider's job; the bar hears from its jobs
// only through actions it posts to itself, so it changes on the main thread.
#pragma once

#include "base/btree.h"
#include "base/guardchar.h"
#include "ciom/combobox.h"
#include "ciom/navigationhistory.h"
#include "ciom/navigationpath.h"
#include "ciom/navigationprovider.h"
#include "ciom/pictureslist.h"
#include "ciom/progress.h"
#include "ciom/toolbar.h"

class cNavigationChild : public cChildElement, public cNavigationPostTarget {
 public:
  enum { nmNormal = 0, nmEdit = 1, nmProgress = 2 };
  // Codes of the bar's actions; 9, posted by the owner of the listing once it
  // has read it, brings the bar back to normal.
  enum { naSetPath = 6, naDone = 7, naProgress = 8, naNormal = 9 };
  using sStrToken = sNaviSegment;

  class cNaviSetPathAction : public cChildAction {
   public:
    _guardchar<char> path;  // null: a navigation has finished
    explicit cNaviSetPathAction(const char* p) : cChildAction(naSetPath), path(p) {}
  };
  class cNaviDoneAction : public cChildAction {
   public:
    int result;
    explicit cNaviDoneAction(int r) : cChildAction(naDone), result(r) {}
  };
  class cNaviFakeProgressRecvAction : public cChildAction {
   public:
    double progress;
    explicit cNaviFakeProgressRecvAction(double p) : cChildAction(naProgress), progress(p) {}
  };

  static cPicturesList myToolsPicts;
  static cPicturesList myToolsPictsActive;

  ~cNavigationChild() override;

  bool setPath(const char* path);
  // False, with nothing changed, when the provider cannot take the path or
  // is still busy with the last one.
  bool navigate(const char* path);
  void setNavigationProvider(cNavigationProvider* p) { myProvider = p; }
  int naviMode() const { return myMode; }
  void clearHist();
  void setShowRootSlash(bool on);
  void setPassiveColor(unsigned int colour, bool repaint) { myProgress.setPassiveBgColor(colour, repaint); }
  void setFolderIncon(cPicture* picture);
  void refFolderIncon(cPicture* picture);
  void goEditMode();
  void goProgressMode();
  void goNormalMode();

  const char* path() const { return myPath.ptr; }
  cToolBarChild& tools() { return myTools; }
  cComboBoxChild& combo() { return myCombo; }
  cProgressChild& progress() { return myProgress; }
  const cFasterTreeList<int, sStrToken>& segments() const { return mySegments; }

  void postNavigationDone(int code) override { postAction(new cNaviDoneAction(code)); }
  void postNavigationProgress(double p) override { postAction(new cNaviFakeProgressRecvAction(p)); }

  bool onAction(cChildElement* sender, cChildAction* a) override;
  void onInitData() override;

 private:
  // The toolbar tells its parents about a click beside its buttons.
  class cSegmentBar : public cToolBarChild {
   public:
    void onMouseButton(int x, int y, int button, bool down) override;
  };

  void build();
  void receiveProgress(double p);

  cSegmentBar myTools;
  cProgressChild myProgress;
  cComboBoxChild myCombo;
  bool myShowRootSlash = true;
  cNavigationHistory myHistory;
  _guardchar<char> myPath;
  // After the elements: it is stopped before they go.
  cFakeNavigationProgressJob myAnimator;
  cNavigationProvider* myProvider = nullptr;
  cFasterTreeList<int, sStrToken> mySegments;
  int myMode = nmNormal;
};
