#include "picts/pictjp2.h"

bool cPictJP2::validFor(cFileIOTarget*, sPictInfo*) { return false; }
bool cPictJP2::isPicture(cFileIOTarget*, sPictInfo*) { return false; }
bool cPictJP2::decode(cFileIOTarget*) { return false; }

bool cPictJ2K::validFor(cFileIOTarget*, sPictInfo*) { return false; }
bool cPictJ2K::isPicture(cFileIOTarget*, sPictInfo*) { return false; }
bool cPictJ2K::decode(cFileIOTarget*) { return false; }
