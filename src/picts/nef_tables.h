// Constants of the Nikon NEF format (see nef_tables.cpp for their origin).
#pragma once

// Lossy 12-bit, lossy 12-bit after the split, lossless 12-bit, then the same
// three for 14 bits.
extern const unsigned char kNikonTrees[6][32];
extern const unsigned char kNikonXlat[2][256];
extern const unsigned char kNikonWbOffsets[17];
