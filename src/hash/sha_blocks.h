// The compression functions behind the digests. Each has a portable form and,
// where the processor has SHA (SHA-1, SHA-256) or AVX2 and BMI2 (SHA-512)
// instructions, a faster one; the choice is made
// once from cpuid and can be pinned to the portable code so that tests check
// both against the same vectors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

using tShaBlocks32 = void (*)(uint32_t* state, const unsigned char* data, size_t blocks);
using tShaBlocks64 = void (*)(uint64_t* state, const unsigned char* data, size_t blocks);

struct sShaBlockFunctions {
  tShaBlocks32 sha1;
  tShaBlocks32 sha256;
  tShaBlocks64 sha512;
};

const sShaBlockFunctions& shaBlockFunctions();

// True when the processor's SHA or AVX2 instructions exist and are not
// switched off.
bool shaUsesCpuExtensions();
// Off: every digest uses the portable code from the next block on.
void shaAllowCpuExtensions(bool allow);

void sha1_blocks_portable(uint32_t* state, const unsigned char* data, size_t blocks);
void sha1_blocks_shani(uint32_t* state, const unsigned char* data, size_t blocks);
void sha256_blocks_portable(uint32_t* state, const unsigned char* data, size_t blocks);
void sha256_blocks_shani(uint32_t* state, const unsigned char* data, size_t blocks);
// The round constants, 16-byte aligned for vector loads.
extern const uint32_t kSha256K[64];

void sha512_blocks_portable(uint64_t* state, const unsigned char* data, size_t blocks);
void sha512_blocks_avx2(uint64_t* state, const unsigned char* data, size_t blocks);

// Update functions take 32-bit counts; callers with 64-bit lengths go through
// here so that 4 GiB and more is not cut to its low 32 bits.
template <typename Update>
void feedInPieces(const void* data, long long len, Update update) {
  constexpr unsigned int kPiece = 1u << 30;
  auto* p = static_cast<const unsigned char*>(data);
  while (len > 0) {
    unsigned int n = len > kPiece ? kPiece : static_cast<unsigned int>(len);
    update(p, n);
    p += n;
    len -= n;
  }
}

inline uint32_t loadBE32(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline uint64_t loadBE64(const unsigned char* p) { return uint64_t(loadBE32(p)) << 32 | loadBE32(p + 4); }
inline void storeBE32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}
inline void storeBE64(unsigned char* p, uint64_t v) {
  storeBE32(p, static_cast<uint32_t>(v >> 32));
  storeBE32(p + 4, static_cast<uint32_t>(v));
}

// Appends `len` bytes to a block holding `used` bytes, compressing each block
// as it completes and whole blocks straight from `data`; answers the bytes
// left in the block.
template <size_t BlockSize, typename Compress>
size_t absorb(unsigned char* block, size_t used, const unsigned char* data, size_t len, Compress compress) {
  if (len == 0) return used;
  if (used > 0) {
    size_t take = BlockSize - used < len ? BlockSize - used : len;
    std::memcpy(block + used, data, take);
    if (used + take < BlockSize) return used + take;
    compress(block, 1);
    data += take;
    len -= take;
  }
  if (len >= BlockSize) compress(data, len / BlockSize);
  size_t rest = len % BlockSize;
  if (rest > 0) std::memcpy(block, data + (len - rest), rest);
  return rest;
}
