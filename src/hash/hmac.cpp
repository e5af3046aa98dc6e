#include "hash/hmac.h"

#include <cstring>

#include "hash/sha1.h"
#include "hash/sha256.h"
#include "hash/sha512.h"
#include "hash/sha_blocks.h"

namespace {

template <typename Ctx, int BlockSize, int DigestSize, void (*Start)(Ctx*),
          void (*Update)(Ctx*, const unsigned char*, unsigned int), void (*Finish)(Ctx*, unsigned char*)>
struct sHashOf {
  using tCtx = Ctx;
  static constexpr int kBlock = BlockSize;
  static constexpr int kDigest = DigestSize;
  static void start(Ctx* c) { Start(c); }
  static void update(Ctx* c, const void* data, long long len) {
    feedInPieces(data, len, [c](const unsigned char* p, unsigned int n) { Update(c, p, n); });
  }
  static void finish(Ctx* c, unsigned char* out) { Finish(c, out); }
};

using tSha1 = sHashOf<SHA1_CTX, 64, 20, sha1_init, sha1_update, sha1_final>;
using tSha256 = sHashOf<sSHA256Ctx, 64, 32, sha256_starts, sha256_update, sha256_finish>;
using tSha512 = sHashOf<sSHA512Ctx, 128, 64, sha512_starts, sha512_update, sha512_finish>;

template <typename H>
void hmac(const unsigned char* text, long long textLen, const unsigned char* key, long long keyLen,
          unsigned char* digest) {
  typename H::tCtx ctx;
  unsigned char k0[H::kBlock] = {};
  if (keyLen > H::kBlock) {
    H::start(&ctx);
    H::update(&ctx, key, keyLen);
    H::finish(&ctx, k0);
  } else if (keyLen > 0) {
    std::memcpy(k0, key, static_cast<size_t>(keyLen));
  }
  unsigned char pad[H::kBlock];
  for (int i = 0; i < H::kBlock; ++i) pad[i] = k0[i] ^ 0x36;
  H::start(&ctx);
  H::update(&ctx, pad, H::kBlock);
  H::update(&ctx, text, textLen);
  H::finish(&ctx, digest);

  for (int i = 0; i < H::kBlock; ++i) pad[i] = k0[i] ^ 0x5c;
  H::start(&ctx);
  H::update(&ctx, pad, H::kBlock);
  H::update(&ctx, digest, H::kDigest);
  H::finish(&ctx, digest);
}

}  // namespace

void hmac_sha1(const unsigned char* text, long long textLen, const unsigned char* key, long long keyLen,
               unsigned char* digest20) {
  hmac<tSha1>(text, textLen, key, keyLen, digest20);
}

void hmac_sha256(const unsigned char* text, long long textLen, const unsigned char* key, long long keyLen,
                 unsigned char* digest32) {
  hmac<tSha256>(text, textLen, key, keyLen, digest32);
}

void hmac_sha512(const unsigned char* text, long long textLen, const unsigned char* key, long long keyLen,
                 unsigned char* digest64) {
  hmac<tSha512>(text, textLen, key, keyLen, digest64);
}
