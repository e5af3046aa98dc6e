#include "tamsivarapp/weblink.h"

#include "base/conproc.h"

bool openWebAddress(const char* url) { return isWebAddress(url) && run_xdgopen(url); }
