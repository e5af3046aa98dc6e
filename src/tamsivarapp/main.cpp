#include "tamsivarapp/main.h"

#include <cstring>

#include "base/exception.h"
#include "base/utils.h"
#include "ciom/theme.h"
#include "tamsivarapp/instmaker_mac.h"
#include "tamsivarapp/lang.h"
#include "tamsivarapp/modes.h"
#include "tamsivarapp/stcmd.h"
#include "tamsivarapp/updatedownload.h"
#include "tamsivarapp/ver.h"

bool cTamsivarApp::onInit(int argc, char** argv, int& status) {
  if (!cCIApplication::onInit(argc, argv, status)) return false;
  cException::init();
  cCITheme::setTheme(&gCI_Flat_Theme);
  cCIApplication* current = appRef();
  if (!current || !current->config()) return false;
  cSOPKGLang::init();
  // A stored language that the tables lack, or that fails to load, falls
  // back to English without a word.
  const int stored = cSOPKGLang::storedLang();
  if (stored == cSOPKGLang::_defaultLang() || !cLibLang::applyLang(static_cast<eCIOMStdLangs>(stored)))
    cLibLang::applyLang(static_cast<eCIOMStdLangs>(cSOPKGLang::_defaultLang()));
  return parseCommandLine(argc, argv);
}

bool cTamsivarApp::parseCommandLine(int argc, char** argv) {
  offset = 0;
  quiet = false;
  mode = mManager;
  if (argc < 1 || !argv) return false;
  exePath.set(argv[0]);

  unsigned probedOffset = 0;
  if (getSTInstallSrc(exePath.ptr, firstArg, probedOffset)) {
    mode = mInstall;
    offset = probedOffset;
    return true;
  }
  if (argc < 2) return true;

  const char* word = argv[1];
  if (!std::strcmp(word, "install")) {
    if (argc < 3) return false;
    firstArg.set(argv[2]);
    if (argc >= 4) {
      unsigned long long value = strToU64(argv[3]);
      if (value <= 0xFFFFFFFEULL) offset = static_cast<unsigned int>(value);
    }
    mode = mInstall;
  } else if (!std::strcmp(word, "uninstall")) {
    if (argc < 3) return false;
    firstArg.set(argv[2]);
    mode = mUninstall;
  } else if (!std::strcmp(word, "update")) {
    if (argc < 3) return false;
    firstArg.set(argv[2]);
    quiet = argc >= 4 && !std::strcmp(argv[3], "quite");
    mode = mUpdate;
  } else if (!std::strcmp(word, "make")) {
    if (argc != 4) return false;
    firstArg.set(argv[2]);
    secondArg.set(argv[3]);
    mode = mMake;
  } else if (!std::strcmp(word, "remove")) {
    mode = mRemove;
  } else if (!std::strcmp(word, "version")) {
    mode = mVersion;
  } else {
    return false;
  }
  return true;
}

int cTamsivarApp::run() {
  switch (mode) {
    case mManager:
      removeStaleUpdateFolders();
      return run_tamsivar();
    case mInstall: return install(exePath.ptr, firstArg.ptr, offset);
    case mUninstall: return uninstall(firstArg.ptr, nullptr);
    case mUpdate: return check_updates(firstArg.ptr, quiet);
    case mMake: return makeInstaller(exePath.ptr, firstArg.ptr, secondArg.ptr, thirdArg.ptr);
    case mRemove: return removeManager(exePath.ptr);
    case mVersion: return printverinfo();
    default: return 0;
  }
}

void* cTamsivarApp::appIconData() { return const_cast<unsigned char*>(_iconColorData); }

unsigned int cTamsivarApp::appIconDim() { return 128; }

bool cTamsivarApp::needsWindowMaker() {
  return mode != mMake && mode != mVersion;
}
