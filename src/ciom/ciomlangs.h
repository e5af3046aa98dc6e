// The toolkit's own language provider: its texts in nine languages (there
// is no Spanish table; Spanish falls back to English).
#pragma once

#include "ciom/liblang.h"

class cCIOMLang : public cLibLang {
 public:
  static constexpr int kLangCount = 9;
  // English first: it is the toolkit's default language.
  static const sLangDef gLangs[kLangCount];

  bool defines(eCIOMStdLangs lang) override { return cLibLang::defines(lang, gLangs, kLangCount); }
  long long sizeOf(eCIOMStdLangs lang) override { return cLibLang::sizeOf(lang, gLangs, kLangCount); }
  const void* langData(eCIOMStdLangs lang) override { return cLibLang::langData(lang, gLangs, kLangCount); }
  eCIOMStdLangs defaltLang() override { return static_cast<eCIOMStdLangs>(gLangs[0].lang); }
};
