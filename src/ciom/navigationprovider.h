// The backend that opens a path for a navigation bar on a job thread, one
// navigation at a time. The bar hears the end only through a posted action,
// so the listing the job filled is read on the main thread.
#pragma once

#include "base/folder.h"
#include "base/guardchar.h"
#include "base/job.h"

// What a provider reports to: the navigation bar posts the end code to
// itself, so it reaches the bar's own action handler on the main thread.
class cNavigationDoneTarget {
 public:
  virtual void postNavigationDone(int code) = 0;

 protected:
  ~cNavigationDoneTarget() = default;
};

class cNavigationProvider : public cJob {
 public:
  cNavigationProvider() : cJob(nullptr) {}

  // Refuses a null path and any request while a navigation still runs, so
  // the listing being written is never restarted under its reader.
  virtual bool asyncNavigate(cNavigationDoneTarget* bar, const char* path);
  virtual bool canAcceptPath(const char* path) = 0;
  virtual int navigationProc(const char* path) = 0;
  virtual void onNavigationDone(int /*code*/) {}

  int job() override { return navigationProc(path_.ptr); }
  void onJobEnd(unsigned long code) override;

 private:
  cNavigationDoneTarget* bar_ = nullptr;
  _guardchar<char> path_;
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
