// Inflation of a document's zlib streams with a ceiling, so a small hostile
// stream cannot make the loader allocate without end.
#pragma once

#include "base/buffers.h"

// The whole of one zlib stream into `out`. False when the stream is damaged
// or cut short, or would give more than `limit` bytes; nothing beyond
// `limit` + 1 bytes is ever held.
bool inflateBounded(const unsigned char* in, long long inLen, long long limit, _typebuf<unsigned char>& out);
