#include "ciom/navigationprovider.h"

bool cNavigationProvider::asyncNavigate(cNavigationDoneTarget* bar, const char* path) {
  if (!path || runs()) return false;
  bar_ = bar;
  path_.set(path);
  return start();
}

void cNavigationProvider::onJobEnd(unsigned long code) {
  if (bar_) bar_->postNavigationDone(static_cast<int>(code));
  onNavigationDone(static_cast<int>(code));
}

bool cFileChooseListFolder::canAcceptPath(const char* path) {
  if (!path || !*path) return true;
  if (cFolderContents::objtype(path) == fotFolder) return true;
  char c = path[0];
  return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && path[1] == ':' && !path[2];
}

int cFileChooseListFolder::navigationProc(const char* path) {
  bool ok = path && *path ? listing_.init(path, true) : listing_.enumSpecialLocations();
  return ok ? 0 : 1;
}
