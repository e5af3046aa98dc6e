#include "ciom/linkelement.h"

#include "ciom/themeuse.h"

void cLinkElement::onInitData() {
  cStaticElement::onInitData();
  myTextColor = themeColor(7);
  myFont = stdFontUnderlined();
}

void cLinkElement::onMouseButton(int x, int y, int button, bool down) {
  if (button == mbLeft && !down) notifyAction(new cChildAction(acDefault));
  cStaticElement::onMouseButton(x, y, button, down);
}
