#include "hash/sha256.h"

#include <cstring>

#include "hash/sha2_rounds.h"
#include "hash/sha_blocks.h"

alignas(16) const uint32_t kSha256K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

static const unsigned char sha256_padding[64] = {0x80};

namespace {

struct sSha256Params {
  using tWord = uint32_t;
  static constexpr int kRounds = 64;
  static constexpr int kS0[3] = {7, 18, 3}, kS1[3] = {17, 19, 10};
  static constexpr int kA[3] = {2, 13, 22}, kE[3] = {6, 11, 25};
  static constexpr const uint32_t* kK = kSha256K;
  static uint32_t load(const unsigned char* p) { return loadBE32(p); }
};

}  // namespace

void sha256_blocks_portable(uint32_t* state, const unsigned char* data, size_t blocks) {
  sha2Blocks<sSha256Params>(state, data, blocks);
}

void sha256_starts(sSHA256Ctx* ctx) {
  static const unsigned int init[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  ctx->total[0] = ctx->total[1] = 0;
  std::memcpy(ctx->state, init, sizeof ctx->state);
}

void sha256_update(sSHA256Ctx* ctx, const unsigned char* data, unsigned int len) {
  size_t used = ctx->total[0] & 63;
  ctx->total[0] += len;
  if (ctx->total[0] < len) ctx->total[1]++;
  auto blocks = shaBlockFunctions().sha256;
  absorb<64>(ctx->block, used, data, len,
             [&](const unsigned char* p, size_t n) { blocks(ctx->state, p, n); });
}

void sha256_finish(sSHA256Ctx* ctx, unsigned char* digest32) {
  unsigned char length[8];
  storeBE32(length, ctx->total[1] << 3 | ctx->total[0] >> 29);
  storeBE32(length + 4, ctx->total[0] << 3);
  unsigned int n = ctx->total[0] & 63;
  sha256_update(ctx, sha256_padding, n < 56 ? 56 - n : 120 - n);
  sha256_update(ctx, length, 8);
  for (int i = 0; i < 8; ++i) storeBE32(digest32 + 4 * i, ctx->state[i]);
}

void _SHA2Hash(const void* data, void* digest, long long len) {
  sSHA256Ctx ctx;
  sha256_starts(&ctx);
  feedInPieces(data, len, [&](const unsigned char* p, unsigned int n) { sha256_update(&ctx, p, n); });
  sha256_finish(&ctx, static_cast<unsigned char*>(digest));
}

void SHA2Hash(const void* data, unsigned char (&digest)[32], int len) {
  if (len == -1) len = static_cast<int>(std::strlen(static_cast<const char*>(data)));
  _SHA2Hash(data, digest, len);
}
