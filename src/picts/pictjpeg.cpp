#include "picts/pictjpeg.h"

bool cPictJPEG::validFor(cFileIOTarget*, sPictInfo*) { return false; }
bool cPictJPEG::isPicture(cFileIOTarget*, sPictInfo*) { return false; }
bool cPictJPEG::decode(cFileIOTarget*) { return false; }
