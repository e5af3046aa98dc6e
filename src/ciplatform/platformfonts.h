// The platform's default faces. The names are wishes that fontconfig
// answers with installed families.
#pragma once

#include "ciom/fontobject.h"

void setGlobalStdFont(const char* face);
void setGlobalFixedFont(const char* face);
