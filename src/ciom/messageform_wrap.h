// Cutting a message line to a width, for boxes wider than the screen.
#pragma once

#include <string>
#include <vector>

class cChildElement;
class cFontObject;

// The line in pieces that each measure at most `limit` pixels in the font
// (measured through `measurer`'s window): broken after the last space or
// slash that fits, inside a word only where there is none, never inside a
// UTF-8 character. A piece holds at least one character, however narrow the
// limit.
std::vector<std::string> wrapToWidth(cChildElement* measurer, cFontObject* font, const std::string& line,
                                     int limit);
