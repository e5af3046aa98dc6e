// The application's language provider: its own tables for eight of the
// toolkit's languages, merged into the shared store whenever a language is
// applied.
#pragma once

#include "ciom/liblang.h"

class cApplicationConfig;

class cSOPKGLang : public cLibLang {
 public:
  static constexpr int kLangCount = 8;
  // English first: it is the application's default language.
  static const sLangDef gLangs[kLangCount];

  bool defines(eCIOMStdLangs lang) override { return cLibLang::defines(lang, gLangs, kLangCount); }
  long long sizeOf(eCIOMStdLangs lang) override { return cLibLang::sizeOf(lang, gLangs, kLangCount); }
  const void* langData(eCIOMStdLangs lang) override { return cLibLang::langData(lang, gLangs, kLangCount); }
  eCIOMStdLangs defaltLang() override { return static_cast<eCIOMStdLangs>(gLangs[0].lang); }

  // Registers the one provider on its first call.
  static void init();
  // False until init has run.
  static bool _defines(int lang);
  static int _defaultLang() { return static_cast<int>(gLangs[0].lang); }
  // The language stored under "lang/current" when the tables define it,
  // else the default.
  static int storedLang();
  // The language the package recorded as `recordName` was installed in,
  // when the tables define it; -1 otherwise. A run speaks it from its first
  // words, a wait for another run among them, before it holds the package:
  // a read takes no lock.
  static int recordedLang(cApplicationConfig* config, const char* recordName);

 private:
  static cSOPKGLang* gProvider;
};
