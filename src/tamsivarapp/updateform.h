// The update form: what is new in the newer version, and its installation:
// save the installer where the user says, download it with progress, unpack
// it and start it.
#pragma once

#include <string>

#include "base/guardchar.h"
#include "base/targets.h"
#include "ciom/customform.h"
#include "ciom/linkelement.h"
#include "ciom/propdisparea.h"
#include "ciom/staticelement.h"
#include "tamsivarapp/checkupdates.h"
#include "tamsivarapp/cistd.h"

class cSoftUpdateInfoForm : public cCustomForm {
 public:
  struct sUpdateInfoCtx {
    _guardchar<char> name;
    // The newest version, written as versions are shown.
    _guardchar<char> version;
    _guardchar<char> downloadUrl;
    _guardchar<char> webSite;
    _guardchar<char> notes;
  };

  // How the form ended, its modal result: a decline is no failure, unless
  // an attempt to install failed before it.
  enum eOutcome { uoDeclined = 0, uoStarted = 1, uoFailed = 2 };
  static eOutcome installUpdate(sUpdateInfoCtx& information, cChildElement* parent);

  explicit cSoftUpdateInfoForm(sUpdateInfoCtx* information) : myInfo(information) {}

  const char* wantLangResource() override { return "pkgm::updi"; }
  void onConstruct() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool onFormCancel() override;
  bool onClose() override;

  // The accept procedure once the user named the file: true when the
  // installer was started. A failure, as opposed to a refusal, is kept for
  // the form's outcome.
  bool installTo(const char* path);

 protected:
  // Asks where to save the installer: the proposed name in the folder last
  // used; false when the user cancelled.
  virtual bool chooseTarget(const char* proposed, const char* folder, _guardchar<char>& path);

 private:
  void accept();
  void decline() { end_modal(myFailed ? uoFailed : uoDeclined); }
  // Shows the row, with `value` put in when given, the address with the
  // cause when known, and `cause` on a line of its own; the install has
  // failed.
  bool fail(int row, const char* value = nullptr, const sUpdateCheck* why = nullptr,
            const std::string& cause = {});
  // The download into `temp`, asked again while the user wants a retry;
  // the result code of the last attempt, whose cause `why` keeps.
  int download(cFileIO& temp, sUpdateCheck& why);

  cStaticElement myTitle;
  cPropDispAreaChild myNotes;
  cLinkElement mySiteLink;
  cLinkElement myDownloadLink;
  cWZIButton myInstall;
  cWZIButton myNotNow;
  sUpdateInfoCtx* myInfo;
  bool myFailed = false;
};
