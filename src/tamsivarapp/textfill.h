// Texts of the language tables carry printf directives for the values they
// name. The values are often outside data (paths, names), so they are put
// in place, never used as formats themselves.
#pragma once

#include <initializer_list>
#include <string>

// `text` with its first "%s" replaced by `value` (null counts as empty); a
// null text gives an empty string.
std::string fillText(const char* text, const char* value);
// `text` with its "%s" directives replaced by `values` in turn; a value put
// in place is never searched for the next directive.
std::string fillTexts(const char* text, std::initializer_list<const char*> values);
// The same for a text whose first directive is "%lld".
std::string fillNumber(const char* text, long long value);
// `value` as the eye can read it: a character that shows nothing (the
// carriage return of a line written with CR LF, a tab, an escape) becomes
// its escape, "\r", "\n", "\t" or "\x1B", and one that would break the
// line or turn the text around (U+0085, U+2028, U+202E) "\u2028", so that
// a path from a package, a record or the disk is seen as the system takes
// it, one line for one name.
std::string visibleText(const std::string& value);
