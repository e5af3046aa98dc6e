// The small form of uninstall mode: "Processing software uninstall..."
// while the job removes the package, the questions the job asks, and the
// box that tells how it ended.
#pragma once

#include "base/job.h"
#include "ciom/customform.h"
#include "ciom/staticelement.h"
#include "tamsivarapp/statusform.h"
#include "tamsivarapp/uninstall.h"

class cUninstallInitUI;

class cUninstallInitJob : public cJob {
 public:
  cUninstallInitJob(cUninstallInitUI* form, sPkgUninstallContext* context)
      : cJob(nullptr), myForm(form), myContext(context) {}
  ~cUninstallInitJob() override { terminate(); }
  int job() override;
  void onJobEnd(unsigned long code) override;

 private:
  cUninstallInitUI* myForm;
  sPkgUninstallContext* myContext;
};

class cUninstallInitUI : public cCustomForm {
 public:
  static constexpr int kJobEnded = 7;
  static constexpr int kChooseLang = 8;
  static constexpr int kConfirm = 9;
  static constexpr int kAskRelease = 10;
  static constexpr int kApplyLang = 11;

  class cProgressAction : public cChildAction {
   public:
    int endCode;
    explicit cProgressAction(int c) : cChildAction(kJobEnded), endCode(c) {}
  };
  class cRespondLangAction : public cSentChildAction {
   public:
    int* lang;
    explicit cRespondLangAction(int* l) : cSentChildAction(kChooseLang), lang(l) {}
  };
  class cConfirmAction : public cYesNoAction {
   public:
    cConfirmAction(bool* answer, int r) : cYesNoAction(kConfirm, answer, r) {}
  };
  class cAskReleaseAction : public cSentChildAction {
   public:
    bool* giveUp;
    _guardchar<char> path;
    cAskReleaseAction(bool* answer, const char* file) : cSentChildAction(kAskRelease), giveUp(answer), path(file) {}
  };

  // The form's modal result: 0 uninstalled, 1 anything else.
  static int runUninstall(sPkgUninstallContext& context, cChildElement* parent);

  explicit cUninstallInitUI(sPkgUninstallContext* context) : myContext(context), myJob(this, context) {}
  ~cUninstallInitUI() override { myJob.terminate(); }
  void onConstruct() override;
  bool onClose() override { return !myJob.runs(); }
  bool onAction(cChildElement* sender, cChildAction* a) override;
  const char* wantLangResource() override { return "pkgm::unin"; }

 private:
  void showEnd(int code);

  cStaticElement myStatus;
  sPkgUninstallContext* myContext;
  cUninstallInitJob myJob;
};
