#include "tamsivarapp/lang.h"

#include <string>

#include "ciom/application.h"
#include "tamsivarapp/pkgmlang_blocks.h"

const cLibLang::sLangDef cSOPKGLang::gLangs[kLangCount] = {
    {eLangENG, gTamsivarappLangBlock_eng, gTamsivarappLangBlockSize_eng},
    {eLangDEU, gTamsivarappLangBlock_deu, gTamsivarappLangBlockSize_deu},
    {eLangRUS, gTamsivarappLangBlock_rus, gTamsivarappLangBlockSize_rus},
    {eLangUKR, gTamsivarappLangBlock_ukr, gTamsivarappLangBlockSize_ukr},
    {eLangKOR, gTamsivarappLangBlock_kor, gTamsivarappLangBlockSize_kor},
    {eLangJPN, gTamsivarappLangBlock_jpn, gTamsivarappLangBlockSize_jpn},
    {eLangCHN, gTamsivarappLangBlock_chi, gTamsivarappLangBlockSize_chi},
    {eLangTWN, gTamsivarappLangBlock_twn, gTamsivarappLangBlockSize_twn},
};

cSOPKGLang* cSOPKGLang::gProvider = nullptr;

void cSOPKGLang::init() {
  // Lives to the end of the process: the toolkit's list of providers keeps
  // a pointer to it.
  if (!gProvider) gProvider = new cSOPKGLang;
}

int cSOPKGLang::recordedLang(cApplicationConfig* config, const char* recordName) {
  unsigned long long stored = 0;
  if (!config || !recordName ||
      !config->getParamInt((std::string("install/") + recordName + "/lang").c_str(), stored) || stored > 9 ||
      !_defines(static_cast<int>(stored)))
    return -1;
  return static_cast<int>(stored);
}

bool cSOPKGLang::_defines(int lang) {
  return gProvider && lang >= 0 && gProvider->defines(static_cast<eCIOMStdLangs>(lang));
}

int cSOPKGLang::storedLang() {
  cCIApplication* app = cCIApplication::appRef();
  unsigned long long stored = 0;
  if (app && app->config() && app->config()->getParamInt("lang/current", stored) && stored <= 9 &&
      _defines(static_cast<int>(stored)))
    return static_cast<int>(stored);
  return _defaultLang();
}
