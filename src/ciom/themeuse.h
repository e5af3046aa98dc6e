// Shorthands for the controls, which take every default look from the global
// theme by number.
#pragma once

#include "ciom/theme.h"

inline unsigned int themeColor(int n) {
  return cCITheme::theme()->getColor(static_cast<cCITheme::eCIThemeColor>(n));
}

inline cPicture* themePict(int n) {
  return cCITheme::theme()->getPict(static_cast<cCITheme::eCIThemeImageElement>(n));
}

inline int themeDim(int n, cCITheme::eCIThemeDimensionType t = cCITheme::eValue) {
  return cCITheme::theme()->getDimension(static_cast<cCITheme::eCIThemeDimension>(n), t);
}
