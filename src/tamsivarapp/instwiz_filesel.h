// The wizard's target-folder step of a new installation: the folder the
// software goes to (changed only through the folder chooser), the space it
// takes, and on "Next" the check of every target path in that folder. The
// check runs off the window's thread, its bar in place of the hint, so that
// the window answers while thousands of targets are looked at.
#pragma once

#include <string>

#include "base/guardchar.h"
#include "ciom/child.h"
#include "ciom/edit.h"
#include "ciom/picture.h"
#include "tamsivarapp/cistd.h"
#include "tamsivarapp/installctx.h"
#include "tamsivarapp/jobpanel.h"

class cFileSelectPanel : public cChildElement {
 public:
  // Told to the wizard once the check has passed every target.
  static constexpr int kAccepted = 11;

  class cCheckPanel : public cJobPanel {
   public:
    // Hidden from the start: an upgrade never attaches the page.
    cCheckPanel() { hide(false); }
    ~cCheckPanel() override { terminate(); }
    sPkgInstallContext* context = nullptr;
    int job() override;
  };

  // The folder chooser: true with the chosen folder in `path` when the user
  // accepted one; tests put their own here. Null leaves "Browse..."
  // disabled.
  using tChooser = bool (*)(cChildElement* parent, const char* title, _guardchar<char>& path);
  static tChooser chooseFolder;
  // Total and available bytes of the volume holding `path`.
  static bool (*volInfo)(const char* path, unsigned long long& total, unsigned long long& available);

  static cPicture myPictFolder;

  const char* wantLangResource() override { return "pkgm::fsel"; }
  void onInitData() override;
  void onPaint(cCanvas* c) override;
  bool onAction(cChildElement* sender, cChildAction* a) override;

  void init(sPkgInstallContext* ctx);
  // Fixes the folder as "pgm" and starts the check of every file's target;
  // false when it did not start (after an error box where the folder
  // cannot be used), or when a check is already under way. A check that
  // passes tells the wizard (kAccepted); one that fails names the first
  // offending path in an error box and keeps the wizard here.
  bool accept();
  // Drops the check under way, if any: the page is as before "Next".
  void cancelCheck();
  bool checking() { return myCheck.visible_child(); }
  cCheckPanel& checkPanel() { return myCheck; }
  // A folder the chooser answered: taken when its volume has the room.
  bool takeFolder(const char* path);

  // The size line as painted: text 3 with the required space.
  std::string sizeLine();
  // Where a new installation goes unless the user picks another folder.
  static std::string defaultFolder(sPkgInstallContext* ctx);
  cEditChild& field() { return myField; }
  cWZIButton& browseButton() { return myBrowse; }

 private:
  void browse();
  void onCheckEnd(int code);

  sPkgInstallContext* myContext = nullptr;
  cEditChild myField;
  cWZIButton myBrowse;
  // Shown exactly while the page waits for its answer.
  cCheckPanel myCheck;
};
