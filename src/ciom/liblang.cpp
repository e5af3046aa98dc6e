#include "ciom/liblang.h"

_List<cLibLang*>* cLibLang::gLangLoadersPtr = nullptr;
cCiomLang cLibLang::gCiomLang;
eCIOMStdLangs cLibLang::glastAppliedLang = eLangNone;

namespace {

const cLibLang::sLangDef* entryOf(eCIOMStdLangs lang, const cLibLang::sLangDef* table, long long count) {
  if (!table) return nullptr;
  for (long long i = 0; i < count; ++i)
    if (table[i].lang == lang) return &table[i];
  return nullptr;
}

}  // namespace

cLibLang::cLibLang() { ref(this); }

void cLibLang::ref(cLibLang* provider) {
  if (!gLangLoadersPtr) gLangLoadersPtr = new _List<cLibLang*>;
  for (auto* item = gLangLoadersPtr->head; item; item = item->next)
    if (item->value == provider) return;
  gLangLoadersPtr->add()->value = provider;
}

bool cLibLang::applyLang(eCIOMStdLangs lang) {
  bool applied = true;
  for (auto* item = gLangLoadersPtr ? gLangLoadersPtr->head : nullptr; item; item = item->next) {
    cLibLang* provider = item->value;
    eCIOMStdLangs use = provider->defines(lang) ? lang : provider->defaltLang();
    if (!provider->defines(use)) {
      applied = false;
      continue;
    }
    const void* block = provider->langData(use);
    if (!loadCiomLangData(block, provider->sizeOf(use), gCiomLang)) applied = false;
  }
  glastAppliedLang = lang;
  return applied;
}

bool cLibLang::applyDefaultLang() {
  if (!gLangLoadersPtr || !gLangLoadersPtr->head) return false;
  return applyLang(gLangLoadersPtr->head->value->defaltLang());
}

eCIOMStdLangs cLibLang::appliedLang() { return glastAppliedLang; }

bool cLibLang::defines(eCIOMStdLangs lang, const sLangDef* table, long long count) {
  return entryOf(lang, table, count) != nullptr;
}

long long cLibLang::sizeOf(eCIOMStdLangs lang, const sLangDef* table, long long count) {
  const sLangDef* entry = entryOf(lang, table, count);
  return entry ? entry->size : 0;
}

const void* cLibLang::langData(eCIOMStdLangs lang, const sLangDef* table, long long count) {
  const sLangDef* entry = entryOf(lang, table, count);
  return entry ? entry->data : nullptr;
}

bool ciLoadLangDef(const sStdLangDefinition* defs, int count, int lang, cCiomLang* store) {
  if (!defs || count < 1 || !store) return false;
  const sStdLangDefinition* entry = entryOf(static_cast<eCIOMStdLangs>(lang), defs, count);
  if (!entry) entry = defs;
  return loadCiomLangData(entry->data, entry->size, *store);
}
