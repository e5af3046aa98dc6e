// The wizard's panel that runs the removal commands of the packages the new
// one supersedes, one stage per package; what is left on the list
// afterwards is what could not be removed.
#pragma once

#include "tamsivarapp/installctx.h"
#include "tamsivarapp/jobpanel.h"

class cSoftUninstallerPanel : public cJobPanel {
 public:
  ~cSoftUninstallerPanel() override { terminate(); }
  // False for an empty list or when the job cannot start; the list must
  // outlive the job.
  bool startRemoval(_List<sPackageForRemoval>& list);
  int job() override;

 private:
  _List<sPackageForRemoval>* myList = nullptr;
};
