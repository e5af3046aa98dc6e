// Sizing scans of the UTF-8 codec, for the converters' dispatch. The
// converters themselves are utf82w and w2utf8 (base/textconv.h).
#pragma once

// Units that utf82w writes for the source without a map, plus one for the
// terminator of a terminated source (negative length). 0 for no source.
long long utf8UnitsRequired(const char* src, long long srcLen);

// Bytes that w2utf8 writes, plus one for the terminator of a terminated
// source. 0 for no source.
long long utf8BytesRequired(const unsigned short* src, long long srcLen);
