// The backend that opens a path for a navigation bar on a job thread, one
// navigation at a time. The bar hears the end only through a posted action,
// so the listing the job filled is read on the main thread.
#pragma once

#include <atomic>

#include "base/folder.h"
#include "base/guardchar.h"
#include "base/job.h"

// What the bar's jobs report to: the navigation bar posts each report to
// itself, so it reaches the bar's own action handler on the main thread.
class cNavigationPostTarget {
 public:
  virtual void postNavigationDone(int code) = 0;
  virtual void postNavigationProgress(double progress) = 0;

 protected:
  ~cNavigationPostTarget() = default;
};

// Moves the bar's progress along a curve while a navigation of unknown
// length runs. Started once, it idles between navigations until its owner
// terminates it.
class cFakeNavigationProgressJob : public cJob {
 public:
  cFakeNavigationProgressJob() : cJob(nullptr) {}
  ~cFakeNavigationProgressJob() override { terminate(); }
  void startProgress(cNavigationPostTarget* bar);
  // Posts the 1.0 that stops the bar's progress.
  void endProgress();
  int job() override;

 private:
  std::atomic<double> t_{-1.0};
  std::atomic<cNavigationPostTarget*> bar_{nullptr};
};

class cNavigationProvider : public cJob {
 public:
  cNavigationProvider() : cJob(nullptr) {}

  // Refuses a null path and any request while a navigation still runs, so
  // the listing being written is never restarted under its reader.
  virtual bool asyncNavigate(cNavigationPostTarget* bar, const char* path);
  virtual bool canAcceptPath(const char* path) = 0;
  virtual int navigationProc(const char* path) = 0;
  virtual void onNavigationDone(int /*code*/) {}

  int job() override { return navigationProc(path_.ptr); }
  void onJobEnd(unsigned long code) override;

 private:
  cNavigationPostTarget* bar_ = nullptr;
  _guardchar<char> path_;
  std::atomic<bool> reported_{false};
};

// The file chooser's backend: a folder, or the special locations for an
// empty path. End code 0 on success, 1 on failure.
class cFileChooseListFolder : public cNavigationProvider {
 public:
  ~cFileChooseListFolder() override { terminate(); }
  bool canAcceptPath(const char* path) override;
  int navigationProc(const char* path) override;
  // Read only after the done signal: the job writes it.
  cFolderContents& listing() { return listing_; }

 private:
  cFolderContents listing_;
};
