#include "ciom/windowmaker.h"

cCriticalSection gActionSync;

void cWindowMaker::gaSyncAdd(cList& list, cListItem* item) {
  cSafeCriticalSectionAccess hold(&gActionSync);
  list.add(item);
}

void cWindowMaker::gaSyncMove(cList& from, cList& to) {
  cSafeCriticalSectionAccess hold(&gActionSync);
  from.moveTo(to);
}
