#include "ciom/navigationchild.h"

#include <climits>
#include <vector>

#include "ciom/themeuse.h"

namespace {
constexpr int kBarHeight = 22;
constexpr int kProgressRange = 1000;
constexpr long long kTypedPathLimit = 32768;
enum { imFolder = 0, imArrow = 1 };
}  // namespace

cPicturesList cNavigationChild::myToolsPicts;
cPicturesList cNavigationChild::myToolsPictsActive;

cNavigationChild::~cNavigationChild() {
  myAnimator.terminate();
  clearNavigationSegments(mySegments);
}

void cNavigationChild::cSegmentBar::onMouseButton(int x, int y, int button, bool down) {
  if (button == mbLeft && down) notifyAction(new cChildAction(acActivate));
  cToolBarChild::onMouseButton(x, y, button, down);
}

void cNavigationChild::onInitData() {
  cChildElement::onInitData();
  myProvider = nullptr;
  myMode = nmNormal;
  setMinSize(0, kBarHeight);
  setMaxSize(INT_MAX, kBarHeight);
  attach(&myCombo, 0, 0, 1, 1);
  anchor(&myCombo, 0, 0, -1, -1);
  myCombo.hide(false);
  myCombo.setMaxLen(kTypedPathLimit);
  attach(&myProgress, 0, 0, 1, 1);
  anchor(&myProgress, 0, 0, -1, -1);
  myProgress.setRange(kProgressRange);
  myProgress.attach(&myTools, 0, 0, 1, 1);
  myProgress.anchor(&myTools, 0, 0, -1, -1);
  myTools.setTransparent(true);
  myShowRootSlash = true;
  if (!myToolsPicts.image(imFolder)) {
    myToolsPicts.refImage(imFolder, themePict(48));
    myToolsPicts.refImage(imArrow, themePict(145));
  }
  if (!myToolsPictsActive.image(imFolder)) {
    myToolsPictsActive.refImage(imFolder, themePict(48));
    myToolsPictsActive.refImage(imArrow, themePict(146));
  }
  myTools.setImageList(cButtonChild::bsNormal, &myToolsPicts);
  myTools.setImageList(cButtonChild::bsFocused, &myToolsPictsActive);
  myTools.setSmallerSizeBehavior(cToolBarChild::ssbHideFrom);
  myTools.setHideFrom(1);
  myHistory.init();
}

bool cNavigationChild::setPath(const char* path) {
  myPath.set(path);
  if (path) myHistory.setVisited(path);
  build();
  return true;
}

void cNavigationChild::build() {
  myTools.removeAll(false);
  clearNavigationSegments(mySegments);
  if (myPath.ptr) {
    splitNavigationPath(myPath.ptr, myShowRootSlash, mySegments);
    myTools.setButton(0, "", imFolder);
    if (mySegments.root)
      for (auto* s = cFasterTreeList<int, sStrToken>::leftmost(mySegments.root); s;
           s = cFasterTreeList<int, sStrToken>::next(s))
        myTools.setButton(s->key, s->value.label.ptr, imArrow);
  }
  repaint(nullptr);
}

bool cNavigationChild::navigate(const char* path) {
  if (myProvider) {
    if (!myProvider->canAcceptPath(path) || !myProvider->asyncNavigate(this, path)) return false;
  } else {
    notifyAction(new cNaviSetPathAction(path));
  }
  setPath(path);
  goProgressMode();
  return true;
}

void cNavigationChild::clearHist() {
  myCombo.clear();
  myHistory.init();
}

void cNavigationChild::setShowRootSlash(bool on) {
  myShowRootSlash = on;
  build();
}

void cNavigationChild::setFolderIncon(cPicture* picture) {
  if (!picture || !picture->raw()) return;
  myToolsPicts.storeImage(imFolder, picture->raw(), picture->width(), picture->height(), false);
  myToolsPictsActive.refImage(imFolder, myToolsPicts.image(imFolder));
}

void cNavigationChild::refFolderIncon(cPicture* picture) {
  myToolsPicts.refImage(imFolder, picture);
  myToolsPictsActive.refImage(imFolder, picture);
}

void cNavigationChild::goEditMode() {
  myProgress.hide(false);
  myCombo.clear();
  _guardchar<char> entry;
  int i = 0;
  for (void* c = myHistory.next(nullptr, entry); c; c = myHistory.next(c, entry))
    myCombo.setItem(i++, entry.ptr, nullptr, -1);
  if (myPath.ptr) myCombo.select(0, false);
  myMode = nmEdit;
  myCombo.show(true);
  myCombo.focus();
}

void cNavigationChild::goProgressMode() {
  myProgress.show(false);
  myCombo.hide(false);
  myTools.disable(false);
  myMode = nmProgress;
  myAnimator.startProgress(this);
  repaint(nullptr);
}

void cNavigationChild::goNormalMode() {
  myAnimator.endProgress();
  myCombo.hide(false);
  myTools.enable();
  myProgress.show(false);
  myMode = nmNormal;
  repaint(nullptr);
}

void cNavigationChild::receiveProgress(double p) {
  // 1.0 always stops; a step the animator computed just before the end can
  // arrive after it and must not restart the fill.
  if (p == 1.0) {
    myProgress.stopProgress(false);
  } else if (myMode == nmProgress) {
    if (p == 0.0)
      myProgress.startProgress();
    else
      myProgress.setPos(static_cast<int>(p * kProgressRange), false);
  }
}

bool cNavigationChild::onAction(cChildElement* sender, cChildAction* a) {
  if (!a) return cChildElement::onAction(sender, a);
  if (sender == this) {
    switch (a->code) {
      case naDone:
        notifyAction(new cNaviSetPathAction(nullptr));
        return true;
      case naProgress:
        receiveProgress(static_cast<cNaviFakeProgressRecvAction*>(a)->progress);
        return true;
      case naNormal:
        goNormalMode();
        return true;
      default:
        break;
    }
  }
  if (sender == &myTools && a->code == acActivate) {
    goEditMode();
    return true;
  }
  if (sender == &myTools && a->code == acChange) {
    const int id = static_cast<cToolBarChild::cTbButtonAction*>(a)->id;
    const sStrToken* segment = mySegments.find(id);
    if (id == 0)
      goEditMode();
    else if (segment)
      navigate(segment->path.ptr);
    return true;
  }
  if (sender == &myCombo && a->code == acActivate) {
    goNormalMode();
    return true;
  }
  if (sender == &myCombo && a->code == acChange) {
    const char* typed = myCombo.text();
    _guardchar<char> path(typed ? typed : "");
    cFolderContents::adjustPath(path.ptr);
    navigate(path.ptr);
    return true;
  }
  return cChildElement::onAction(sender, a);
}
