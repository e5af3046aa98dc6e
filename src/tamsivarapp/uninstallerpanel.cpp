#include "tamsivarapp/uninstallerpanel.h"

#include "base/conproc.h"
#include "tamsivarapp/uninstall.h"

bool cSoftUninstallerPanel::startRemoval(_List<sPackageForRemoval>& list) {
  int count = 0;
  for (auto* p = list.head; p; p = p->next) ++count;
  if (count == 0) return false;
  setNumStages(count);
  int i = 0;
  for (auto* p = list.head; p; p = p->next) setStageDescr(i++, p->value.name.ptr);
  notifyStage(0);
  myList = &list;
  return start();
}

int cSoftUninstallerPanel::job() {
  if (!myList) return 0;
  int stage = 0;
  for (auto* p = myList->head; p;) {
    auto* next = p->next;
    sPackageForRemoval& pkg = p->value;
    notifyStage(stage++);
    if (pkg.selected) {
      cConProcess process;
      if (!canStart(pkg.command.ptr) || !process.startProcess(pkg.command.ptr)) {
        pkg.result = -1;
      } else {
        pkg.result = waitDraining(process);
        notifyProgress(100);
        if (pkg.result == 0) myList->remove(p);
      }
    }
    p = next;
  }
  return 0;
}
