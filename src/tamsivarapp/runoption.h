// The run options a package offers (the finish page's boxes, the manager's
// links): each starts without a shell, and one whose program does not start
// is told, naming it and why.
#pragma once

#include <string>

class cCiomLangData;

// The texts that tell of a run option that did not start.
inline constexpr char kRunOptionSection[] = "pkgm::run";

// Starts a command as shellOpen does, giving the program it tried and the
// script whose "#!" line named it; tests put their own here.
using tRunOptionStarter = bool (*)(const char* command, int* error, std::string* program,
                                   std::string* script);

// Empty when `command` started; else the words, from `texts` ("pkgm::run"),
// that name the option's caption, its program and why it did not start.
std::string startRunOption(const char* caption, const char* command, cCiomLangData* texts,
                           tRunOptionStarter start);
