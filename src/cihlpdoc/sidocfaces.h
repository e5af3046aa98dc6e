// The font faces a document names by number.
#pragma once

inline constexpr unsigned int kSiDocFaceCount = 5;

// 0 and 1 are the toolkit's standard and fixed-width faces; null past the last.
const char* siDocFaceName(unsigned int face);
