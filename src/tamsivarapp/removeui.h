// The small form of remove mode: "Removing Software manager..." while the
// job works, its one question, and the box that tells how it ended.
#pragma once

#include "base/job.h"
#include "ciom/customform.h"
#include "ciom/staticelement.h"
#include "tamsivarapp/statusform.h"

class cRemoverUI;

class cRemoverJob : public cJob {
 public:
  cRemoverJob(cRemoverUI* form, const char* program) : cJob(nullptr), myForm(form), myProgram(program) {}
  ~cRemoverJob() override { terminate(); }
  int job() override;
  void onJobEnd(unsigned long code) override;

 private:
  cRemoverUI* myForm;
  _guardchar<char> myProgram;
};

class cRemoverUI : public cCustomForm {
 public:
  static constexpr int kJobEnded = 7;
  static constexpr int kConfirm = 8;
  static constexpr int kApplyLang = 9;

  class cProgressAction : public cChildAction {
   public:
    int endCode;
    explicit cProgressAction(int c) : cChildAction(kJobEnded), endCode(c) {}
  };
  class cConfirmAction : public cYesNoAction {
   public:
    cConfirmAction(int r, bool* answer) : cYesNoAction(kConfirm, answer, r) {}
  };

  // True when the manager, or the program that runs, is gone.
  static bool runRemoval(const char* program, cChildElement* parent);

  explicit cRemoverUI(const char* program) : myJob(this, program) {}
  ~cRemoverUI() override { myJob.terminate(); }
  void onConstruct() override;
  bool onClose() override { return !myJob.runs(); }
  bool onAction(cChildElement* sender, cChildAction* a) override;
  const char* wantLangResource() override { return "pkgm::rem"; }
  bool wantHiddenUnderBoxes() override { return true; }

 private:
  cStaticElement myStatus;
  cRemoverJob myJob;
};
