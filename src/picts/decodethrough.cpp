#include "picts/pictbase.h"

bool cPictBase::decodeThrough(cPictBase& inner, cFileIOTarget* io) {
  sExtPictDef* target = extTarget();
  if (target && target->width > 0 && target->height > 0) {
    if (!inner.setExtTarget(target) || !inner.decode(io)) return false;
    myWidth = inner.width();
    myHeight = inner.height();
    return true;
  }
  if (!inner.decode(io)) return false;
  inner.moveTo(*this);
  return true;
}
