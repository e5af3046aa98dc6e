// The bounds the HTTP client holds outside data to. A reply or a caller that
// goes past one of them is refused rather than believed.
#pragma once

// A URL longer than this is refused when it is parsed.
constexpr long long kHttpMaxUrlLength = 8192;
// One line of a reply's head, its line end not counted.
constexpr long long kHttpMaxHeaderLineLength = 8192;
// Header lines in one reply, the status line not counted.
constexpr int kHttpMaxHeaderCount = 128;
// The largest body a reply may announce or deliver: far beyond any package,
// small enough that offsets never come near the end of their range.
constexpr unsigned long long kHttpMaxBodyLength = 1ull << 40;
// A reply is read through a buffer of this size; its head must fit in it.
constexpr unsigned int kHttpBufferSize = 65536;
