// Checksums of a byte buffer. Every function takes a signed 64-bit count and
// answers 0 for null data or a count below 1, except crc32c, which continues
// a running CRC from its seed.
#pragma once

unsigned int crc32c(unsigned int seed, const void* data, long long len);
unsigned int pcrc32(const void* data, long long len);  // the CRC of POSIX cksum
unsigned int adler32(const void* data, long long len);
unsigned int crc32w(const void* data, long long len);  // CRC-32/BZIP2
unsigned int crc32(const void* data, long long len);   // no pre- or post-inversion
unsigned int crc32n(const void* data, long long len);  // the CRC of zlib and PNG
unsigned long long crc64(const void* data, long long len);
unsigned long long crc64n(const void* data, long long len);
unsigned int sum32_8(const void* data, long long len);
unsigned int sum32_16(const void* data, long long len);  // host-order words; a trailing odd byte is left out
unsigned int sum32_32(const void* data, long long len);
