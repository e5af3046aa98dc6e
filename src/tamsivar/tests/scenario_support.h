// Scenarios filled in code, for the model and binary-form tests.
#pragma once

#include <string>

#include "base/memio.h"
#include "pkg_support.h"
#include "tamsivar/scenario.h"

inline void setPath(cSoftPkgScenario::sPathDef& def, const char* var, const char* rest) {
  def.var.set(var);
  def.rest.set(rest);
}

inline cSoftPkgScenario::sIntFileDef& addFile(cSoftPkgScenario& s, unsigned index, const char* var, const char* rest,
                                              bool for32 = true, bool for64 = true) {
  auto& f = s.files.add()->value;
  f.index = index;
  setPath(f.target, var, rest);
  f.for32 = for32;
  f.for64 = for64;
  return f;
}

inline int addItem(cSoftPkgScenario& s, const tBytes& bytes, bool compress = false) {
  tBytes copy = bytes;
  cBufWrapperIO src(copy.data(), static_cast<long long>(copy.size()), false);
  return s.pkg.addPkgItem(&src, compress);
}

inline std::string text(const char* s) { return s ? s : "(null)"; }
