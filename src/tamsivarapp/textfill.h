// Texts of the language tables carry printf directives for the values they
// name. The values are often outside data (paths, names), so they are put
// in place, never used as formats themselves.
#pragma once

#include <string>

// `text` with its first "%s" replaced by `value` (null counts as empty); a
// null text gives an empty string.
std::string fillText(const char* text, const char* value);
// The same for a text whose first directive is "%lld".
std::string fillNumber(const char* text, long long value);
