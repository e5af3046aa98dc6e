#include "hash/sha512.h"

#include <cstring>

#include "hash/sha2_rounds.h"
#include "hash/sha_blocks.h"

namespace {

const uint64_t kSha512K[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
    0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
    0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
    0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
    0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
    0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
    0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
    0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
    0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
    0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
    0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
    0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817};

struct sSha512Params {
  using tWord = uint64_t;
  static constexpr int kRounds = 80;
  static constexpr int kS0[3] = {1, 8, 7}, kS1[3] = {19, 61, 6};
  static constexpr int kA[3] = {28, 34, 39}, kE[3] = {14, 18, 41};
  static constexpr const uint64_t* kK = kSha512K;
  static uint64_t load(const unsigned char* p) { return loadBE64(p); }
};

void begin(sSHA512Ctx* ctx, const uint64_t (&init)[8]) {
  std::memcpy(ctx->state, init, sizeof ctx->state);
  ctx->pending = 0;
  ctx->total[0] = ctx->total[1] = ctx->total[2] = ctx->total[3] = 0;
}

void addToTotal(sSHA512Ctx* ctx, unsigned int len) {
  uint64_t carry = len;
  for (unsigned int& word : ctx->total) {
    uint64_t sum = word + carry;
    word = static_cast<unsigned int>(sum);
    carry = sum >> 32;
    if (carry == 0) break;
  }
}

void finish(sSHA512Ctx* ctx, unsigned char* digest, int words) {
  unsigned char last[256] = {};
  unsigned int n = ctx->pending;
  std::memcpy(last, ctx->block, n);
  last[n] = 0x80;
  unsigned int size = n < 112 ? 128 : 256;
  // The 128-bit bit count: the byte total shifted left by 3 across its words.
  const unsigned int* t = ctx->total;
  unsigned int bits[4] = {t[0] << 3, t[1] << 3 | t[0] >> 29, t[2] << 3 | t[1] >> 29, t[3] << 3 | t[2] >> 29};
  for (int i = 0; i < 4; ++i) storeBE32(last + size - 4 - 4 * i, bits[i]);
  sha512_blocks(ctx->state, last, size / 128);
  for (int i = 0; i < words; ++i) storeBE64(digest + 8 * i, ctx->state[i]);
}

}  // namespace

void sha512_blocks(unsigned long long* state, const unsigned char* data, size_t blocks) {
  sha2Blocks<sSha512Params>(reinterpret_cast<uint64_t*>(state), data, blocks);
}

void sha512_starts(sSHA512Ctx* ctx) {
  static const uint64_t init[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                   0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                   0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
  begin(ctx, init);
}

void sha384_starts(sSHA512Ctx* ctx) {
  static const uint64_t init[8] = {0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17,
                                   0x152fecd8f70e5939, 0x67332667ffc00b31, 0x8eb44a8768581511,
                                   0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};
  begin(ctx, init);
}

void sha512_update(sSHA512Ctx* ctx, const unsigned char* data, unsigned int len) {
  addToTotal(ctx, len);
  ctx->pending = static_cast<unsigned int>(
      absorb<128>(ctx->block, ctx->pending, data, len,
                  [ctx](const unsigned char* p, size_t n) { sha512_blocks(ctx->state, p, n); }));
}

void sha384_update(sSHA512Ctx* ctx, const unsigned char* data, unsigned int len) {
  sha512_update(ctx, data, len);
}

void sha512_finish(sSHA512Ctx* ctx, unsigned char* digest64) { finish(ctx, digest64, 8); }

void sha384_finish(sSHA512Ctx* ctx, unsigned char* digest48) { finish(ctx, digest48, 6); }

void _SHA512Hash(const void* data, void* digest, long long len) {
  sSHA512Ctx ctx;
  sha512_starts(&ctx);
  feedInPieces(data, len, [&](const unsigned char* p, unsigned int n) { sha512_update(&ctx, p, n); });
  sha512_finish(&ctx, static_cast<unsigned char*>(digest));
}

void SHA512Hash(const void* data, unsigned char (&digest)[64], int len) {
  if (len == -1) len = static_cast<int>(std::strlen(static_cast<const char*>(data)));
  _SHA512Hash(data, digest, len);
}
