#include "ciplatform/platformfonts.h"

#include "ciplatform/macctfont.h"

namespace {
_guardchar<char> gStdFont;
_guardchar<char> gFixedFont;
}  // namespace

cFontObject* __newPlatformCPFont() { return new cMacCTFont; }

const char* _glbalStdFont() { return gStdFont.ptr ? gStdFont.ptr : "Tahoma"; }
const char* _glbalFixedFont() { return gFixedFont.ptr ? gFixedFont.ptr : "Courier"; }

void setGlobalStdFont(const char* face) { gStdFont.set(face); }
void setGlobalFixedFont(const char* face) { gFixedFont.set(face); }
