#include "ciom/langcontainer.h"

bool cLangContainer::addDef(int lang, unsigned char* data, long long& size, bool isDefault) {
  // Numbers up to 10 (the "no language" value included) are kept; negative
  // ones and empty or negative sizes name no block.
  if (!data || size <= 0 || static_cast<unsigned int>(lang) > 10) return false;
  if (!langs.find(lang)) ++count;
  *langs.insert(lang) = {data, size};
  if (isDefault || defaultLang == 11) defaultLang = lang;
  return true;
}

bool cLangContainer::defines(int lang) { return langs.find(lang) != nullptr; }

bool cLangContainer::getLang(int lang, unsigned char*& data, long long& size) {
  sLangBlock* block = langs.find(lang);
  if (!block) return false;
  data = block->data;
  size = block->size;
  return true;
}
