// The wizard's target-folder step of a new installation: the folder the
// software goes to (changed only through the folder chooser), the space it
// takes, and on "Next" the check of every target path in that folder.
#pragma once

#include <string>

#include "base/guardchar.h"
#include "ciom/child.h"
#include "ciom/edit.h"
#include "ciom/picture.h"
#include "tamsivarapp/cistd.h"
#include "tamsivarapp/installctx.h"

class cFileSelectPanel : public cChildElement {
 public:
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
  // Fixes the folder as "pgm" and checks every file's target; false (after
  // an error box naming the first offending path) keeps the wizard here.
  bool accept();
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

  sPkgInstallContext* myContext = nullptr;
  cEditChild myField;
  cWZIButton myBrowse;
};
