// The small form install mode opens first: "Loading package
// configuration..." while the init job opens the package, then the box
// that tells why it cannot go on, or nothing when the package is ready.
#pragma once

#include <string>

#include "ciom/customform.h"
#include "ciom/staticelement.h"
#include "tamsivarapp/formjob.h"
#include "tamsivarapp/installctx.h"
#include "tamsivarapp/statusform.h"

class cInstallInitUI;
class cCiomLangData;

// The words, from `texts` ("pkgm::iini"), that refuse a package holding a
// path that is not absolute in the chosen language: the language, the path
// and the way on that works.
std::string relativePathWords(const sPkgInstallContext& ctx, cCiomLangData* texts);

class cInstallInitJob : public cFormJob<cInstallInitUI, sPkgInstallContext> {
 public:
  using cFormJob::cFormJob;
  int job() override;
  void onJobEnd(unsigned long code) override;
};

class cInstallInitUI : public cCustomForm {
 public:
  static constexpr int kJobEnded = kFormJobEnded;
  static constexpr int kChooseLang = kFormChooseLang;
  static constexpr int kApplyLang = 9;
  static constexpr int kWaiting = 10;

  using cProgressAction = cFormJobEndAction;
  using cRespondLangAction = cFormChooseLangAction;
  // The interface language belongs to the main thread.
  class cApplyLangAction : public cSentChildAction {
   public:
    int lang;
    explicit cApplyLangAction(int l) : cSentChildAction(kApplyLang), lang(l) {}
  };

  // Shows the form over the loading job; true when the package is ready.
  static bool runLoadScen(sPkgInstallContext& context);

  explicit cInstallInitUI(sPkgInstallContext* context) : myContext(context), myJob(this, context) {}
  ~cInstallInitUI() override { myJob.terminate(); }
  void onConstruct() override;
  // While the job waits for another run of the package, Escape, the
  // Cancel button and the close box end the wait and the form with it.
  bool onFormCancel() override;
  bool onClose() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  const char* wantLangResource() override { return "pkgm::iini"; }
  bool wantHiddenUnderBoxes() override { return true; }
  void notifyEnd(int code) { postAction(new cProgressAction(code)); }
  void notifyWaiting() { postAction(new cChildAction(kWaiting)); }

 private:
  void showEnd(int code);

  cStaticElement myLoading;
  cRunWaitShow myWait;
  sPkgInstallContext* myContext;
  cInstallInitJob myJob;
};
