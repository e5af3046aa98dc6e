// SHA-512 and SHA-384, which share the context and the compression function.
#pragma once

struct sSHA512Ctx {
  unsigned long long state[8];
  unsigned char block[128];
  unsigned int pending;   // bytes in the block
  unsigned int total[4];  // message bytes as a 128-bit number, least significant word first
};

void sha512_starts(sSHA512Ctx* ctx);
void sha512_update(sSHA512Ctx* ctx, const unsigned char* data, unsigned int len);
void sha512_finish(sSHA512Ctx* ctx, unsigned char* digest64);

void sha384_starts(sSHA512Ctx* ctx);
void sha384_update(sSHA512Ctx* ctx, const unsigned char* data, unsigned int len);
void sha384_finish(sSHA512Ctx* ctx, unsigned char* digest48);

void _SHA512Hash(const void* data, void* digest, long long len);
// A length of -1 digests `data` up to its terminating zero.
void SHA512Hash(const void* data, unsigned char (&digest)[64], int len);
