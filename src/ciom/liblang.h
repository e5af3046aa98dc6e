// Language providers and the shared language store. Every component with
// interface texts registers a provider holding its language blocks; applying
// a language merges each provider's block for it (or for the provider's own
// default) into the one store all elements read their texts from.
#pragma once

#include "base/list.h"
#include "ciom/ciomlang.h"
#include "ciom/langids.h"

class cLibLang {
 public:
  // One block of a provider's table.
  struct sLangDef {
    unsigned int lang;
    const unsigned char* data;
    long long size;
  };

  // Registers the provider for the rest of the process: it must live as long.
  cLibLang();
  cLibLang(const cLibLang&) = delete;
  cLibLang& operator=(const cLibLang&) = delete;
  virtual ~cLibLang() = default;

  virtual bool defines(eCIOMStdLangs lang) = 0;
  virtual long long sizeOf(eCIOMStdLangs lang) = 0;
  virtual const void* langData(eCIOMStdLangs lang) = 0;
  virtual eCIOMStdLangs defaltLang() = 0;

  // Adds a provider unless it is registered already.
  static void ref(cLibLang* provider);
  // Answers whether every provider's block was merged; the language is
  // recorded as applied either way.
  static bool applyLang(eCIOMStdLangs lang);
  static bool applyDefaultLang();
  static eCIOMStdLangs appliedLang();

  // A language's entry in a provider's table: the first that matches.
  static bool defines(eCIOMStdLangs lang, const sLangDef* table, long long count);
  static long long sizeOf(eCIOMStdLangs lang, const sLangDef* table, long long count);
  static const void* langData(eCIOMStdLangs lang, const sLangDef* table, long long count);

  // Registered providers in order of registration, not owned; made by the
  // first registration.
  static _List<cLibLang*>* gLangLoadersPtr;
  static cCiomLang gCiomLang;
  static eCIOMStdLangs glastAppliedLang;
};

using sStdLangDefinition = cLibLang::sLangDef;

// Merges the table's entry for `lang`, or its first entry, into `store`.
bool ciLoadLangDef(const sStdLangDefinition* defs, int count, int lang, cCiomLang* store);
