#include "hash/sha512.h"

#include <immintrin.h>

#include <cstring>

#include "hash/sha2_rounds.h"
#include "hash/sha_blocks.h"

namespace {

alignas(16) const uint64_t kSha512K[80] = {
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

#define ZVK_AVX2_TARGET __attribute__((target("avx2,bmi2")))

template <int N>
ZVK_AVX2_TARGET inline __m256i rotr64(__m256i x) {
  return _mm256_or_si256(_mm256_srli_epi64(x, N), _mm256_slli_epi64(x, 64 - N));
}

// One step of the schedule for two blocks at once: each 128-bit half of a
// vector holds a pair of consecutive words, the low half of one block and
// the high half of the other. The ring x holds the last sixteen words of
// each block and x[at] (the oldest pair) is replaced by the next.
ZVK_AVX2_TARGET inline __m256i nextPair(__m256i* x, int at) {
  // A byte shuffle rotates by 8 in one instruction instead of three.
  const __m256i rotr8 = _mm256_setr_epi8(1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8, 1, 2, 3, 4, 5,
                                         6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8);
  __m256i w15 = _mm256_alignr_epi8(x[(at + 1) & 7], x[at], 8);
  __m256i w7 = _mm256_alignr_epi8(x[(at + 5) & 7], x[(at + 4) & 7], 8);
  __m256i w2 = x[(at + 7) & 7];
  __m256i s0 = _mm256_xor_si256(_mm256_xor_si256(rotr64<1>(w15), _mm256_shuffle_epi8(w15, rotr8)),
                                _mm256_srli_epi64(w15, 7));
  __m256i s1 = _mm256_xor_si256(_mm256_xor_si256(rotr64<19>(w2), rotr64<61>(w2)), _mm256_srli_epi64(w2, 6));
  x[at] = _mm256_add_epi64(_mm256_add_epi64(x[at], s0), _mm256_add_epi64(w7, s1));
  return x[at];
}

// K is added in the vector so that each round adds a single word.
ZVK_AVX2_TARGET inline void storeWithK(uint64_t* wk, int pair, __m256i w) {
  __m256i k = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kSha512K) + pair));
  __m256i* at = reinterpret_cast<__m256i*>(wk) + pair;
  _mm256_store_si256(at, _mm256_add_epi64(w, k));
  // Rounds read their word from memory as part of an add; left to itself the
  // compiler hands it over from the vector, two instructions more per round.
  asm("" : "+m"(*at));
}

}  // namespace

// Without SHA-512 instructions the rounds stay scalar, so the gain comes
// from taking the schedule off the integer units: it is expanded for two
// blocks at once in vectors, 16 rounds ahead of the first block's rounds,
// and the second block's rounds then only read it.
ZVK_AVX2_TARGET void sha512_blocks_avx2(uint64_t* state, const unsigned char* data, size_t blocks) {
  const __m256i byteSwap = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4,
                                            3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
  for (;;) {
    // A lone last block is paired with itself and its twin's rounds skipped.
    const unsigned char* second = blocks > 1 ? data + 128 : data;
    // W + K of round t of block b sits at [t / 2 * 4 + b * 2 + t % 2].
    alignas(32) uint64_t wk[80 * 2];
    __m256i x[8];
    for (int i = 0; i < 8; ++i) {
      __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data) + i);
      __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second) + i);
      x[i] = _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1), byteSwap);
      storeWithK(wk, i, x[i]);
    }
    sSha2Rounds<sSha512Params> first(state);
#pragma GCC unroll 40
    for (int pair = 0; pair < 40; ++pair) {
      if (pair < 32) storeWithK(wk, pair + 8, nextPair(x, pair & 7));
      first.round(wk[pair * 4]);
      first.round(wk[pair * 4 + 1]);
    }
    first.addTo(state);
    if (blocks == 1) return;
    sSha2Rounds<sSha512Params> twin(state);
#pragma GCC unroll 40
    for (int pair = 0; pair < 40; ++pair) {
      twin.round(wk[pair * 4 + 2]);
      twin.round(wk[pair * 4 + 3]);
    }
    twin.addTo(state);
    blocks -= 2;
    if (blocks == 0) return;
    data += 256;
  }
}

namespace {

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

void compress(sSHA512Ctx* ctx, const unsigned char* data, size_t blocks) {
  shaBlockFunctions().sha512(reinterpret_cast<uint64_t*>(ctx->state), data, blocks);
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
  compress(ctx, last, size / 128);
  for (int i = 0; i < words; ++i) storeBE64(digest + 8 * i, ctx->state[i]);
}

}  // namespace

void sha512_blocks_portable(uint64_t* state, const unsigned char* data, size_t blocks) {
  sha2Blocks<sSha512Params>(state, data, blocks);
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
  ctx->pending = static_cast<unsigned int>(absorb<128>(
      ctx->block, ctx->pending, data, len, [ctx](const unsigned char* p, size_t n) { compress(ctx, p, n); }));
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
