// The picture tables of the two built-in looks, made by
// tools/gen_theme_pictures.py; their pixels are unpacked at start-up.
#pragma once

#include "ciom/theme.h"

extern const sStaticCIThemeImage gDefaultThemeImages[cCITheme::kImages];
extern const sStaticCIThemeImage gFlatThemeImages[cCITheme::kImages];
