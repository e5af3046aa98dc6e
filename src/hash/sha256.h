// SHA-256: the digest every package item and binary scenario is checked with.
#pragma once

struct sSHA256Ctx {
  unsigned int total[2];  // message bytes, low word first
  unsigned int state[8];
  unsigned char block[64];
};

void sha256_starts(sSHA256Ctx* ctx);
void sha256_update(sSHA256Ctx* ctx, const unsigned char* data, unsigned int len);
void sha256_finish(sSHA256Ctx* ctx, unsigned char* digest32);

void _SHA2Hash(const void* data, void* digest, long long len);
// A length of -1 digests `data` up to its terminating zero.
void SHA2Hash(const void* data, unsigned char (&digest)[32], int len);
