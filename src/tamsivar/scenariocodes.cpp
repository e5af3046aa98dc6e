// The refusals of the text compiler as the writer of a scenario reads them.
#include <iterator>

#include "tamsivar/scenario.h"

namespace {

// Indexed by code; code 22 is never answered.
constexpr const char* kMeanings[] = {
    nullptr,
    "the scenario file cannot be opened",
    "unknown section header",
    "text after a section header",
    "an entry before any section header",
    "unknown key",
    "a \"=\", \",\" or quote is missing where one is required, or text follows the last value of an entry "
    "that a [Software] or [Strings] quoted text does not end",
    "a quoted text or a \"$\" name is missing, malformed, too long or not defined in every declared language, "
    "or text follows the quoted text that ends a [Software] or [Strings] entry",
    "a number that does not read or is too large",
    "no language is declared",
    "[Software] has no codename",
    "[Software] has no eula (the licence)",
    "the licence has no source for a declared language",
    "the welcome document has no source for a declared language",
    "the readme has no source for a declared language",
    "a string given for some languages and not neutrally is missing in another declared language",
    "unknown language code, or a language that langs = does not declare",
    "empty string key",
    "bad version: two to four numbers from 0 to 65535 separated by dots",
    "the welcome document does not compile or load",
    "the readme does not compile or load",
    "the licence does not compile or load",
    nullptr,
    "bad path: a \"$\" name or a quoted base, then the quoted rest of the path",
    "bad prefix: an [Install] entry that begins with x begins with x64. or x32.",
    "an [Install] entry begins with neither a quote nor x (of x64. or x32.)",
    "the source file or folder cannot be packed",
    "bad permissions: three octal digits such as 755",
    "pgm is the installation folder the user chooses: a [Strings] key may not set it",
};

}  // namespace

const char* textCodeMeaning(int code) {
  return code >= 0 && code < static_cast<int>(std::size(kMeanings)) ? kMeanings[code] : nullptr;
}
