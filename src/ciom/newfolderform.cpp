#include "ciom/newfolderform.h"

#include "ciom/themeuse.h"

namespace {
enum { idAccept = 1, idCancel = 2 };
enum { txBanner = 0, txAccept = 1, txCancel = 2, txCaption = 3 };
}  // namespace

cPicturesList cNewFolderNameReqForm::myImagesToolsCtl;

bool cNewFolderNameReqForm::reqNewFolderName(cChildElement* parent, _guardchar<char>& name,
                                             cNewFolderNameReqForm* form) {
  if (!parent) {
    delete form;
    return false;
  }
  if (!form) form = new cNewFolderNameReqForm;
  form->myName = &name;
  const char* caption = form->string(parent, txCaption);
  return parent->modal(caption ? caption : "", 250, 100, form, false) != 0;
}

void cNewFolderNameReqForm::onConstruct() {
  cCustomForm::onConstruct();
  if (!myImagesToolsCtl.image(0)) {
    myImagesToolsCtl.refImage(0, themePict(77));
    myImagesToolsCtl.refImage(1, themePict(78));
  }
  clientArea()->attach(&myField, 0, 0, 1, 20);
  clientArea()->anchor(&myField, 5, 0, -11, 20);
  myField.setBanner(string(txBanner));
  if (myName && myName->ptr && *myName->ptr) myField.setText(myName->ptr, -1);

  attach(&myButtons, 0, 0, 1, 24);
  myButtons.setTransparent(true);
  myButtons.setImageList(cButtonChild::bsNormal, &myImagesToolsCtl);
  myButtons.setButton(idAccept, string(txAccept), 0);
  myButtons.setButton(idCancel, string(txCancel), 1);
  const int bw = myButtons.wantsWidth(), d7 = themeDim(7), d8 = themeDim(8), d9 = themeDim(9);
  anchor(&myButtons, -(d9 + bw), -d8 - 1 - d7, bw, d7);
  myField.focus();
}

bool cNewFolderNameReqForm::onAction(cChildElement* sender, cChildAction* a) {
  if (sender == &myButtons && a && a->code == cToolBarChild::acChange) {
    const int id = static_cast<cToolBarChild::cTbButtonAction*>(a)->id;
    if (id == idAccept) return onFormAccept();
    if (id == idCancel) return onFormCancel();
  }
  return cCustomForm::onAction(sender, a);
}

bool cNewFolderNameReqForm::onFormAccept() {
  const char* typed = myField.text();
  if (!typed || !*typed) {
    myField.focus();
    return false;
  }
  if (myName) myName->set(typed);
  end_modal(1);
  return true;
}

bool cNewFolderNameReqForm::onFormCancel() {
  end_modal(0);
  return true;
}
