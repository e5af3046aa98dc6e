// A clickable text link: a label in the link colour and the underlined font
// that notifies its parents when the left button is released over it.
#pragma once

#include "ciom/staticelement.h"

class cLinkElement : public cStaticElement {
 public:
  void onInitData() override;
  void onMouseButton(int x, int y, int button, bool down) override;
  eMousePointerTypes defaultPointer() override { return mptHand; }

  void setAssociation(void* a) { myAssociation = a; }
  void* association() { return myAssociation; }

 private:
  void* myAssociation = nullptr;
};
