// The "Install" step's panel: runs the installer job over the install
// context and asks the wizard about busy files.
#pragma once

#include "tamsivarapp/installjob.h"
#include "tamsivarapp/jobpanel.h"

class cInstallerJobPanel : public cJobPanel {
 public:
  static constexpr int kAskRelease = 8;

  // Sent to the wizard, which answers through `giveUp` before the job
  // goes on.
  class cAskReleaseAction : public cSentChildAction {
   public:
    bool* giveUp;
    _guardchar<char> path;
    cAskReleaseAction(bool* answer, const char* file) : cSentChildAction(kAskRelease), giveUp(answer), path(file) {}
  };

  // Where the job puts the manager's own copy; tests put their own here.
  static bool (*managerPathOf)(_guardchar<char>& out);

  ~cInstallerJobPanel() override { terminate(); }
  // False for a null context or when the job cannot start.
  bool startInstall(sPkgInstallContext* context);
  int job() override;
  const char* wantLangResource() override { return "pkgm::instp"; }

 private:
  class cHost : public cInstallJobHost {
   public:
    explicit cHost(cInstallerJobPanel& p) : panel(p) {}
    void notifyStage(int i) override { panel.notifyStage(i); }
    void notifyLastStage() override { panel.notifyLastStage(); }
    bool notifyProgress(double percent) override { return panel.notifyProgress(percent); }
    bool askRelease(const char* path) override;
    bool managerPath(_guardchar<char>& out) override { return managerPathOf(out); }
    cInstallerJobPanel& panel;
  };

  sPkgInstallContext* myContext = nullptr;
};
