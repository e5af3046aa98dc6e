// The shared language store's text at a section and index, or "<none>".
#pragma once

#include <string>

#include "base/stringkey.h"
#include "ciom/liblang.h"

inline std::string sharedText(const char* section, long long i) {
  cCiomLangData* data = cLibLang::gCiomLang.sections.find(cStringKey(section, -1));
  const char* text = data ? data->string(i) : nullptr;
  return text ? text : "<none>";
}
