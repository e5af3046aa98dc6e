// The small modal form in which both choosers ask for a new folder's name.
// The caller's string changes only on Accept with a non-empty name.
#pragma once

#include "base/guardchar.h"
#include "ciom/customform.h"
#include "ciom/edit.h"
#include "ciom/pictureslist.h"
#include "ciom/toolbar.h"

class cNewFolderNameReqForm : public cCustomForm {
 public:
  static cPicturesList myImagesToolsCtl;

  // A null form gets a new one; the run owns and deletes it.
  static bool reqNewFolderName(cChildElement* parent, _guardchar<char>& name, cNewFolderNameReqForm* form);

  const char* wantLangResource() override { return "ciom::filechoose"; }
  void onConstruct() override;
  bool onFormAccept() override;
  bool onFormCancel() override;

  cEditChild& field() { return myField; }
  cToolBarChild& buttons() { return myButtons; }

 private:
  cEditChild myField;
  cToolBarChild myButtons;
  _guardchar<char>* myName = nullptr;
};
