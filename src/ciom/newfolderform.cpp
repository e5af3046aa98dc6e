#include "ciom/newfolderform.h"

#include <algorithm>

#include "ciom/formtoolbars.h"
#include "ciom/sharedpictures.h"

namespace {
enum { idAccept = 1, idCancel = 2 };
enum { txBanner = 0, txAccept = 1, txCancel = 2, txCaption = 3 };

constexpr int kWidth = 250, kHeight = 100;
// What a title bar takes besides its caption, measured in our bold font:
// the manager's buttons, icon and margins, and its own wider lettering.
constexpr int kTitleBarRoom = 150;

// Wide enough for the caption in a title bar; a manager cuts what does not
// fit out of its middle, and the caption is all the form says of itself.
int widthFor(cChildElement* parent, const char* caption) {
  sSize size{0, 0};
  if (!*caption || !parent->sizeOf(caption, size, parent->stdFontBold())) return kWidth;
  return std::max(kWidth, size.cx + kTitleBarRoom);
}
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
  if (!caption) caption = "";
  return parent->modal(caption, widthFor(parent, caption), kHeight, form, false) != 0;
}

void cNewFolderNameReqForm::onConstruct() {
  cCustomForm::onConstruct();
  fillSharedPictures(myImagesToolsCtl, {77, 78});
  clientArea()->attach(&myField, 0, 0, 1, 20);
  clientArea()->anchor(&myField, 5, 0, -11, 20);
  myField.setBanner(string(txBanner));
  if (myName && myName->ptr && *myName->ptr) myField.setText(myName->ptr, -1);

  attachControlButtons(*this, myButtons, &myImagesToolsCtl, idAccept, string(txAccept), 0, idCancel,
                       string(txCancel), 1);
  myField.focus();
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
