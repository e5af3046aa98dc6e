// The small form of uninstall mode: "Processing software uninstall..."
// while the job removes the package, the questions the job asks, and the
// box that tells how it ended.
#pragma once

#include "ciom/customform.h"
#include "ciom/staticelement.h"
#include "tamsivarapp/formjob.h"
#include "tamsivarapp/statusform.h"
#include "tamsivarapp/uninstall.h"

class cUninstallInitUI;

// The box of an uninstall given up on: `cancelled`, then the files that
// could not be put back, named where they are with their reasons.
std::string cancelledText(const char* cancelled, const std::vector<sKeptFile>& kept, cCiomLangData* reasons);

class cUninstallInitJob : public cFormJob<cUninstallInitUI, sPkgUninstallContext> {
 public:
  using cFormJob::cFormJob;
  int job() override;
  void onJobEnd(unsigned long code) override;
};

class cUninstallInitUI : public cCustomForm {
 public:
  static constexpr int kJobEnded = kFormJobEnded;
  static constexpr int kChooseLang = kFormChooseLang;
  static constexpr int kConfirm = 9;
  static constexpr int kAskRelease = 10;
  static constexpr int kApplyLang = 11;
  static constexpr int kWaiting = 12;
  static constexpr int kHeld = 13;

  using cProgressAction = cFormJobEndAction;
  using cRespondLangAction = cFormChooseLangAction;
  class cConfirmAction : public cYesNoAction {
   public:
    cConfirmAction(bool* answer, int r) : cYesNoAction(kConfirm, answer, r) {}
  };
  class cWaitingAction : public cChildAction {
   public:
    cUninstallHost::eHeld held;
    explicit cWaitingAction(cUninstallHost::eHeld h) : cChildAction(kWaiting), held(h) {}
  };
  class cAskReleaseAction : public cSentChildAction {
   public:
    bool* giveUp;
    _guardchar<char> path;
    cAskReleaseAction(bool* answer, const char* file)
        : cSentChildAction(kAskRelease), giveUp(answer), path(file) {}
  };

  // The form's modal result: 0 uninstalled, 1 anything else.
  static int runUninstall(sPkgUninstallContext& context, cChildElement* parent);

  explicit cUninstallInitUI(sPkgUninstallContext* context) : myContext(context), myJob(this, context) {}
  ~cUninstallInitUI() override { myJob.terminate(); }
  void onConstruct() override;
  // While the job waits for another run (of the package, or writing the
  // store), Escape, the Cancel button and the close box end the wait, as
  // cancelled.
  bool onFormCancel() override;
  bool onClose() override;
  void notifyWaiting(cUninstallHost::eHeld held) { postAction(new cWaitingAction(held)); }
  bool onAction(cChildElement* sender, cChildAction* a) override;
  const char* wantLangResource() override { return "pkgm::unin"; }
  bool wantHiddenUnderBoxes() override { return true; }

 private:
  void showEnd(int code);

  cStaticElement myStatus;
  cRunWaitShow myWait;
  sPkgUninstallContext* myContext;
  cUninstallInitJob myJob;
};
