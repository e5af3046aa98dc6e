#include "ciom/child.h"
#include "ciom/windowmaker.h"

int cChildElement::modal(const char* caption, int w, int h, cChildElement* form, bool resizable) {
  cWindowRequestTarget* target = root()->myTarget;
  if (!target) {
    // Nobody else will ever own the form.
    delete form;
    return -1;
  }
  return target->_rt_modal(caption, w, h, form, resizable);
}

int cChildElement::modal_popup(int x, int y, int w, int h, cChildElement* e) {
  cWindowRequestTarget* target = root()->myTarget;
  if (!target) {
    delete e;
    return -1;
  }
  return target->_rt_modal_popup(x, y, w, h, e);
}

void* cChildElement::popup(int x, int y, int w, int h, cChildElement* e, bool focus) {
  cWindowRequestTarget* target = root()->myTarget;
  return target ? target->_rt_popup(x, y, w, h, e, focus) : nullptr;
}

void cChildElement::end_modal(int code) {
  if (cWindowRequestTarget* target = root()->myTarget) target->_rt_modalresult(code);
}
