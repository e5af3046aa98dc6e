// The face names the toolkit's fixed-metric test font answers to.
#include "ciom/fontobject.h"

const char* _glbalStdFont() { return "TestSans"; }
const char* _glbalFixedFont() { return "TestMono"; }
