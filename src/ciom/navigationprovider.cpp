#include "ciom/navigationprovider.h"

#include "ciom/navigationpath.h"

void cFakeNavigationProgressJob::startProgress(cNavigationPostTarget* bar) {
  bar_ = bar;
  t_ = 0.0;
  if (!runs()) start();
}

void cFakeNavigationProgressJob::endProgress() {
  t_ = -1.0;
  if (cNavigationPostTarget* bar = bar_) bar->postNavigationProgress(1.0);
}

int cFakeNavigationProgressJob::job() {
  for (int wake = 1; !haveToStop(); ++wake) {
    sleep(5);
    if (haveToStop() || wake % 40) continue;
    double t = t_, next = t, post = 0;
    if (t < 0) continue;
    bool posted = stepFakeNavigationProgress(next, post);
    // A restart or an end meanwhile wins over this step.
    if (!t_.compare_exchange_strong(t, next) || !posted) continue;
    if (cNavigationPostTarget* bar = bar_) bar->postNavigationProgress(post);
  }
  return 0;
}

bool cNavigationProvider::asyncNavigate(cNavigationPostTarget* bar, const char* path) {
  // A run that has reported its end is only leaving its thread; start()
  // waits for that. One that has not may still be writing.
  if (!path || (runs() && !reported_)) return false;
  reported_ = false;
  bar_ = bar;
  path_.set(path);
  return start();
}

void cNavigationProvider::onJobEnd(unsigned long code) {
  // Marked before it is told: the main thread may act on the end, and ask
  // for the next folder, before this thread runs another line.
  reported_ = true;
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
