// What the manager window and the update form share of their look: the
// colours, the placing of anchored elements, link styling and row texts
// with one value put in.
#pragma once

#include <string>

#include "ciom/child.h"
#include "ciom/linkelement.h"

inline constexpr unsigned int kLookWhite = 0xFFFFFF;
inline constexpr unsigned int kLookText = 0x734D32;
inline constexpr unsigned int kLookLink = 0xC98C2F;
inline constexpr unsigned int kLookFrame = 0xE4E0DC;
inline constexpr unsigned int kLookHighlight = 0xEAD3B0;

// Attaches `e` to `parent` and anchors it there (negative values count from
// the far edge).
void placeIn(cChildElement& parent, cChildElement& e, int x, int y, int w, int h);
// Link colours and font; the link must already belong to its parent, whose
// set-up would otherwise reset them.
void styleLink(cLinkElement& link, const char* text);
// A language row's printf format with one text put in, at most 511 bytes.
std::string formatRow(const char* format, const char* value);
