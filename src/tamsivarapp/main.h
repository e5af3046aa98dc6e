// The application object: one executable plays the manager, the installer,
// the uninstaller, the update check, the installer maker, the self-removal
// and the version query, picked from its command line or from the installer
// bundle it sits in.
#pragma once

#include "base/guardchar.h"
#include "ciom/application.h"

class cTamsivarApp : public cCIApplication {
 public:
  enum eMode { mManager = 0, mInstall, mUninstall, mUpdate, mMake, mRemove, mVersion };

  bool onInit(int argc, char** argv, int& status) override;
  int run() override;
  void* appIconData() override;
  unsigned int appIconDim() override;
  // Only the windowed modes need a display; make and version run anywhere.
  bool needsWindowMaker() override;

  // Reads the command line as onInit does, after the application-wide set-up.
  bool parseCommandLine(int argc, char** argv);

  int mode = mManager;
  _guardchar<char> exePath;
  _guardchar<char> firstArg;
  _guardchar<char> secondArg;
  _guardchar<char> thirdArg;
  unsigned int offset = 0;
  bool quiet = false;
};

// 128 by 128 pixels of 32 bits.
extern const unsigned char _iconColorData[65536];
// The stand-in icons of packages without one: 16 and 48 pixels on a side,
// 32 bits, rows bottom-up.
extern const unsigned char app_ico_small[1024];
extern const unsigned char app_ico_big[9216];
