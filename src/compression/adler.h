// The Adler-32 of zlib streams over a whole buffer, at the speed of the
// inflater that made it: strips and tiles are checked as they are inflated.
#pragma once

#include <cstddef>

unsigned adlerChecksum(const unsigned char* data, size_t length);
