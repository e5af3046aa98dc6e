#include "tamsivarapp/installerpanel.h"

#include <string>

#include "ciom/application.h"
#include "ciom/ciappconfig.h"
#include "tamsivar/manager.h"
#include "tamsivarapp/textfill.h"

bool (*cInstallerJobPanel::managerPathOf)(_guardchar<char>&) = getAppManagerPath;

bool cInstallerJobPanel::cHost::askRelease(const char* path) {
  cChildElement* wizard = panel.parent();
  bool giveUp = true;
  // Not handled (no wizard, or it went first) counts as giving up.
  if (!wizard || !wizard->sendAction(new cAskReleaseAction(&giveUp, path))) return true;
  return giveUp;
}

bool cInstallerJobPanel::startInstall(sPkgInstallContext* context) {
  if (!context) return false;
  int n = changedCount(*context);
  setNumStages(n + 4);
  auto text = [this](int i) {
    const char* s = string(i);
    return s ? s : "";
  };
  setStageDescr(0, text(0));
  int stage = 1;
  for (auto* f = context->files.head; f; f = f->next) {
    if (!sPkgInstallContext::changed(f->value)) continue;
    const std::string path = visibleText(f->value.path.ptr ? f->value.path.ptr : "");
    setStageDescr(stage++, fillText(text(1), path.c_str()).c_str());
  }
  setStageDescr(n + 1, text(2));
  setStageDescr(n + 2, text(3));
  setStageDescr(n + 3, text(4));
  myContext = context;
  return start();
}

int cInstallerJobPanel::job() {
  cHost host(*this);
  // A save that finds another run holding the store waits while the window
  // paints, until that run lets go or the user stops the job.
  cCIAppConfig::cLockWait storeWait([this] { return !haveToStop(); });
  cCIApplication* app = cCIApplication::appRef();
  return runInstallerJob(*myContext, host, app ? app->config() : nullptr);
}
