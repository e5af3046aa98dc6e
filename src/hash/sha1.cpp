#include "hash/sha1.h"

#include <bit>
#include <cstring>

#include "hash/sha_blocks.h"

namespace {

const uint32_t kSha1Init[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};

void sha1Blocks(unsigned int* state, const unsigned char* data, size_t blocks) {
  shaBlockFunctions().sha1(state, data, blocks);
}

// Both families end the same way: 0x80, zeros to 56 mod 64, the bit length.
void sha1Pad(unsigned int* state, const unsigned char* tail, size_t tailLen, uint64_t bits) {
  unsigned char last[128] = {};
  std::memcpy(last, tail, tailLen);
  last[tailLen] = 0x80;
  size_t total = tailLen < 56 ? 64 : 128;
  storeBE64(last + total - 8, bits);
  sha1Blocks(state, last, total / 64);
}

void writeState(const unsigned int* state, unsigned char* digest20) {
  for (int i = 0; i < 5; ++i) storeBE32(digest20 + 4 * i, state[i]);
}

}  // namespace

void sha1_blocks_portable(uint32_t* state, const unsigned char* data, size_t blocks) {
  for (; blocks > 0; --blocks, data += 64) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i) w[i] = loadBE32(data + 4 * i);
    for (int i = 16; i < 80; ++i) w[i] = std::rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int i = 0; i < 80; ++i) {
      uint32_t f, k;
      if (i < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (i < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (i < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      uint32_t t = std::rotl(a, 5) + f + e + k + w[i];
      e = d;
      d = c;
      c = std::rotl(b, 30);
      b = a;
      a = t;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
  }
}

void sha1_init(SHA1_CTX* ctx) {
  ctx->total = 0;
  std::memcpy(ctx->state, kSha1Init, sizeof ctx->state);
}

void sha1_update(SHA1_CTX* ctx, const unsigned char* data, unsigned int len) {
  size_t used = ctx->total & 63;
  ctx->total += len;
  absorb<64>(ctx->block, used, data, len,
             [ctx](const unsigned char* p, size_t n) { sha1Blocks(ctx->state, p, n); });
}

void sha1_final(SHA1_CTX* ctx, unsigned char* digest20) {
  sha1Pad(ctx->state, ctx->block, ctx->total & 63, ctx->total << 3);
  writeState(ctx->state, ctx->block);
  std::memcpy(digest20, ctx->block, 20);
}

void sha_init(SHA_CTX* ctx) {
  std::memcpy(ctx->state, kSha1Init, sizeof ctx->state);
  ctx->blocksLow = ctx->blocksHigh = 0;
  ctx->pendingCount = 0;
}

void sha_update(SHA_CTX* ctx, const unsigned char* data, unsigned int len) {
  size_t pending = absorb<64>(ctx->pending, static_cast<size_t>(ctx->pendingCount), data, len,
                              [ctx](const unsigned char* p, size_t n) {
                                sha1Blocks(ctx->state, p, n);
                                uint64_t count = (uint64_t(ctx->blocksHigh) << 32 | ctx->blocksLow) + n;
                                ctx->blocksLow = static_cast<unsigned int>(count);
                                ctx->blocksHigh = static_cast<unsigned int>(count >> 32);
                              });
  ctx->pendingCount = static_cast<int>(pending);
}

void sha_final(SHA_CTX* ctx) {
  uint64_t bits = (uint64_t(ctx->blocksHigh) << 32 | ctx->blocksLow) * 512 + uint64_t(ctx->pendingCount) * 8;
  sha1Pad(ctx->state, ctx->pending, static_cast<size_t>(ctx->pendingCount), bits);
  ctx->pendingCount = 0;
}

void sha_digest(SHA_CTX* ctx, unsigned char* digest20) {
  if (digest20) writeState(ctx->state, digest20);
}

void sha_copy(SHA_CTX* dst, SHA_CTX* src) {
  std::memcpy(dst->state, src->state, sizeof dst->state);
  dst->blocksLow = src->blocksLow;
  dst->blocksHigh = src->blocksHigh;
  dst->pendingCount = src->pendingCount;
  std::memcpy(dst->pending, src->pending, static_cast<size_t>(src->pendingCount));
}

void _SHA1Hash(const void* data, void* digest, long long len) {
  SHA1_CTX ctx;
  sha1_init(&ctx);
  feedInPieces(data, len, [&](const unsigned char* p, unsigned int n) { sha1_update(&ctx, p, n); });
  sha1_final(&ctx, static_cast<unsigned char*>(digest));
}

void SHA1Hash(const void* data, unsigned char (&digest)[20], int len) {
  SHA_CTX ctx;
  sha_init(&ctx);
  if (len == -1) len = static_cast<int>(std::strlen(static_cast<const char*>(data)));
  feedInPieces(data, len, [&](const unsigned char* p, unsigned int n) { sha_update(&ctx, p, n); });
  sha_final(&ctx);
  sha_digest(&ctx, digest);
}
