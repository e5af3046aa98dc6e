#include "tamsivar/oshooks.h"

bool OSRegisterPackage(const char*, cSoftPkgScenario&, bool) { return true; }

bool OSDeregisterPackage(const char*, bool) { return true; }

bool OSGetRegistedVersion(const char*, int (&version)[4], _guardchar<char>* first, _guardchar<char>*, bool) {
  for (int& part : version) part = 0;
  if (first) first->set(nullptr);
  return true;
}

bool createSysShortcut(_guardchar<char>&, const char*, const char*, const char*, const char*, const char*, bool,
                       const char*) {
  return false;
}

const char* shortcutExtension() { return nullptr; }
